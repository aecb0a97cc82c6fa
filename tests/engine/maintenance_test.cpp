#include "engine/maintenance.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <limits>

#include "engine/cache_lock.h"
#include "platform/faulty_filesystem.h"
#include "settings/mdlINI.h"
#include "tests/engine/run_fixture.h"

namespace qv::runtest {
namespace {

using Lines = std::vector<std::string>;

TEST(FormatByteTotal, ByTheNumberOfDigits) {
    const std::vector<std::pair<std::uint64_t, std::string>> cases = {
        {0, "0 bytes"},
        {512, "512 bytes"},
        {999, "999 bytes"},
        {1000, "1K"},
        {1999, "1K"},
        {15360, "15K"},
        {999999, "999K"},
        {2500000, "2MEG"},
        {12345678, "12MEG"},
        {999999999, "999MEG"},
        {1000000000, "1000000000"},
        {std::numeric_limits<std::uint64_t>::max(), "18446744073709551615"}};
    for (const auto& [bytes, text] : cases) EXPECT_EQ(formatByteTotal(bytes), text) << bytes;
}

class PurgeTest : public ::testing::Test {
  protected:
    RunGame g;
    RecordingSink sink;
    std::string cacheDir = g.runCacheDir;  // GameDir + "/" + CachePath

    PurgeOutcome purge(FileSystem* fs = nullptr) {
        EngineContext ctx{fs ? *fs : g.posix, g.dialogs};
        return PurgeCache(g.pv, ctx, sink);
    }
    Lines doneLines(const std::string& first) const {
        return {first, cacheDir + "/CACHE.INI was renamed to CACHEBAK.INI",
                "A new CACHE.INI was created in " + cacheDir};
    }
    std::string failed(const std::string& what, int err) const {
        return what + " (" + std::strerror(err) + ")";
    }
};

TEST_F(PurgeTest, DeletesEveryNamedFileWithoutLimitAndLeavesAnEmptyIndex) {
    for (unsigned n = 1; n <= 620; ++n)
        g.add(n, "P" + std::to_string(n) + (n % 2 ? ".unr" : ".txt"));
    g.writeIndex();
    writeFile(g.cacheDir + "/notindexed.uxx", "stays");
    writeFile(g.cacheDir + "/cachebak.ini", "older backup");
    const std::string old = g.index();
    g.dialogs.answers = {true};

    EXPECT_EQ(purge(), PurgeOutcome::Done);
    ASSERT_EQ(g.dialogs.shown.size(), 1u);
    EXPECT_EQ(g.dialogs.shown[0].kind, test::ScriptedDialogs::Shown::Question);
    EXPECT_EQ(g.dialogs.shown[0].title, "Quorvel");
    EXPECT_EQ(g.dialogs.shown[0].text, "Are you sure you want to DELETE all cache files?");
    EXPECT_EQ(sink.lines, doneLines("All cache files have been deleted"));
    EXPECT_EQ(g.index(), "[Cache]\r\n");
    EXPECT_EQ(g.backup(), old);
    EXPECT_EQ(test::listNames(g.cacheDir),
              (Lines{".quorvel.lock", "cache.ini", "cachebak.ini", "notindexed.uxx"}));
}

TEST_F(PurgeTest, NoIndexAnEmptyIndexOrNoChangeNothing) {
    EXPECT_EQ(purge(), PurgeOutcome::NoIndex);  // silently
    EXPECT_TRUE(g.dialogs.shown.empty());

    g.writeIndex();
    EXPECT_EQ(purge(), PurgeOutcome::AlreadyEmpty);
    EXPECT_EQ(g.dialogs.messages(), Lines{"Cache already empty..."});
    EXPECT_EQ(g.dialogs.shown.size(), 1u);  // no question

    g.add(1, "A.unr");
    g.writeIndex();
    const std::string old = g.index();
    g.dialogs.answers = {false};
    EXPECT_EQ(purge(), PurgeOutcome::Cancelled);
    EXPECT_EQ(g.dialogs.messages().back(), "Purge cancelled.");
    EXPECT_EQ(g.index(), old);
    EXPECT_TRUE(fileExists(g.cacheFile(1)));
    EXPECT_FALSE(fileExists(g.cacheDir + "/cachebak.ini"));
    EXPECT_TRUE(sink.lines.empty());
}

TEST_F(PurgeTest, LinesOfTenCharactersAreNoEntries) {
    writeFile(g.cacheDir + "/ABCDEFGHIJ.uxx", "ten");
    writeFile(g.cacheDir + "/ABCDEFGHIJK.uxx", "eleven");
    g.indexLines = {"[Cache]", "ABCDEFGHIJ"};
    g.writeIndex();
    g.dialogs.answers = {true};
    EXPECT_EQ(purge(), PurgeOutcome::AlreadyEmpty);

    g.indexLines = {"[Cache]", "ABCDEFGHIJ", "ABCDEFGHIJK"};
    g.writeIndex();
    EXPECT_EQ(purge(), PurgeOutcome::Done);
    EXPECT_TRUE(fileExists(g.cacheDir + "/ABCDEFGHIJ.uxx"));
    EXPECT_FALSE(fileExists(g.cacheDir + "/ABCDEFGHIJK.uxx"));
}

TEST_F(PurgeTest, FilesThatCannotBeDeletedKeepTheirLines) {
    g.add(1, "A.unr");
    g.add(2, "B.unr");
    g.add(3, "Missing.unr", /*present=*/false);       // already gone: counts as deleted
    makeDirs(g.cacheDir + "/" + guidOf(4) + ".uxx");  // cannot be deleted as a file
    g.indexLines.push_back(g.line(4, "Stuck.unr"));
    const std::string evil = "../../../../../../../etc/passwd";
    g.indexLines.push_back(evil + "=x.unr");  // never deleted outside the cache folder
    g.writeIndex("\n");
    g.dialogs.answers = {true};

    EXPECT_EQ(purge(), PurgeOutcome::Done);
    EXPECT_EQ(sink.lines, doneLines("2 cache files could not be deleted and stay in CACHE.INI"));
    EXPECT_EQ(g.index(), "[Cache]\n" + g.line(4, "Stuck.unr") + "\n" + evil + "=x.unr\n");
    EXPECT_FALSE(fileExists(g.cacheFile(1)));
    EXPECT_FALSE(fileExists(g.cacheFile(2)));
}

TEST_F(PurgeTest, AnIndexThatCannotBeReplacedIsSaidSo) {
    g.add(1, "A.unr");
    g.writeIndex();
    const std::string old = g.index();
    makeDirs(g.cacheDir + "/cache.ini.quorvel-new");
    g.dialogs.answers = {true};
    EXPECT_EQ(purge(), PurgeOutcome::Done);
    EXPECT_EQ(sink.lines, (Lines{"All cache files have been deleted",
                                 failed("CACHE.INI could not be replaced", EISDIR)}));
    EXPECT_EQ(g.index(), old);
    EXPECT_FALSE(fileExists(g.cacheDir + "/cachebak.ini"));
}

TEST_F(PurgeTest, UnreadableIndexAndBusyCache) {
    g.add(1, "A.unr");
    g.writeIndex();
    FaultyFileSystem faulty(g.posix);
    faulty.failAt(2, EIO);
    EXPECT_EQ(purge(&faulty), PurgeOutcome::IndexUnreadable);
    EXPECT_EQ(g.dialogs.messages(), Lines{failed("Cache.INI could not be read", EIO)});

    CacheLock held(cacheDir);
    g.dialogs.answers = {true};
    EXPECT_EQ(purge(), PurgeOutcome::Busy);
    EXPECT_EQ(g.dialogs.messages().back(), kCacheBusyMessage);
    EXPECT_TRUE(fileExists(g.cacheFile(1)));
}

class DeleteTmpTest : public ::testing::Test {
  protected:
    RunGame g;
    Lines run(FileSystem* fs = nullptr) {
        g.dialogs.shown.clear();
        EngineContext ctx{fs ? *fs : g.posix, g.dialogs};
        DeleteCacheTmpFiles(g.pv, ctx);
        return g.dialogs.messages();
    }
};

TEST_F(DeleteTmpTest, DeletesAndReportsTheSize) {
    writeFile(g.cacheDir + "/inner.tmp", "x");  // sub-folders are never touched
    writeFile(g.gameDir + "keep.tmpx", "x");
    EXPECT_EQ(run(), Lines{"No files found.."});
    EXPECT_TRUE(fileExists(g.cacheDir + "/inner.tmp"));

    writeFile(g.gameDir + "a.tmp", "");
    EXPECT_EQ(run(), Lines{"Deleted 0 bytes of temporary cache files."});

    writeFile(g.gameDir + "a.tmp", std::string(512, 'a'));
    writeFile(g.gameDir + "b.tmp", std::string(1487, 'b'));
    writeFile(g.gameDir + "ro.tmp", "");
    ::chmod((g.gameDir + "ro.tmp").c_str(), 0444);
    writeFile(g.gameDir + "other.txt", "x");
    EXPECT_EQ(run(), Lines{"Deleted 1K of temporary cache files."});
    EXPECT_EQ(g.dialogs.shown[0].title, "Quorvel");
    EXPECT_FALSE(fileExists(g.gameDir + "a.tmp"));
    EXPECT_FALSE(fileExists(g.gameDir + "ro.tmp"));
    EXPECT_TRUE(fileExists(g.gameDir + "other.txt"));
}

TEST_F(DeleteTmpTest, TheFirstFailureEndsTheCommandWithTheSystemsText) {
    writeFile(g.gameDir + "a.tmp", "1");
    writeFile(g.gameDir + "b.tmp", "2");
    FaultyFileSystem faulty(g.posix);
    faulty.failAt(3, EACCES);  // listing, makeWritable, then the first delete
    EXPECT_EQ(run(&faulty), Lines{std::strerror(EACCES)});
    EXPECT_TRUE(fileExists(g.gameDir + "a.tmp"));
    EXPECT_TRUE(fileExists(g.gameDir + "b.tmp"));
    faulty.failAt(faulty.operationCount() + 1, EIO);  // the listing itself
    EXPECT_EQ(run(&faulty), Lines{std::strerror(EIO)});
}

TEST(SetPurgeInterval, WritesTheTextUnchecked) {
    RunGame g;
    const std::string ini = g.gameDir + "System/UnrealTournament.ini";
    writeFile(ini, "[Core.System]\r\nPurgeCacheDays=30\r\nPaths=../Maps/*.unr\r\n");
    g.pv.GameIniPath = ini;
    EngineContext ctx{g.posix, g.dialogs};
    for (const std::string text : {"abc", "", "14"}) {
        EXPECT_TRUE(SetPurgeInterval(text, g.pv, ctx));
        EXPECT_EQ(g.pv.PurgeDaysText, text);
        EXPECT_EQ(INIGetSettingString("Core.System", "PurgeCacheDays", ini, "<none>"), text);
    }
    EXPECT_EQ(INIGetSettingString("Core.System", "Paths", ini, ""), "../Maps/*.unr");
}

}  // namespace
}  // namespace qv::runtest
