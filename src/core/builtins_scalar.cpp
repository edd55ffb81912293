// Aggregate and element-wise built-ins: SUM, AVERAGE, MIN, MAX, COUNT, CONCAT over a flat
// list of values; ABS, ROUND, LEN, UPPER, LOWER over one element and the top-left values of
// the further arguments. All of them read numbers and texts through the registry, so custom
// values take part with their handler's number and display.
#include <cmath>
#include <cstdint>
#include <limits>

#include "core/builtins_impl.h"
#include "core/unicode.h"

namespace tabrix::builtins {

namespace {

// Folds the numeric readings of the list; `count` says how many there were.
struct NumericFold {
  double sum = -0.0;  // so that a sum of nothing is negative zero, as its text "-0" shows
  double min = std::numeric_limits<double>::infinity();
  double max = -std::numeric_limits<double>::infinity();
  size_t count = 0;
};

NumericFold fold_numbers(std::span<const CellValue> args, const Registry& registry) {
  NumericFold f;
  for (const auto& v : args) {
    auto x = registry.coerce_number(v);
    if (!x) continue;
    ++f.count;
    f.sum += *x;
    // NaN compares false both ways, so it never replaces the extremes.
    if (*x < f.min) f.min = *x;
    if (*x > f.max) f.max = *x;
  }
  return f;
}

CellValue number_or_empty(bool present, double x) {
  return present ? CellValue::number(x) : CellValue();
}

// 10 to the power n by binary exponentiation in doubles.
double power_of_ten(uint64_t n) {
  double result = 1.0, base = 10.0;
  while (n) {
    if (n & 1) result *= base;
    base *= base;
    n >>= 1;
  }
  return result;
}

// The digit count of ROUND: the fraction dropped, clamped to 32-bit signed, NaN as 0.
int64_t digit_count(double d) {
  if (std::isnan(d)) return 0;
  constexpr double lo = std::numeric_limits<int32_t>::min();
  constexpr double hi = std::numeric_limits<int32_t>::max();
  return int64_t(std::trunc(std::fmin(std::fmax(d, lo), hi)));
}

}  // namespace

ScalarResult sum(std::span<const CellValue> args, const Registry& registry) {
  return CellValue::number(fold_numbers(args, registry).sum);
}

ScalarResult average(std::span<const CellValue> args, const Registry& registry) {
  NumericFold f = fold_numbers(args, registry);
  return number_or_empty(f.count > 0, f.sum / double(f.count));
}

ScalarResult min(std::span<const CellValue> args, const Registry& registry) {
  NumericFold f = fold_numbers(args, registry);
  return number_or_empty(f.count > 0, f.min);
}

ScalarResult max(std::span<const CellValue> args, const Registry& registry) {
  NumericFold f = fold_numbers(args, registry);
  return number_or_empty(f.count > 0, f.max);
}

ScalarResult count(std::span<const CellValue> args, const Registry& registry) {
  size_t n = 0;
  for (const auto& v : args)
    if (registry.coerce_number(v)) ++n;
  return CellValue::number(double(n));
}

ScalarResult concat(std::span<const CellValue> args, const Registry& registry) {
  std::string out;
  for (const auto& v : args) registry.append_render(out, v);
  return CellValue::string(std::move(out));
}

// ABS and ROUND read the numeric readings of the list in order, skipping values without one:
// ROUND("x", 2) therefore rounds 2.

ScalarResult abs(std::span<const CellValue> args, const Registry& registry) {
  for (const auto& v : args)
    if (auto x = registry.coerce_number(v)) return CellValue::number(std::fabs(*x));
  return CellValue();
}

ScalarResult round(std::span<const CellValue> args, const Registry& registry) {
  std::optional<double> x, d;
  for (const auto& v : args) {
    auto n = registry.coerce_number(v);
    if (!n) continue;
    if (!x) {
      x = n;
    } else {
      d = n;
      break;
    }
  }
  if (!x) return CellValue();
  int64_t digits = digit_count(d.value_or(0.0));
  double f = digits >= 0 ? power_of_ten(uint64_t(digits)) : 1.0 / power_of_ten(uint64_t(-digits));
  double scaled = *x * f;
  // Extreme digit counts overflow the scale: rounding to more places than the double holds
  // leaves x as it is, rounding to more tens than it has gives zero. Taken literally,
  // round(x * f) / f would answer NaN or infinity for both.
  if (!std::isfinite(*x) || !std::isfinite(scaled)) return CellValue::number(*x);
  if (f == 0.0) return CellValue::number(std::copysign(0.0, *x));
  return CellValue::number(std::round(scaled) / f);  // std::round: halves away from zero
}

ScalarResult len(std::span<const CellValue> args, const Registry& registry) {
  if (args.empty()) return CellValue::number(0);
  // Bytes of the UTF-8 text, not characters.
  return CellValue::number(double(registry.render(args[0]).size()));
}

ScalarResult upper(std::span<const CellValue> args, const Registry& registry) {
  if (args.empty()) return CellValue::string({});
  return CellValue::string(to_upper_full(registry.render(args[0])));
}

ScalarResult lower(std::span<const CellValue> args, const Registry& registry) {
  if (args.empty()) return CellValue::string({});
  return CellValue::string(to_lower_full(registry.render(args[0])));
}

}  // namespace tabrix::builtins
