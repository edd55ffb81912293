// The files that contribute methods to the Sheet class, in the order of its method list.
#pragma once

#include "python/bridge.h"
#include "python/sheet.h"

namespace tabrix::py {

inline PyMethodDef* const kSheetTables[] = {kSheetMethods, kSheetBridgeMethods, kSheetEditorMethods,
                                            kSheetPackMethods};

}  // namespace tabrix::py
