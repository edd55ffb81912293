// The twelve URL_* formula functions: scalar functions over plain text that take URLs apart
// (URL_SCHEME ... URL_PARAM), test them (URL_VALID), encode and decode text (URL_ENCODE,
// URL_DECODE) and resolve references (URL_JOIN), all after the WHATWG URL Standard.
//
// Each function is a stateless `CustomFunction`. Every failure is returned as the display
// text of a `Value` error, "#VALUE! URL_HOST: invalid URL (empty host)", which the evaluator
// reads back into that error. Checks run in one order: the argument count, then the first
// argument (read, and parsed for the url-taking functions), then the second, then the
// function's own checks.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "core/registry.h"
#include "core/result.h"
#include "core/value.h"
#include "url/url_parser.h"

namespace tabrix::url {

using Args = std::vector<CellValue>;
using CallResult = Result<CellValue, std::string>;

#define TABRIX_URL_FUNCTION(Type, Name)                              \
  class Type final : public CustomFunction {                         \
   public:                                                           \
    static constexpr std::string_view kName = Name;                  \
    std::string name() const override { return std::string(kName); } \
    CallResult call(const Args& args) const override;                \
  }

TABRIX_URL_FUNCTION(UrlSchemeFn, "URL_SCHEME");
TABRIX_URL_FUNCTION(UrlHostFn, "URL_HOST");
TABRIX_URL_FUNCTION(UrlPortFn, "URL_PORT");
TABRIX_URL_FUNCTION(UrlPathFn, "URL_PATH");
TABRIX_URL_FUNCTION(UrlPathSegmentFn, "URL_PATH_SEGMENT");
TABRIX_URL_FUNCTION(UrlQueryFn, "URL_QUERY");
TABRIX_URL_FUNCTION(UrlFragmentFn, "URL_FRAGMENT");
TABRIX_URL_FUNCTION(UrlParamFn, "URL_PARAM");
TABRIX_URL_FUNCTION(UrlValidFn, "URL_VALID");
TABRIX_URL_FUNCTION(UrlEncodeFn, "URL_ENCODE");
TABRIX_URL_FUNCTION(UrlDecodeFn, "URL_DECODE");
TABRIX_URL_FUNCTION(UrlJoinFn, "URL_JOIN");

#undef TABRIX_URL_FUNCTION

// Fresh objects of the twelve functions, in registration order: the one list that drives
// registration. Cannot fail.
std::vector<std::shared_ptr<const CustomFunction>> url_functions();

// Registers the twelve functions into `registry` in their fixed order, stopping at and
// returning the first RegistryError (a name the registry already holds). Installing them on
// a sheet is `register_on_sheet` (url_pack.h).
RegistryStatus register_url_functions(Registry& registry);

// ---- Shared routines; each failure is a "#VALUE! ..." text naming the function ------------

// Fails with "{name}: expected {expected} arg" ("args" unless `expected` is 1) when `count`
// differs from `expected`.
Result<std::monostate, std::string> check_arity(std::string_view name, size_t count,
                                                size_t expected);
// The text of argument `index` (1-based), which must be a String; any other value fails with
// "{name}: arg #{index} must be text".
Result<std::string_view, std::string> arg_text(const Args& args, size_t index,
                                               std::string_view name);
// The numeric reading of argument `index` (1-based); fails with "{name}: arg #{index} must be
// a number" when the value has none.
Result<double, std::string> arg_number(const Args& args, size_t index, std::string_view name);
// Parses `text` as an absolute URL; fails with "{name}: invalid URL ({description})".
Result<Url, std::string> parse_url(std::string_view text, std::string_view name);

}  // namespace tabrix::url
