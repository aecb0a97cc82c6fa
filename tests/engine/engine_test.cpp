// The engine as the window drives it: scan, run, purge, repair, on a real game folder.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "engine/cache/cache_entry.h"
#include "engine/cache/index_file.h"
#include "engine/maintenance/package_check.h"
#include "engine/run/placement.h"
#include "engine/run/run_log.h"
#include "platform/ascii.h"
#include "platform/forwarding_filesystem.h"
#include "platform/textfile.h"
#include "tests/support/faulty_filesystem.h"
#include "tests/support/game.h"

namespace qv::test {
namespace {

using Lines = std::vector<std::string>;
const std::string kGuid = guidOf(1);

TEST(IndexLines, ReadByPositionTypedByTheirEndAndNamesKeptInTheirFolder) {
    EXPECT_FALSE(parseEntryLine("0123456789", "uxx"));
    const auto e = parseEntryLine(kGuid + "= Face.unr ", "uxx");
    ASSERT_TRUE(e);
    EXPECT_EQ(e->CacheFileName, kGuid + ".uxx");
    EXPECT_EQ(e->RealName, " Face.unr ");
    EXPECT_EQ(parseEntryLine(kGuid + "=NoDot", "uxx")->displayName(),
              std::string(kMissingExtensionPrefix) + "NoDot");

    const struct {
        const char* name;
        PackageType type;
    } types[] = {{"a.unr", PackageType::Map},    {"a.UtX", PackageType::Texture},
                 {"a.umx", PackageType::Music},  {"a.uax", PackageType::Sound},
                 {"a.int", PackageType::System}, {"a.dem", PackageType::System},
                 {"a.u", PackageType::System},   {"a.txt", PackageType::Unknown},
                 {"unr", PackageType::Map},      {"a.unrx", PackageType::Unknown}};
    for (const auto& t : types)
        EXPECT_EQ(packageTypeOfLine(kGuid + "=" + t.name), t.type) << t.name;
    EXPECT_EQ(packageTypeOfLine(kGuid + "="), PackageType::Unknown);

    for (const char* bad : {"",        ".",         "..",       "a/b.unr",  "..\\b.unr",
                            "C:b.unr", "a\x01.unr", "CON.unr",  "con",      "Nul.utx.uax",
                            "aux .u",  "PRN.",      "com1.umx", "LPT9.int", "X.unr:s.unr",
                            "1:a.u",   "a.unr.",    "a.unr ",   ".unr",     ".u"})
        EXPECT_TRUE(isUnsafeRealName(bad)) << bad;
    for (const char* good : {"a.unr", "...unr", " a b .u", "\xe9t\xe9.unr", "CONSOLE.unr",
                             "xCON.unr", "COM0.u", "COM10.u", "LPT.u", "a.CON", "NULL.uax"})
        EXPECT_FALSE(isUnsafeRealName(good)) << good;
}

// The player copies a file of other bytes to a package's place while the run goes.
class CopiedMeanwhile final : public ForwardingFileSystem {
  public:
    CopiedMeanwhile(FileSystem& inner, std::string place)
        : ForwardingFileSystem(inner), place_(std::move(place)) {}
    Status moveNoReplace(const std::string& f, const std::string& t) override {
        return copyTo(t), inner_.moveNoReplace(f, t);
    }
    Status moveListedFile(const std::string& f, const std::string& t, FileIdentity* l) override {
        return copyTo(t), inner_.moveListedFile(f, t, l);
    }

