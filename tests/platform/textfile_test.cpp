#include "platform/textfile.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

using Lines = std::vector<std::string>;

TEST(SplitLines, EachLineEndStyleEndsALine) {
    EXPECT_EQ(splitLines("a\r\nb\r\n"), (Lines{"a", "b"}));
    EXPECT_EQ(splitLines("a\nb\n"), (Lines{"a", "b"}));
    EXPECT_EQ(splitLines("a\rb\r"), (Lines{"a", "b"}));
}

TEST(SplitLines, MixedLineEndsInOneFile) {
    EXPECT_EQ(splitLines("one\r\ntwo\nthree\rfour"), (Lines{"one", "two", "three", "four"}));
    // LF CR is two line ends, not one: the empty line between them is kept.
    EXPECT_EQ(splitLines("a\n\rb"), (Lines{"a", "", "b"}));
    EXPECT_EQ(splitLines("a\r\r\nb"), (Lines{"a", "", "b"}));
}

TEST(SplitLines, LastLineNeedsNoLineEnd) {
    EXPECT_EQ(splitLines("[Cache]\r\nlast"), (Lines{"[Cache]", "last"}));
    EXPECT_EQ(splitLines("only"), (Lines{"only"}));
}

TEST(SplitLines, EmptyAndBlankTexts) {
    EXPECT_TRUE(splitLines("").empty());
    EXPECT_EQ(splitLines("\r\n"), (Lines{""}));
    EXPECT_EQ(splitLines("\n\n"), (Lines{"", ""}));
    EXPECT_EQ(splitLines("a\r\n\r\nb"), (Lines{"a", "", "b"}));
}

TEST(SplitLines, LoneCrAtEndOfText) {
    EXPECT_EQ(splitLines("a\r"), (Lines{"a"}));
    EXPECT_EQ(splitLines("a\r\nb\r"), (Lines{"a", "b"}));
    EXPECT_EQ(splitLines("\r"), (Lines{""}));
}

TEST(SplitLines, KeepsEveryOtherByte) {
    const std::string text = std::string("caf\xe9 \x01\t x=\"y\" ") + '\0' + "z";
    EXPECT_EQ(splitLines(text + "\n"), (Lines{text}));
}

TEST(DetectLineEnd, FirstLineEndDecides) {
    EXPECT_EQ(detectLineEnd("a\r\nb\nc"), LineEnd::CRLF);
    EXPECT_EQ(detectLineEnd("a\nb\r\nc"), LineEnd::LF);
    EXPECT_EQ(detectLineEnd("a\rb\r\n"), LineEnd::CR);
    EXPECT_EQ(detectLineEnd("a\r"), LineEnd::CR);
    EXPECT_EQ(detectLineEnd("no line end"), LineEnd::CRLF);
    EXPECT_EQ(detectLineEnd(""), LineEnd::CRLF);
}

TEST(JoinLines, EachLineGetsTheChosenEnd) {
    const Lines lines{"[Core.System]", "", "PurgeCacheDays=30"};
    EXPECT_EQ(joinLines(lines, LineEnd::CRLF), "[Core.System]\r\n\r\nPurgeCacheDays=30\r\n");
    EXPECT_EQ(joinLines(lines, LineEnd::LF), "[Core.System]\n\nPurgeCacheDays=30\n");
    EXPECT_EQ(joinLines(lines, LineEnd::CR), "[Core.System]\r\rPurgeCacheDays=30\r");
    EXPECT_EQ(joinLines({}, LineEnd::LF), "");
    EXPECT_EQ(splitLines(joinLines(lines, LineEnd::CR)), lines);
}

}  // namespace
}  // namespace qv
