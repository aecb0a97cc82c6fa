#pragma once

#include <string>
#include <string_view>

namespace qv {

// A package's text as UTF-8. The game writes strings in Windows-1252 (its "ANSI" code page), or
// as UTF-16 little-endian when the stored length is negative; names are Windows-1252 too.

// Windows-1252 bytes as UTF-8: ASCII as it is, 0x80-0xFF as the code page maps them; the five
// bytes it leaves unassigned become U+FFFD.
std::string textFromWindows1252(std::string_view bytes);

// UTF-16LE code units as UTF-8; an unpaired surrogate becomes U+FFFD, an odd last byte is dropped.
std::string textFromUtf16(std::string_view bytes);

}  // namespace qv
