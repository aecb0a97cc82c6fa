#pragma once

// The one reader of a package's bytes: bounds-checked little-endian numbers and the compact
// index, over a piece of bytes held in memory.

#include <bit>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace qv {

// Reads little-endian numbers and compact indexes from a bounded piece of bytes; past its end it
// fails and every later read gives 0.
class ByteCursor {
  public:
    explicit ByteCursor(std::string_view bytes, std::size_t at = 0) : b_(bytes), pos_(at) {
        failed_ = at > bytes.size();
    }
    bool failed() const { return failed_; }
    std::size_t position() const { return pos_; }
    std::size_t left() const { return failed_ ? 0 : b_.size() - pos_; }
    // Inline: a package's tables are read an index at a time, thousands per package.
    // Unchecked: the caller saw has(n) for at least the five bytes an index can take.
    template <bool kChecked = true>
    std::int32_t compact() {
        if (kChecked && (failed_ || b_.size() - pos_ < 5)) return compactNearEnd();
        const auto* p = reinterpret_cast<const unsigned char*>(b_.data() + pos_);
        const unsigned first = p[0];
        std::uint64_t value = first & 0x3F;
        std::size_t n = 1;
        if (first & 0x40)
            for (int shift = 6; n < 5; shift += 7) {
                const unsigned next = p[n++];
                value |= static_cast<std::uint64_t>(next & 0x7F) << shift;
                if (!(next & 0x80)) break;
            }
        pos_ += n;
        // Five bytes hold 34 bits: more than 31 of them is no index.
        if (value > INT32_MAX) return fail(), 0;
        const auto v = static_cast<std::int32_t>(value);
        return (first & 0x80) ? -v : v;
    }
    // At least `n` bytes are left to read.
    bool has(std::size_t n) const { return !failed_ && b_.size() - pos_ >= n; }
    std::uint8_t u8() { return need(1) ? static_cast<std::uint8_t>(b_[pos_++]) : 0; }
    std::uint16_t u16() { return static_cast<std::uint16_t>(little<2>()); }
    template <bool kChecked = true>
    std::uint32_t u32() {
        return static_cast<std::uint32_t>(little<4, kChecked>());
    }
    std::uint64_t u64() { return little<8>(); }
    std::string_view bytes(std::size_t n) {
        if (!need(n)) return {};
        const std::string_view v = b_.substr(pos_, n);
        pos_ += n;
        return v;
    }
    void fail() { failed_ = true; }
    // The bytes from `from` to the position.
    std::string_view span(std::size_t from) const { return b_.substr(from, pos_ - from); }

  private:
    bool need(std::size_t n) {
        if (failed_ || b_.size() - pos_ < n) return failed_ = true, false;
        return true;
    }
    // N little-endian bytes at `p`, in one load.
    template <std::size_t N>
    static std::uint64_t load(const char* p) {
        std::uint64_t v = 0;
        std::memcpy(&v, p, N);
        if constexpr (std::endian::native == std::endian::big)
            v = __builtin_bswap64(v) >> (64 - 8 * N);
        return v;
    }
    template <std::size_t N, bool kChecked = true>
    std::uint64_t little() {
        if (kChecked && !need(N)) return 0;
        const std::uint64_t v = load<N>(b_.data() + pos_);
        pos_ += N;
        return v;
    }
    std::int32_t compactNearEnd();
    std::string_view b_;
    std::size_t pos_ = 0;
    bool failed_ = false;
};

}  // namespace qv
