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

}  // namespace

void appendEscaped(std::string& out, std::string_view text, EscapeForm form) {
    const bool field = form == EscapeForm::Field;
    const auto special = [field](char c) {
        return isControl(static_cast<unsigned char>(c)) || (field && c == '\\');
    };
    // Nearly every name has nothing to escape: it goes in one piece.
    const auto first = std::find_if(text.begin(), text.end(), special);
    out.append(text.begin(), first);
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (auto at = first; at != text.end(); ++at) {
        const char c = *at;
        const auto byte = static_cast<unsigned char>(c);
        if (!special(c)) {
            out += c;
        } else if (const char* mnemonic = field ? mnemonicOf(c) : nullptr) {
            out += mnemonic;
        } else {
            out += "\\x";
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
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
