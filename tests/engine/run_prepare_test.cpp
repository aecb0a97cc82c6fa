#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "engine/run.h"
#include "platform/faulty_filesystem.h"
#include "tests/engine/run_fixture.h"

namespace qv::runtest {
namespace {

using Lines = std::vector<std::string>;

// Options in the one-folder (MoveDir) or the folder-tree (MoveDir2) mode with its text.
Options inMode(bool tree, const std::string& text) {
    Options o;
    o.MoveNorm = false;
    (tree ? o.MoveDir2 : o.MoveDir) = true;
    (tree ? o.MoveDir2Text : o.MoveDirText) = text;
    return o;
}

std::string cannotCreate(const std::string& folder, int err) {
    return "Could not create the folder " + folder + " (" + std::strerror(err) + ")";
}

class PrepareRunTest : public ::testing::Test {
  protected:
    RunGame g;
    EngineContext ctx{g.posix, g.dialogs};
    bool passed = true;
};

TEST_F(PrepareRunTest, FolderTextsShorterThanTwoStopOnlyInTheirModeAndOneSeparatorGoes) {
    for (bool tree : {false, true}) {
        Options o = inMode(tree, tree ? "" : "D");
        EXPECT_FALSE(PrepareRun(o, ctx, &passed));
        EXPECT_FALSE(passed);
    }
    EXPECT_EQ(g.dialogs.messages(),
              (Lines(2, "You must select a minimum of a drive letter (example - D:)")));
    EXPECT_EQ(g.dialogs.shown[1].title, "Quorvel");

    // The type-folder mode: an empty text does not matter; both are trimmed, nothing created.
    Options norm;
    norm.MoveDirText = g.tmp / "Games\\\\";
    norm.MoveDir2Text = g.tmp / "Packs/";
    EXPECT_TRUE(PrepareRun(norm, ctx, &passed));
    EXPECT_TRUE(passed);
    EXPECT_EQ(norm.MoveDirText, g.tmp / "Games\\");
    EXPECT_EQ(norm.MoveDir2Text, g.tmp / "Packs");
    EXPECT_EQ(test::listNames(g.tmp.path()), (Lines{"UT", "prog"}));
    norm.MoveDirText = "";
    EXPECT_TRUE(PrepareRun(norm, ctx));
    EXPECT_EQ(g.dialogs.shown.size(), 2u);

    // Two characters pass ("D:" is a relative folder on Linux, made in the test folder).
    Options two = inMode(false, g.tmp / "D:\\");
    EXPECT_TRUE(PrepareRun(two, ctx));
    EXPECT_EQ(two.MoveDirText, g.tmp / "D:");
    EXPECT_TRUE(g.posix.isFolder(g.tmp / "D:"));
}

TEST_F(PrepareRunTest, FoldersAreCreatedOnceWithBackslashesAsSeparators) {
    Options tree = inMode(true, g.tmp / "Packs\\");
    ASSERT_TRUE(PrepareRun(tree, ctx));
    EXPECT_EQ(test::listNames(g.tmp / "Packs"),
              (Lines{"Maps", "Music", "Sounds", "System", "Textures"}));
    ASSERT_TRUE(PrepareRun(tree, ctx));  // a second time finds everything in place

    makeDirs(g.tmp / "base");
    Options one = inMode(false, g.tmp / "base\\one");
    ASSERT_TRUE(PrepareRun(one, ctx));
    EXPECT_TRUE(g.posix.isFolder(g.tmp / "base/one"));

    writeFile(g.tmp / "taken", "x");  // a file of that name is left alone
    Options taken = inMode(false, g.tmp / "taken");
    EXPECT_TRUE(PrepareRun(taken, ctx));
    EXPECT_EQ(readFile(g.tmp / "taken"), "x");
    EXPECT_TRUE(g.dialogs.shown.empty());
}

TEST_F(PrepareRunTest, AFolderThatCannotBeCreatedStopsTheRunWithTheReason) {
    Options o = inMode(false, g.tmp / "no/parent");
    EXPECT_FALSE(PrepareRun(o, ctx, &passed));
    EXPECT_TRUE(passed);
    ASSERT_EQ(g.dialogs.shown.size(), 1u);
    EXPECT_EQ(g.dialogs.shown[0].title, "Quorvel");
    EXPECT_EQ(g.dialogs.shown[0].text, cannotCreate(g.tmp / "no/parent", ENOENT));

    FaultyFileSystem faulty(g.posix);
    EngineContext fctx{faulty, g.dialogs};
    faulty.failAt(3, ENOSPC);  // the tree folder, Maps, then Music fails
    Options tree = inMode(true, g.tmp / "Packs");
    EXPECT_FALSE(PrepareRun(tree, fctx));
    EXPECT_EQ(g.dialogs.messages().back(), cannotCreate(g.tmp / "Packs/Music", ENOSPC));
    EXPECT_FALSE(fileExists(g.tmp / "Packs/Sounds"));
}

}  // namespace
}  // namespace qv::runtest
