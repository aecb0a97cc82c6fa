#pragma once

#include <string>
#include <string_view>

namespace qv {

// Upper case of 8-bit text: only the ASCII letters change, every other byte stays as it is, so
// names that are not valid in any code page compare the same way on every system.
inline std::string upperAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

}  // namespace qv
