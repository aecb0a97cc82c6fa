#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/faulty_filesystem.h"
#include "tests/engine/scan_fixture.h"
#include "tests/platform/fs_test_util.h"

namespace qv::test {
namespace {

using Kind = ScriptedDialogs::Shown::Kind;

class ScanTest : public ::testing::Test {
  protected:
    ScanGame game;
};

TEST_F(ScanTest, FormsThePathsFromTheSettingsAtEveryScan) {
    game.writeIndex({"[Cache]"});
    game.scan();
    EXPECT_EQ(game.state.lblCacheDir, game.gameDir + "Cache");
    EXPECT_EQ(game.pv.GameIniPath, game.gameDir + "/System/UnrealTournament.ini");
    EXPECT_EQ(game.pv.UserIniPath, game.gameDir + "/System/User.ini");
    EXPECT_EQ(game.pv.PurgeDaysText, "30");
    EXPECT_EQ(game.state.txtPurgeCacheDays, "30");
    EXPECT_TRUE(game.dialogs.shown.empty());

    // A changed purge interval is read again by the next scan; a cache folder already in use
    // is kept.
    writeFile(game.gameDir + "System/UnrealTournament.ini",
              "[Core.System]\r\nPurgeCacheDays=7\r\n");
    makeDirs(game.tmp / "Elsewhere");
    writeFile(game.tmp / "Elsewhere/cache.ini", "[Cache]\r\n" + entryLine(9, "Other.utx") + "\r\n");
    game.state.lblCacheDir = game.tmp / "Elsewhere";
    game.scan();
    EXPECT_EQ(game.state.txtPurgeCacheDays, "7");
    EXPECT_EQ(game.state.lblCacheDir, game.tmp / "Elsewhere");
    EXPECT_EQ(game.texts(), std::vector<std::string>{"Other.utx"});
}

TEST_F(ScanTest, CachePathWithBackslashesIsJoinedWithoutSeparator) {
    writeFile(game.programFolder + "/Quorvel.ini",
              "[Dirs]\r\nCachePath=Cache\\Sub\r\nCacheExt=uxx\r\n");
    makeDirs(game.cacheDir + "/Sub");
    writeFile(game.cacheDir + "/Sub/cache.ini", "[Cache]\r\n" + entryLine(1, "A.unr") + "\r\n");
    game.scan();
    EXPECT_EQ(game.state.lblCacheDir, game.gameDir + "Cache/Sub");
    EXPECT_EQ(game.texts(), std::vector<std::string>{"A.unr"});
}

TEST_F(ScanTest, MissingIndexStopsTheScanWithTheMessage) {
    writeFile(game.programFolder + "/QuorvelDontMove.ini", "A.unr\r\n");
    game.state.statusText = "Re-scanning files...";
    game.state.lstNM = {"stale"};
    game.scan();
    ASSERT_EQ(game.dialogs.shown.size(), 1u);
    EXPECT_EQ(game.dialogs.shown[0].kind, Kind::Message);
    EXPECT_EQ(game.dialogs.shown[0].title, "Critical file missing!");
    EXPECT_EQ(game.dialogs.shown[0].text, "Cache.INI is MISSING...can't proceed!");
    EXPECT_TRUE(game.state.indexMissing);
    EXPECT_TRUE(game.state.rows.empty());
    EXPECT_EQ(game.pv.EntryCount(), 0u);
    EXPECT_EQ(game.state.statusText, "Re-scanning files...");
    EXPECT_EQ(game.state.lstNM, std::vector<std::string>{"stale"});
    // The paths were formed all the same.
    EXPECT_EQ(game.state.txtPurgeCacheDays, "30");
}

TEST_F(ScanTest, RealLookingIndexGivesRowsDatesAndEntryTableInIndexOrder) {
    const std::vector<std::string> names = {
        "CTF-Face.unr",
        "DM-[XtremE]Arena v2.unr",
        "  Spaced Out Textures .UTX",
        "BotPack.u",
        "\xC9t\xE9-\xFF\xFEmusic.umx",  // not valid UTF-8
        "ChaosUT.int",
        "Sounds (old).UaX",
    };
    std::vector<std::string> lines = {"[Cache]"};
    for (unsigned i = 0; i < names.size(); ++i) lines.push_back(entryLine(i + 1, names[i]));
    game.writeIndex(lines);
    game.addCacheFile(1, 1000000000);  // the date cell comes from the cache file, if there
    game.scan();

    ASSERT_EQ(game.pv.EntryCount(), names.size());
    EXPECT_EQ(game.state.rows[0].date, formatFileDate(1000000000));
    EXPECT_FALSE(game.state.rows[0].date.empty());
    EXPECT_EQ(game.state.rows[1].date, "");
    EXPECT_EQ(game.texts(), names);
    EXPECT_EQ(game.pv.RealNames, names);
    for (unsigned i = 0; i < names.size(); ++i) {
        EXPECT_EQ(game.pv.CacheFileNames[i], guid(i + 1) + ".uxx");
        EXPECT_EQ(game.state.rows[i].entry, i);
        EXPECT_TRUE(game.state.rows[i].checked);  // select all is the default
        EXPECT_FALSE(game.state.rows[i].neverMove);
    }
    EXPECT_EQ(game.state.statusText, "Found 7 files to process");
    EXPECT_TRUE(game.dialogs.shown.empty());
}

TEST_F(ScanTest, EmptyAndShortLinesAreSkippedAndAShortEntryIsAnErrorRow) {
    game.writeIndex({"[Cache]", entryLine(1, "A.unr"), "", "0123456789", "NOTAGUIDLINE",
                     entryLine(2, "B.utx"), ""});
    game.pv.MapFixDone = true;  // keep the repair out of this test
    game.scan();
    EXPECT_EQ(game.texts(),
              (std::vector<std::string>{
                  "A.unr", "**ERROR** Missing file extension in cache.ini ---> ", "B.utx"}));
    EXPECT_EQ(game.pv.CacheFileNames[1], "NOTAGUIDLINE.uxx");
    EXPECT_EQ(game.pv.RealNames[1], "");
    EXPECT_EQ(game.pv.CacheFileNames[2], guid(2) + ".uxx");
}

TEST_F(ScanTest, AllThreeLineEndStylesReadTheSame) {
    const std::vector<std::string> lines = {"[Cache]", entryLine(1, "A.unr"), entryLine(2, "B.u"),
                                            entryLine(3, "C.umx")};
    for (const char* eol : {"\r\n", "\n", "\r"}) {
        game.writeIndex(lines, eol);
        game.scan();
        EXPECT_EQ(game.texts(), (std::vector<std::string>{"A.unr", "B.u", "C.umx"}))
            << "line end " << (eol[0] == '\r' ? (eol[1] ? "CRLF" : "CR") : "LF");
        EXPECT_EQ(game.pv.EntryCount(), 3u);
    }
    // The last line needs no line end.
    writeFile(game.indexPath(), "[Cache]\n" + entryLine(1, "A.unr"));
    game.scan();
    EXPECT_EQ(game.texts(), std::vector<std::string>{"A.unr"});
}

TEST_F(ScanTest, RescanReplacesRowsAndEntryTable) {
    game.writeIndex({"[Cache]", entryLine(1, "A.unr"), entryLine(2, "B.unr")});
    game.scan();
    game.writeIndex({"[Cache]", entryLine(3, "C.unr")});
    ScanCache(game.pv, game.state, game.ctx);  // even without the caller clearing the rows
    EXPECT_EQ(game.texts(), std::vector<std::string>{"C.unr"});
    EXPECT_EQ(game.pv.EntryCount(), 1u);
    EXPECT_EQ(game.state.rows[0].entry, 0u);
    EXPECT_EQ(game.state.statusText, "Found 1 files to process");
}

TEST_F(ScanTest, FiveThousandEntriesAreAllTaken) {
    std::vector<std::string> lines = {"[Cache]"};
    const unsigned n = 5000;
    for (unsigned i = 1; i <= n; ++i)
        lines.push_back(entryLine(i, "Pkg" + std::to_string(i) + ".utx"));
    // Three more: an exact twin of entry 4321, its case variant, and a never-move entry.
    lines.push_back(entryLine(n + 1, "Pkg4321.utx"));
    lines.push_back(entryLine(n + 2, "PKG4321.UTX"));
    lines.push_back(entryLine(n + 3, "Last.unr"));
    writeFile(game.programFolder + "/QuorvelDontMove.ini", "pkg4999.UTX\r\nLAST.UNR\r\n");
    game.writeIndex(lines);
    game.scan();

    ASSERT_EQ(game.state.rows.size(), n + 3);
    EXPECT_EQ(game.pv.EntryCount(), n + 3);
    EXPECT_EQ(game.pv.RealNames[n + 2], "Last.unr");
    EXPECT_EQ(game.pv.CacheFileNames[n + 2], guid(n + 3) + ".uxx");
    // 5003 rows less three duplicate rows and two never-move rows.
    EXPECT_EQ(game.state.statusText, "Found 4998 files to process");
    EXPECT_FALSE(game.state.rows[4320].checked);
    EXPECT_FALSE(game.state.rows[n].checked);
    EXPECT_FALSE(game.state.rows[n + 1].checked);
    EXPECT_TRUE(game.state.rows[4998].neverMove);
    EXPECT_TRUE(game.state.rows[n + 2].neverMove);
    EXPECT_TRUE(game.state.rows[4997].checked);
}

// An index that exists but cannot be read is reported, not shown as an empty cache.
TEST(UnreadableIndexTest, IsReportedAndTheStatusKeepsItsText) {
    const std::vector<std::string> lines = {"[Cache]", entryLine(1, "A.unr")};
    bool sawUnreadable = false;
    for (long k = 1; k <= 12 && !sawUnreadable; ++k) {
        FaultyFileSystem faulty(realFileSystem());
        ScanGame game(faulty);
        game.writeIndex(lines);
        game.state.statusText = "Re-scanning files...";
        faulty.failAt(k, EIO);
        game.scan();
        // Skips the failures that cost the cache folder its name or leave the index readable.
        if (!game.state.rows.empty() || game.state.indexMissing ||
            faulty.lastFailedOperation() != "readAll")
            continue;
        sawUnreadable = true;
        ASSERT_FALSE(game.dialogs.shown.empty());
        EXPECT_EQ(game.dialogs.shown.back().title, "Quorvel");
        EXPECT_EQ(game.dialogs.shown.back().text,
                  std::string("Cache.INI could not be read (") + std::strerror(EIO) + ")");
        EXPECT_EQ(game.pv.EntryCount(), 0u);
        EXPECT_EQ(game.state.statusText, "Re-scanning files...");
    }
    EXPECT_TRUE(sawUnreadable);
}

// Selection by type, on the upper-cased end of the row text.
TEST_F(ScanTest, SelectionByTypeOnTheUpperCasedEndOfTheRowText) {
    game.writeIndex({"[Cache]", entryLine(1, "CTF-Face.unr"), entryLine(2, "Map2.UNR"),
                     entryLine(3, "Tex.utx"), entryLine(4, "Snd.uax"), entryLine(5, "Mus.UmX"),
                     entryLine(6, "BotPack.u"), entryLine(7, "Menu"), entryLine(8, "Readme.txt"),
                     entryLine(9, "Unr.unrx")});
    game.pv.MapFixDone = true;  // "Menu" has no dot; no repair here
    const std::string menuRow = "**ERROR** Missing file extension in cache.ini ---> Menu";
    using Texts = std::vector<std::string>;
    struct Case {
        const char* what;
        bool all, only;
        int unr, u, utx, uax, umx;
        Texts checked;
    };
    const std::vector<Case> cases = {
        {"select all ignores the type boxes", true, false, 1, 0, 0, 0, 0, {}},
        {"maps in any case", false, true, 1, 0, 0, 0, 0, {"CTF-Face.unr", "Map2.UNR"}},
        {"system: last letter U", false, true, 0, 1, 0, 0, 0, {"BotPack.u", menuRow}},
        {"several types", false, true, 0, 0, 1, 1, 1, {"Tex.utx", "Snd.uax", "Mus.UmX"}},
        {"neither option set",
         false,
         false,
         1,
         1,
         0,
         0,
         0,
         {"CTF-Face.unr", "Map2.UNR", "BotPack.u", menuRow}},
        {"no type chosen", false, true, 0, 0, 0, 0, 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Options& o = game.state.options;
        o.SelectAll = c.all;
        o.SelectOnly = c.only;
        o.UNR = c.unr;
        o.U = c.u;
        o.UTX = c.utx;
        o.UAX = c.uax;
        o.UMX = c.umx;
        game.scan();
        const Texts expected = c.all ? game.texts() : c.checked;
        EXPECT_EQ(game.checkedTexts(), expected);
        EXPECT_EQ(game.state.statusText,
                  "Found " + std::to_string(expected.size()) + " files to process");
    }
    EXPECT_EQ(game.texts().size(), 9u);

    const std::vector<std::tuple<std::string, std::string, bool>> ends = {
        {"a.unr", "UNR", true},    {"UNR", "UNR", true}, {"NR", "UNR", false},
        {"a.unr ", "UNR", false},  {"menu", "U", true},  {"", "U", false},
        {"a.\xFCnr", "UNR", false}};  // only ASCII letters change case
    for (const auto& [text, type, yes] : ends) EXPECT_EQ(endsWithType(text, type.c_str()), yes) << text;
}

TEST(FormatFileDateTest, ShortDateAndLongTimeLeavingOutMidnight) {
    {
        EnvGuard tz("TZ");
        ::setenv("TZ", "UTC", 1);
        ::tzset();
        // The C locale's forms of %x and %X.
        EXPECT_EQ(formatFileDate(1000000000), "09/09/01 01:46:40");
        EXPECT_EQ(formatFileDate(999993600), "09/09/01");           // exactly midnight
        EXPECT_EQ(formatFileDate(999993601), "09/09/01 00:00:01");  // one second past
    }
    ::tzset();  // the old zone is back in the environment
}

}  // namespace
}  // namespace qv::test
