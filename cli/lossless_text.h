#pragma once

#include <string>
#include <string_view>

#include "platform/escaped_text.h"

namespace qv::cli {

// A name as one field of a tab-separated line is written by qv::escapedField, the escaping every
// line that carries a name goes through.
using qv::escapedField;

// The bytes of `text` in base64 (RFC 4648, with padding): the lossless form of a name in JSON,
// where a name that is not UTF-8 cannot be text as it is.
std::string base64Of(std::string_view text);

}  // namespace qv::cli
