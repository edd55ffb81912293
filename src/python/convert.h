// Conversions between engine values and Python objects shared by every Python-facing file:
// the typed mapping (value -> Python), Python -> value for results of Python callbacks, the
// custom value dict, and the typed payload dicts of Sheet.set_cells_typed.
#pragma once

#include "core/value.h"
#include "python/pyref.h"

#include <optional>
#include <string>

namespace tabrix::py {

// The typed mapping: int for integral numbers below 2**53 in magnitude, else float; str;
// bool; None for Empty; the display text for errors; the custom value dict. New reference,
// null with an exception on failure (memory only).
PyObject* value_to_py(const CellValue& v);
// {"type_tag": ..., "data": ...}. New reference.
PyObject* custom_to_py(const CustomValue& c);
// The display text, or None for Empty. New reference.
PyObject* text_or_none(const CellValue& v);

// None, bool, numbers (float conversion), str, custom value dicts, else str(obj). Returns
// nullopt with the exception of str(obj) set when that raises.
std::optional<CellValue> py_to_value(PyObject* obj);

// One typed payload dict, converted. `raw` inputs are classified by the sheet like
// Sheet.set_cells texts; the others are typed values.
struct PayloadInput {
  bool raw = false;
  std::string text;  // raw
  CellValue value;   // typed
};
// Fails with ValueError ("payload must be a dict", "number: `value` must be numeric", ...)
// or with an exception raised by the payload's own conversions.
std::optional<PayloadInput> payload_to_input(PyObject* payload);

}  // namespace tabrix::py
