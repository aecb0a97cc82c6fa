#include "package/package_text.h"

#include <cstdint>

#include "platform/utf16_text.h"

namespace qv {

namespace {

// Windows-1252's 0x80-0x9F; 0xFFFD where the code page assigns nothing.
constexpr char16_t kHigh[32] = {0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD,
                                0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

}  // namespace

std::string textFromWindows1252(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x80)
            out += c;
        else
            appendUtf8(out, b < 0xA0 ? kHigh[b - 0x80] : b);
    }
    return out;
}

std::string textFromUtf16(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    Utf16Decoder decoder(out);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        decoder.add(static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1])
                                                               << 8);
    decoder.finish();
    return out;
}

}  // namespace qv
