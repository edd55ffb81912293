// The method tables of the module's Python-facing files. Each table ends with a null entry;
// module.cpp adds their functions in the module's fixed export order.
#pragma once

#include "python/pyref.h"

namespace tabrix::py {

extern PyMethodDef kAddressFunctions[];  // address.cpp
extern PyMethodDef kRefsFunctions[];     // refs.cpp
extern PyMethodDef kFormulaFunctions[];  // formula.cpp
extern PyMethodDef kEditorFunctions[];   // editor.cpp

}  // namespace tabrix::py
