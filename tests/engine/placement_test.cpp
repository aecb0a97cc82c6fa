#include "engine/placement.h"

#include <gtest/gtest.h>

#include "tests/engine/run_fixture.h"

namespace qv::runtest {
namespace {

TEST(PackageTypeTable, RowsInOrder) {
    const std::string g = guidOf(1) + "=";
    EXPECT_EQ(packageTypeOfLine(g + "CTF-Face.unr"), PackageType::Map);
    EXPECT_EQ(packageTypeOfLine(g + "CTF-Face.Unr"), PackageType::Map);
    EXPECT_EQ(packageTypeOfLine(g + "CTF-Face.UNR"), PackageType::Map);
    EXPECT_EQ(packageTypeOfLine(g + "Tex.utx"), PackageType::Texture);
    EXPECT_EQ(packageTypeOfLine(g + "Song.umx"), PackageType::Music);
    EXPECT_EQ(packageTypeOfLine(g + "Boom.uax"), PackageType::Sound);
    EXPECT_EQ(packageTypeOfLine(g + "Mod.int"), PackageType::System);
    EXPECT_EQ(packageTypeOfLine(g + "Match.dem"), PackageType::System);
    EXPECT_EQ(packageTypeOfLine(g + "Code.u"), PackageType::System);
    EXPECT_EQ(packageTypeOfLine(g + "Code.U"), PackageType::System);
    // Row 7 looks only at the last character, whatever the extension.
    EXPECT_EQ(packageTypeOfLine(g + "Menu"), PackageType::System);
    EXPECT_EQ(packageTypeOfLine(g + "readme.txt"), PackageType::Unknown);
    EXPECT_EQ(packageTypeOfLine(g + "Pack.umod"), PackageType::Unknown);
    // Too short to hold a name: no type, even when the line ends in "u".
    EXPECT_EQ(packageTypeOfLine(guidOf(1) + "="), PackageType::Unknown);
    EXPECT_EQ(packageTypeOfLine("0123456789abcdefu"), PackageType::Unknown);
}

TEST(UnsafeRealName, RejectsNamesThatLeaveTheFolder) {
    for (const char* bad : {"", ".", "..", "../x.unr", "a/b.unr", "a\\b.unr", "/etc/x.u", "C:x.unr",
                            "c:\\x.unr", "tab\there.unr", "nl\n.unr", "del\x7f.unr"})
        EXPECT_TRUE(isUnsafeRealName(bad)) << bad;
    for (const char* ok : {"CTF-Face.unr", "..x.unr", "a..b.u", "name with space.utx", "Map:2.unr",
                           "1:x.unr", "\xe9t\xe9.umx"})
        EXPECT_FALSE(isUnsafeRealName(ok)) << ok;
}

// One game folder, placement called directly.
class Placement : public ::testing::Test {
  protected:
    RunGame g;
    RecordingSink sink;
    std::vector<std::string> kept;
    PlacementContext ctx;
    std::unique_ptr<OutFile> log;

