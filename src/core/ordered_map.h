// OrderedMap: the insertion-ordered map of the sheet. Lookups match the key text exactly;
// assigning to a present key keeps its position; a new key goes to the end; erasing keeps the
// order of the rest. Erase leaves a tombstone (O(1)) and the storage is compacted once
// tombstones outnumber live entries, so mass deletions stay linear.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tabrix {

struct StringHash {
  using is_transparent = void;
  size_t operator()(std::string_view s) const noexcept { return std::hash<std::string_view>{}(s); }
};

template <class V>
class OrderedMap {
  struct Slot {
    std::string key;
    std::optional<V> value;  // empty: erased
  };

 public:
  class const_iterator {
   public:
    const_iterator(const std::vector<Slot>* slots, size_t i) : slots_(slots), i_(i) { skip(); }
    std::pair<const std::string&, const V&> operator*() const {
      const Slot& s = (*slots_)[i_];
      return {s.key, *s.value};
    }
    const_iterator& operator++() {
      ++i_;
      skip();
      return *this;
    }
    bool operator==(const const_iterator& o) const { return i_ == o.i_; }

   private:
    void skip() {
      while (i_ < slots_->size() && !(*slots_)[i_].value) ++i_;
    }
    const std::vector<Slot>* slots_;
    size_t i_;
  };

  const_iterator begin() const { return {&slots_, 0}; }
  const_iterator end() const { return {&slots_, slots_.size()}; }

  size_t size() const { return live_; }
  bool empty() const { return live_ == 0; }

  const V* find(std::string_view key) const {
    auto it = index_.find(key);
    return it == index_.end() ? nullptr : &*slots_[it->second].value;
  }
  V* find(std::string_view key) {
    auto it = index_.find(key);
    return it == index_.end() ? nullptr : &*slots_[it->second].value;
  }
  bool contains(std::string_view key) const { return index_.find(key) != index_.end(); }

  // Replaces the value of a present key in place, or appends a new entry.
  V& set(std::string_view key, V value) {
    auto it = index_.find(key);
    if (it != index_.end()) return *(slots_[it->second].value = std::move(value));
    index_.emplace(std::string(key), slots_.size());
    slots_.push_back({std::string(key), std::move(value)});
    ++live_;
    return *slots_.back().value;
  }

  // Removes the key if present; returns whether it was.
  bool erase(std::string_view key) {
    auto it = index_.find(key);
    if (it == index_.end()) return false;
    slots_[it->second].value.reset();
    index_.erase(it);
    --live_;
    if (slots_.size() > 32 && slots_.size() > 2 * live_) compact();
    return true;
  }

  void clear() {
    slots_.clear();
    index_.clear();
    live_ = 0;
  }

 private:
  void compact() {
    std::vector<Slot> kept;
    kept.reserve(live_);
    for (Slot& s : slots_)
      if (s.value) {
        index_[s.key] = kept.size();
        kept.push_back(std::move(s));
      }
    slots_ = std::move(kept);
  }

  std::vector<Slot> slots_;
  std::unordered_map<std::string, size_t, StringHash, std::equal_to<>> index_;
  size_t live_ = 0;
};

}  // namespace tabrix
