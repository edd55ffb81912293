// The syntax tree of a formula, as the parser builds it and the evaluator walks it.
//
// An `AstNode` is one of fourteen alternatives (numbers, texts, booleans, references of five
// shapes, names, operators, function calls, array literals). Children are owned by their
// parent through `AstPtr`; parentheses leave no node. The sheet inspects trees to collect the
// cells and names a formula depends on and substitutes defined names in place; `walk` and
// `walk_mut` serve both without recursion.
//
// Trees can be deep: "=1+1+...+1" with 200000 terms is a left-leaning chain of 200000
// operators. Nothing here recurses on the tree: walking, cloning, printing and destroying
// use explicit stacks.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "core/registry.h"  // ComparisonOperator

namespace tabrix {

struct AstNode;
using AstPtr = std::unique_ptr<AstNode>;

struct AstNode {
  struct Number {
    double value;
  };
  struct String {
    std::string value;
  };
  struct Boolean {
    bool value;
  };
  // Column letters are upper case; rows are 1-based as written (0 is possible: "A0").
  struct CellRef {
    std::string col;
    uint32_t row;
  };
  // Corners in the order written, not normalised ("B5:A1" keeps B5 as the start).
  struct Range {
    std::string start_col;
    uint32_t start_row;
    std::string end_col;
    uint32_t end_row;
  };
  struct ColumnRange {
    std::string start_col;
    std::string end_col;
  };
  struct RowRange {
    uint32_t start_row;
    uint32_t end_row;
  };
  struct Name {
    std::string name;  // upper case
  };
  struct BinaryOp {
    char op;  // one of + - * / % ^ &
    AstPtr left;
    AstPtr right;
  };
  struct UnaryOp {
    char op;  // + or -
    AstPtr operand;
  };
  struct FunctionCall {
    std::string name;  // upper case
    std::vector<AstPtr> args;
  };
  // At least one row; all rows have the same non-zero length.
  struct ArrayLiteral {
    std::vector<std::vector<AstPtr>> rows;
  };
  struct SpillRef {
    std::string col;
    uint32_t row;
  };
  struct Compare {
    ComparisonOperator op;
    AstPtr left;
    AstPtr right;
  };

  // The alternatives in their fixed order; `kind()` returns the index.
  enum class Kind : uint8_t {
    Number,
    String,
    Boolean,
    CellRef,
    Range,
    ColumnRange,
    RowRange,
    Name,
    BinaryOp,
    UnaryOp,
    FunctionCall,
    ArrayLiteral,
    SpillRef,
    Compare,
  };
  using Variant = std::variant<Number, String, Boolean, CellRef, Range, ColumnRange, RowRange, Name,
                               BinaryOp, UnaryOp, FunctionCall, ArrayLiteral, SpillRef, Compare>;

  Variant v;

  template <class Alt>
  requires std::is_constructible_v<Variant, Alt&&> AstNode(Alt&& alt) : v(std::forward<Alt>(alt)) {}
  AstNode(AstNode&&) = default;
  // Moving a node into one of its own descendants' owners is not supported: move the
  // descendant out to a local first.
  AstNode& operator=(AstNode&&) = default;
  AstNode(const AstNode&) = delete;  // deep copies go through `clone_ast`
  AstNode& operator=(const AstNode&) = delete;
  // Unlinks the subtree iteratively, so destroying a deep chain cannot exhaust the stack.
  ~AstNode();

  Kind kind() const { return static_cast<Kind>(v.index()); }
  template <class Alt>
  Alt* get_if() {
    return std::get_if<Alt>(&v);
  }
  template <class Alt>
  const Alt* get_if() const {
    return std::get_if<Alt>(&v);
  }
};

// A new heap node holding `alt`. Fails only with std::bad_alloc.
template <class Alt>
AstPtr make_node(Alt alt) {
  return std::make_unique<AstNode>(std::move(alt));
}

// Calls `f(slot)` for each direct child slot of `node` (an `AstPtr&`, or a `const AstPtr&`
// for a const node), left to right: operands, then arguments, then array elements
// row-major. Cannot fail.
template <class Node, class F>
requires std::is_same_v<std::remove_const_t<Node>, AstNode>
void for_each_child(Node& node, F&& f) {
  if (auto* b = node.template get_if<AstNode::BinaryOp>()) {
    f(b->left);
    f(b->right);
  } else if (auto* c = node.template get_if<AstNode::Compare>()) {
    f(c->left);
    f(c->right);
  } else if (auto* u = node.template get_if<AstNode::UnaryOp>()) {
    f(u->operand);
  } else if (auto* call = node.template get_if<AstNode::FunctionCall>()) {
    for (auto& a : call->args) f(a);
  } else if (auto* arr = node.template get_if<AstNode::ArrayLiteral>()) {
    for (auto& row : arr->rows)
      for (auto& e : row) f(e);
  }
}

// Calls `f(const AstNode&)` for every node of the tree, parents before children and
// children left to right. Iterative. Cannot fail.
template <class F>
void walk(const AstNode& root, F&& f) {
  std::vector<const AstNode*> stack{&root};
  std::vector<const AstNode*> children;
  while (!stack.empty()) {
    const AstNode* n = stack.back();
    stack.pop_back();
    f(*n);
    children.clear();
    for_each_child(*n, [&](const AstPtr& c) { children.push_back(c.get()); });
    stack.insert(stack.end(), children.rbegin(), children.rend());
  }
}

// Like `walk`, but `f(AstNode&)` may change the node in place, for example replace a `Name`
// with a clone of its definition; the walk then continues into the node's children as they
// are after `f` returns. Iterative. Cannot fail by itself.
template <class F>
void walk_mut(AstNode& root, F&& f) {
  std::vector<AstNode*> stack{&root};
  std::vector<AstNode*> children;
  while (!stack.empty()) {
    AstNode* n = stack.back();
    stack.pop_back();
    f(*n);
    children.clear();
    for_each_child(*n, [&](AstPtr& c) { children.push_back(c.get()); });
    stack.insert(stack.end(), children.rbegin(), children.rend());
  }
}

// A deep copy of a tree. Iterative. Fails only with std::bad_alloc.
AstNode clone_ast(const AstNode& root);

// A compact prefix form of a tree for tests and diagnostics: literals as written
// (numbers by their number text, texts in double quotes), references as "A1", "A1:B2",
// "A:C", "1:5", "A1#", names as "name:X", and operators, calls and arrays as
// "(+ 1 2)", "(neg 1)", "(pos 1)", "(= 1 2)", "(SUM 1 2)", "{1 2; 3 4}". Iterative. Cannot
// fail.
std::string to_prefix_text(const AstNode& root);

}  // namespace tabrix
