#include "platform/escaped_text.h"

#include <algorithm>

namespace qv {

namespace {

bool isControl(unsigned char byte) {
    return byte < 0x20 || byte == 0x7F;
}

// The mnemonic of `c` in the Field form, or nullptr.
const char* mnemonicOf(char c) {
    switch (c) {
        case '\\':
            return "\\\\";
        case '\t':
            return "\\t";
        case '\r':
            return "\\r";
        case '\n':
            return "\\n";
        default:
            return nullptr;
    }
}

// The length of the well-formed UTF-8 sequence at `at` that starts with a byte of 0x80 or more,
// or 0 when none starts there.
std::size_t utf8Length(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char b = byte(at);
    const std::size_t n = b >= 0xC2 && b <= 0xDF   ? 2
                          : b >= 0xE0 && b <= 0xEF ? 3
                          : b >= 0xF0 && b <= 0xF4 ? 4
                                                   : 0;
    if (n == 0 || at + n > text.size()) return 0;
    for (std::size_t i = 1; i < n; ++i)
        if ((byte(at + i) & 0xC0) != 0x80) return 0;
    const unsigned char second = byte(at + 1);
    if ((b == 0xE0 && second < 0xA0) || (b == 0xED && second > 0x9F) ||
        (b == 0xF0 && second < 0x90) || (b == 0xF4 && second > 0x8F))
        return 0;  // overlong, a surrogate, or past U+10FFFF
    return n;
}

}  // namespace

// C0 controls and DEL, and the C1 controls (U+0080-U+009F) both as UTF-8 and as stray bytes
// (0x9B alone is a terminal's CSI), are escaped; other bytes, valid UTF-8 or not, are kept.
void appendEscaped(std::string& out, std::string_view text, EscapeForm form) {
    const bool field = form == EscapeForm::Field;
    const auto special = [field](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return isControl(byte) || byte >= 0x80 || (field && c == '\\');
    };
    // Nearly every name has nothing to escape: it goes in one piece.
    const auto first = std::find_if(text.begin(), text.end(), special);
    out.append(text.begin(), first);
    static constexpr char kHex[] = "0123456789ABCDEF";
    const auto hex = [&out](unsigned char byte) {
        out += "\\x";
        out += kHex[byte >> 4];
        out += kHex[byte & 0xF];
    };
    for (std::size_t at = static_cast<std::size_t>(first - text.begin()); at < text.size(); ++at) {
        const char c = text[at];
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x80) {
            const std::size_t n = utf8Length(text, at);
            if (n == 2 && byte == 0xC2 && static_cast<unsigned char>(text[at + 1]) < 0xA0) {
                hex(byte), hex(static_cast<unsigned char>(text[at + 1]));  // a C1 control
            } else if (n > 0) {
                out.append(text.substr(at, n));
            } else if (byte < 0xA0) {
                hex(byte);
            } else {
                out += c;
            }
            at += n > 0 ? n - 1 : 0;
        } else if (!special(c)) {
            out += c;
        } else if (const char* mnemonic = field ? mnemonicOf(c) : nullptr) {
            out += mnemonic;
        } else {
            hex(byte);
        }
    }
}

std::string escapedField(std::string_view text, EscapeForm form) {
    std::string out;
    out.reserve(text.size());
    appendEscaped(out, text, form);
    return out;
}

}  // namespace qv