  private:
    void copyTo(const std::string& t) {
        if (t == place_) writeFile(t, "[Public]\r\n");
    }
    std::string place_;
};

// Every case a run meets, in each line-end style of the index.
class Run : public ::testing::TestWithParam<const char*> {};

TEST_P(Run, MovesWhatItCanKeepsTheLinesOfTheRestAndLogsOnlyWhatHappened) {
    Game g;
    const Lines moved = {"CTF-Face.unr", "Rock.utx", "Song.umx", "Boom.uax", "Code.u", "Mod.int"};
    const Lines folders = {"Maps", "Textures", "Music", "Sounds", "System", "System"};
    for (unsigned i = 0; i < moved.size(); ++i) g.add(i + 1, moved[i]);
    g.add(7, "readme.txt");
    g.add(8, "Taken.unr");
    writeFile(g.game + "/Maps/Taken.unr", "someone else's");
    g.add(9, "../Escape.unr");
    g.add(10, "Gone.unr", false);
    g.add(11, "Linked.utx", false);
    writeFile(g.tmp / "private", "the user's own");
    std::filesystem::create_symlink(g.tmp / "private", g.cacheFile(11));
    g.add(12, "Unchecked.umx");
    g.lines.push_back("short");
    // A cache file name that leaves the cache folder: the file it names is not the cache's.
    g.lines.push_back("../" + std::string(29, 'b') + "=Evil.unr");
    writeFile(g.game + "/" + std::string(29, 'b') + ".uxx", "outside");
    // A type the package check does not judge, its place taken by other bytes: the player's
    // only copy of the download stays in the cache.
    g.add(15, "Taken.int");
    writeFile(g.game + "/System/Taken.int", "[Public]\r\n");
    g.add(16, "Late.int");
    writeFile(g.cacheFile(17), bytesOf("Dropped.utx", 17));  // its line lost to the game's save
    CopiedMeanwhile disk(g.posix, g.game + "/System/Late.int");
    const std::string old = g.writeIndex(GetParam());

    RecordingSink sink;
    Lines checked = moved;
    for (const char* n : {"readme.txt", "Taken.unr", "../Escape.unr", "Gone.unr", "Linked.utx",
                          "Evil.unr", "Taken.int", "Late.int"})
        checked.push_back(n);
    ASSERT_EQ(g.run(sink, checked, &disk).outcome, RunOutcome::Completed);

    for (unsigned i = 0; i < moved.size(); ++i) {
        EXPECT_TRUE(g.placed(g.game + "/" + folders[i], moved[i])) << moved[i];
        EXPECT_FALSE(fileExists(g.cacheFile(i + 1))) << moved[i];
        const std::string said =
            moveLineText(guidOf(i + 1) + ".uxx", g.game + "/" + folders[i] + "/" + moved[i]);
        EXPECT_TRUE(sink.said(said)) << said;
        EXPECT_TRUE(test::has(g.log(), said + "\r\n"));
    }
    EXPECT_EQ(readFile(g.game + "/Maps/Taken.unr"), "someone else's");
    EXPECT_FALSE(fileExists(g.game + "/Escape.unr"));
    EXPECT_EQ(readFile(g.tmp / "private"), "the user's own");
    EXPECT_TRUE(std::filesystem::is_symlink(g.cacheFile(11)));  // not moved
    EXPECT_FALSE(fileExists(g.game + "/Textures/Linked.utx"));
    for (const char* place : {"/System/Taken.int", "/System/Late.int"})
        EXPECT_EQ(readFile(g.game + place), "[Public]\r\n") << place;
    for (unsigned n : {7u, 8u, 9u, 12u, 15u, 16u}) EXPECT_TRUE(fileExists(g.cacheFile(n))) << n;
    EXPECT_TRUE(sink.said(guidOf(10) + ".uxx NOT FOUND in the Cache Directory"));
    EXPECT_EQ(readFile(g.game + "/" + std::string(29, 'b') + ".uxx"), "outside");

    // The new index keeps the lines of every package still in the cache, with CR LF whatever
    // the old one used; the old index becomes the backup; the log claims exactly the moves made.
    Lines kept = {"[Cache]"};
    for (unsigned n : {7u, 8u, 9u}) kept.push_back(g.lines[n]);
    for (unsigned n : {11u, 12u, 13u, 14u, 15u, 16u}) kept.push_back(g.lines[n]);
    EXPECT_EQ(g.index(), joinLines(kept, LineEnd::CRLF));
    EXPECT_EQ(readFile(g.cacheDir + "/cachebak.ini"), old);
    std::size_t claims = 0;
    for (const std::string& l : splitLines(g.log())) claims += l.rfind("**OLD** ", 0) == 0;
    EXPECT_EQ(claims, moved.size());
    EXPECT_TRUE(test::has(g.log(), "CACHE.INI was renamed to CACHEBAK.INI"));
    EXPECT_TRUE(
        sink.said("1 file in the cache has no line in CACHE.INI (the game may have dropped "
                  "it); Check packages (quorvel-cli check --restore) puts its line back."));
}

INSTANTIATE_TEST_SUITE_P(LineEnds, Run, ::testing::Values("\r\n", "\n", "\r"));

// A package the disk will not show: the failed move proves nothing, so its line stays.
TEST(RunFaults, AFailedMoveOrLookupKeepsTheLineAndSaysWhy) {
    Game g;
    g.addAndIndex({"Face.unr", "Rock.utx"});
    FaultyFileSystem disk(g.posix);
    disk.failPath(kGuid + ".uxx", EIO);
    RecordingSink sink;
    ASSERT_EQ(g.run(sink, {"Face.unr", "Rock.utx"}, &disk).outcome, RunOutcome::Completed);
    EXPECT_TRUE(fileExists(g.cacheFile(1)));
    EXPECT_TRUE(g.placed(g.game + "/Textures", "Rock.utx"));
    EXPECT_EQ(g.index(), "[Cache]\r\n" + g.lines[1] + "\r\n");
    const std::string said = kGuid + ".uxx could NOT be moved to " + g.game + "/Maps/Face.unr (" +
                             std::strerror(EIO) + ")";
    EXPECT_TRUE(sink.said(said));
    EXPECT_EQ(g.log().find("**OLD** " + kGuid), std::string::npos);
}

// A relative folder names no place the player chose.
TEST(RunModes, AFolderModeNeedsAFullPath) {
    Game g;
    Options bad;
    bad.MoveNorm = false, bad.MoveDir = true, bad.MoveDirText = "ut-packages";  // relative
    EngineContext ctx{g.posix, g.dialogs};
    EXPECT_FALSE(PrepareRun(bad, ctx));
    EXPECT_EQ(g.dialogs.messages().back(),
              "You must select a full folder path (example - /home/you/ut-packages)");
}

TEST(Scan, SelectsByTypeAndNeverPicksANeverMoveNameOrADuplicate) {
    Game g;
    const Lines names = {"CTF-Face.unr", "Rock.UTX", "Song.umx", "Twin.uax",
                         "TWIN.uax",     "twin.uax", "Code.u",   "Keep.unr"};
    for (unsigned i = 0; i < names.size(); ++i) g.add(i + 1, names[i]);
    g.add(9, "Twin.uax");
    g.add(10, "Pair.utx");  // the same name in other letter case only: no twin
    g.add(11, "PAIR.utx");
    g.writeIndex("\n");
    writeFile(g.programFolder + "/QuorvelDontMove.ini", "keep.UNR\r\nSong.umx.bak\r\n");
    g.scan();
    ASSERT_EQ(g.state.rows.size(), 11u);
    Lines checked, marked;
    for (const FileRow& r : g.state.rows) {
        if (r.checked) checked.push_back(r.text);
        if (r.neverMove) marked.push_back(r.text);
        EXPECT_FALSE(r.date.empty()) << r.text;
    }
    EXPECT_EQ(checked,
              (Lines{"CTF-Face.unr", "Rock.UTX", "Song.umx", "Code.u", "Pair.utx", "PAIR.utx"}));
    EXPECT_EQ(marked, Lines{"Keep.unr"});
    EXPECT_EQ(g.state.statusText, "Found 6 files to process");
    EXPECT_EQ(g.pv.CacheFileNames[8], guidOf(9) + ".uxx");

    g.state.options.SelectAll = false, g.state.options.UNR = 1, g.state.options.UTX = 1;
    g.scan();
    checked.clear();
    for (const FileRow& r : g.state.rows)
        if (r.checked) checked.push_back(r.text);
    EXPECT_EQ(checked, (Lines{"CTF-Face.unr", "Rock.UTX", "Pair.utx", "PAIR.utx"}));
    // Checked but not counted, as the run moves none: no cache file, a link, an unsafe name.
    g.add(12, "Gone.unr", false);
    g.add(13, "Linked.unr", false);
    std::filesystem::create_symlink(g.cacheFile(1), g.cacheFile(13));
    g.add(14, "CON.unr");
    g.writeIndex("\n");
    g.scan();
    EXPECT_EQ(g.state.statusText, "Found 4 files to process");
    // A cache file named in other letter case than its line is still the package's; the
    // folder's other files do not stand in for one that is gone.
    std::filesystem::rename(g.cacheFile(2), g.cacheDir + "/" + lowerAscii(guidOf(2)) + ".UXX");
    writeFile(g.cacheDir + "/" + guidOf(12) + ".uxx.tmp", "partial");
    g.scan();
    EXPECT_EQ(g.state.statusText, "Found 4 files to process");
}

TEST(Scan, RepairAddsTheMapExtensionAndKeepsEveryOtherLine) {
    Game g;
    g.add(1, "DM-Deck");
    g.add(2, "Rock.utx");
    g.add(3, "xctf-Face");
    g.add(4, "NoMap");
    g.lines.insert(g.lines.begin() + 2, "");
    g.writeIndex("\n");
    g.scan();
    EXPECT_EQ(g.index(), joinLines({"[Cache]", g.lines[1] + ".unr", "", g.lines[3],
                                    g.lines[4] + ".unr", g.lines[5]},
                                   LineEnd::CRLF));
    EXPECT_EQ(g.dialogs.messages(),
              Lines{"A file extension is still missing...only maps can be fixed."});
    ASSERT_FALSE(g.state.rows.empty());
    EXPECT_EQ(g.state.rows[0].text, "DM-Deck.unr");
    EXPECT_FALSE(fileExists(g.cacheDir + "/cachefix.ini"));
    g.scan();  // once per program run
    EXPECT_EQ(g.dialogs.messages().size(), 1u);
}

// A lone LF inside a name of a CR LF index is part of its line: the name holds a control byte, so
// its package stays with its whole line. An index written with LF line ends splits on them.
TEST(Run, ALoneLfInsideANameStaysInItsLineAndAnLfIndexReadsEveryLine) {
    Game g;
    g.addAndIndex({"CTF-New\nLine.unr", "Rock.utx"});
    RecordingSink sink;
    ASSERT_EQ(g.run(sink).outcome, RunOutcome::Completed);
    EXPECT_EQ(g.index(), joinLines({"[Cache]", g.lines[1]}, LineEnd::CRLF));
    EXPECT_TRUE(fileExists(g.cacheFile(1)));
    EXPECT_FALSE(fileExists(g.game + "/Maps/CTF-New.unr") || fileExists(g.game + "/Maps/Line.unr"));
    EXPECT_TRUE(g.placed(g.game + "/Textures", "Rock.utx"));
    EXPECT_TRUE(sink.said("CTF-New\nLine.unr is not a safe file name and cannot be moved"));

    Game lf;
    lf.addAndIndex({"CTF-Face.unr", "Rock.utx"}, "\n");
    ASSERT_EQ(lf.run(sink).outcome, RunOutcome::Completed);
    EXPECT_EQ(lf.index(), "[Cache]\r\n");
    EXPECT_TRUE(lf.placed(lf.game + "/Maps", "CTF-Face.unr") &&
                lf.placed(lf.game + "/Textures", "Rock.utx"));
}

// The old index a replacement cut short left under its own name becomes cachebak.ini, as the
// first thing the next command does; a copy that cache.ini or cachebak.ini still equals goes.
TEST(LeftBackup, BecomesTheBackupUnlessTheIndexWasNeverReplaced) {
    Game g;
    const std::string old = g.addAndIndex({"A.unr"}), left = g.cacheDir + "/" + kLeftBackupName;
    writeFile(left, old);
    EXPECT_EQ(removeLeftTempFiles(g.posix, {g.cacheDir}), Lines{});
    EXPECT_FALSE(fileExists(left) || fileExists(g.cacheDir + "/cachebak.ini"));

    writeFile(left, old);
    writeFile(g.cacheDir + "/cachebak.ini", "[Cache]\r\nprevious\r\n");
    writeFile(g.cacheDir + "/cache.ini", "[Cache]\r\n");  // exchanged, then killed
    EXPECT_EQ(restoreLeftBackupLocked(g.cacheDir, g.posix),
              Lines{g.cacheDir + "/CACHEBAK.INI was restored: it holds CACHE.INI as it was "
                                 "before an interrupted run"});
    EXPECT_EQ(readFile(g.cacheDir + "/cachebak.ini"), old);
    EXPECT_FALSE(fileExists(left));
    writeFile(left, old);  // killed after the backup's rename
    EXPECT_EQ(removeLeftTempFiles(g.posix, {g.cacheDir}), Lines{});
    EXPECT_FALSE(fileExists(left));
}

TEST(Purge, DeletesTheNamedFilesAndKeepsTheLinesOfThoseThatStay) {
    Game g;
    for (unsigned n = 1; n <= 4; ++n) g.add(n, "P" + std::to_string(n) + ".unr");
    g.add(5, "Gone.unr", false);
    g.lines.push_back("../" + std::string(29, 'c') + "=Evil.unr");  // never deleted
    writeFile(g.game + "/" + std::string(29, 'c') + ".uxx", "outside");
    std::string old = g.writeIndex("\n");
    // Stopped after its first deletion (as Stop and Ctrl+C do): every other line stays.
    std::atomic<bool> stop{false};
    FaultyFileSystem stopping(g.posix);
    stopping.watch = [&](const char* op, const std::string&, const std::string&, bool done) {
        stop = stop || (done && std::string(op) == "removeFile");
    };
    RecordingSink sink;
    g.dialogs.answers = {true};
    EngineContext stoppable{stopping, g.dialogs, &stop};
    PurgeResult stopped;
    ASSERT_EQ(PurgeCache(g.pv, stoppable, sink, {}, &stopped), PurgeOutcome::Done);
    EXPECT_TRUE(stopped.stopped && stopped.deleted == 1 && !fileExists(g.cacheFile(1)));
    EXPECT_TRUE(sink.said("Stopped after 1 of 6 packages"));
    std::vector<std::string> rest = g.lines;
    rest.erase(rest.begin() + 1);
    EXPECT_EQ(old = g.index(), joinLines(rest, LineEnd::CRLF));
    FaultyFileSystem disk(g.posix);
    disk.failPath(guidOf(2) + ".uxx", EACCES);
    EXPECT_EQ(g.purge(sink), PurgeOutcome::Cancelled);  // the question was answered No
    EXPECT_EQ(g.index(), old);
    g.dialogs.answers = {true};
    ASSERT_EQ(g.purge(sink, &disk), PurgeOutcome::Done);
    EXPECT_EQ(g.index(), "[Cache]\r\n" + g.lines[2] + "\r\n" + g.lines[6] + "\r\n");
    EXPECT_EQ(readFile(g.cacheDir + "/cachebak.ini"), old);
    for (unsigned n : {1u, 3u, 4u}) EXPECT_FALSE(fileExists(g.cacheFile(n)));
    EXPECT_EQ(readFile(g.game + "/" + std::string(29, 'c') + ".uxx"), "outside");
    EXPECT_TRUE(
        sink.said("2 cache files were deleted; 1 line whose file was gone was dropped from "
                  "CACHE.INI; 2 could not be deleted and stay in CACHE.INI"));
    writeFile(g.cacheDir + "/cache.ini", "[Cache]\r\nshort\r\n");
    EXPECT_EQ(g.purge(sink), PurgeOutcome::AlreadyEmpty);
    // A package that only CACHEBAK.INI names stays with its line: not "all deleted".
    g.lines = {"[Cache]"};
    g.add(8, "Eight.unr");
    g.writeIndex();
    writeFile(g.cacheFile(9), "nine");
    writeFile(g.cacheDir + "/cachebak.ini", "[Cache]\r\n" + g.line(9, "Nine.unr") + "\r\n");
    g.dialogs.answers = {true};
    RecordingSink kept;
    ASSERT_EQ(g.purge(kept), PurgeOutcome::Done);
    EXPECT_FALSE(kept.said("All cache files have been deleted"));
    EXPECT_TRUE(kept.said(
        "1 cache file was deleted; 1 package stays in the cache with its line in CACHE.INI"));
}

// Guards: a user's run or purge not saying that other users' programs went unchecked: in the
// log (a purge, which keeps none, in its status list), not in a run's status list.
TEST(GameCheck, OtherUsersProgramsLeftUncheckedAreNoted) {
    Game g;
    g.addAndIndex({"Face.unr", "Rock.utx"});
    EngineContext ctx{g.posix, g.dialogs};
    ctx.uid = 4321;  // not root, and no program of its own
    RecordingSink sink;
    ASSERT_EQ(runAsTheWindowDoes(g.pv, g.state, ctx, sink, {"Face.unr"}).moved, 1u);
    EXPECT_TRUE(test::has(g.log(), kOthersUnseenNote) && !sink.said(kOthersUnseenNote));
    g.dialogs.answers = {true};
    ASSERT_EQ(PurgeCache(g.pv, ctx, sink), PurgeOutcome::Done);
    EXPECT_TRUE(sink.said(kOthersUnseenNote));
}

// Guards: a log emptied under another run's writer (NUL bytes, lost lines), one run's lines
// scattered through the other's (the longer run split by the shorter's block, whichever ends
// first), "was created" said of a log that was not.
TEST(RunLogShared, TwoRunsAtOnceKeepEveryLineAndEachRunsTogether) {
    Game g;
    const std::string path = g.programFolder + "/Quorvel.log";
    writeFile(path, "an older run's log\r\n");
    RunLog first = StartRunLog("/a", path, g.posix), second = StartRunLog("/b", path, g.posix);
    EXPECT_FALSE(first.shared);
    EXPECT_TRUE(second.shared);
    std::string as, bs;
    for (int i = 0; i < 600; ++i) {
        first.line("a" + std::to_string(i)), second.line("b");
        as += "a" + std::to_string(i) + "\r\n", bs += "b\r\n";
    }
    second.close();
    for (int i = 600; i < 900; ++i) first.line("a" + std::to_string(i));
    for (int i = 600; i < 900; ++i) as += "a" + std::to_string(i) + "\r\n";
    first.close();
    EXPECT_EQ(first.statusLine(), path + " was created.");
    EXPECT_EQ(second.statusLine(),
              "This run's lines were added to " + path + ", which another run writes too.");
    const auto block = [](const char* cache) {
        return "{{ Using " + std::string(cache) + " as the CACHE directory }}\r\n\r\n";
    };
    // Nothing lost, nothing left of the old log, each run's lines in one piece.
    EXPECT_EQ(readFile(path), block("/b") + bs + block("/a") + as);
    RunLog alone = StartRunLog("/c", path, g.posix);  // the others are done: a log of its own
    alone.close();
    EXPECT_EQ(readFile(path), block("/c"));
}

TEST(Maintenance, TemporaryFilesAndTheirSize) {
    Game g;
    writeFile(g.game + "/a.tmp", std::string(1500, 'a'));
    writeFile(g.game + "/b.TMP", std::string(1500, 'b'));
    writeFile(g.game + "/c.ini", "stays");
    EngineContext ctx{g.posix, g.dialogs};
    DeleteCacheTmpFiles(g.pv, ctx);
    DeleteCacheTmpFiles(g.pv, ctx);
    EXPECT_EQ(g.dialogs.messages(),
              (Lines{"Deleted 3K of temporary cache files.", "No files found.."}));
    EXPECT_EQ(listNames(g.game).size(), 7u);
    const std::pair<std::uint64_t, const char*> sizes[] = {{0, "0 bytes"},
                                                           {999, "999 bytes"},
                                                           {1000, "1K"},
                                                           {999999, "999K"},
                                                           {1000000, "1MEG"},
                                                           {999999999, "999MEG"},
                                                           {1000000000, "1000000000"}};
    for (const auto& [bytes, text] : sizes) EXPECT_EQ(formatByteTotal(bytes), text);
}

}  // namespace
}  // namespace qv::test
