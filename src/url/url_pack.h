// Installing the URL pack on a sheet. Kept apart from the functions so that code which only
// fills a registry (register_url_functions, functions.h) does not pull in the sheet.
#pragma once

#include "core/registry.h"
#include "core/sheet.h"

namespace tabrix::url {

// Registers the twelve functions into a fresh registry, then each of them on `sheet` in the
// same order, without recalculating. Returns the first RegistryError at once (for example on
// URL_SCHEME when the pack is already installed); functions registered before it stay.
RegistryStatus register_on_sheet(Sheet& sheet);

}  // namespace tabrix::url
