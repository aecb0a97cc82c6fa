// The AVI reader behind the busy window's animation: its format cases as one table. Damaged and
// hostile files are the fuzz target's; its saved inputs are replayed.

#include "app/avi_reader.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

using namespace std::string_literals;
constexpr std::uint32_t K = 0xff000000u, R = K | 0xff0000, G = K | 0x00ff00, B = K | 0x0000ff;

// A file of the given chunks ("db" a frame, "dc" an RLE8 frame, "pc" a palette change, "wb"
// another stream's); black, red, green and blue are its palette unless it has 24 bits.
struct Case {
    const char* name;
    int width, height, bitCount = 8, compression = 0;
    std::vector<std::string> chunks;
    std::vector<std::vector<std::uint32_t>> expected;  // none when refused
    const char* error = "";
    int intervalMs = 100;
    std::uint32_t microsPerFrame = 100000, rate = 10;
    bool audioFirst = false;
    std::size_t cut = 0;  // bytes cut off the end
};

std::string le(std::uint32_t v, int bytes = 4) {
    std::string s;
    for (int i = 0; i < bytes; ++i) s += char(v >> (8 * i));
    return s;
}
std::string chunk(const std::string& id, const std::string& body) {
    return id + le(std::uint32_t(body.size())) + body + (body.size() & 1 ? "\0"s : "");
}
std::string list(const std::string& type, const std::string& body) {
    return chunk("LIST", type + body);
}

// The file a case describes, chunk by chunk.
std::string aviFile(const Case& c) {
    std::string strf = le(40) + le(c.width) + le(c.height) + le(1, 2) + le(c.bitCount, 2) +
                       le(c.compression) + std::string(12, 0) + le(c.bitCount == 8 ? 4 : 0) + le(0);
    if (c.bitCount == 8) strf += "\0\0\0\0\0\0\xff\0\0\xff\0\0\xff\0\0\0"s;  // BGR0 each
    const auto strh = [&](const char* type) {
        return type + "    "s + std::string(12, 0) + le(1) + le(c.rate) + std::string(32, 0);
    };
    const std::string avih = le(c.microsPerFrame) + std::string(20, 0) + le(c.audioFirst ? 2 : 1) +
                             le(0) + le(c.width) + le(c.height) + std::string(16, 0);
    std::string streams = list("strl", chunk("strh", strh("vids")) + chunk("strf", strf)), movi;
    if (c.audioFirst)
        streams =
            list("strl", chunk("strh", strh("auds")) + chunk("strf", std::string(16, 0))) + streams;
    for (const std::string& ch : c.chunks)
        movi += chunk((c.audioFirst && !ch.starts_with("wb") ? "01" : "00") + ch.substr(0, 2),
                      ch.substr(2));
    const std::string file = chunk("RIFF", "AVI " + list("hdrl", chunk("avih", avih) + streams) +
                                               chunk("JUNK", "padding") + list("movi", movi));
    return file.substr(0, file.size() - c.cut);
}

// clang-format off
const Case kCases[] = {
    {"8 bits: bottom row first, rows padded to 4 bytes", 3, 2, 8, 0,
     {"db\x01\x02\x03\xee\x00\x01\x02\xee"s}, {{K, R, G, R, G, B}}},
    {"24 bits: blue green red, a negative height stores the top row first", 1, -2, 24, 0,
     {"db\x30\x20\x10\x00\x03\x02\x01\x00"s}, {{K | 0x102030, K | 0x010203}}},
    {"RLE8: runs, literals, a skip; a frame draws over the one before", 4, 2, 8, 1,
     {"dc\x04\x01\x00\x00\x00\x03\x02\x03\x02\x00\x01\x00\x00\x01"s,
      "dc\x00\x02\x01\x01\x02\x03\x00\x01"s},
     {{G, B, G, K, R, R, R, R}, {G, B, B, K, R, R, R, R}}},
    {"RLE8: writes outside the picture are dropped", 2, 2, 8, 1,
     {"dc\xff\x01\x00\x00\x00\x05\x02\x02\x02\x02\x02\x00\x00\x02\xff\xff\x03\x03\x00\x09\x01"s},
     {{G, G, R, R}}},
    {"another stream first, a palette change, an empty frame repeats the picture", 1, 1, 8, 0,
     {"db\x01\0\0\0"s, "wbsound", "pc\x01\x01\0\0\x12\x34\x56\0"s, "db\x01\0\0\0"s, "db"},
     {{R}, {K | 0x123456}, {K | 0x123456}}, "", 100, 100000, 10, true},
    {"a cut file keeps its complete frames", 4, 1, 8, 0,
     {"db\x01\x01\x01\x01"s, "db\x02\x02\x02\x02"s}, {{R, R, R, R}}, "", 100, 100000, 10, false, 2},
    {"no interval in the header: the stream rate", 1, 1, 8, 0,
     {"db\x01\0\0\0"s}, {{R}}, "", 40, 0, 25},
    {"an hour-long frame is clamped", 1, 1, 8, 0,
     {"db\x01\0\0\0"s}, {{R}}, "", 10000, 0xffffffffu},
    {"no frames", 2, 2, 8, 0, {}, {}, "no frames"},
    {"short frame", 4, 4, 8, 0, {"db\x01\x01\x01"}, {}, "frame shorter than its picture"},
    {"4-bit RLE", 2, 2, 4, 2, {"db\x01\x01\x01\x01"}, {}, "unsupported frame format"},
    {"too wide", 100000, 1, 8, 0, {"dbx"}, {}, "picture size out of range"},
    {"3 frames of 4M pixels", 2048, 2048, 8, 0, {"db", "db", "db"}, {}, "animation too large"},
};
// clang-format on

TEST(AviReader, FormatCases) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        AviAnimation m;
        std::string error;
        EXPECT_EQ(decodeAvi(aviFile(c), m, &error), !c.expected.empty());
        EXPECT_EQ(error, c.error);
        EXPECT_EQ(m.frames, c.expected);
        EXPECT_EQ(m.frameIntervalMs, c.expected.empty() ? m.frameIntervalMs : c.intervalMs);
    }
    AviAnimation m;  // a RIFF file of another form, and nothing at all
    for (const std::string& notAvi : {""s, "RIFF\x04\0\0\0WAVE"s})
        EXPECT_FALSE(decodeAvi(notAvi, m));
}

}  // namespace
}  // namespace qv
