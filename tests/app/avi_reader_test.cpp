#include "app/avi_reader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <string>

#include "tests/support/temp_dir.h"
#include "tests/widgets/avi_builder.h"

namespace qv {
namespace {

using test::AviBuilder;
constexpr std::uint32_t kOpaque = 0xff000000u;

AviBuilder eightBit(int w, int h) {
    AviBuilder b;
    b.width = w;
    b.height = h;
    b.palette = {0x000000, 0xff0000, 0x00ff00, 0x0000ff};
    return b;
}

AviAnimation decodeOk(const std::string& bytes) {
    AviAnimation movie;
    std::string error;
    EXPECT_TRUE(decodeAvi(bytes, movie, &error)) << error;
    return movie;
}

std::string decodeError(const std::string& bytes) {
    AviAnimation movie;
    std::string error;
    EXPECT_FALSE(decodeAvi(bytes, movie, &error));
    EXPECT_TRUE(movie.frames.empty());
    return error;
}

TEST(AviReader, FramesAreBottomUpWithPaddedRowsTopDownWhenTheHeightIsNegative) {
    AviBuilder b = eightBit(3, 2);
    // Rows are padded to 4 bytes; the first row in the file is the bottom one.
    b.frame(std::string("\x01\x02\x03\xee", 4) + std::string("\x00\x01\x02\xee", 4));
    AviAnimation m = decodeOk(b.build());
    ASSERT_EQ(m.width, 3);
    ASSERT_EQ(m.height, 2);
    ASSERT_EQ(m.frames.size(), 1u);
    EXPECT_EQ(m.frames[0], (std::vector<std::uint32_t>{kOpaque | 0x000000, kOpaque | 0xff0000,
                                                       kOpaque | 0x00ff00, kOpaque | 0xff0000,
                                                       kOpaque | 0x00ff00, kOpaque | 0x0000ff}));

    // 24 bits: blue, green, red per pixel, each row padded to 4 bytes.
    b = AviBuilder();
    b.width = 1;
    b.height = 2;
    b.bitCount = 24;
    b.frame(std::string("\x30\x20\x10\x00", 4) + std::string("\x03\x02\x01\x00", 4));
    m = decodeOk(b.build());
    ASSERT_EQ(m.frames.size(), 1u);
    EXPECT_EQ(m.frames[0], (std::vector<std::uint32_t>{kOpaque | 0x010203, kOpaque | 0x102030}));

    b.height = -2;  // a negative height stores the top row first
    m = decodeOk(b.build());
    ASSERT_EQ(m.height, 2);
    EXPECT_EQ(m.frames[0], (std::vector<std::uint32_t>{kOpaque | 0x102030, kOpaque | 0x010203}));
}

TEST(AviReader, RleFramesDrawOverThePreviousPictureAndStayInside) {
    AviBuilder b = eightBit(4, 2);
    b.compression = 1;
    // Bottom row: run of 4 x colour 1; top row: literal 3 pixels 2,3,2 (padded) then 1 x 0.
    b.frame(std::string("\x04\x01\x00\x00\x00\x03\x02\x03\x02\x00\x01\x00\x00\x01", 14), "dc");
    // Skip 1 right and 1 up (to the top row, x 1), paint two pixels, end of picture.
    b.frame(std::string("\x00\x02\x01\x01\x02\x03\x00\x01", 8), "dc");
    AviAnimation m = decodeOk(b.build());
    ASSERT_EQ(m.frames.size(), 2u);
    const std::uint32_t k = kOpaque, r = k | 0xff0000, g = k | 0x00ff00, bl = k | 0x0000ff;
    EXPECT_EQ(m.frames[0], (std::vector<std::uint32_t>{g, bl, g, k, r, r, r, r}));
    EXPECT_EQ(m.frames[1], (std::vector<std::uint32_t>{g, bl, bl, k, r, r, r, r}));

    // Writes outside the picture are dropped.
    b = eightBit(2, 2);
    b.compression = 1;
    // A run longer than the row, a literal past its end, a move far beyond the top, data
    // running out in the middle of a literal.
    b.frame(std::string("\xff\x01\x00\x00\x00\x05\x02\x02\x02\x02\x02\x00\x00\x02\xff\xff\x03\x03"
                        "\x00\x09\x01",
                        21),
            "dc");
    m = decodeOk(b.build());
    ASSERT_EQ(m.frames.size(), 1u);
    EXPECT_EQ(m.frames[0], (std::vector<std::uint32_t>{g, g, r, r}));
}

TEST(AviReader, FrameIntervalFromTheMainHeaderElseTheStreamRate) {
    AviBuilder b = eightBit(1, 1);
    b.frame(std::string("\x01\0\0\0", 4));
    b.microsPerFrame = 40000;
    EXPECT_EQ(decodeOk(b.build()).frameIntervalMs, 40);
    b.microsPerFrame = 0;
    b.scale = 1;
    b.rate = 25;
    EXPECT_EQ(decodeOk(b.build()).frameIntervalMs, 40);
    b.rate = 0;
    EXPECT_EQ(decodeOk(b.build()).frameIntervalMs, 100);
    b.microsPerFrame = 0xffffffffu;  // clamped, not an hour-long frame
    EXPECT_EQ(decodeOk(b.build()).frameIntervalMs, 10000);
}

TEST(AviReader, PaletteChangesEmptyChunksAndOtherStreams) {
    AviBuilder b = eightBit(1, 1);
    b.audioStreamFirst = true;
    b.frame(std::string("\x01\0\0\0", 4));
    b.movieChunks.push_back(AviBuilder::chunk("00wb", "sound that is not ours"));
    // Entry 1 becomes 0x123456: first 1, count 1, flags, then red, green, blue, flags.
    b.movieChunks.push_back(
        AviBuilder::chunk("01pc", std::string("\x01\x01\0\0\x12\x34\x56\0", 8)));
    b.frame(std::string("\x01\0\0\0", 4));
    b.frame("");  // repeats the picture shown
    AviAnimation m = decodeOk(b.build());
    ASSERT_EQ(m.frames.size(), 3u);
    EXPECT_EQ(m.frames[0][0], kOpaque | 0xff0000);
    EXPECT_EQ(m.frames[1][0], kOpaque | 0x123456);
    EXPECT_EQ(m.frames[2], m.frames[1]);
}

TEST(AviReader, FilesItCannotPlayAreRefusedAndACutFileKeepsItsCompleteFrames) {
    EXPECT_EQ(decodeError(""), "not an AVI file");
    EXPECT_EQ(decodeError("RIFF\x04\0\0\0WAVE"), "not an AVI file");
    const struct {
        int width, height, bitCount, compression, frames;
        const char* frame;
        const char* error;
    } cases[] = {{2, 2, 8, 0, 0, "", "no frames"},
                 {4, 4, 8, 0, 1, "\x01\x01\x01", "frame shorter than its picture"},
                 {2, 2, 4, 2, 1, "\x01\x01\x01\x01", "unsupported frame format"},
                 {100000, 1, 8, 0, 1, "x", "picture size out of range"},
                 {2048, 2048, 8, 0, 3, "", "animation too large"}};  // 3 x 4M pixels
    for (const auto& c : cases) {
        AviBuilder b = eightBit(c.width, c.height);
        b.bitCount = c.bitCount;
        b.compression = c.compression;
        for (int i = 0; i < c.frames; ++i) b.frame(c.frame);
        EXPECT_EQ(decodeError(b.build()), c.error);
    }
    AviAnimation m;
    EXPECT_FALSE(readAviFile("/nonexistent/search.avi", m));

    AviBuilder b = eightBit(4, 1);
    b.frame(std::string("\x01\x01\x01\x01", 4));
    b.frame(std::string("\x02\x02\x02\x02", 4));
    const std::string whole = b.build();
    EXPECT_EQ(decodeOk(whole.substr(0, whole.size() - 2)).frames.size(), 1u);
}

// Every cut and many single-byte changes of a valid file: decoding must stay inside the
// data (the sanitizer build checks) and whatever it returns must be a consistent animation.
TEST(AviReader, DamagedFilesNeverGiveAnInconsistentAnimation) {
    AviBuilder b = eightBit(5, 3);
    b.compression = 1;
    b.frame(std::string("\x05\x01\x00\x00\x00\x05\x02\x03\x02\x03\x02\x00\x00\x00\x02\x01\x01"
                        "\x03\x03\x00\x01",
                        21),
            "dc");
    b.frame(std::string("\x00\x02\x02\x01\x02\x02\x00\x01", 8), "dc");
    const std::string good = b.build();
    auto check = [](const std::string& bytes) {
        AviAnimation m;
        if (!decodeAvi(bytes, m)) return;
        ASSERT_GT(m.width, 0);
        ASSERT_GT(m.height, 0);
        ASSERT_FALSE(m.frames.empty());
        for (const auto& f : m.frames) ASSERT_EQ(f.size(), std::size_t(m.width) * m.height);
    };
    for (std::size_t cut = 0; cut < good.size(); ++cut) check(good.substr(0, cut));
    std::uint32_t seed = 12345;
    for (int round = 0; round < 20000; ++round) {
        seed = seed * 1664525u + 1013904223u;
        std::string bytes = good;
        bytes[(seed >> 8) % bytes.size()] = char(seed >> 24);
        if (round % 3 == 0) bytes[(seed >> 4) % bytes.size()] = char(0xff);
        check(bytes);
    }
}

TEST(AviReader, TheShippedSearchAnimationPlays) {
    const std::string path = std::string(QV_BUILD_DIR) + "/search.avi";
    if (!std::ifstream(path)) GTEST_SKIP() << "search.avi not built yet (target qv_data)";
    AviAnimation m;
    std::string error;
    ASSERT_TRUE(readAviFile(path, m, &error)) << error;
    EXPECT_EQ(m.width, 272);
    EXPECT_EQ(m.height, 60);
    EXPECT_EQ(m.frames.size(), 16u);
    EXPECT_EQ(m.frameIntervalMs, 100);
    EXPECT_NE(m.frames[0], m.frames[8]);  // the glass moves
}

}  // namespace
}  // namespace qv
