// Linux only: FIFOs, links and modes as a Linux game folder holds them.
// What players and other programs put where the run looks: FIFOs and links at destinations, our
// own temporary names, a cache extension with its dot, GUIDs in another case, a file swapped in
// after the listing, an index changed since the scan, a full disk under the log, root's runs on
// a player's files and immutable files. Each row sets one up; every row's run must finish, keep
// what it cannot place with its line, and claim nothing that did not happen.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <thread>

#include "engine/run/placement.h"
#include "engine/run/run_log.h"
#include "platform/ascii.h"
#include "tests/support/faulty_filesystem.h"
#include "tests/support/game.h"

namespace qv::test {
namespace {

std::string upperGuidFile(const Game& g, unsigned n) {
    return g.cacheDir + "/" + upperAscii(guidOf(n)) + ".uxx";
}

struct Hazard {
    const char* name;
    std::function<void(Game&)> setUp;                   // after A.unr (package 1) is in the cache
    std::function<void(Game&, FaultyFileSystem&)> arm;  // just before the run, after the scan
    bool moved;                                         // A.unr ends up in Maps
    const char* said;       // a status or message line that must be there
    bool lineStays = true;  // package 1's line names it at the start of the run
};

const Hazard kHazards[] = {
    {"fifo_at_destination", [](Game& g) { ::mkfifo((g.game + "/Maps/A.unr").c_str(), 0644); },
     nullptr, false, "could NOT be moved"},
    {"our_temporary_name",
     [](Game& g) {
         g.lines[1] = g.line(1, ".quorvel-tmp-abcdeu");
         g.writeIndex();
     },
     nullptr, false, ".quorvel-tmp-abcdeu is not a safe file name and cannot be moved"},
    {"extension_with_its_dot",
     [](Game& g) {
         writeFile(g.programFolder + "/Quorvel.ini",
                   "[Dirs]\r\nCachePath=Cache\r\nCacheExt=.uxx\r\nMaps=Maps\r\n");
     },
     nullptr, true, nullptr},
    {"guid_in_other_case",
     [](Game& g) { ::rename(g.cacheFile(1).c_str(), upperGuidFile(g, 1).c_str()); }, nullptr, true,
     nullptr},
    {"wrong_extension",
     [](Game& g) {
         writeFile(g.programFolder + "/Quorvel.ini",
                   "[Dirs]\r\nCachePath=Cache\r\nCacheExt=umod\r\nMaps=Maps\r\n");
     },
     nullptr, false, "selected packages is in "},
    {"link_swapped_in_after_the_listing", nullptr,
     [](Game& g, FaultyFileSystem& fs) {
         fs.watch = [&g](const char* op, const std::string&, const std::string&, bool done) {
             if (done || std::string(op) != "moveListedFile") return;
             ::unlink(g.cacheFile(1).c_str());
             ::symlink("/etc/hostname", g.cacheFile(1).c_str());
         };
     },
     false, "(Not a plain file)"},
    {"name_changed_since_the_scan", nullptr,
     [](Game& g, FaultyFileSystem&) {
         g.lines[1] = g.line(1, "Other.unr");
         g.writeIndex();
     },
     false, nullptr},
    {"guid_changed_since_the_scan", nullptr,
     [](Game& g, FaultyFileSystem&) {
         writeFile(g.cacheFile(7), bytesOf("A.unr", 7));
         g.lines[1] = g.line(7, "A.unr");
         g.writeIndex();
     },
     false, nullptr, false},
    {"log_on_a_full_disk", nullptr,
     [](Game&, FaultyFileSystem& fs) { fs.failPath("Quorvel.log", ENOSPC); }, true,
     "could not be created ("},
};

class Hazards : public ::testing::TestWithParam<Hazard> {};

TEST_P(Hazards, TheRunFinishesKeepsWhatItCannotPlaceAndClaimsNothingElse) {
    const Hazard& h = GetParam();
    Game g;
    g.addAndIndex({"A.unr", "B.utx"});
    if (h.setUp) h.setUp(g);
    FaultyFileSystem fs(g.posix);
    // cache.ini names a whole index at every step: the replacement leaves no instant without it.
    int withoutIndex = 0;
    fs.watch = [&](const char*, const std::string&, const std::string&, bool) {
        withoutIndex += !fileExists(g.cacheDir + "/cache.ini");
    };
    g.scan(&fs);
    if (h.arm) h.arm(g, fs);
    RecordingSink sink;
    // The run works on the rows of that scan, as the window's Run does.
    RunRequest request{g.state.options, g.state.cacheDir, {}};
    for (const FileRow& row : g.state.rows)
        if (row.checked) request.checkedEntries.push_back(row.entry);
    EngineContext ctx{fs, g.dialogs};
    const RunResult r = ProcessCache(g.pv, request, ctx, sink);
    EXPECT_EQ(withoutIndex, 0);
    const std::string index = g.index();
    EXPECT_EQ(g.placed(g.game + "/Maps", "A.unr"), h.moved);
    const bool inCache = fileExists(g.cacheFile(1)) || fileExists(upperGuidFile(g, 1));
    EXPECT_NE(inCache, h.moved);
    if (inCache && h.lineStays) {
        EXPECT_NE(index.find(guidOf(1)), std::string::npos) << index;  // it keeps its line
    }
    bool said = !h.said;
    for (const std::string& l : sink.lines)
        said |= l.find(h.said ? h.said : "") != std::string::npos;
    for (const std::string& m : g.dialogs.messages())
        said |= m.find(h.said ? h.said : "") != std::string::npos;
    EXPECT_TRUE(said) << h.said;
    const bool logClaimed = sink.said(g.programFolder + "/Quorvel.log was created.");
    EXPECT_EQ(logClaimed, r.logWritten);
    if (r.outcome == RunOutcome::Completed) {
        EXPECT_EQ(completionOf(r) == Completion::All, r.failed == 0 && r.logWritten);
    } else {
        EXPECT_EQ(index, joinLines(g.lines, LineEnd::CRLF));  // refused: nothing changed
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, Hazards, ::testing::ValuesIn(kHazards),
                         [](const auto& info) { return std::string(info.param.name); });

// A *.tmp link is removed itself: what it leads to, outside the game folder, stays as it was.
TEST(HazardMaintenance, DeleteTmpRemovesALinkNotItsTarget) {
    Game g;
    const std::string outside = g.tmp / "outside.dat";
    writeFile(outside, "keep me");
    ::chmod(outside.c_str(), 0444);
    ::symlink(outside.c_str(), (g.game + "/Link.tmp").c_str());
    writeFile(g.game + "/Real.tmp", "12345");
    EngineContext ctx{g.posix, g.dialogs};
    EXPECT_TRUE(DeleteCacheTmpFiles(g.pv, ctx));
    struct stat st {};
    ASSERT_EQ(::stat(outside.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0444u);
    EXPECT_EQ(readFile(outside), "keep me");
    EXPECT_FALSE(fileExists(g.game + "/Link.tmp") || fileExists(g.game + "/Real.tmp"));
    EXPECT_EQ(g.dialogs.messages().back(), "Deleted 5 bytes of temporary cache files.");
}

// Root's run on a player's files leaves them the player's, with their modes; an immutable index
// stops the run before anything moves.
TEST(HazardOwners, RootKeepsThePlayersOwnerAndModeAndStopsAtAnImmutableIndex) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root";
    Game g;
    g.addAndIndex({"A.unr"});
    const std::string index = g.cacheDir + "/cache.ini",
                      ini = g.game + "/System/UnrealTournament.ini";
    for (const std::string& f : {index, ini, g.cacheFile(1)})
        ASSERT_TRUE(::chown(f.c_str(), 4321, 4322) == 0 && ::chmod(f.c_str(), 0600) == 0);
    // The player's own program folder: the log and the journal root writes there are the player's,
    // or the player's next run could not write them.
    ASSERT_EQ(::chown(g.programFolder.c_str(), 4321, 4322), 0);
    RecordingSink sink;
    ASSERT_EQ(g.run(sink).outcome, RunOutcome::Completed);
    EngineContext ctx{g.posix, g.dialogs};
    ASSERT_TRUE(SetPurgeInterval("9", g.pv, ctx));
    for (const std::string& f :
         {index, g.cacheDir + "/cachebak.ini", ini, g.game + "/Maps/A.unr"}) {
        struct stat st {};
        ASSERT_EQ(::stat(f.c_str(), &st), 0) << f;
        EXPECT_TRUE(st.st_uid == 4321 && st.st_gid == 4322 && (st.st_mode & 07777) == 0600) << f;
    }
    for (const std::string& f : {g.programFolder + "/Quorvel.log", g.programFolder + "/runs",
                                 g.programFolder + "/runs/1.journal"}) {
        struct stat st {};
        ASSERT_EQ(::stat(f.c_str(), &st), 0) << f;
        EXPECT_TRUE(st.st_uid == 4321 && st.st_gid == 4322) << f;
    }
    g.add(2, "B.unr");
    g.writeIndex();
    if (std::system(("chattr +i " + index + " 2>/dev/null").c_str()) != 0)
        GTEST_SKIP() << "chattr +i is not available here";
    const RunResult r = g.run(sink);
    (void)std::system(("chattr -i " + index).c_str());
    EXPECT_EQ(r.outcome, RunOutcome::Refused);
    EXPECT_TRUE(fileExists(g.cacheFile(2)));
    EXPECT_EQ(g.dialogs.messages().back(), std::string("CACHE.INI cannot be replaced (") +
                                               std::strerror(EPERM) + "); nothing was moved.");
}

// Guards: a run's block copied from its side file in pieces with another appender's lines
// between them (the pieces wait for the appenders' lock, whoever holds it).
TEST(HazardSharedLog, ABlockOfManyPiecesWaitsForTheAppendersLock) {
    Game g;
    const std::string path = g.programFolder + "/Quorvel.log";
    const auto block = [](const char* cache) {
        return "{{ Using " + std::string(cache) + " as the CACHE directory }}\r\n\r\n";
    };
    RunLog big = StartRunLog("/d", path, g.posix, g.programFolder + "/d.log");
    std::string ds;
    for (int i = 0; i < 60000; ++i) big.line("d" + std::to_string(i));
    for (int i = 0; i < 60000; ++i) ds += "d" + std::to_string(i) + "\r\n";
    const int held = ::open(path.c_str(), O_WRONLY | O_APPEND);
    struct flock lock {};
    lock.l_type = F_WRLCK, lock.l_len = 1;
    ASSERT_EQ(::fcntl(held, F_OFD_SETLK, &lock), 0);
    std::thread closing([&] { big.close(); });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(::write(held, "x\r\n", 3), 3);
    ::close(held);
    closing.join();
    const std::string written = readFile(path);  // compared whole: a diff of it takes ages
    EXPECT_TRUE(written == "x\r\n" + block("/d") + ds) << written.substr(0, 80);
    EXPECT_FALSE(fileExists(g.programFolder + "/d.log"));
}

}  // namespace
}  // namespace qv::test
