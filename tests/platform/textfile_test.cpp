#include "platform/textfile.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

using Lines = std::vector<std::string>;

TEST(TextFile, SplitLinesTakesEveryLineEndStyleAndKeepsEveryOtherByte) {
    const std::string bytes = std::string("caf\xe9 \x01\t x=\"y\" ") + '\0' + "z";
    const std::vector<std::pair<std::string, Lines>> cases = {
        {"a\r\nb\r\n", {"a", "b"}},
        {"a\nb\n", {"a", "b"}},
        {"a\rb\r", {"a", "b"}},
        {"one\r\ntwo\nthree\rfour", {"one", "two", "three", "four"}},
        {"a\n\rb", {"a", "", "b"}},  // LF CR is two line ends, not one
        {"a\r\r\nb", {"a", "", "b"}},
        {"[Cache]\r\nlast", {"[Cache]", "last"}},  // the last line needs no line end
        {"only", {"only"}},
        {"", {}},
        {"\r\n", {""}},
        {"\n\n", {"", ""}},
        {"a\r\n\r\nb", {"a", "", "b"}},
        {"a\r", {"a"}},  // a lone CR at the end of the text
        {"a\r\nb\r", {"a", "b"}},
        {"\r", {""}},
        {bytes + "\n", {bytes}},
    };
    for (const auto& [text, lines] : cases) EXPECT_EQ(splitLines(text), lines) << text;
}

TEST(TextFile, FirstLineEndDecidesAndJoinGivesEachLineIt) {
    EXPECT_EQ(detectLineEnd("a\r\nb\nc"), LineEnd::CRLF);
    EXPECT_EQ(detectLineEnd("a\nb\r\nc"), LineEnd::LF);
    EXPECT_EQ(detectLineEnd("a\rb\r\n"), LineEnd::CR);
    EXPECT_EQ(detectLineEnd("a\r"), LineEnd::CR);
    EXPECT_EQ(detectLineEnd("no line end"), LineEnd::CRLF);
    EXPECT_EQ(detectLineEnd(""), LineEnd::CRLF);

    const Lines lines{"[Core.System]", "", "PurgeCacheDays=30"};
    EXPECT_EQ(joinLines(lines, LineEnd::CRLF), "[Core.System]\r\n\r\nPurgeCacheDays=30\r\n");
    EXPECT_EQ(joinLines(lines, LineEnd::LF), "[Core.System]\n\nPurgeCacheDays=30\n");
    EXPECT_EQ(joinLines(lines, LineEnd::CR), "[Core.System]\r\rPurgeCacheDays=30\r");
    EXPECT_EQ(joinLines({}, LineEnd::LF), "");
    EXPECT_EQ(splitLines(joinLines(lines, LineEnd::CR)), lines);
}

}  // namespace
}  // namespace qv
