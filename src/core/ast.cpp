#include "core/ast.h"

#include <string_view>

#include "core/value.h"

namespace tabrix {

AstNode::~AstNode() {
  // Children are moved onto a work list before their owner dies, so every destructor that
  // runs below finds its own child slots already empty and returns without recursing.
  std::vector<AstPtr> pending;
  auto detach = [&](AstPtr& c) {
    if (c) pending.push_back(std::move(c));
  };
  for_each_child(*this, detach);
  while (!pending.empty()) {
    AstPtr n = std::move(pending.back());
    pending.pop_back();
    for_each_child(*n, detach);
  }
}

namespace {

// A copy of the node's own fields with empty child slots of the same count.
AstNode shallow_copy(const AstNode& node) {
  using N = AstNode;
  switch (node.kind()) {
    case N::Kind::BinaryOp: {
      const auto& b = *node.get_if<N::BinaryOp>();
      return N::BinaryOp{b.op, nullptr, nullptr};
    }
    case N::Kind::UnaryOp:
      return N::UnaryOp{node.get_if<N::UnaryOp>()->op, nullptr};
    case N::Kind::Compare:
      return N::Compare{node.get_if<N::Compare>()->op, nullptr, nullptr};
    case N::Kind::FunctionCall: {
      const auto& call = *node.get_if<N::FunctionCall>();
      return N::FunctionCall{call.name, std::vector<AstPtr>(call.args.size())};
    }
    case N::Kind::ArrayLiteral: {
      N::ArrayLiteral copy;
      for (const auto& row : node.get_if<N::ArrayLiteral>()->rows)
        copy.rows.emplace_back(row.size());
      return copy;
    }
    case N::Kind::Number:
      return *node.get_if<N::Number>();
    case N::Kind::String:
      return *node.get_if<N::String>();
    case N::Kind::Boolean:
      return *node.get_if<N::Boolean>();
    case N::Kind::CellRef:
      return *node.get_if<N::CellRef>();
    case N::Kind::Range:
      return *node.get_if<N::Range>();
    case N::Kind::ColumnRange:
      return *node.get_if<N::ColumnRange>();
    case N::Kind::RowRange:
      return *node.get_if<N::RowRange>();
    case N::Kind::Name:
      return *node.get_if<N::Name>();
    case N::Kind::SpillRef:
      return *node.get_if<N::SpillRef>();
  }
  return N::Number{0};  // not reached: the switch covers every kind
}

}  // namespace

AstNode clone_ast(const AstNode& root) {
  AstNode out = shallow_copy(root);
  std::vector<std::pair<const AstNode*, AstNode*>> stack{{&root, &out}};
  std::vector<const AstNode*> sources;
  while (!stack.empty()) {
    auto [src, dst] = stack.back();
    stack.pop_back();
    sources.clear();
    for_each_child(*src, [&](const AstPtr& c) { sources.push_back(c.get()); });
    size_t i = 0;
    for_each_child(*dst, [&](AstPtr& slot) {
      slot = std::make_unique<AstNode>(shallow_copy(*sources[i]));
      stack.emplace_back(sources[i], slot.get());
      ++i;
    });
  }
  return out;
}

std::string to_prefix_text(const AstNode& root) {
  using N = AstNode;
  // Work items are either a node to print or a fixed piece of punctuation.
  struct Item {
    const AstNode* node;
    std::string_view text;
  };
  std::vector<Item> stack{{&root, {}}};
  std::string out;
  auto push_text = [&](std::string_view t) { stack.push_back({nullptr, t}); };
  auto push_node = [&](const AstPtr& p) { stack.push_back({p.get(), {}}); };
  while (!stack.empty()) {
    Item item = stack.back();
    stack.pop_back();
    if (!item.node) {
      out += item.text;
      continue;
    }
    const AstNode& n = *item.node;
    if (auto* x = n.get_if<N::Number>()) {
      append_number_text(out, x->value);
    } else if (auto* s = n.get_if<N::String>()) {
      out.append(1, '"').append(s->value).append(1, '"');
    } else if (auto* b = n.get_if<N::Boolean>()) {
      out += b->value ? "TRUE" : "FALSE";
    } else if (auto* c = n.get_if<N::CellRef>()) {
      out.append(c->col).append(std::to_string(c->row));
    } else if (auto* r = n.get_if<N::Range>()) {
      out.append(r->start_col).append(std::to_string(r->start_row)).append(":");
      out.append(r->end_col).append(std::to_string(r->end_row));
    } else if (auto* cr = n.get_if<N::ColumnRange>()) {
      out.append(cr->start_col).append(":").append(cr->end_col);
    } else if (auto* rr = n.get_if<N::RowRange>()) {
      out.append(std::to_string(rr->start_row)).append(":").append(std::to_string(rr->end_row));
    } else if (auto* name = n.get_if<N::Name>()) {
      out.append("name:").append(name->name);
    } else if (auto* sp = n.get_if<N::SpillRef>()) {
      out.append(sp->col).append(std::to_string(sp->row)).append("#");
    } else if (auto* bin = n.get_if<N::BinaryOp>()) {
      out += '(';
      out += bin->op;
      out += ' ';
      push_text(")");
      push_node(bin->right);
      push_text(" ");
      push_node(bin->left);
    } else if (auto* cmp = n.get_if<N::Compare>()) {
      out.append("(").append(operator_text(cmp->op)).append(" ");
      push_text(")");
      push_node(cmp->right);
      push_text(" ");
      push_node(cmp->left);
    } else if (auto* u = n.get_if<N::UnaryOp>()) {
      out += u->op == '-' ? "(neg " : "(pos ";
      push_text(")");
      push_node(u->operand);
    } else if (auto* call = n.get_if<N::FunctionCall>()) {
      out.append("(").append(call->name);
      push_text(")");
      for (size_t i = call->args.size(); i-- > 0;) {
        push_node(call->args[i]);
        push_text(" ");
      }
    } else if (auto* arr = n.get_if<N::ArrayLiteral>()) {
      out += '{';
      push_text("}");
      for (size_t r = arr->rows.size(); r-- > 0;) {
        const auto& row = arr->rows[r];
        for (size_t c = row.size(); c-- > 0;) {
          push_node(row[c]);
          if (c > 0) push_text(" ");
        }
        if (r > 0) push_text("; ");
      }
    }
  }
  return out;
}

}  // namespace tabrix
