#pragma once

#include <string>
#include <string_view>

namespace qv::cli {

// The bytes of `text` in base64 (RFC 4648, with padding): the lossless form of a name in JSON,
// where a name that is not UTF-8 cannot be text as it is.
std::string base64Of(std::string_view text);

}  // namespace qv::cli
