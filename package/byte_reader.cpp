#include "package/byte_reader.h"

namespace qv {

// The last bytes of a piece, each read checked: a compact index cut by the end fails.
std::int32_t ByteCursor::compactNearEnd() {
    const int first = u8();
    std::int64_t value = first & 0x3F;
    if (first & 0x40)
        for (int shift = 6, i = 0; i < 4; ++i, shift += 7) {
            const int next = u8();
            value |= static_cast<std::int64_t>(next & 0x7F) << shift;
            if (!(next & 0x80)) break;
        }
    if (value > INT32_MAX) return fail(), 0;
    return static_cast<std::int32_t>((first & 0x80) ? -value : value);
}

}  // namespace qv
