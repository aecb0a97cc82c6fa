#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "engine/run.h"
#include "platform/faulty_filesystem.h"
#include "tests/engine/run_fixture.h"

namespace qv::runtest {
namespace {

const char* kDriveMessage = "You must select a minimum of a drive letter (example - D:)";

class PrepareRunTest : public ::testing::Test {
  protected:
    RunGame g;
    EngineContext ctx{g.posix, g.dialogs};
    Options o;
    bool passed = true;
};

TEST_F(PrepareRunTest, FolderTextsShorterThanTwoStopOnlyInTheirMode) {
    o.MoveNorm = false;
    o.MoveDir = true;
    o.MoveDirText = "D";
    EXPECT_FALSE(PrepareRun(o, ctx, &passed));
    EXPECT_FALSE(passed);
    o.MoveDir = false;
    o.MoveDir2 = true;
    o.MoveDir2Text = "";
    o.MoveDirText = "";
    EXPECT_FALSE(PrepareRun(o, ctx, &passed));
    ASSERT_EQ(g.dialogs.shown.size(), 2u);
    for (const auto& s : g.dialogs.shown) {
        EXPECT_EQ(s.title, "Quorvel");
        EXPECT_EQ(s.text, kDriveMessage);
    }

    // An empty one-folder text does not matter in the type-folder mode.
    Options norm;
    norm.MoveDirText = "";
    EXPECT_TRUE(PrepareRun(norm, ctx, &passed));
    EXPECT_TRUE(passed);
    EXPECT_EQ(g.dialogs.shown.size(), 2u);
}

TEST_F(PrepareRunTest, TwoCharactersPassAndOneTrailingSeparatorGoesFromBothBoxes) {
    const std::string cwdName = "D:";  // a relative folder on Linux; created in the test folder
    o.MoveDirText = g.tmp / "Games\\\\";
    o.MoveDir2Text = g.tmp / "Packs/";
    EXPECT_TRUE(PrepareRun(o, ctx));  // type-folder mode: both trimmed, nothing created
    EXPECT_EQ(o.MoveDirText, g.tmp / "Games\\");
    EXPECT_EQ(o.MoveDir2Text, g.tmp / "Packs");
    EXPECT_EQ(test::listNames(g.tmp.path()), (std::vector<std::string>{"UT", "prog"}));

    Options two;
    two.MoveNorm = false;
    two.MoveDir = true;
    two.MoveDirText = g.tmp / "D:\\";
    EXPECT_TRUE(PrepareRun(two, ctx));
    EXPECT_EQ(two.MoveDirText, g.tmp / "D:");
    EXPECT_TRUE(g.posix.isFolder(g.tmp / cwdName));
}

TEST_F(PrepareRunTest, FolderTreeModeCreatesTheFolderAndFiveSubFolders) {
    o.MoveNorm = false;
    o.MoveDir2 = true;
    o.MoveDir2Text = g.tmp / "Packs\\";
    ASSERT_TRUE(PrepareRun(o, ctx));
    EXPECT_EQ(test::listNames(g.tmp / "Packs"),
              (std::vector<std::string>{"Maps", "Music", "Sounds", "System", "Textures"}));
    // A second time finds everything in place.
    ASSERT_TRUE(PrepareRun(o, ctx));
    EXPECT_TRUE(g.dialogs.shown.empty());
}

TEST_F(PrepareRunTest, BackslashesTypedByTheUserAreSeparators) {
    makeDirs(g.tmp / "base");
    o.MoveNorm = false;
    o.MoveDir = true;
    o.MoveDirText = g.tmp / "base\\one";
    ASSERT_TRUE(PrepareRun(o, ctx));
    EXPECT_TRUE(g.posix.isFolder(g.tmp / "base/one"));
}

TEST_F(PrepareRunTest, AFileOfThatNameIsLeftAlone) {
    writeFile(g.tmp / "taken", "x");
    o.MoveNorm = false;
    o.MoveDir = true;
    o.MoveDirText = g.tmp / "taken";
    EXPECT_TRUE(PrepareRun(o, ctx));
    EXPECT_EQ(readFile(g.tmp / "taken"), "x");
}

TEST_F(PrepareRunTest, AFolderThatCannotBeCreatedStopsTheRunWithTheReason) {
    o.MoveNorm = false;
    o.MoveDir = true;
    o.MoveDirText = g.tmp / "no/parent";
    EXPECT_FALSE(PrepareRun(o, ctx, &passed));
    EXPECT_TRUE(passed);
    ASSERT_EQ(g.dialogs.shown.size(), 1u);
    EXPECT_EQ(g.dialogs.shown[0].title, "Quorvel");
    EXPECT_EQ(g.dialogs.shown[0].text, "Could not create the folder " + g.tmp / "no/parent" + " (" +
                                           std::strerror(ENOENT) + ")");
}

TEST_F(PrepareRunTest, ASubFolderThatCannotBeCreatedStopsTheRun) {
    FaultyFileSystem faulty(g.posix);
    EngineContext fctx{faulty, g.dialogs};
    faulty.failAt(3, ENOSPC);  // the tree folder, Maps, then Music fails
    o.MoveNorm = false;
    o.MoveDir2 = true;
    o.MoveDir2Text = g.tmp / "Packs";
    EXPECT_FALSE(PrepareRun(o, fctx));
    EXPECT_EQ(g.dialogs.messages(),
              std::vector<std::string>{"Could not create the folder " + g.tmp / "Packs/Music" +
                                       " (" + std::strerror(ENOSPC) + ")"});
    EXPECT_FALSE(fileExists(g.tmp / "Packs/Sounds"));
}

}  // namespace
}  // namespace qv::runtest
