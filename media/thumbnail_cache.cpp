#include "media/thumbnail_cache.h"

#include <array>

#include "platform/paths.h"

namespace qv::thumbnails {

namespace {

constexpr char kHex[] = "0123456789abcdef";
constexpr char kUpperHex[] = "0123456789ABCDEF";

bool keptInUri(unsigned char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
    return std::string_view("-._~!$&'()*+,;=:@/[]").find(static_cast<char>(c)) !=
           std::string_view::npos;
}

// MD5 (RFC 1321): the sines' table and the rotations of its four rounds.
constexpr std::array<std::uint32_t, 64> kSines = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};
constexpr std::array<std::array<int, 4>, 4> kRotations = {
    {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}}};

std::uint32_t rotl(std::uint32_t v, int by) {
    return (v << by) | (v >> (32 - by));
}

void md5Block(std::array<std::uint32_t, 4>& state, const unsigned char* block) {
    std::array<std::uint32_t, 16> m{};
    for (int k = 0; k < 16; ++k)
        for (int b = 3; b >= 0; --b) m[k] = (m[k] << 8) | block[4 * k + b];
    auto [a, b, c, d] = state;
    for (int i = 0; i < 64; ++i) {
        const int round = i / 16;
        std::uint32_t f = 0;
        int g = 0;
        if (round == 0) f = (b & c) | (~b & d), g = i;
        if (round == 1) f = (d & b) | (~d & c), g = (5 * i + 1) % 16;
        if (round == 2) f = b ^ c ^ d, g = (3 * i + 5) % 16;
        if (round == 3) f = c ^ (b | ~d), g = (7 * i) % 16;
        f += a + kSines[i] + m[g];
        a = d, d = c, c = b;
        b += rotl(f, kRotations[round][i % 4]);
    }
    state[0] += a, state[1] += b, state[2] += c, state[3] += d;
}

}  // namespace

std::string fileUri(std::string_view absolutePath) {
    std::string uri = "file://";
    uri.reserve(uri.size() + absolutePath.size());
    for (const char ch : absolutePath) {
        const auto c = static_cast<unsigned char>(ch);
        if (keptInUri(c)) {
            uri.push_back(ch);
            continue;
        }
        uri.push_back('%');
        uri.push_back(kUpperHex[c >> 4]);
        uri.push_back(kUpperHex[c & 0xF]);
    }
    return uri;
}

std::string md5Hex(std::string_view bytes) {
    std::array<std::uint32_t, 4> state = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
    std::size_t whole = bytes.size() / 64 * 64;
    for (std::size_t at = 0; at < whole; at += 64)
        md5Block(state, reinterpret_cast<const unsigned char*>(bytes.data() + at));
    // The rest, a 1 bit, zeros up to 56 bytes of a block, and the length in bits.
    std::string tail(bytes.substr(whole));
    tail.push_back(static_cast<char>(0x80));
    while (tail.size() % 64 != 56) tail.push_back('\0');
    const std::uint64_t bits = static_cast<std::uint64_t>(bytes.size()) * 8;
    for (int k = 0; k < 8; ++k) tail.push_back(static_cast<char>((bits >> (8 * k)) & 0xFF));
    for (std::size_t at = 0; at < tail.size(); at += 64)
        md5Block(state, reinterpret_cast<const unsigned char*>(tail.data() + at));
    std::string hex;
    for (const std::uint32_t word : state)
        for (int k = 0; k < 4; ++k) {
            const unsigned byte = (word >> (8 * k)) & 0xFF;
            hex.push_back(kHex[byte >> 4]);
            hex.push_back(kHex[byte & 0xF]);
        }
    return hex;
}

std::string largeThumbnailFile(std::string_view uri) {
    return joinPath(joinGenericPath(userCacheHome(), "thumbnails/large"), md5Hex(uri) + ".png");
}

Texts thumbnailTexts(std::string_view uri, std::int64_t mtimeSeconds, std::uint64_t size) {
    return {{kUriKey, std::string(uri)},
            {kMTimeKey, std::to_string(mtimeSeconds)},
            {kSizeKey, std::to_string(size)},
            {"Software", "Quorvel"}};
}

bool describesFile(const std::function<std::string(const char* key)>& textOf, std::string_view uri,
                   std::int64_t mtimeSeconds) {
    return textOf(kUriKey) == uri && textOf(kMTimeKey) == std::to_string(mtimeSeconds);
}

}  // namespace qv::thumbnails
