// The application/x-www-form-urlencoded parser of the WHATWG URL Standard: a query such as
// "a=1&b=two+words" read into its (name, value) pairs, in order.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tabrix::url {

using FormPairs = std::vector<std::pair<std::string, std::string>>;

// Splits `input` on "&", skips empty pieces, cuts each at its first "=" (no "=" gives an
// empty value), reads "+" as a space, percent-decodes, and decodes the bytes as UTF-8 with
// U+FFFD for ill-formed sequences. Cannot fail.
FormPairs parse_form_urlencoded(std::string_view input);

}  // namespace tabrix::url
