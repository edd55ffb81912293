// Result<T, E>: a value or a failure. The engine reports failures as values; only the Python
// layer turns them into exceptions.
#pragma once

#include <utility>
#include <variant>

namespace tabrix {

template <class E>
struct Failure {
  E error;
};
template <class E>
Failure<std::decay_t<E>> fail(E&& e) {
  return {std::forward<E>(e)};
}

template <class T, class E>
class Result {
 public:
  Result(T value) : v_(std::in_place_index<0>, std::move(value)) {}
  template <class F>
  Result(Failure<F> f) : v_(std::in_place_index<1>, std::move(f.error)) {}

  bool ok() const { return v_.index() == 0; }
  explicit operator bool() const { return ok(); }
  T& value() { return std::get<0>(v_); }
  const T& value() const { return std::get<0>(v_); }
  T& operator*() { return value(); }
  const T& operator*() const { return value(); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }
  E& error() { return std::get<1>(v_); }
  const E& error() const { return std::get<1>(v_); }

 private:
  std::variant<T, E> v_;
};

}  // namespace tabrix
