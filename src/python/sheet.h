// The Python class `Sheet`: one engine Sheet per object and a borrow flag that allows any
// number of shared borrows (readers) or one exclusive borrow (mutators). A conflict, which
// only a callback re-entering its own sheet during a recalculation can cause, raises
// RuntimeError "Already mutably borrowed" / "Already borrowed".
#pragma once

#include "core/sheet.h"
#include "python/pyref.h"

namespace tabrix::py {

struct PySheet {
  PyObject_HEAD Sheet* sheet;
  long borrow;  // > 0: shared borrows; -1: exclusive
  PyObject* weakrefs;
};

// Holds a shared borrow for its lifetime; `ok()` is false (RuntimeError set) on conflict.
class SharedBorrow {
 public:
  explicit SharedBorrow(PyObject* self);
  ~SharedBorrow();
  bool ok() const { return s_ != nullptr; }
  Sheet& sheet() const { return *s_->sheet; }

 private:
  PySheet* s_;
};

// Holds the exclusive borrow for its lifetime; `ok()` is false (RuntimeError set) when any
// borrow is active.
class ExclusiveBorrow {
 public:
  explicit ExclusiveBorrow(PyObject* self);
  ~ExclusiveBorrow();
  bool ok() const { return s_ != nullptr; }
  Sheet& sheet() const { return *s_->sheet; }

 private:
  PySheet* s_;
};

// Method tables of the Sheet class, one per file that contributes methods; each ends with a
// null entry. The class's methods are their concatenation in this order.
extern PyMethodDef kSheetMethods[];        // sheet.cpp: cells, values, spills, names, pins
extern PyMethodDef kSheetEditorMethods[];  // editor.cpp: list_functions, signature_help, complete
extern PyMethodDef kSheetPackMethods[];    // packs.cpp: register_url

// Creates the Sheet type (a new reference), or null with an exception.
PyObject* make_sheet_type();

// Raises ValueError with the display text of a sheet failure when there is one; returns
// None otherwise (a new reference) or null.
PyObject* status_to_py(const SheetStatus& status);

}  // namespace tabrix::py
