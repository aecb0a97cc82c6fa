#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/faulty_filesystem.h"
#include "tests/engine/scan_fixture.h"

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
    game.state.lblCacheDir = game.cacheDir;
    game.scan();
    EXPECT_EQ(game.state.txtPurgeCacheDays, "7");
    EXPECT_EQ(game.state.lblCacheDir, game.cacheDir);
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

TEST_F(ScanTest, CacheFolderInUseIsNotReplaced) {
    makeDirs(game.tmp / "Elsewhere");
    writeFile(game.tmp / "Elsewhere/cache.ini", "[Cache]\r\n" + entryLine(9, "Other.utx") + "\r\n");
    game.state.lblCacheDir = game.tmp / "Elsewhere";
    game.scan();
    EXPECT_EQ(game.state.lblCacheDir, game.tmp / "Elsewhere");
    EXPECT_EQ(game.texts(), std::vector<std::string>{"Other.utx"});
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

TEST_F(ScanTest, RealLookingIndexGivesRowsAndEntryTableInIndexOrder) {
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
    game.scan();

    ASSERT_EQ(game.pv.EntryCount(), names.size());
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

TEST_F(ScanTest, DateCellComesFromTheCacheFileAndIsEmptyWhenItIsMissing) {
    game.writeIndex({"[Cache]", entryLine(1, "Here.unr"), entryLine(2, "Gone.unr")});
    const long mtime = 1000000000;
    game.addCacheFile(1, mtime);
    game.scan();
    ASSERT_EQ(game.state.rows.size(), 2u);
    EXPECT_EQ(game.state.rows[0].date, formatFileDate(mtime));
    EXPECT_FALSE(game.state.rows[0].date.empty());
    EXPECT_EQ(game.state.rows[1].date, "");
}

TEST_F(ScanTest, EmptyAndShortLinesInsideTheIndexAreSkipped) {
    game.writeIndex(
        {"[Cache]", entryLine(1, "A.unr"), "", "0123456789", entryLine(2, "B.utx"), ""});
    game.scan();
    EXPECT_EQ(game.texts(), (std::vector<std::string>{"A.unr", "B.utx"}));
    EXPECT_EQ(game.pv.CacheFileNames[1], guid(2) + ".uxx");
}

TEST_F(ScanTest, ShortEntryLineIsAnErrorRow) {
    game.writeIndex({"[Cache]", "NOTAGUIDLINE", entryLine(1, "A.unr")});
    game.pv.MapFixDone = true;  // keep the repair out of this test
    game.scan();
    EXPECT_EQ(game.texts(), (std::vector<std::string>{
                                "**ERROR** Missing file extension in cache.ini ---> ", "A.unr"}));
    EXPECT_EQ(game.pv.CacheFileNames[0], "NOTAGUIDLINE.uxx");
    EXPECT_EQ(game.pv.RealNames[0], "");
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
class SelectionTest : public ScanTest {
  protected:
    void SetUp() override {
        game.writeIndex({"[Cache]", entryLine(1, "CTF-Face.unr"), entryLine(2, "Map2.UNR"),
                         entryLine(3, "Tex.utx"), entryLine(4, "Snd.uax"), entryLine(5, "Mus.UmX"),
                         entryLine(6, "BotPack.u"), entryLine(7, "Menu"),
                         entryLine(8, "Readme.txt"), entryLine(9, "Unr.unrx")});
        game.pv.MapFixDone = true;  // "Menu" has no dot; no repair here
        game.state.options.SelectAll = false;
        game.state.options.SelectOnly = true;
    }
    static const std::string kMenuRow;
};
const std::string SelectionTest::kMenuRow =
    "**ERROR** Missing file extension in cache.ini ---> Menu";

TEST_F(SelectionTest, SelectAllChecksEveryRow) {
    game.state.options.SelectAll = true;
    game.state.options.SelectOnly = false;
    game.state.options.UNR = 1;  // type boxes do not matter then
    game.scan();
    EXPECT_EQ(game.checkedTexts().size(), 9u);
    EXPECT_EQ(game.state.statusText, "Found 9 files to process");
}

TEST_F(SelectionTest, OnlyMapsChecksRowsEndingInUnrInAnyCase) {
    game.state.options.UNR = 1;
    game.scan();
    EXPECT_EQ(game.checkedTexts(), (std::vector<std::string>{"CTF-Face.unr", "Map2.UNR"}));
    EXPECT_EQ(game.state.statusText, "Found 2 files to process");
}

TEST_F(SelectionTest, SystemFilesTakeEveryRowWhoseLastLetterIsU) {
    game.state.options.U = 1;
    game.scan();
    EXPECT_EQ(game.checkedTexts(), (std::vector<std::string>{"BotPack.u", kMenuRow}));
}

TEST_F(SelectionTest, SeveralTypesTogether) {
    game.state.options.UTX = 1;
    game.state.options.UAX = 1;
    game.state.options.UMX = 1;
    game.scan();
    EXPECT_EQ(game.checkedTexts(), (std::vector<std::string>{"Tex.utx", "Snd.uax", "Mus.UmX"}));
}

TEST_F(SelectionTest, NeitherOptionSetStillAppliesTheTypeBoxes) {
    game.state.options.SelectOnly = false;
    game.state.options.UNR = 1;
    game.state.options.U = 1;
    game.scan();
    EXPECT_EQ(game.checkedTexts(),
              (std::vector<std::string>{"CTF-Face.unr", "Map2.UNR", "BotPack.u", kMenuRow}));
}

TEST_F(SelectionTest, NoTypeChosenChecksNothing) {
    game.scan();
    EXPECT_TRUE(game.checkedTexts().empty());
    EXPECT_EQ(game.state.statusText, "Found 0 files to process");
}

TEST(EndsWithTypeTest, ComparesTheUpperCasedEnd) {
    EXPECT_TRUE(endsWithType("a.unr", "UNR"));
    EXPECT_TRUE(endsWithType("UNR", "UNR"));
    EXPECT_FALSE(endsWithType("NR", "UNR"));
    EXPECT_FALSE(endsWithType("a.unr ", "UNR"));
    EXPECT_TRUE(endsWithType("menu", "U"));
    EXPECT_FALSE(endsWithType("", "U"));
    EXPECT_FALSE(endsWithType("a.\xFCnr", "UNR"));  // only ASCII letters change case
}

// Pins the process time zone for one test and puts the old one back.
class UtcZone {
  public:
    UtcZone() {
        if (const char* tz = std::getenv("TZ")) old_ = tz, hadOld_ = true;
        ::setenv("TZ", "UTC", 1);
        ::tzset();
    }
    ~UtcZone() {
        if (hadOld_)
            ::setenv("TZ", old_.c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }

  private:
    std::string old_;
    bool hadOld_ = false;
};

TEST(FormatFileDateTest, ShortDateAndLongTimeLeavingOutMidnight) {
    UtcZone utc;
    // The C locale's forms of %x and %X.
    EXPECT_EQ(formatFileDate(1000000000), "09/09/01 01:46:40");
    EXPECT_EQ(formatFileDate(999993600), "09/09/01");           // exactly midnight
    EXPECT_EQ(formatFileDate(999993601), "09/09/01 00:00:01");  // one second past
}

}  // namespace
}  // namespace qv::test
