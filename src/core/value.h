// Values and errors: the vocabulary every part of the engine speaks.
//
// A `CellValue` is one scalar (number, text, boolean, empty, error or custom value); an
// `ArrayValue` is a rectangular block of them, which is what every formula node evaluates to.
// `FormulaError` is an error kind with its display text; `SheetError` is a failure of a whole
// sheet operation. Every value has one text form (`display`) and one plain numeric reading
// (`as_number`); the single number-to-text rule of the system is `number_text`.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace tabrix {

struct FormulaError {
  enum class Kind : uint8_t {
    DivZero,
    Ref,
    Name,
    Spill,
    Loading,
    NotAvailable,
    Circular,
    Value,
    Size,
    Other,
  };
  Kind kind = Kind::Value;
  // Detail of `Value` and `Size` (absent or present, possibly empty); the text of `Other`.
  std::optional<std::string> text;

  static FormulaError div_zero() { return {Kind::DivZero, {}}; }
  static FormulaError ref() { return {Kind::Ref, {}}; }
  static FormulaError name() { return {Kind::Name, {}}; }
  static FormulaError spill() { return {Kind::Spill, {}}; }
  static FormulaError not_available() { return {Kind::NotAvailable, {}}; }
  static FormulaError circular() { return {Kind::Circular, {}}; }
  static FormulaError value(std::optional<std::string> detail = {}) {
    return {Kind::Value, std::move(detail)};
  }
  static FormulaError size(std::optional<std::string> detail = {}) {
    return {Kind::Size, std::move(detail)};
  }
  static FormulaError other(std::string text) { return {Kind::Other, std::move(text)}; }

  // Reads an error text back into a kind: exact standard texts, "#VALUE! detail",
  // "#SIZE! detail", "#CIRCULAR!" followed only by white space; anything else is `Other`.
  // Cannot fail.
  static FormulaError from_text(std::string_view text);

  // The display text ("#DIV/0!", "#VALUE! detail", the text of `Other`). Cannot fail.
  std::string display() const;

  bool operator==(const FormulaError&) const = default;
};

struct CustomValue {
  std::string type_tag;
  std::string data;
  bool operator==(const CustomValue&) const = default;
};

struct EmptyValue {
  bool operator==(const EmptyValue&) const = default;
};

class CellValue {
 public:
  // Alternatives in their fixed order; `kind()` returns the index.
  enum class Kind : uint8_t { Number, String, Boolean, Empty, Error, Custom };

  CellValue() : v_(EmptyValue{}) {}
  static CellValue number(double x) { return CellValue(Variant(std::in_place_index<0>, x)); }
  static CellValue string(std::string s) {
    return CellValue(Variant(std::in_place_index<1>, std::move(s)));
  }
  static CellValue boolean(bool b) { return CellValue(Variant(std::in_place_index<2>, b)); }
  static CellValue empty() { return CellValue(); }
  static CellValue error(FormulaError e) {
    return CellValue(Variant(std::in_place_index<4>, std::move(e)));
  }
  static CellValue custom(std::string type_tag, std::string data) {
    return CellValue(
        Variant(std::in_place_index<5>, CustomValue{std::move(type_tag), std::move(data)}));
  }

  Kind kind() const { return static_cast<Kind>(v_.index()); }
  bool is_number() const { return kind() == Kind::Number; }
  bool is_string() const { return kind() == Kind::String; }
  bool is_boolean() const { return kind() == Kind::Boolean; }
  bool is_empty() const { return kind() == Kind::Empty; }
  bool is_error() const { return kind() == Kind::Error; }
  bool is_custom() const { return kind() == Kind::Custom; }

  // Accessors; each requires the matching kind.
  double as_double() const { return std::get<0>(v_); }
  const std::string& as_string() const { return std::get<1>(v_); }
  bool as_bool() const { return std::get<2>(v_); }
  const FormulaError& as_error() const { return std::get<4>(v_); }
  const CustomValue& as_custom() const { return std::get<5>(v_); }

  // The plain numeric reading: numbers, booleans (1/0) and strings under the number
  // grammar; nothing for empty, error, custom and non-numeric text. Cannot fail.
  std::optional<double> as_number() const;

  // The text form: number text, the string, "TRUE"/"FALSE", "", the error display, the
  // custom `data`. Cannot fail.
  std::string display() const;

  bool operator==(const CellValue&) const = default;

 private:
  using Variant = std::variant<double, std::string, bool, EmptyValue, FormulaError, CustomValue>;
  explicit CellValue(Variant v) : v_(std::move(v)) {}
  Variant v_;
};

struct ArrayValue {
  uint32_t rows = 0;
  uint32_t cols = 0;
  std::vector<CellValue> data;  // row-major, rows * cols elements

  ArrayValue() = default;
  // Aborts with "shape/data mismatch" when data does not hold rows * cols values: callers
  // always build it that way, so a mismatch is a programming error.
  ArrayValue(uint32_t rows, uint32_t cols, std::vector<CellValue> data);
  static ArrayValue scalar(CellValue v);

  // A copy of the top-left element, or `Empty` for an array without elements.
  CellValue first() const;
  const CellValue& at(uint32_t r, uint32_t c) const { return data[size_t(r) * cols + c]; }
  uint64_t size() const { return uint64_t(rows) * cols; }

  bool operator==(const ArrayValue&) const = default;
};

struct SheetError {
  enum class Kind : uint8_t { Cycle, BadName, BadDefinition };
  Kind kind;
  std::vector<std::string> cells;  // Cycle
  std::string message;             // BadName, BadDefinition

  static SheetError cycle(std::vector<std::string> ids) {
    return {Kind::Cycle, std::move(ids), {}};
  }
  static SheetError bad_name(std::string m) { return {Kind::BadName, {}, std::move(m)}; }
  static SheetError bad_definition(std::string m) {
    return {Kind::BadDefinition, {}, std::move(m)};
  }
  // "#CIRCULAR! Cycle detected involving: A1, B2" or the message. Cannot fail.
  std::string display() const;
};

// The single number-to-text rule: shortest round-trip digits written positionally, never
// with an exponent; "NaN", "inf", "-inf"; "-0" for negative zero. Cannot fail.
std::string number_text(double x);
void append_number_text(std::string& out, double x);

// Reads a whole text under the number grammar (optional sign, then inf/infinity/nan in any
// case, or a decimal mantissa with an optional exponent). Nothing is trimmed; returns
// nothing when the text is not a number.
std::optional<double> parse_number(std::string_view text);

namespace types {
// Letters of a 1-based column number: 1 -> "A", 27 -> "AA"; 0 -> "". Cannot fail.
std::string index_to_col(uint32_t n);
// The letters followed by the decimal row number: ("B", 12) -> "B12". Cannot fail.
std::string cell_id(std::string_view letters, uint32_t row);
}  // namespace types

}  // namespace tabrix
