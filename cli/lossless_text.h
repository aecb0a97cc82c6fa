#pragma once

#include <string>
#include <string_view>

namespace qv::cli {

// A name as one field of a tab-separated line: a backslash becomes "\\", a tab "\t", a carriage
// return "\r", a line feed "\n", and any other control byte (below 0x20, and 0x7F) "\xNN" with two
// upper-case hex digits. Other bytes, UTF-8 or not, are written as they are.
std::string escapedField(std::string_view text);

// The bytes of `text` in base64 (RFC 4648, with padding): the lossless form of a name in JSON,
// where a name that is not UTF-8 cannot be text as it is.
std::string base64Of(std::string_view text);

}  // namespace qv::cli
