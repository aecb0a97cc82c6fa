// Linux only: flock, hard links and lock files under /run/lock, as the POSIX layer meets them.
// What players met: another locale, other editors' line ends, blank lines, no stored mode,
// a name listed twice, a backup that cannot be replaced, what a killed run leaves.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/cache/cache_lock.h"
#include "engine/cache/index_file.h"
#include "engine/run/placement.h"
#include "engine/run/undo.h"
#include "platform/forwarding_filesystem.h"
#include "platform/trace.h"
#include "settings/program_settings.h"
#include "tests/support/game.h"

namespace qv::test {
namespace {

using Lines = std::vector<std::string>;

// QV_TEST_LOCALE runs the whole engine suite under that locale (ctest does so for tr_TR.UTF-8).
[[maybe_unused]] const bool kLocaleFromEnvironment = [] {
    const char* l = std::getenv("QV_TEST_LOCALE");
    return l && std::setlocale(LC_ALL, l);
}();

TEST(FieldLocale, NamesAndNumbersReadTheSameUnderATurkishLocale) {
    const std::string before = std::setlocale(LC_ALL, nullptr);
    if (!std::setlocale(LC_ALL, "tr_TR.UTF-8"))
        GTEST_SKIP() << "the tr_TR.UTF-8 locale is not installed (scripts/deps.sh generates it)";
    EXPECT_EQ(packageTypeOfLine(guidOf(1) + "=Lang.int"), PackageType::System);  // 'i' -> 'I'
    bool ok = false;
    EXPECT_TRUE(textToBool("0.5", ok) && ok);  // the locale's decimal point is ','
    Game g;
    writeFile(g.game + "/Lang.INI.tmp", "x");
    EXPECT_EQ(g.posix.listFiles(g.game, "*.ini.TMP").value.size(), 1u);
    std::setlocale(LC_ALL, before.c_str());
}

// Whatever line ends the old index used, the run and the purge write CR LF.
TEST(FieldIndex, RunAndPurgeWriteCrLf) {
    for (const std::string eol : {"\r", "\n"}) {
        Game g;
        g.add(1, "A.unr");
        g.add(2, "Keep.txt");
        g.lines.push_back(g.line(3, "Stuck.utx"));
        makeDirs(g.cacheFile(3));  // a folder: the purge cannot delete it, so its line stays
        g.writeIndex(eol);
        RecordingSink sink;
        ASSERT_EQ(g.run(sink).outcome, RunOutcome::Completed);
        EXPECT_EQ(g.index(), joinLines({"[Cache]", g.lines[2], g.lines[3]}, LineEnd::CRLF));
        writeFile(g.cacheDir + "/cache.ini", "[Cache]" + eol + g.lines[3] + eol);
        g.dialogs.answers = {true};
        ASSERT_EQ(g.purge(sink), PurgeOutcome::Done);
        // Keep.txt stayed in the cache with its line only in the backup: that line comes back.
        EXPECT_EQ(g.index(), "[Cache]\r\n" + g.lines[3] + "\r\n" + g.lines[2] + "\r\n");
    }
}

// The game ends every index with a blank line; blank lines of any length are no entries.
TEST(FieldIndex, BlankLinesAreNoEntriesForTheScanTheRepairOrThePurge) {
    Game g;
    g.add(1, "DM-Deck16");
    for (const char* blank : {"", "            ", "\t\t \t\t \t\t \t\t"}) g.lines.push_back(blank);
    const std::string old = g.writeIndex();
    g.state.readOnly = true;  // a listing (quorvel-cli list) never rewrites the index
    g.scan();
    EXPECT_EQ(g.index(), old);
    // It lists the line as the run's scan repairs it first, so it counts what the run moves.
    ASSERT_EQ(g.state.rows.size(), 1u);
    EXPECT_EQ(g.state.rows[0].text, "DM-Deck16.unr");
    EXPECT_TRUE(g.state.rows[0].checked);
    EXPECT_EQ(g.dialogs.messages(), Lines{});
    g.state.readOnly = false;
    g.scan();
    ASSERT_EQ(g.state.rows.size(), 1u);
    EXPECT_EQ(g.state.rows[0].text, "DM-Deck16.unr");
    EXPECT_EQ(g.dialogs.messages(), Lines{"Auto-corrected all missing map extensions..."});
    g.lines.erase(g.lines.begin() + 1);
    g.writeIndex();
    RecordingSink sink;
    EXPECT_EQ(g.purge(sink), PurgeOutcome::AlreadyEmpty);
}

TEST(FieldRun, NoStoredModeIsTheTypeFolderModeAndAFolderModeNeedsItsFolder) {
    Game g;
    g.addAndIndex({"A.unr"});
    Options none;
    none.MoveNorm = false;
    Options noFolder = none;
    noFolder.MoveDir2 = true;
    RecordingSink sink;
    g.scan();
    EngineContext ctx{g.posix, g.dialogs};
    RunRequest request{noFolder, g.cacheDir, {0}};  // no PrepareRun: the run itself refuses
    EXPECT_EQ(ProcessCache(g.pv, request, ctx, sink).outcome, RunOutcome::Refused);
    EXPECT_EQ(g.dialogs.messages().back(),
              "You must select a full folder path (example - /home/you/ut-packages)");
    EXPECT_TRUE(fileExists(g.cacheFile(1)));
    ASSERT_EQ(g.run(sink, {}, nullptr, none).outcome, RunOutcome::Completed);
    EXPECT_TRUE(g.placed(g.game + "/Maps", "A.unr"));
}

// Two lines of one name are two rows: only the checked one moves; and a row whose line has
// moved in the index since the scan picks nothing in its place.
TEST(FieldRun, SelectionIsByRow) {
    Game g;
    g.add(1, "Dup.unr");
    g.lines.push_back(g.line(2, "Dup.unr"));
    writeFile(g.cacheFile(2), bytesOf("Dup.unr", 2));
    g.add(3, "B.unr");
    g.writeIndex();
    g.scan();
    EngineContext ctx{g.posix, g.dialogs};
    RecordingSink sink;
    RunRequest second{Options{}, g.cacheDir, {1}};
    ASSERT_EQ(ProcessCache(g.pv, second, ctx, sink).outcome, RunOutcome::Completed);
    EXPECT_FALSE(fileExists(g.cacheFile(2)));
    EXPECT_EQ(g.index(), joinLines({"[Cache]", g.lines[1], g.lines[3]}, LineEnd::CRLF));

    g.scan();  // the list shows Dup.unr, B.unr; then the index changes under it
    writeFile(g.cacheDir + "/cache.ini", joinLines({g.lines[3], g.lines[1]}, LineEnd::CRLF));
    RunRequest stale{Options{}, g.cacheDir, {1}};
    ASSERT_EQ(ProcessCache(g.pv, stale, ctx, sink).outcome, RunOutcome::Completed);
    EXPECT_TRUE(fileExists(g.cacheFile(1)));
    EXPECT_TRUE(fileExists(g.cacheFile(3)));
}

// A backup that cannot be replaced (here a folder of that name) stays; the new index is written
// all the same, so it never names packages that have moved.
TEST(FieldIndex, ABackupThatCannotBeReplacedStopsNoNewIndex) {
    Game g;
    g.addAndIndex({"A.unr", "B.txt"});
    makeDirs(g.cacheDir + "/cachebak.ini");
    RecordingSink sink;
    ASSERT_EQ(g.run(sink).outcome, RunOutcome::Completed);
    g.dialogs.answers = {true};
    ASSERT_EQ(g.purge(sink), PurgeOutcome::Done);
    EXPECT_EQ(g.index(), "[Cache]\r\n");
    const std::string failed = g.cacheDir + "/CACHEBAK.INI could not be replaced (" +
                               std::strerror(EISDIR) + "); the previous backup stays";
    EXPECT_EQ(std::count(sink.lines.begin(), sink.lines.end(), failed), 2);
    EXPECT_TRUE(has(g.log(), failed + "\r\nA new CACHE.INI was created in "));
    EXPECT_TRUE(g.posix.isFolder(g.cacheDir + "/cachebak.ini"));
}

// An index an editor saved as "Unicode" (UTF-16) is no index the game wrote: the scan, its
// repair, the run, the purge and the undo say so and leave it byte for byte; read as 8-bit
// lines, a rewrite garbled every line.
TEST(FieldIndex, AUtf16IndexIsRefusedAndLeftAsItIs) {
    Game g;
    g.addAndIndex({"A.unr", "DM-Deck"});  // DM-Deck: a line the repair would change
    RecordingSink sink;
    ASSERT_EQ(g.run(sink, {"A.unr"}).outcome, RunOutcome::Completed);
    std::string utf16 = "\xFF\xFE";
    for (const char c : g.index()) utf16.append({c, '\0'});
    writeFile(g.cacheDir + "/cache.ini", utf16);
    g.dialogs.shown.clear();
    g.dialogs.answers = {true, true};
    EXPECT_EQ(g.run(sink).outcome, RunOutcome::IndexUnreadable);
    EXPECT_EQ(g.purge(sink), PurgeOutcome::IndexUnreadable);
    EXPECT_EQ(g.undo(sink).outcome, UndoOutcome::IndexUnreadable);
    EXPECT_EQ(g.index(), utf16);
    EXPECT_TRUE(fileExists(g.cacheFile(2)));
    EXPECT_TRUE(g.placed(g.game + "/Maps", "A.unr"));
    const std::string why =
        "(it is UTF-16 text; the game reads and writes plain text, as an "
        "editor saves it as ANSI)";
    EXPECT_EQ(g.dialogs.messages(),
              Lines({"Cache.INI could not be read " + why, "Cache.INI could not be read " + why,
                     "Cache.INI could not be read " + why,
                     "CACHE.INI cannot be read or replaced " + why + "; nothing was moved back."}));
}

// An index this user cannot replace stops the run and the purge before a package moves or
// goes; otherwise the index would go on naming every package taken away.
TEST(FieldIndex, AnIndexThatCannotBeReplacedStopsTheRunAndThePurgeFirst) {
    struct ReadOnlyIndex final : ForwardingFileSystem {
        using ForwardingFileSystem::ForwardingFileSystem;
        Status canReplace(const std::string& p) override {
            return p.ends_with("/cache.ini") ? Status::fromErrno(EACCES) : Status::success();
        }
    };
    Game g;
    g.addAndIndex({"A.unr"});
    const std::string before = g.index();
    ReadOnlyIndex fs(g.posix);
    RecordingSink sink;
    EXPECT_EQ(g.run(sink, {}, &fs).outcome, RunOutcome::Refused);
    g.dialogs.answers = {true};
    EXPECT_EQ(g.purge(sink, &fs), PurgeOutcome::IndexUnreadable);
    EXPECT_TRUE(fileExists(g.cacheFile(1)));
    EXPECT_EQ(g.index(), before);
    const std::string why = std::string("CACHE.INI cannot be replaced (") + std::strerror(EACCES);
    EXPECT_EQ(g.dialogs.messages(),
              Lines({why + "); nothing was moved.", why + "); nothing was deleted."}));
}

// A killed run's half-written temporary files go (only our exact names, none a running write
// holds); a package already placed as another file of the same bytes loses its cache copy.
TEST(FieldRun, WhatAKilledRunLeftIsCleanedUp) {
    Game g;
    const Lines left = {g.cacheDir + "/.quorvel-tmp-AbC123", g.game + "/Maps/.quorvel-tmp-x9Z0q1"};
    const Lines others = {g.cacheDir + "/.quorvel-tmp-AbC12", g.game + "/Maps/quorvel-tmp-AbC123",
                          g.cacheDir + "/.quorvel-tmp-Held01"};
    for (const std::string& f : left) writeFile(f, "half");
    for (const std::string& f : others) writeFile(f, "not ours");
    const int held = ::open(others[2].c_str(), O_RDONLY);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);  // a write still running
    g.add(1, "Same.unr");
    writeFile(g.game + "/Maps/Same.unr", bytesOf("Same.unr", 1));
    g.add(2, "Linked.unr");
    ASSERT_EQ(::link(g.cacheFile(2).c_str(), (g.game + "/Maps/Linked.unr").c_str()), 0);
    g.writeIndex();
    RecordingSink sink;
    ASSERT_EQ(g.run(sink).outcome, RunOutcome::Completed);
    ::close(held);
    for (const std::string& f : left) {
        EXPECT_FALSE(fileExists(f)) << f;
        EXPECT_TRUE(sink.said(f + " was left by an interrupted run and has been removed"));
    }
    for (const std::string& f : others) EXPECT_TRUE(fileExists(f)) << f;
    EXPECT_FALSE(fileExists(g.cacheFile(1)));
    EXPECT_TRUE(sink.said(guidOf(1) + ".uxx was already at " + g.game +
                          "/Maps/Same.unr with the same contents; the cache copy was removed"));
    EXPECT_EQ(g.index(), joinLines({"[Cache]", g.lines[2]}, LineEnd::CRLF));  // the linked one
}

// Also run where a folder cannot be flocked (NFS). The lock must then outlast the holder's own
// replacement of the index: an undo goes on working after it.
TEST(CacheLockTest, ASecondRunOrPurgeWaitsForTheFirst) {
    Game g;
    const std::string old = g.addAndIndex({"Face.unr"});
    const int probe = ::open(g.cacheDir.c_str(), O_RDONLY | O_DIRECTORY);
    const bool noFlock = ::flock(probe, LOCK_EX | LOCK_NB) != 0;
    ::close(probe);  // and the flock with it
    ASSERT_TRUE(noFlock || !std::getenv("QV_EXPECT_NO_FLOCK"));
    // A fallback says in the trace which locks it took; a plain flock says nothing.
    static std::string traced;
    trace::setSink([](trace::Category, const std::string& line) { traced += line + "\n"; });
    trace::enable(trace::Category::Lock, true);
    RecordingSink sink;
    {
        CacheLock held(g.cacheDir);
        trace::setSink(nullptr);
        ASSERT_EQ(held.state(), CacheLock::State::Held) << held.failure();
        EXPECT_EQ(traced.starts_with(g.cacheDir + ": flock refused (") &&
                      traced.find("); the machine lock /") != std::string::npos &&
                      traced.ends_with(" and a record lock on cache.ini\n"),
                  noFlock)
            << traced;
        g.dialogs.answers = {true, true};
        EXPECT_EQ(g.run(sink).outcome, RunOutcome::Busy);
        EXPECT_EQ(g.purge(sink), PurgeOutcome::Busy);
        EXPECT_EQ(g.index(), old);
        ASSERT_TRUE(replaceCacheIndex(g.posix, g.cacheDir, old, old + g.line(2, "B.utx") + "\r\n")
                        .index.ok());
        EXPECT_EQ(g.run(sink).outcome, RunOutcome::Busy);
        EXPECT_EQ(g.purge(sink), PurgeOutcome::Busy);
        EXPECT_TRUE(fileExists(g.cacheFile(1)));
    }
    EXPECT_EQ(g.run(sink).outcome, RunOutcome::Completed);
    EXPECT_TRUE(g.placed(g.game + "/Maps", "Face.unr"));
    struct stat folder {};
    ASSERT_EQ(::stat(g.cacheDir.c_str(), &folder), 0);
    char name[64];  // the lock file of a folder that is gone helps nobody
    std::snprintf(name, sizeof name, "/quorvel-%u/lock-%llx-%llx", ::geteuid(),
                  static_cast<unsigned long long>(folder.st_dev),
                  static_cast<unsigned long long>(folder.st_ino));
    for (const char* base : {"/run/lock", "/tmp"}) ::unlink((base + std::string(name)).c_str());
}

}  // namespace
}  // namespace qv::test
