#include "settings/never_move.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "platform/faulty_filesystem.h"
#include "platform/filesystem.h"
#include "tests/support/temp_dir.h"

namespace qv {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;
using Names = std::vector<std::string>;

class NeverMoveTest : public ::testing::Test {
  protected:
    Names load() {
        auto r = LoadNeverMoveList(file, fs);
        EXPECT_TRUE(r.ok()) << r.status.text;
        return r.value;
    }
    TempDir dir;
    std::string file = dir / "QuorvelDontMove.ini";
    FileSystem& fs = realFileSystem();
};

TEST_F(NeverMoveTest, LinesAreTakenAsTheyStandAndAMissingFileIsAFailure) {
    writeFile(file, "CTF-Face.unr\r\n  spaced .utx \r\n\r\nlf.umx\nlone-cr.uax\rLast.U");
    EXPECT_EQ(load(),
              (Names{"CTF-Face.unr", "  spaced .utx ", "", "lf.umx", "lone-cr.uax", "Last.U"}));
    writeFile(file, "");
    EXPECT_TRUE(load().empty());
    auto missing = LoadNeverMoveList(dir / "absent.ini", fs);
    EXPECT_EQ(missing.status.code, ENOENT);
    EXPECT_TRUE(missing.value.empty());
}

TEST_F(NeverMoveTest, SaveWritesTheItemsLastToFirstWithoutLimitOrKeepsTheOldList) {
    writeFile(file, "old contents that go\r\n");
    ASSERT_TRUE(SaveNeverMoveList(file, {"first", "second", "third"}, fs).ok());
    EXPECT_EQ(readFile(file), "third\r\nsecond\r\nfirst\r\n");
    EXPECT_EQ(load(), (Names{"third", "second", "first"}));

    FaultyFileSystem faulty(fs);
    faulty.failAt(1, ENOSPC);
    EXPECT_EQ(SaveNeverMoveList(file, {"new.unr"}, faulty).code, ENOSPC);
    EXPECT_EQ(readFile(file), "third\r\nsecond\r\nfirst\r\n");

    Names many;
    for (int i = 0; i < 1200; ++i) many.push_back("Map" + std::to_string(i) + ".unr");
    ASSERT_TRUE(SaveNeverMoveList(file, many, fs).ok());
    const Names back = load();
    ASSERT_EQ(back.size(), 1200u);
    EXPECT_EQ(back.front(), "Map1199.unr");
    EXPECT_EQ(back.back(), "Map0.unr");

    ASSERT_TRUE(SaveNeverMoveList(file, {}, fs).ok());
    EXPECT_EQ(readFile(file), "");
    EXPECT_EQ(test::listNames(dir.path()), Names{"QuorvelDontMove.ini"});
}

TEST_F(NeverMoveTest, AppendUsesTheFilesOwnLineEndsAndNeverJoinsTheLastLine) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"a.unr\r\n", "a.unr\r\nB.utx\r\n"},
        {"a.unr\nb.unr\n", "a.unr\nb.unr\nB.utx\n"},
        {"", "B.utx\r\n"},
        {"a.unr\r\nb.unr", "a.unr\r\nb.unr\r\nB.utx\r\n"}};
    for (const auto& [before, after] : cases) {
        writeFile(file, before);
        ASSERT_TRUE(AppendNeverMoveName(file, "B.utx", fs).ok());
        EXPECT_EQ(readFile(file), after) << before;
    }
    EXPECT_EQ(load(), (Names{"a.unr", "b.unr", "B.utx"}));
    const std::string fresh = dir / "new.ini";
    ASSERT_TRUE(AppendNeverMoveName(fresh, "x.unr", fs).ok());
    EXPECT_EQ(readFile(fresh), "x.unr\r\n");
}

}  // namespace
}  // namespace qv
