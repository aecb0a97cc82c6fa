// The busy window's animation: the AVI reader's format cases as one table, then the window that
// plays it. Damaged and hostile files are the fuzz target's; its saved inputs are replayed.

#include "app/avi_reader.h"

#include <gtest/gtest.h>

#include <QLabel>

#include "app/animation_widget.h"
#include "app/frmSplash.h"
#include "tests/app/avi_builder.h"
#include "tests/support/temp_dir.h"
#include "tests/widgets/qt_app.h"

namespace qv {
namespace {

using namespace std::string_literals;
using Frames = std::vector<std::vector<std::uint32_t>>;
constexpr std::uint32_t K = 0xff000000u, R = K | 0xff0000, G = K | 0x00ff00, B = K | 0x0000ff;
constexpr std::uint32_t P = K | 0x123456;  // palette entry 1 after the change below

// A file of the given chunks ("db" a frame, "dc" an RLE8 frame, "pc" a palette change, "wb"
// another stream's),
// with black, red, green and blue as its palette unless it has 24 bits.
struct Case {
    const char* name;
    int width, height, bitCount = 8, compression = 0;
    std::vector<std::string> chunks;
    Frames expected;  // none when refused
    const char* error = "";
    int intervalMs = 100;
    std::uint32_t microsPerFrame = 100000, rate = 10;
    bool audioFirst = false;
    std::size_t cut = 0;  // bytes cut off the end
};

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
     {{R}, {P}, {P}}, "", 100, 100000, 10, true},
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
        test::AviBuilder b;
        b.width = c.width, b.height = c.height, b.bitCount = c.bitCount;
        b.compression = c.compression, b.microsPerFrame = c.microsPerFrame, b.rate = c.rate;
        b.audioStreamFirst = c.audioFirst;
        if (c.bitCount == 8) b.palette = {0x000000, 0xff0000, 0x00ff00, 0x0000ff};
        for (const std::string& chunk : c.chunks)
            chunk.starts_with("wb") ? b.movieChunks.push_back(b.chunk("00wb", chunk.substr(2)))
                                    : b.frame(chunk.substr(2), chunk.substr(0, 2).c_str());
        const std::string file = b.build();
        AviAnimation m;
        std::string error;
        EXPECT_EQ(decodeAvi(file.substr(0, file.size() - c.cut), m, &error), !c.expected.empty());
        EXPECT_EQ(error, c.error);
        EXPECT_EQ(m.frames, c.expected);
        EXPECT_EQ(m.frameIntervalMs, c.expected.empty() ? m.frameIntervalMs : c.intervalMs);
    }
    AviAnimation m;
    for (const std::string& notAvi : {""s, "RIFF\x04\0\0\0WAVE"s}) {
        std::string error;
        EXPECT_FALSE(decodeAvi(notAvi, m, &error));
        EXPECT_EQ(error, "not an AVI file");
    }
}

// Guards: a busy window without its animation, an animation that stops after one round or
// shows a damaged file, a busy window that outlives its operation.
TEST(BusyWindow, PlaysTheAnimationWhileAnOperationLasts) {
    test::ensureQtApp();
    test::TempDir folder;
    test::AviBuilder b;
    b.width = 2, b.height = 1, b.palette = {0, 0xff0000, 0x00ff00, 0x0000ff};
    for (char c = 1; c < 4; ++c) b.frame(std::string{c, c, 0, 0});
    test::writeFile(folder / "search.avi", b.build());
    test::writeFile(folder / "broken.avi", "RIFF\x10\0\0\0AVI LIST\x04\0\0\0hdrl"s);

    AnimationWidget a;
    ASSERT_TRUE(a.open(QString::fromStdString(folder / "search.avi")));
    for (std::uint32_t expected : {R, G, B, R}) {
        EXPECT_EQ(a.pixmap().toImage().pixel(0, 0) | K, expected);
        a.nextFrame();
    }
    EXPECT_FALSE(a.open(QString::fromStdString(folder / "broken.avi")));
    a.play();
    EXPECT_FALSE(a.isPlaying());
    EXPECT_TRUE(a.pixmap().isNull());

    QPointer<frmSplash> shown;
    {
        BusyWindow busy(QString::fromStdString(folder.path()));
        shown = busy.window();
        ASSERT_NE(shown, nullptr);
        EXPECT_TRUE(shown->isVisible());
        EXPECT_TRUE(shown->animation()->isPlaying());
        EXPECT_EQ(shown->animation()->frameCount(), 3);
    }
    EXPECT_TRUE(shown.isNull());
}

}  // namespace
}  // namespace qv
