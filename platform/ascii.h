#pragma once

#include <string>
#include <string_view>

namespace qv {

// Character tests and case folding of 8-bit text by ASCII alone. The C library's versions
// follow the process's locale (under a Turkish one 'i' does not upper-case to 'I'), and the
// programs call setlocale for dates, so names must never go through them.
constexpr bool isUpperAscii(char c) {
    return c >= 'A' && c <= 'Z';
}
constexpr bool isLowerAscii(char c) {
    return c >= 'a' && c <= 'z';
}
constexpr bool isAlphaAscii(char c) {
    return isUpperAscii(c) || isLowerAscii(c);
}
constexpr bool isDigitAscii(char c) {
    return c >= '0' && c <= '9';
}
constexpr bool isSpaceAscii(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}
constexpr char upperAscii(char c) {
    return isLowerAscii(c) ? static_cast<char>(c - 'a' + 'A') : c;
}
constexpr char lowerAscii(char c) {
    return isUpperAscii(c) ? static_cast<char>(c - 'A' + 'a') : c;
}

// Only the ASCII letters change; every other byte stays as it is.
inline std::string upperAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = upperAscii(c);
    return out;
}
inline std::string lowerAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = lowerAscii(c);
    return out;
}

inline bool equalsNoCaseAscii(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
    return true;
}

// Hashing and comparing names without regard to ASCII letter case, for containers that look
// names up by string_view without making lower-case copies.
struct NoCaseAsciiHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const {
        std::size_t h = 14695981039346656037ull;
        for (char c : text) h = (h ^ static_cast<unsigned char>(lowerAscii(c))) * 1099511628211ull;
        return h;
    }
};
struct NoCaseAsciiEqual {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const {
        return equalsNoCaseAscii(a, b);
    }
};

// A space or a tab.
constexpr bool isBlankAscii(char c) {
    return c == ' ' || c == '\t';
}

// The bytes trimAscii takes off by default; and with the carriage return a line read from a file
// with CR LF ends may keep.
inline constexpr std::string_view kBlanks = " \t", kBlanksAndCr = " \t\r";

// `text` without the bytes of `front` at its start and of `back` at its end: by default the
// spaces and tabs at either end; ("", kBlanks) trims the end only, (kBlanks, "") the start only.
// A field of a line that may end in CR LF takes (kBlanks, kBlanksAndCr).
constexpr std::string_view trimAscii(std::string_view text, std::string_view front = kBlanks,
                                     std::string_view back = kBlanks) {
    const std::size_t first = text.find_first_not_of(front);
    if (first == std::string_view::npos) return text.substr(text.size());
    text.remove_prefix(first);
    return text.substr(0, text.find_last_not_of(back) + 1);
}

// The value of a hex digit (either case), -1 for any other character.
constexpr int hexDigitValue(char c) {
    if (isDigitAscii(c)) return c - '0';
    c = lowerAscii(c);
    return (c >= 'a' && c <= 'f') ? c - 'a' + 10 : -1;
}

// Blank: empty, or nothing but spaces and tabs.
inline bool isBlankLine(std::string_view line) {
    return trimAscii(line).empty();
}

}  // namespace qv
