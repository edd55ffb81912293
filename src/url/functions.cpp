#include "url/functions.h"

#include <cmath>

#include "url/form.h"
#include "url/percent.h"

namespace tabrix::url {
namespace {

// A failure of a URL function: the display text of a Value error with `message` as detail.
Failure<std::string> value_error(std::string message) {
  return fail(FormulaError::value(std::move(message)).display());
}

std::string prefixed(std::string_view name, std::string_view message) {
  std::string out(name);
  out += ": ";
  out += message;
  return out;
}

CellValue text(std::string s) {
  return CellValue::string(std::move(s));
}

// The common start of the one-argument url functions: arity 1, a text, an absolute URL.
Result<Url, std::string> single_url(const Args& args, std::string_view name) {
  if (auto arity = check_arity(name, args.size(), 1); !arity) return fail(arity.error());
  auto url_text = arg_text(args, 1, name);
  if (!url_text) return fail(url_text.error());
  return parse_url(*url_text, name);
}

// The one text argument of URL_VALID, URL_ENCODE and URL_DECODE.
Result<std::string_view, std::string> single_text(const Args& args, std::string_view name) {
  if (auto arity = check_arity(name, args.size(), 1); !arity) return fail(arity.error());
  return arg_text(args, 1, name);
}

// Segment `index` of `segments` counted from 1 at the front or from -1 at the back; null when
// the index is beyond either end. `index` is a non-zero whole number.
const std::string* pick_segment(const std::vector<std::string>& segments, double index) {
  double count = double(segments.size());
  if (index > count || -index > count) return nullptr;
  size_t at = index > 0 ? size_t(index) - 1 : segments.size() - size_t(-index);
  return &segments[at];
}

}  // namespace

// ---- Shared routines ------------------------------------------------------------------------

Result<std::monostate, std::string> check_arity(std::string_view name, size_t count,
                                                size_t expected) {
  if (count == expected) return std::monostate{};
  return value_error(
      prefixed(name, "expected " + std::to_string(expected) + (expected == 1 ? " arg" : " args")));
}

Result<std::string_view, std::string> arg_text(const Args& args, size_t index,
                                               std::string_view name) {
  if (index == 0 || index > args.size() || !args[index - 1].is_string())
    return value_error(prefixed(name, "arg #" + std::to_string(index) + " must be text"));
  return std::string_view(args[index - 1].as_string());
}

Result<double, std::string> arg_number(const Args& args, size_t index, std::string_view name) {
  auto n = index == 0 || index > args.size() ? std::nullopt : args[index - 1].as_number();
  if (!n) return value_error(prefixed(name, "arg #" + std::to_string(index) + " must be a number"));
  return *n;
}

Result<Url, std::string> parse_url(std::string_view text, std::string_view name) {
  auto url = parse(text);
  if (!url) {
    std::string message = "invalid URL (";
    message += describe(url.error());
    message += ')';
    return value_error(prefixed(name, message));
  }
  return std::move(*url);
}

// ---- The twelve functions -------------------------------------------------------------------

CallResult UrlSchemeFn::call(const Args& args) const {
  auto url = single_url(args, kName);
  if (!url) return fail(url.error());
  return text(std::move(url->scheme));
}

CallResult UrlHostFn::call(const Args& args) const {
  auto url = single_url(args, kName);
  if (!url) return fail(url.error());
  return text(url->host ? std::move(url->host->text) : std::string());
}

CallResult UrlPortFn::call(const Args& args) const {
  auto url = single_url(args, kName);
  if (!url) return fail(url.error());
  return CellValue::number(url->port ? double(*url->port) : 0.0);
}

CallResult UrlPathFn::call(const Args& args) const {
  auto url = single_url(args, kName);
  if (!url) return fail(url.error());
  return text(url->pathname());
}

CallResult UrlPathSegmentFn::call(const Args& args) const {
  if (auto arity = check_arity(kName, args.size(), 2); !arity) return fail(arity.error());
  auto url_text = arg_text(args, 1, kName);
  if (!url_text) return fail(url_text.error());
  auto url = parse_url(*url_text, kName);
  if (!url) return fail(url.error());
  auto index = arg_number(args, 2, kName);
  if (!index) return fail(index.error());
  if (!std::isfinite(*index) || *index == 0 || std::trunc(*index) != *index)
    return value_error(prefixed(kName, "index must be a non-zero whole number"));
  // An opaque path has no segments.
  if (url->has_opaque_path) return text({});
  const std::string* segment = pick_segment(url->path, *index);
  if (segment == nullptr) return text({});
  std::string decoded = percent_decode(*segment);
  if (!is_valid_utf8(decoded)) return value_error(prefixed(kName, "segment is not valid UTF-8"));
  return text(std::move(decoded));
}

CallResult UrlQueryFn::call(const Args& args) const {
  auto url = single_url(args, kName);
  if (!url) return fail(url.error());
  return text(url->query.value_or(std::string()));
}

CallResult UrlFragmentFn::call(const Args& args) const {
  auto url = single_url(args, kName);
  if (!url) return fail(url.error());
  return text(url->fragment.value_or(std::string()));
}

CallResult UrlParamFn::call(const Args& args) const {
  if (auto arity = check_arity(kName, args.size(), 2); !arity) return fail(arity.error());
  auto url_text = arg_text(args, 1, kName);
  if (!url_text) return fail(url_text.error());
  auto url = parse_url(*url_text, kName);
  if (!url) return fail(url.error());
  auto key = arg_text(args, 2, kName);
  if (!key) return fail(key.error());
  for (auto& [name, value] : parse_form_urlencoded(url->query.value_or(std::string())))
    if (name == *key) return text(std::move(value));
  return text({});
}

CallResult UrlValidFn::call(const Args& args) const {
  auto input = single_text(args, kName);
  if (!input) return fail(input.error());
  return CellValue::boolean(parse(*input).ok());
}

CallResult UrlEncodeFn::call(const Args& args) const {
  auto input = single_text(args, kName);
  if (!input) return fail(input.error());
  return text(percent_encode(*input, EncodeSet::Alphanumeric));
}

CallResult UrlDecodeFn::call(const Args& args) const {
  auto input = single_text(args, kName);
  if (!input) return fail(input.error());
  std::string decoded = percent_decode(*input);
  if (!is_valid_utf8(decoded)) return value_error(prefixed(kName, "result is not valid UTF-8"));
  return text(std::move(decoded));
}

CallResult UrlJoinFn::call(const Args& args) const {
  if (auto arity = check_arity(kName, args.size(), 2); !arity) return fail(arity.error());
  auto base_text = arg_text(args, 1, kName);
  if (!base_text) return fail(base_text.error());
  auto base = parse_url(*base_text, kName);
  if (!base) return fail(base.error());
  auto relative = arg_text(args, 2, kName);
  if (!relative) return fail(relative.error());
  auto joined = parse(*relative, &*base);
  if (!joined) return value_error(prefixed(kName, describe(joined.error())));
  return text(joined->serialize());
}

// ---- Registration order -----------------------------------------------------------------

namespace {
template <class F>
std::shared_ptr<const CustomFunction> make() {
  return std::make_shared<const F>();
}
using Maker = std::shared_ptr<const CustomFunction> (*)();
constexpr Maker kUrlFunctions[] = {
    make<UrlSchemeFn>,      make<UrlHostFn>,   make<UrlPortFn>,     make<UrlPathFn>,
    make<UrlPathSegmentFn>, make<UrlQueryFn>,  make<UrlFragmentFn>, make<UrlParamFn>,
    make<UrlValidFn>,       make<UrlEncodeFn>, make<UrlDecodeFn>,   make<UrlJoinFn>,
};
static_assert(std::size(kUrlFunctions) == 12);
}  // namespace

std::vector<std::shared_ptr<const CustomFunction>> url_functions() {
  std::vector<std::shared_ptr<const CustomFunction>> out;
  out.reserve(std::size(kUrlFunctions));
  for (Maker m : kUrlFunctions) out.push_back(m());
  return out;
}

RegistryStatus register_url_functions(Registry& registry) {
  for (auto& function : url_functions()) {
    auto status = registry.register_function(std::move(function));
    if (!status) return status;
  }
  return std::monostate{};
}

}  // namespace tabrix::url
