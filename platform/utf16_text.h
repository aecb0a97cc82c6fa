#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qv {

// Appends the code point as UTF-8.
void appendUtf8(std::string& out, std::uint32_t cp);

// UTF-16 code units, one at a time, to UTF-8 in `out`: a surrogate pair becomes its one code
// point, a lone half of a pair U+FFFD. Call finish() after the last unit.
class Utf16Decoder final {
  public:
    explicit Utf16Decoder(std::string& out) : out_(out) {}
    Utf16Decoder(const Utf16Decoder&) = delete;
    Utf16Decoder& operator=(const Utf16Decoder&) = delete;

    void add(std::uint32_t unit);
    // Writes a high half still waiting for its pair.
    void finish();

  private:
    std::string& out_;
    std::uint32_t high_ = 0;  // a high surrogate waiting for its low half, or 0
};

// UTF-16 text without its byte-order mark as UTF-8; a lone half of a surrogate pair becomes
// U+FFFD and an odd last byte is dropped.
std::string utf16ToUtf8(std::string_view units, bool littleEndian);

}  // namespace qv
