#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "engine/cache_lock.h"
#include "engine/run.h"
#include "platform/faulty_filesystem.h"
#include "platform/textfile.h"
#include "tests/engine/run_fixture.h"

namespace qv::runtest {
namespace {

using Lines = std::vector<std::string>;

std::vector<std::string> concat(Lines a, const Lines& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::string crlf(const Lines& lines) {
    std::string out;
    for (const auto& l : lines) out += l + "\r\n";
    return out;
}

class ProcessCacheTest : public ::testing::Test {
  protected:
    RunGame g;
    RecordingSink sink;
};

TEST_F(ProcessCacheTest, AWholeRunInTheTypeFolderMode) {
    g.add(1, "CTF-Face.unr");
    g.add(2, "Rock.utx");
    g.add(3, "readme.txt");
    g.add(4, "Gone.uax", /*present=*/false);
    g.add(5, "Keep.umx");
    g.writeIndex();
    const std::string oldIndex = g.index();

    RunResult r = g.run({"CTF-Face.unr", "Rock.utx", "readme.txt", "Gone.uax"}, sink, Options{});
    ASSERT_EQ(r.outcome, RunOutcome::Completed);
    EXPECT_EQ(r.label1, "Cache Directory = " + g.runCacheDir);
    EXPECT_EQ(g.pv.GameDir, g.game);  // one trailing separator removed

    const std::string move1 =
        "**OLD** " + guidOf(1) + ".uxx  ---->  **NEW** " + g.game + "/Maps/CTF-Face.unr";
    const std::string move2 =
        "**OLD** " + guidOf(2) + ".uxx  ---->  **NEW** " + g.game + "/Textures/Rock.utx";
    const std::string notMoved3 = guidOf(3) + ".uxx {readme.txt} was not moved.";
    const std::string notMoved = guidOf(5) + ".uxx {Keep.umx} was not moved.";
    EXPECT_EQ(
        sink.lines,
        concat({move1, move2, "readme.txt does NOT have a known file extension and cannot be moved",
                guidOf(4) + ".uxx NOT FOUND in the Cache Directory", notMoved3, notMoved},
               closingStatusLines(g)));
    EXPECT_EQ(g.logText(),
              crlf({"{{ Using " + g.runCacheDir + " as the CACHE directory }}", "", move1, move2,
                    "readme.txt  does NOT have a known file extension and cannot be moved",
                    guidOf(4) + ".uxx NOT FOUND in the Cache Directory", notMoved3, notMoved,
                    g.runCacheDir + "/CACHE.INI was renamed to CACHEBAK.INI",
                    "A new CACHE.INI was created in " + g.runCacheDir, "",
                    "NOTE - files not being moved is due to either the file",
                    "       not being selected or they already exist.", ""}));
    EXPECT_EQ(g.index(), crlf({"[Cache]", g.line(3, "readme.txt"), g.line(5, "Keep.umx")}));
    EXPECT_EQ(g.backup(), oldIndex);
    EXPECT_EQ(readFile(g.game + "/Maps/CTF-Face.unr"), contentOf("CTF-Face.unr"));
    EXPECT_TRUE(fileExists(g.cacheFile(3)));
    EXPECT_EQ(g.pv.EntryCount(), 0u);  // the entry table is cleared for the re-scan
    std::vector<std::pair<std::size_t, std::size_t>> progress;  // after every index line
    for (std::size_t i = 1; i <= 6; ++i) progress.emplace_back(i, 6);
    EXPECT_EQ(sink.progressCalls, progress);
    EXPECT_EQ(sink.events, 6);
    EXPECT_TRUE(g.dialogs.shown.empty());
    // No temporary index is left behind.
    EXPECT_FALSE(fileExists(g.cacheDir + "/cache.ini.quorvel-new"));
}

TEST_F(ProcessCacheTest, SelectionIsByTheWholeSafeRealName) {
    g.add(1, "CTF-Face.unr");
    g.add(2, "Face.unr");
    g.add(3, "ctf-face2.unr");
    g.add(4, "../x.umx");
    g.add(5, "sub/x.unr");
    g.writeIndex();
    g.run({"Face.unr", "CTF-FACE2.unr", "../x.umx", "sub/x.unr"}, sink);
    EXPECT_TRUE(fileExists(g.game + "/Maps/Face.unr"));
    EXPECT_FALSE(fileExists(g.game + "/Maps/CTF-Face.unr"));   // contains "Face.unr": not moved
    EXPECT_FALSE(fileExists(g.game + "/Maps/ctf-face2.unr"));  // case counts
    EXPECT_EQ(g.index(), crlf({"[Cache]", g.line(1, "CTF-Face.unr"), g.line(3, "ctf-face2.unr"),
                               g.line(4, "../x.umx"), g.line(5, "sub/x.unr")}));
    for (const char* unsafe : {"../x.umx is not a safe file name and cannot be moved",
                               "sub/x.unr is not a safe file name and cannot be moved"})
        EXPECT_EQ(std::count(sink.lines.begin(), sink.lines.end(), unsafe), 1) << unsafe;
}

TEST_F(ProcessCacheTest, ShortLinesHeadersAndBlankLines) {
    const std::string eleven = "ABCDEFGHIJK";  // counted by the scan, no real name
    const std::string thirtyThree = guidOf(7) + "=";
    g.indexLines = {"[Cache]", "", eleven, thirtyThree, "x[Cache]y", "  ", g.line(1, "A.unr")};
    writeFile(g.cacheFile(1), "a");
    g.writeIndex();
    // Even a checked text that is a whole short line or empty selects nothing.
    g.run({"", eleven, "A.unr"}, sink);
    EXPECT_EQ(g.index(), crlf({"[Cache]", "", eleven, thirtyThree, "  "}));
    EXPECT_TRUE(fileExists(g.game + "/Maps/A.unr"));
}

TEST_F(ProcessCacheTest, NothingSelectedKeepsEveryLineAndReportsEveryPresentPackage) {
    const std::string errorRow = "**ERROR** Missing file extension in cache.ini ---> DM-Deck16";
    g.add(3, "C.unr");
    g.add(1, "A.unr", /*present=*/false);
    g.add(2, "B.unr");
    g.add(4, "DM-Deck16");  // a missing-extension row selects nothing, nor its very text
    g.add(5, errorRow);
    g.writeIndex();
    g.run({errorRow}, sink);
    EXPECT_EQ(g.index(), crlf(g.indexLines));
    EXPECT_EQ(sink.lines.size(), 4u + closingStatusLines(g).size());  // four not-moved lines
    EXPECT_EQ(Lines(sink.lines.begin(), sink.lines.begin() + 2),
              (Lines{guidOf(3) + ".uxx {C.unr} was not moved.",
                     guidOf(2) + ".uxx {B.unr} was not moved."}));
    const Lines first = sink.lines;
    g.scanTable();
    g.run({}, sink);  // nothing checked at all: the same four not-moved lines again
    ASSERT_GT(sink.lines.size(), first.size() + 4);
    EXPECT_EQ(Lines(sink.lines.begin() + first.size(), sink.lines.begin() + first.size() + 4),
              Lines(first.begin(), first.begin() + 4));
    EXPECT_EQ(g.index(), crlf(g.indexLines));
}

TEST_F(ProcessCacheTest, AFailedMoveStaysInTheIndexAndTheReport) {
    g.add(1, "CTF-Face.unr");
    g.writeIndex();
    writeFile(g.game + "/Maps/CTF-Face.unr", "already there");
    g.run({"CTF-Face.unr"}, sink);
    ASSERT_GE(sink.lines.size(), 2u);
    EXPECT_EQ(sink.lines[0], guidOf(1) + ".uxx could NOT be moved to " + g.game +
                                 "/Maps/CTF-Face.unr (" + std::strerror(EEXIST) + ")");
    EXPECT_EQ(sink.lines[1], guidOf(1) + ".uxx {CTF-Face.unr} was not moved.");
    EXPECT_EQ(g.index(), crlf(g.indexLines));
    EXPECT_EQ(readFile(g.game + "/Maps/CTF-Face.unr"), "already there");
    for (const auto& l : sink.lines) EXPECT_EQ(l.find("**OLD**"), std::string::npos) << l;
}

TEST_F(ProcessCacheTest, NoLimitOnSelectedOrKeptLines) {
    Lines checked;
    for (unsigned n = 1; n <= 1200; ++n) {
        const std::string name = "P" + std::to_string(n) + (n % 2 ? ".unr" : ".utx");
        g.add(n, name);
        if (n % 2) checked.push_back(name);
    }
    g.writeIndex();
    g.run(checked, sink);
    EXPECT_EQ(test::listNames(g.game + "/Maps").size(), 600u);
    EXPECT_EQ(splitLines(g.index()).size(), 601u);  // the header and 600 kept lines
    EXPECT_EQ(splitLines(g.index())[600], g.line(1200, "P1200.utx"));
}

TEST_F(ProcessCacheTest, TwoRunsInARowKeepTheFirstRunsIndexAsBackup) {
    g.add(1, "A.unr");
    g.add(2, "B.unr");
    g.writeIndex();
    g.run({"A.unr"}, sink);
    const std::string afterFirst = g.index();
    g.indexLines = {"[Cache]", g.line(2, "B.unr")};
    g.scanTable();
    g.run({"B.unr"}, sink);
    EXPECT_EQ(g.backup(), afterFirst);
    EXPECT_EQ(g.index(), "[Cache]\r\n");
    // The status list of the second run follows the first run's closing lines: a move and a
    // not-moved line, the closing lines, then the second move and the closing lines again.
    ASSERT_EQ(sink.lines.size(), 3u + 2 * closingStatusLines(g).size());
    EXPECT_EQ(sink.lines[10],
              "**OLD** " + guidOf(2) + ".uxx  ---->  **NEW** " + g.game + "/Maps/B.unr");
}

TEST(ProcessCacheLineEnds, TheNewIndexKeepsTheLineEndsOfTheOld) {
    for (const std::string eol : {"\n", "\r"}) {
        RunGame g;
        RecordingSink sink;
        g.add(1, "A.unr");
        g.add(2, "Keep.txt");
        g.writeIndex(eol);
        g.run({"A.unr"}, sink);
        EXPECT_EQ(g.index(), "[Cache]" + eol + g.line(2, "Keep.txt") + eol);
        EXPECT_TRUE(fileExists(g.game + "/Maps/A.unr"));
    }
}

TEST_F(ProcessCacheTest, NoIndexTouchesNothingAndKeepsTheOldLog) {
    writeFile(g.programFolder + "/Quorvel.log", "old log");
    RunRequest request;
    EngineContext ctx{g.posix, g.dialogs};
    RunResult r = ProcessCache(g.pv, request, ctx, sink);
    EXPECT_EQ(r.outcome, RunOutcome::NoIndex);
    EXPECT_EQ(request.lblCacheDir, g.runCacheDir);  // the fallback, formed before the trim
    EXPECT_EQ(r.label1, "Cache Directory = " + g.runCacheDir);
    EXPECT_EQ(g.logText(), "old log");
    EXPECT_TRUE(sink.lines.empty());
    EXPECT_TRUE(g.dialogs.shown.empty());
}

TEST_F(ProcessCacheTest, ThePickedCacheFolderIsUsed) {
    const std::string other = g.tmp / "OtherCache";
    makeDirs(other);
    writeFile(other + "/" + guidOf(1) + ".uxx", "pkg");
    writeFile(other + "/cache.ini", "[Cache]\r\n" + g.line(1, "A.unr") + "\r\n");
    RunRequest request;
    request.lblCacheDir = other;
    request.checkedTexts = {"A.unr"};
    EngineContext ctx{g.posix, g.dialogs};
    ASSERT_EQ(ProcessCache(g.pv, request, ctx, sink).outcome, RunOutcome::Completed);
    EXPECT_EQ(request.lblCacheDir, other);
    EXPECT_EQ(readFile(g.game + "/Maps/A.unr"), "pkg");
    EXPECT_EQ(readFile(other + "/cache.ini"), "[Cache]\r\n");
}

TEST_F(ProcessCacheTest, ALogThatCannotBeCreatedIsSaidSo) {
    makeDirs(g.programFolder + "/Quorvel.log");  // a folder in the way
    g.add(1, "A.unr");
    g.writeIndex();
    g.run({"A.unr"}, sink);
    const std::string expected =
        g.programFolder + "/Quorvel.log could not be created (" + std::strerror(EISDIR) + ")";
    EXPECT_EQ(std::count(sink.lines.begin(), sink.lines.end(), expected), 1);
    for (const auto& l : sink.lines) EXPECT_EQ(l.find("was created."), std::string::npos);
    EXPECT_TRUE(fileExists(g.game + "/Maps/A.unr"));  // the run goes on without its log
    EXPECT_EQ(g.index(), "[Cache]\r\n");
}

TEST_F(ProcessCacheTest, UnreadableSettingsOrIndexEndTheRunBeforeTheLog) {
    g.add(1, "A.unr");
    g.writeIndex();
    const std::string before = g.index();
    FaultyFileSystem faulty(g.posix);
    faulty.failAt(1, EACCES);  // Quorvel.ini is read first, then cache.ini
    EXPECT_EQ(g.run({"A.unr"}, sink, Options{}, &faulty).outcome, RunOutcome::IndexUnreadable);
    faulty.failAt(faulty.operationCount() + 2, EIO);
    EXPECT_EQ(g.run({"A.unr"}, sink, Options{}, &faulty).outcome, RunOutcome::IndexUnreadable);
    EXPECT_EQ(faulty.lastFailedOperation(), "readAll");
    EXPECT_EQ(g.dialogs.messages(),
              (Lines{"Quorvel.ini could not be read (" + std::string(std::strerror(EACCES)) + ")",
                     "Cache.INI could not be read (" + std::string(std::strerror(EIO)) + ")"}));
    EXPECT_EQ(g.dialogs.shown[1].title, "Quorvel");
    EXPECT_FALSE(fileExists(g.programFolder + "/Quorvel.log"));
    EXPECT_FALSE(fileExists(g.cacheDir + "/cachebak.ini"));
    EXPECT_EQ(g.index(), before);
    EXPECT_TRUE(fileExists(g.cacheFile(1)));
    EXPECT_TRUE(sink.lines.empty());
}

TEST_F(ProcessCacheTest, AnIndexThatCannotBeReplacedStaysWithItsBackup) {
    g.add(1, "A.unr");
    g.add(2, "B.unr");
    g.writeIndex();
    writeFile(g.cacheDir + "/cachebak.ini", "old backup");
    makeDirs(g.cacheDir + "/cache.ini.quorvel-new");  // the temporary file cannot be created
    const std::string before = g.index();
    g.run({"A.unr"}, sink);

    const std::string failed =
        "CACHE.INI could not be replaced (" + std::string(std::strerror(EISDIR)) + ")";
    EXPECT_EQ(sink.lines,
              (Lines{"**OLD** " + guidOf(1) + ".uxx  ---->  **NEW** " + g.game + "/Maps/A.unr",
                     guidOf(2) + ".uxx {B.unr} was not moved.",
                     g.programFolder + "/Quorvel.log was created.", failed, "",
                     "** NOTE ** - files not being moved is due to either the file not being "
                     "selected or they already exist.",
                     "", std::string(102, '~'), ""}));
    EXPECT_EQ(g.index(), before);  // it still names every package left in the cache
    EXPECT_EQ(g.backup(), "old backup");
    const std::string log = g.logText();
    EXPECT_NE(log.find(failed + "\r\n\r\nNOTE - "), std::string::npos);
    EXPECT_EQ(log.find("CACHEBAK"), std::string::npos);
}

TEST_F(ProcessCacheTest, ASecondRunOnTheSameCacheIsBusy) {
    g.add(1, "A.unr");
    g.writeIndex();
    const std::string before = g.index();
    {
        CacheLock held(g.runCacheDir);
        ASSERT_EQ(held.state(), CacheLock::State::Held);
        EXPECT_EQ(g.run({"A.unr"}, sink).outcome, RunOutcome::Busy);
        EXPECT_EQ(g.dialogs.messages(),
                  Lines{"Another Quorvel run is using this cache folder. Try again when it has "
                        "finished."});
        EXPECT_EQ(g.index(), before);
        EXPECT_TRUE(fileExists(g.cacheFile(1)));
    }
    EXPECT_EQ(g.run({"A.unr"}, sink).outcome, RunOutcome::Completed);
}

TEST_F(ProcessCacheTest, FolderTreeModeWithCrossFileSystemMoves) {
    g.add(1, "CTF-Face.unr");
    g.add(2, "Song.umx");
    g.add(3, "Code.u");
    g.writeIndex();
    Options o;
    o.MoveNorm = false;
    o.MoveDir2 = true;
    o.MoveDir2Text = g.tmp / "Packs\\";
    EngineContext ctx{g.posix, g.dialogs};
    ASSERT_TRUE(PrepareRun(o, ctx));
    g.posix.setForceCrossDevice(true);
    g.run({"CTF-Face.unr", "Song.umx", "Code.u"}, sink, o);
    EXPECT_EQ(readFile(g.tmp / "Packs/Maps/CTF-Face.unr"), contentOf("CTF-Face.unr"));
    EXPECT_EQ(readFile(g.tmp / "Packs/Music/Song.umx"), contentOf("Song.umx"));
    EXPECT_EQ(readFile(g.tmp / "Packs/System/Code.u"), contentOf("Code.u"));
    EXPECT_EQ(test::listNames(g.tmp / "Packs/Maps"), Lines{"CTF-Face.unr"});  // no temp left
    EXPECT_FALSE(fileExists(g.cacheFile(1)));
    EXPECT_EQ(g.index(), "[Cache]\r\n");  // all moved: only the header stays
    EXPECT_EQ(test::listNames(g.cacheDir), (Lines{".quorvel.lock", "cache.ini", "cachebak.ini"}));
}

TEST_F(ProcessCacheTest, OneFolderModeOnAnotherFileSystem) {
    if (!g.posix.isFolder("/dev/shm")) GTEST_SKIP() << "no /dev/shm: covered by the forced test";
    test::TempDir shm("/dev/shm");
    g.add(1, "CTF-Face.unr");
    g.add(2, "Rock.utx");
    g.writeIndex();
    Options o;
    o.MoveNorm = false;
    o.MoveDir = true;
    o.MoveDirText = shm / "one";
    EngineContext ctx{g.posix, g.dialogs};
    ASSERT_TRUE(PrepareRun(o, ctx));
    g.run({"CTF-Face.unr", "Rock.utx"}, sink, o);
    EXPECT_EQ(test::listNames(shm / "one"), (Lines{"CTF-Face.unr", "Rock.utx"}));
    EXPECT_EQ(readFile(shm / "one/Rock.utx"), contentOf("Rock.utx"));
    EXPECT_FALSE(fileExists(g.cacheFile(2)));
}

}  // namespace
}  // namespace qv::runtest