    void SetUp() override {
        ctx.cacheDir = g.cacheDir;
        ctx.cacheExt = "uxx";
        ctx.mapsDir = g.game + "/Maps";
        ctx.texturesDir = g.game + "/Textures";
        ctx.soundsDir = g.game + "/Sounds";
        ctx.musicDir = g.game + "/Music";
        ctx.systemDir = g.game + "/System";
        log = std::move(g.posix.createFile(g.programFolder + "/place.log").value);
    }
    void place(const std::string& line) {
        PlaceCacheEntry(line, ctx, g.posix, sink, log.get(), kept);
    }
    std::string logText() {
        log->close();
        return readFile(g.programFolder + "/place.log");
    }
};

TEST_F(Placement, TypeFolderModeMovesUnderTheRealName) {
    g.add(1, "CTF-Face.unr");
    g.add(2, "Rock.UTX");
    g.add(3, "Code.u");
    g.add(4, "Demo1.dem");
    for (unsigned n = 1; n <= 4; ++n) place(g.indexLines[n]);

    const std::string move1 =
        "**OLD** " + guidOf(1) + ".uxx  ---->  **NEW** " + g.game + "/Maps/CTF-Face.unr";
    ASSERT_EQ(sink.lines.size(), 4u);
    EXPECT_EQ(sink.lines[0], move1);
    EXPECT_EQ(readFile(g.game + "/Maps/CTF-Face.unr"), contentOf("CTF-Face.unr"));
    EXPECT_EQ(readFile(g.game + "/Textures/Rock.UTX"), contentOf("Rock.UTX"));
    EXPECT_EQ(readFile(g.game + "/System/Code.u"), contentOf("Code.u"));
    EXPECT_EQ(readFile(g.game + "/System/Demo1.dem"), contentOf("Demo1.dem"));
    EXPECT_FALSE(fileExists(g.cacheFile(1)));
    EXPECT_TRUE(kept.empty());
    EXPECT_EQ(logText().substr(0, move1.size() + 2), move1 + "\r\n");
}

TEST_F(Placement, OneFolderAndFolderTreeModes) {
    makeDirs(g.tmp / "one");
    for (const char* sub : {"Maps", "Textures", "Sounds", "Music", "System"})
        makeDirs(g.tmp / "tree/" + sub);
    g.add(1, "CTF-Face.unr");
    g.add(2, "Boom.uax");
    g.add(3, "Mod.int");
    g.add(4, "Song.umx");

    ctx.mode = PlacementMode::OneFolder;
    ctx.moveDirText = g.tmp / "one";
    place(g.indexLines[1]);
    place(g.indexLines[2]);
    ctx.mode = PlacementMode::FolderTree;
    ctx.moveDir2Text = g.tmp / "tree";
    place(g.indexLines[3]);
    place(g.indexLines[4]);

    EXPECT_EQ(test::listNames(g.tmp / "one"),
              (std::vector<std::string>{"Boom.uax", "CTF-Face.unr"}));
    EXPECT_TRUE(fileExists(g.tmp / "tree/System/Mod.int"));
    EXPECT_EQ(sink.lines[3],
              "**OLD** " + guidOf(4) + ".uxx  ---->  **NEW** " + g.tmp / "tree/Music/Song.umx");
}

TEST_F(Placement, UnknownTypeIsKeptWithOneSpaceInStatusAndTwoInLog) {
    g.add(1, "readme.txt");
    place(g.indexLines[1]);
    EXPECT_EQ(sink.lines,
              std::vector<std::string>{
                  "readme.txt does NOT have a known file extension and cannot be moved"});
    EXPECT_EQ(logText(),
              "readme.txt  does NOT have a known file extension and cannot be moved\r\n");
    EXPECT_EQ(kept, std::vector<std::string>{g.indexLines[1]});
    EXPECT_TRUE(fileExists(g.cacheFile(1)));
}

TEST_F(Placement, MissingCacheFileIsNotFoundAndDropped) {
    g.add(1, "CTF-Face.unr", /*present=*/false);
    place(g.indexLines[1]);
    const std::string text = guidOf(1) + ".uxx NOT FOUND in the Cache Directory";
    EXPECT_EQ(sink.lines, std::vector<std::string>{text});
    EXPECT_EQ(logText(), text + "\r\n");
    EXPECT_TRUE(kept.empty());
}

TEST_F(Placement, FailedMoveKeepsTheLineAndGivesTheReason) {
    g.add(1, "CTF-Face.unr");
    writeFile(g.game + "/Maps/CTF-Face.unr", "older copy");
    place(g.indexLines[1]);

    ASSERT_EQ(sink.lines.size(), 1u);
    const std::string head =
        guidOf(1) + ".uxx could NOT be moved to " + g.game + "/Maps/CTF-Face.unr (";
    EXPECT_EQ(sink.lines[0].substr(0, head.size()), head);
    EXPECT_EQ(sink.lines[0].back(), ')');
    EXPECT_GT(sink.lines[0].size(), head.size() + 1);  // the system's reason is there
    EXPECT_EQ(logText(), sink.lines[0] + "\r\n");
    EXPECT_EQ(kept, std::vector<std::string>{g.indexLines[1]});
    EXPECT_EQ(readFile(g.game + "/Maps/CTF-Face.unr"), "older copy");
    EXPECT_EQ(readFile(g.cacheFile(1)), contentOf("CTF-Face.unr"));
}

TEST_F(Placement, MissingDestinationFolderIsAFailedMove) {
    g.add(1, "Song.umx");
    ctx.musicDir = g.game + "/NoSuchMusic";
    place(g.indexLines[1]);
    EXPECT_NE(sink.lines[0].find(" could NOT be moved to "), std::string::npos);
    EXPECT_EQ(kept.size(), 1u);
    EXPECT_TRUE(fileExists(g.cacheFile(1)));
}

TEST_F(Placement, UnsafeNamesAreNeverJoinedToAFolder) {
    // The cache file of a name that climbs out must not be looked for or moved.
    writeFile(g.game + "/evil.unr", "victim");
    g.add(1, "../../evil.unr");
    g.add(2, "C:evil.unr", /*present=*/false);
    const std::string badGuid = "../../../../../../../tmp/x-" + std::string(5, 'a');
    ASSERT_EQ(badGuid.size(), 32u);
    place(g.indexLines[1]);
    place(g.indexLines[2]);
    place(badGuid + "=fine.unr");

    EXPECT_EQ(sink.lines, (std::vector<std::string>{
                              "../../evil.unr is not a safe file name and cannot be moved",
                              "C:evil.unr is not a safe file name and cannot be moved",
                              badGuid + ".uxx is not a safe file name and cannot be moved"}));
    EXPECT_EQ(kept,
              (std::vector<std::string>{g.indexLines[1], g.indexLines[2], badGuid + "=fine.unr"}));
    EXPECT_EQ(readFile(g.game + "/evil.unr"), "victim");
    EXPECT_TRUE(fileExists(g.cacheFile(1)));
    EXPECT_EQ(logText(), sink.lines[0] + "\r\n" + sink.lines[1] + "\r\n" + sink.lines[2] + "\r\n");
}

TEST_F(Placement, WorksWithoutALog) {
    g.add(1, "CTF-Face.unr");
    PlaceCacheEntry(g.indexLines[1], ctx, g.posix, sink, nullptr, kept);
    EXPECT_EQ(sink.lines.size(), 1u);
    EXPECT_TRUE(fileExists(g.game + "/Maps/CTF-Face.unr"));
}

}  // namespace
}  // namespace qv::runtest
