// The bridge that lets Python objects act as custom functions (PyFunc) and custom value types
// (PyHandler). A Python failure never escapes into the engine: each operation turns it into
// no answer or an error text "TypeName: message". Adapters hold strong references, released
// when the last registry holding them goes; the Sheet type's garbage-collector support visits
// them so that a callback that refers back to its sheet does not keep both alive forever.
#pragma once

#include "core/registry.h"
#include "python/pyref.h"

namespace tabrix::py {

// Implemented by the adapters so that the Sheet type can traverse their references.
class PyOwner {
 public:
  virtual ~PyOwner() = default;
  virtual int traverse(visitproc visit, void* arg) const = 0;
};

// Visits the Python references of every adapter in the registry. Returns the first non-zero
// result of `visit`.
int traverse_registry(const Registry& registry, visitproc visit, void* arg);

// Method table of the Sheet class: register_type, register_function, try_parse.
extern PyMethodDef kSheetBridgeMethods[];

}  // namespace tabrix::py
