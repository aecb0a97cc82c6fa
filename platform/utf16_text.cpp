#include "platform/utf16_text.h"

namespace qv {

void appendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

void Utf16Decoder::add(std::uint32_t unit) {
    const bool highHalf = unit >= 0xD800 && unit < 0xDC00;
    const bool lowHalf = unit >= 0xDC00 && unit < 0xE000;
    if (high_ && lowHalf) {
        appendUtf8(out_, 0x10000 + ((high_ - 0xD800) << 10) + (unit - 0xDC00));
        high_ = 0;
        return;
    }
    finish();
    if (highHalf)
        high_ = unit;
    else
        appendUtf8(out_, lowHalf ? 0xFFFD : unit);
}

void Utf16Decoder::finish() {
    if (high_) appendUtf8(out_, 0xFFFD);
    high_ = 0;
}

std::string utf16ToUtf8(std::string_view units, bool littleEndian) {
    std::string out;
    Utf16Decoder decoder(out);
    for (std::size_t i = 0; i + 1 < units.size(); i += 2) {
        const auto a = static_cast<unsigned char>(units[i]),
                   b = static_cast<unsigned char>(units[i + 1]);
        decoder.add(littleEndian ? (b << 8 | a) : (a << 8 | b));
    }
    decoder.finish();
    return out;
}

}  // namespace qv
