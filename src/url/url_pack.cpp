#include "url/url_pack.h"

#include <utility>

#include "url/functions.h"

namespace tabrix::url {

RegistryStatus register_on_sheet(Sheet& sheet) {
  // The scratch registry checks the names against the built-ins and each other first.
  Registry scratch;
  if (auto status = register_url_functions(scratch); !status) return status;
  for (auto& function : std::move(scratch).into_functions()) {
    auto status = sheet.register_function(std::move(function));
    if (!status) return status;
  }
  return std::monostate{};
}

}  // namespace tabrix::url
