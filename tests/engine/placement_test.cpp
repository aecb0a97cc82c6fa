#include "engine/placement.h"

#include <gtest/gtest.h>

#include "tests/engine/run_fixture.h"

namespace qv::runtest {
namespace {

using Lines = std::vector<std::string>;

TEST(PackageTypeTable, RowsInOrderAndUnsafeNames) {
    const std::string g = guidOf(1) + "=";
    const std::vector<std::pair<std::string, PackageType>> cases = {
        {g + "CTF-Face.unr", PackageType::Map},
        {g + "CTF-Face.Unr", PackageType::Map},
        {g + "CTF-Face.UNR", PackageType::Map},
        {g + "Tex.utx", PackageType::Texture},
        {g + "Song.umx", PackageType::Music},
        {g + "Boom.uax", PackageType::Sound},
        {g + "Mod.int", PackageType::System},
        {g + "Match.dem", PackageType::System},
        {g + "Code.u", PackageType::System},
        {g + "Code.U", PackageType::System},
        {g + "Menu", PackageType::System},  // row 7 looks only at the last character
        {g + "readme.txt", PackageType::Unknown},
        {g + "Pack.umod", PackageType::Unknown},
        // Too short to hold a name: no type, even when the line ends in "u".
        {g, PackageType::Unknown},
        {"0123456789abcdefu", PackageType::Unknown}};
    for (const auto& [line, type] : cases) EXPECT_EQ(packageTypeOfLine(line), type) << line;

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
    Lines kept;
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
    std::string moved(unsigned n, const std::string& to) {
        return "**OLD** " + guidOf(n) + ".uxx  ---->  **NEW** " + to;
    }
};

TEST_F(Placement, EachModeMovesUnderTheRealName) {
    makeDirs(g.tmp / "one");
    for (const char* sub : {"Maps", "Textures", "Sounds", "Music", "System"})
        makeDirs(g.tmp / "tree/" + sub);
    const std::vector<std::string> names = {"CTF-Face.unr", "Rock.UTX", "Code.u",  "Demo1.dem",
                                            "Boom.uax",     "Map.unr",  "Mod.int", "Song.umx"};
    for (unsigned n = 1; n <= names.size(); ++n) g.add(n, names[n - 1]);
    for (unsigned n = 1; n <= 4; ++n) place(g.indexLines[n]);
    ctx.mode = PlacementMode::OneFolder;
    ctx.moveDirText = g.tmp / "one";
    place(g.indexLines[5]);
    place(g.indexLines[6]);
    ctx.mode = PlacementMode::FolderTree;
    ctx.moveDir2Text = g.tmp / "tree";
    place(g.indexLines[7]);
    place(g.indexLines[8]);

    ASSERT_EQ(sink.lines.size(), 8u);
    EXPECT_EQ(sink.lines[0], moved(1, g.game + "/Maps/CTF-Face.unr"));
    EXPECT_EQ(sink.lines[7], moved(8, g.tmp / "tree/Music/Song.umx"));
    for (const auto& [folder, name] :
         std::vector<std::pair<std::string, std::string>>{{"Maps", "CTF-Face.unr"},
                                                          {"Textures", "Rock.UTX"},
                                                          {"System", "Code.u"},
                                                          {"System", "Demo1.dem"}})
        EXPECT_EQ(readFile(g.game + "/" + folder + "/" + name), contentOf(name)) << name;
    EXPECT_EQ(test::listNames(g.tmp / "one"), (Lines{"Boom.uax", "Map.unr"}));
    EXPECT_TRUE(fileExists(g.tmp / "tree/System/Mod.int"));
    EXPECT_FALSE(fileExists(g.cacheFile(1)));
    EXPECT_TRUE(kept.empty());
    EXPECT_EQ(logText().substr(0, sink.lines[0].size() + 2), sink.lines[0] + "\r\n");

    g.add(9, "Last.unr");  // works without a log too
    PlaceCacheEntry(g.indexLines[9], ctx, g.posix, sink, nullptr, kept);
    EXPECT_EQ(sink.lines.size(), 9u);
    EXPECT_TRUE(fileExists(g.tmp / "tree/Maps/Last.unr"));
}

TEST_F(Placement, EntriesThatCannotBeMovedAreKeptOrDroppedWithTheirReason) {
    g.add(1, "readme.txt");
    g.add(2, "Gone.unr", /*present=*/false);
    g.add(3, "CTF-Face.unr");
    writeFile(g.game + "/Maps/CTF-Face.unr", "older copy");
    g.add(4, "Song.umx");
    ctx.musicDir = g.game + "/NoSuchMusic";
    for (unsigned n = 1; n <= 4; ++n) place(g.indexLines[n]);

    ASSERT_EQ(sink.lines.size(), 4u);
    EXPECT_EQ(sink.lines[0], "readme.txt does NOT have a known file extension and cannot be moved");
    EXPECT_EQ(sink.lines[1], guidOf(2) + ".uxx NOT FOUND in the Cache Directory");
    const std::string head =
        guidOf(3) + ".uxx could NOT be moved to " + g.game + "/Maps/CTF-Face.unr (";
    EXPECT_EQ(sink.lines[2].substr(0, head.size()), head);
    EXPECT_EQ(sink.lines[2].back(), ')');
    EXPECT_GT(sink.lines[2].size(), head.size() + 1);  // the system's reason is there
    EXPECT_NE(sink.lines[3].find(" could NOT be moved to "), std::string::npos);
    // The status list has one space after the name of an unknown type, the log two.
    EXPECT_EQ(logText(),
              "readme.txt  does NOT have a known file extension and cannot be moved\r\n" +
                  sink.lines[1] + "\r\n" + sink.lines[2] + "\r\n" + sink.lines[3] + "\r\n");
    EXPECT_EQ(kept, (Lines{g.indexLines[1], g.indexLines[3], g.indexLines[4]}));  // 2 is dropped
    EXPECT_EQ(readFile(g.game + "/Maps/CTF-Face.unr"), "older copy");
    EXPECT_EQ(readFile(g.cacheFile(3)), contentOf("CTF-Face.unr"));
    EXPECT_TRUE(fileExists(g.cacheFile(1)));
    EXPECT_TRUE(fileExists(g.cacheFile(4)));
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

    EXPECT_EQ(sink.lines, (Lines{"../../evil.unr is not a safe file name and cannot be moved",
                                 "C:evil.unr is not a safe file name and cannot be moved",
                                 badGuid + ".uxx is not a safe file name and cannot be moved"}));
    EXPECT_EQ(kept, (Lines{g.indexLines[1], g.indexLines[2], badGuid + "=fine.unr"}));
    EXPECT_EQ(readFile(g.game + "/evil.unr"), "victim");
    EXPECT_TRUE(fileExists(g.cacheFile(1)));
    EXPECT_EQ(logText(), sink.lines[0] + "\r\n" + sink.lines[1] + "\r\n" + sink.lines[2] + "\r\n");
}

}  // namespace
}  // namespace qv::runtest
