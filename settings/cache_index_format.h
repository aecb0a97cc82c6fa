#pragma once

#include <cstddef>

namespace qv {

// An entry line of cache.ini: the generated part of a cache file's name (a GUID), the character
// after it (an '=', never examined), then the package's real name.
constexpr std::size_t kGuidLength = 32;
constexpr std::size_t kRealNameStart = kGuidLength + 1;

}  // namespace qv
