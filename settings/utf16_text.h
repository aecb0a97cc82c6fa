#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qv {

// Appends the code point as UTF-8.
void appendUtf8(std::string& out, std::uint32_t cp);

// UTF-16 text without its byte-order mark as UTF-8; a lone half of a surrogate pair becomes
// U+FFFD and an odd last byte is dropped.
std::string utf16ToUtf8(std::string_view units, bool littleEndian);

}  // namespace qv
