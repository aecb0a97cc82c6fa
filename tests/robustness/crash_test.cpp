// Linux only: fork-based kill campaigns.
// The crash campaign: a whole run is killed with SIGKILL at many points, from the scan through
// the moves to the rewrite of the index, on one file system, across two, and on the copy path;
// or asked to stop (as Stop and Ctrl+C do) at some of them. After each nothing may be lost or
// half-written, a stopped run's log says how far it got, and a second run must finish the job.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <set>

#include "cli/exit_status.h"
#include "engine/cache/index_file.h"
#include "engine/cache/index_transaction.h"
#include "engine/run/run_journal.h"
#include "engine/run/run_log.h"
#include "engine/run/undo.h"
#include "settings/program_files.h"
#include "tests/support/game.h"

namespace qv::test {
namespace {

using Lines = std::vector<std::string>;

struct Variant {
    const char* name;
    const char* gameBase;   // where the game folder lives ("" for $TMPDIR)
    const char* cacheBase;  // where the cache lives (nullptr: the game's own Cache folder)
    bool copy;              // every move forced onto the copy path
    unsigned packages;
};

// tmpfs costs nothing to flush; a move from /dev/shm to the temporary folder's disk is a real
// move across file systems, which copies and flushes every package.
const Variant kVariants[] = {
    {"same_file_system", "/dev/shm", nullptr, false, 300},
    {"forced_copy", "/dev/shm", nullptr, true, 300},
    {"across_file_systems", "", "/dev/shm", false, 40},
};

Package packageOf(unsigned n) {
    static const char* const kinds[][3] = {{"DM-Map", ".unr", "Maps"}, {"Skin", ".utx", "Textures"},
                                           {"Song", ".umx", "Music"},  {"Boom", ".uax", "Sounds"},
                                           {"Mut", ".u", "System"},    {"Mut", ".int", "System"}};
    const auto& k = kinds[n % 6];
    return {n, k[0] + std::to_string(n) + k[1], k[2]};
}

class CrashGame : public Game {
  public:
    CrashGame(const Variant& v) : Game(v.gameBase), variant(v) {
        if (v.cacheBase) {
            cacheTmp = std::make_unique<TempDir>(v.cacheBase);
            pickCache(*cacheTmp / "Cache");
        }
        for (unsigned n = 1; n <= v.packages; ++n) {
            packages.push_back(packageOf(n));
            add(n, packages.back().name);
        }
        old = writeIndex();
    }
    const Variant& variant;
    std::unique_ptr<TempDir> cacheTmp;
    std::vector<Package> packages;
    std::string old;

    long journalRoom = -1;  // the landings the killed run's journal finds room for (-1: all)

    bool killedAt(const std::string& mode, long k, const std::string& trace = "-",
                  bool undo = false) {
        const std::string kText = std::to_string(k), copy = variant.copy ? "1" : "0";
        const std::string room = std::to_string(journalRoom);
        const pid_t pid = ::fork();
        if (pid == 0) {
            if (journalRoom >= 0) ::setenv("QV_JOURNAL_ROOM", room.c_str(), 1);
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, 1), ::dup2(null, 2);
            ::execl(QV_CRASH_CHILD, QV_CRASH_CHILD, programFolder.c_str(), gameDir.c_str(),
                    cacheDir.c_str(), mode.c_str(), kText.c_str(), copy.c_str(), trace.c_str(),
                    undo ? "undo" : nullptr, nullptr);
            ::_exit(127);
        }
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        EXPECT_TRUE((mode != "none" && mode != "stop") ||
                    (WIFEXITED(status) && WEXITSTATUS(status) == 0));
        return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    }

    // A second run finishes the job: every package placed, the index naming only what is
    // still in the cache (copies whose twin was placed before the kill). Returns what it said.
    Lines finish(const std::string& where) {
        CopyingFileSystem copying(posix);
        RecordingSink sink;
        state.cacheDir = cacheDir;
        const auto files = [&] {
            const std::string backup = cacheDir + "/cachebak.ini";
            return std::pair(snapshot(*this), readFile(cacheDir + "/cache.ini") + "\n--\n" +
                                                  (fileExists(backup) ? readFile(backup) : ""));
        };
        const auto before = files();
        const RunResult r = run(sink, {}, variant.copy ? &copying : nullptr);
        EXPECT_EQ(r.outcome, RunOutcome::Completed) << where;
        // Whatever the killed run left, the run that finishes it says all done; one that had
        // nothing left to do changed nothing and says so.
        const bool changed = files() != before;
        EXPECT_EQ(cli::runExitStatus(r), changed ? cli::kExitOk : cli::kExitFailed)
            << where << ": " << r.moved << " moved, " << r.missing << " dropped, "
            << (changed ? "files changed" : "nothing changed");
        EXPECT_EQ(dialogs.messages(), Lines{}) << where;
        Lines expected = {"[Cache]"};
        for (const Package& p : packages) {
            EXPECT_TRUE(placed(game + "/" + p.folder, p.name)) << where << ": " << p.name;
            if (fileExists(cacheFile(p.n))) expected.push_back(line(p.n, p.name));
        }
        EXPECT_EQ(index(), joinLines(expected, LineEnd::CRLF)) << where;
        // The second run removed what the killed one left half-written.
        for (const std::string& folder : {cacheDir, game + "/Maps", game + "/Textures"})
            for (const std::string& n : listNames(folder))
                EXPECT_FALSE(n.starts_with(".quorvel-")) << where << ": " << folder << n;
        return sink.lines;
    }
};

// After an undo cut short: every package whole at its destination or whole in the cache with its
// line; the index holds lines of the old one only, each once. Then a second undo finishes the job
// (when the first had not), and a third finds nothing to undo.
void expectUndoFinishes(CrashGame& g, const std::string& where) {
    const Lines old = splitLines(g.old);
    const auto sorted = [](Lines l) {
        std::sort(l.begin(), l.end());
        return l;
    };
    Lines lines = splitLines(g.index());
    for (const std::string& l : lines)
        EXPECT_EQ(std::count(old.begin(), old.end(), l), std::count(lines.begin(), lines.end(), l))
            << where << ": " << l;
    for (const Package& p : g.packages) {
        const std::string dest = g.game + "/" + p.folder + "/" + p.name;
        const bool listed = std::count(lines.begin(), lines.end(), g.line(p.n, p.name)) == 1;
        EXPECT_TRUE(g.placed(g.game + "/" + p.folder, p.name) ||
                    (readFile(g.cacheFile(p.n)) == bytesOf(p.name, p.n) && listed))
            << where << ": " << p.name << " lost";
    }
    CopyingFileSystem copying(g.posix);
    EngineContext ctx{g.variant.copy ? static_cast<FileSystem&>(copying) : g.posix, g.dialogs};
    RecordingSink sink;
    // Nothing to undo once the killed undo had marked the run undone.
    const UndoOutcome second = UndoRun({g.programFolder, "", false, g.cacheDir}, ctx, sink).outcome;
    EXPECT_TRUE(second == UndoOutcome::Done || second == UndoOutcome::NothingToUndo) << where;
    EXPECT_EQ(sorted(splitLines(g.index())), sorted(old)) << where;
    for (const Package& p : g.packages) {
        EXPECT_EQ(readFile(g.cacheFile(p.n)), bytesOf(p.name, p.n)) << where;
        EXPECT_FALSE(fileExists(g.game + "/" + p.folder + "/" + p.name)) << where << p.name;
    }
    for (const std::string& n : listNames(g.cacheDir))
        EXPECT_FALSE(n.starts_with(".quorvel-tmp-")) << where << ": " << n;
    EXPECT_EQ(UndoRun({g.programFolder, "", false, g.cacheDir}, ctx, sink).outcome,
              UndoOutcome::NothingToUndo)
        << where;
}

bool isMove(const std::string& op) {
    return op == "moveNoReplace" || op == "moveListedFile";
}

struct Point {
    std::string mode;
    long k;
};

using Ops = std::vector<std::pair<std::string, std::string>>;

// The operation (from 1) that exchanges the new index with cache.ini; 0 when there is none.
long exchangeOf(const Ops& ops) {
    long exchange = 0;
    for (std::size_t i = 0; i < ops.size(); ++i)
        if (ops[i].first == "exchangeAtomic" && ops[i].second.ends_with("/cache.ini"))
            exchange = static_cast<long>(i) + 1;
    return exchange;
}

// The first renameReplace after the exchange: the displaced index made cachebak.ini.
long backupRenameOf(const Ops& ops) {
    for (auto i = static_cast<std::size_t>(exchangeOf(ops)); i < ops.size(); ++i)
        if (ops[i].first == "renameReplace") return static_cast<long>(i) + 1;
    return 0;
}

// The kill points of one variant, from the trace of an uninterrupted run: the first
// operations (the scan), moves spread over the whole run (before, after and inside them),
// every operation of the index rewrite, inside the writing of the new index and between its
// exchange and the backup's rename.
std::vector<Point> killPoints(const Ops& ops) {
    std::vector<long> moves;
    const long backup = exchangeOf(ops);
    for (std::size_t i = 0; i < ops.size(); ++i)
        if (isMove(ops[i].first)) moves.push_back(static_cast<long>(i) + 1);
    std::vector<Point> points = {{"before", 1},
                                 {"before", 2},
                                 {"before", moves.front()},
                                 {"stop", 1},
                                 {"stop", moves.front()}};
    for (int eighth = 1; eighth < 8; ++eighth) {
        const long k = moves[moves.size() * eighth / 8];
        points.push_back({"before", k});
        points.push_back({"after", k});
        if (eighth % 2 == 0) points.push_back({"midtmp", k}), points.push_back({"middest", k});
        if (eighth % 4 == 0) points.push_back({"stop", k});
    }
    for (long k = moves.back() + 1; k <= static_cast<long>(ops.size()); ++k)
        points.push_back({"before", k});
    points.push_back({"after", static_cast<long>(ops.size())});
    if (backup) points.push_back({"midtmp", backup}), points.push_back({"after", backup});
    return points;
}

class Crash : public ::testing::TestWithParam<Variant> {};

const char* skipReason(const Variant& v) {
    struct stat shm {
    }, tmp{};
    if (::stat("/dev/shm", &shm) != 0 || ::access("/dev/shm", W_OK) != 0) return "no /dev/shm here";
    if (v.cacheBase && (::stat(TempDir().path().c_str(), &tmp) != 0 || tmp.st_dev == shm.st_dev))
        return "/dev/shm is no file system of its own here";
    return nullptr;
}

TEST_P(Crash, KilledRunsLoseNothingAndASecondRunFinishes) {
    const Variant& v = GetParam();
    if (const char* why = skipReason(v)) GTEST_SKIP() << why;

    std::vector<std::pair<std::string, std::string>> ops;
    {
        CrashGame g(v);
        ASSERT_FALSE(g.killedAt("none", 0, g.tmp / "trace"));
        std::ifstream in(g.tmp / "trace");
        for (std::string op, path; in >> op && std::getline(in, path);)
            ops.emplace_back(op, path.substr(1));
        expectNothingLost(g, g.packages, g.old, "uninterrupted", {"UnrealTournament.ini"});
        g.finish("uninterrupted");
    }
    long moves = 0;
    for (const auto& op : ops) moves += isMove(op.first);
    ASSERT_EQ(moves, static_cast<long>(v.packages));

    int temps = 0, ended = 0;
    const std::vector<Point> points = killPoints(ops);
    for (const Point& p : points) {
        const std::string where = std::string(v.name) + " " + p.mode + " " + std::to_string(p.k);
        CrashGame g(v);
        ended += g.killedAt(p.mode, p.k) == (p.mode != "stop");
        temps += expectNothingLost(g, g.packages, g.old, where, {"UnrealTournament.ini"});
        std::size_t moved = 0;
        for (const Package& pkg : g.packages) moved += !fileExists(g.cacheFile(pkg.n));
        // Killed as a move begins: the journal holds the landing of every move before it.
        if (p.mode == "before" && isMove(ops[static_cast<std::size_t>(p.k) - 1].first)) {
            const auto runs =
                readJournals(g.posix, journalFolder(programFiles(g.programFolder, g.posix).runLog));
            EXPECT_EQ(runs.empty() ? 0 : runs.front().moved, moved) << where;
        }
        EXPECT_TRUE(p.mode != "stop" ||
                    g.log().find(stoppedLine(moved, v.packages) + "\r\n") != std::string::npos)
            << where << ": " << moved;
        const Lines said = g.finish(where);
        // The index before the killed run is the backup after the next one, wherever it died;
        // killed between the exchange and the backup's rename, the next run says it restored it.
        const std::string restored = g.cacheDir +
                                     "/CACHEBAK.INI was restored: it holds CACHE.INI as it was "
                                     "before an interrupted run";
        const long exchange = exchangeOf(ops), rename = backupRenameOf(ops);
        const bool afterExchange = (p.mode == "after" && p.k >= exchange && p.k < rename) ||
                                   (p.mode == "before" && p.k > exchange && p.k <= rename);
        EXPECT_TRUE(p.mode == "stop" || readFile(g.cacheDir + "/cachebak.ini") == g.old) << where;
        // (Inside the exchange the kill may come before or after it.)
        EXPECT_TRUE(p.mode == "midtmp" ||
                    std::count(said.begin(), said.end(), restored) == (afterExchange ? 1 : 0))
            << where;
        if (HasFailure() && !std::getenv("QV_CRASH_ALL")) break;  // one broken point is enough
    }
    EXPECT_EQ(ended, static_cast<int>(points.size()));
    std::printf(
        "[ crash ] %s: %u packages, %zu operations, %zu kill and stop points, %d temporary files "
        "left\n",
        v.name, v.packages, ops.size(), points.size(), temps);
}

TEST_P(Crash, KilledUndosLoseNothingAndASecondUndoFinishes) {
    const Variant& v = GetParam();
    if (const char* why = skipReason(v)) GTEST_SKIP() << why;
    std::vector<std::pair<std::string, std::string>> ops;
    {
        CrashGame g(v);
        g.finish("run");
        EXPECT_FALSE(g.killedAt("none", 0, g.tmp / "trace", true));
        std::ifstream in(g.tmp / "trace");
        for (std::string op, path; in >> op && std::getline(in, path);)
            ops.emplace_back(op, path.substr(1));
        expectUndoFinishes(g, "uninterrupted");  // the second undo finds it done
    }
    ASSERT_FALSE(ops.empty());
    std::vector<Point> points = killPoints(ops);
    std::erase_if(points, [](const Point& p) { return p.mode == "stop"; });  // an undo runs whole
    for (long k = 3; k < static_cast<long>(ops.size()) && !isMove(ops[k - 1].first); ++k)
        points.push_back({"before", k});  // the reading of the journal and the index rewrite
    for (const Point& p : points) {
        const std::string where =
            std::string(v.name) + " undo " + p.mode + " " + std::to_string(p.k);
        CrashGame g(v);
        g.finish(where);
        EXPECT_TRUE(g.killedAt(p.mode, p.k, "-", true)) << where;
        expectUndoFinishes(g, where);
        if (HasFailure()) break;
    }
    std::printf("[ crash ] %s: undo of %u packages, %zu operations, %zu kill points\n", v.name,
                v.packages, ops.size(), points.size());
}

// The operations of an uninterrupted run, its journal finding room for `journalRoom` landings.
Ops traceOf(const Variant& v, long journalRoom = -1) {
    CrashGame g(v);
    g.journalRoom = journalRoom;
    EXPECT_FALSE(g.killedAt("none", 0, g.tmp / "trace"));
    Ops ops;
    std::ifstream in(g.tmp / "trace");
    for (std::string op, path; in >> op && std::getline(in, path);)
        ops.emplace_back(op, path.substr(1));
    return ops;
}

std::vector<long> movesOf(const Ops& ops) {
    std::vector<long> moves;
    for (std::size_t i = 0; i < ops.size(); ++i)
        if (isMove(ops[i].first)) moves.push_back(static_cast<long>(i) + 1);
    return moves;
}

// A moment where the records could part from the disk: a kill (mode "none": none) at operation
// k, the journal finding room for `room` landings (-1: all).
struct RecordPoint {
    std::string what, mode;
    long k, room;
};

// Kills in the windows where the run's records and the disk could disagree: between a move and
// its record, at the index exchange and at the backup's rename, and a journal that fills up
// mid-run (alone, and killed afterwards). After each, history, the undo's dry run and the disk
// tell the same packages moved; the next run says nothing is missing and leaves the index before
// the killed run as cachebak.ini; the undo of the killed run then moves back exactly those.
TEST_P(Crash, HistoryTheUndoAndTheDiskAgreeAfterEveryKill) {
    const Variant& v = GetParam();
    if (const char* why = skipReason(v)) GTEST_SKIP() << why;
    struct Waits {
        IndexWaits saved = indexWaits();
        ~Waits() { indexWaits() = saved; }
    } waits;
    indexWaits().quiet = std::chrono::milliseconds(5);  // no game rewrites the index here
    const long room = static_cast<long>(v.packages) / 2;
    const Ops ops = traceOf(v), full = traceOf(v, room);
    const std::vector<long> moves = movesOf(ops), fullMoves = movesOf(full);
    ASSERT_EQ(moves.size(), v.packages);
    ASSERT_EQ(fullMoves.size(), static_cast<std::size_t>(room));
    const long exchange = exchangeOf(ops), rename = backupRenameOf(ops);
    ASSERT_TRUE(exchange > 0 && rename > exchange);
    std::vector<RecordPoint> points = {
        {"move to record, first", "after", moves.front(), -1},
        {"move to record, middle", "after", moves[moves.size() / 2], -1},
        {"move to record, last", "after", moves.back(), -1},
        {"copy landed, source kept", "middest", moves[moves.size() / 3], -1},
        {"exchange", "before", exchange, -1},
        {"exchange", "midtmp", exchange, -1},
        {"exchange", "after", exchange, -1},
        {"backup rename", "before", rename, -1},
        {"backup rename", "after", rename, -1},
        {"journal full", "none", 0, room},
        {"journal full, move to record", "after", fullMoves.back(), room},
        {"journal full, killed at the exchange", "before", exchangeOf(full), room},
    };
    for (const RecordPoint& p : points) {
        const std::string where =
            std::string(v.name) + " " + p.what + " (" + p.mode + " " + std::to_string(p.k) + ")";
        CrashGame g(v);
        g.journalRoom = p.room;
        const bool killed = g.killedAt(p.mode, p.k, g.tmp / "trace");
        EXPECT_EQ(killed, p.mode != "none") << where;
        std::set<unsigned> landed;  // the packages at their destination now
        for (const Package& pkg : g.packages)
            if (fileExists(g.game + "/" + pkg.folder + "/" + pkg.name)) landed.insert(pkg.n);
        const auto runs =
            readJournals(g.posix, journalFolder(programFiles(g.programFolder, g.posix).runLog));
        ASSERT_EQ(runs.size(), 1u) << where;
        const std::string runId = runs.front().id;

        const std::vector<HistoryEntry> history = RunHistory(g.programFolder, g.posix);
        ASSERT_EQ(history.size(), 1u) << where;
        EXPECT_EQ(history.front().moved, landed.size()) << where;
        EngineContext ctx{g.posix, g.dialogs};
        RecordingSink sink;
        const UndoResult preview = UndoRun({g.programFolder, "", true, g.cacheDir}, ctx, sink);
        EXPECT_EQ(preview.outcome, UndoOutcome::DryRun) << where;
        EXPECT_EQ(preview.restored, landed.size()) << where;
        // The run stopped before the move its journal had no room for (and its log says so).
        EXPECT_TRUE(p.room < 0 || landed.size() == static_cast<std::size_t>(p.room)) << where;
        if (p.room >= 0 && !killed) {
            EXPECT_TRUE(test::has(g.log(), "cannot hold the record of another move")) << where;
            EXPECT_EQ(g.log().find("cannot be undone"), std::string::npos) << where;
        }
        EXPECT_TRUE(killed || readFile(g.cacheDir + "/cachebak.ini") == g.old) << where;

        const Lines said = g.finish(where);
        for (const std::string& line : said)
            EXPECT_EQ(line.find("NOT FOUND"), std::string::npos) << where << ": " << line;
        EXPECT_TRUE(!killed || readFile(g.cacheDir + "/cachebak.ini") == g.old) << where;

        const UndoResult undone = UndoRun({g.programFolder, runId, false, g.cacheDir}, ctx, sink);
        EXPECT_EQ(undone.outcome, UndoOutcome::Done) << where;
        EXPECT_EQ(undone.restored, landed.size()) << where;
        const Lines lines = splitLines(g.index());
        for (const Package& pkg : g.packages) {
            const std::string dest = g.game + "/" + pkg.folder + "/" + pkg.name;
            if (landed.count(pkg.n)) {
                EXPECT_EQ(readFile(g.cacheFile(pkg.n)), bytesOf(pkg.name, pkg.n)) << where;
                EXPECT_FALSE(fileExists(dest)) << where << ": " << pkg.name;
                EXPECT_EQ(std::count(lines.begin(), lines.end(), g.line(pkg.n, pkg.name)), 1)
                    << where << ": " << pkg.name;
            } else {
                EXPECT_TRUE(g.placed(g.game + "/" + pkg.folder, pkg.name)) << where << pkg.name;
            }
        }
        if (HasFailure()) break;  // one broken point is enough to read
    }
    std::printf("[ crash ] %s: %zu record points\n", v.name, points.size());
}

// A run killed near its end keeps its lines in its side file; the next run on that cache adds
// them to Quorvel.log as one block that says it was interrupted, before its own, while a run on
// another cache writes the same log meanwhile: each block stays whole, and that run's side file
// (live, of another cache) is left to it.
TEST(CrashLog, AKilledRunsLinesReachTheLogAsABlockOfTheirOwn) {
    const Variant& v = kVariants[0];
    if (const char* why = skipReason(v)) GTEST_SKIP() << why;
    const std::vector<long> moves = movesOf(traceOf(v));
    CrashGame g(v);
    ASSERT_TRUE(g.killedAt("before", moves.back()));
    const std::string folder = journalFolder(programFiles(g.programFolder, g.posix).runLog);
    const std::string left = readFile(folder + "/1.log");
    EXPECT_TRUE(left.starts_with("{{ Using " + g.cacheDir + " as")) << left.substr(0, 200);
    EXPECT_GE(std::count(left.begin(), left.end(), '\n'), 256);

    const std::string otherCache = g.tmp / "Other";
    RunJournal journal(g.posix, folder, otherCache, "uxx");
    RunLog other = StartRunLog(otherCache, programFiles(g.programFolder, g.posix).runLog, g.posix,
                               sideLogOf(journal.path()));
    const auto otherLines = [&](int from) {
        for (int i = from; i < from + 300; ++i) other.line("Other" + std::to_string(i) + ".uxx");
    };
    otherLines(0);
    const Lines said = g.finish("after the kill");
    EXPECT_FALSE(fileExists(folder + "/1.log"));
    EXPECT_TRUE(fileExists(sideLogOf(journal.path())));
    otherLines(300);
    other.close();
    EXPECT_FALSE(fileExists(sideLogOf(journal.path())));

    // The blocks as the troubleshooter's report finds them: each from a "{{ Using" line on.
    const std::string log = g.log();
    std::vector<std::string> blocks;
    for (std::size_t at = 0; at < log.size();) {
        const std::size_t next = log.find("\r\n{{ Using ", at);
        const std::size_t end = next == std::string::npos ? log.size() : next + 2;
        blocks.push_back(log.substr(at, end - at));
        at = end;
    }
    ASSERT_EQ(blocks.size(), 3u) << log.substr(0, 2000);
    EXPECT_EQ(blocks[0], left + "Run 1 was interrupted; its log ends here.\r\n\r\n");
    EXPECT_TRUE(blocks[1].starts_with("{{ Using " + g.cacheDir + " as")) << blocks[1];
    EXPECT_EQ(blocks[1].find("interrupted"), std::string::npos);
    std::string expected = "{{ Using " + otherCache + " as the CACHE directory }}\r\n\r\n";
    for (int i = 0; i < 600; ++i) expected += "Other" + std::to_string(i) + ".uxx\r\n";
    EXPECT_EQ(blocks[2], expected);
}

// A settings file and the index rewritten, killed as the new file is renamed in: the old file is
// still there, whole (a rewrite that removed it first would leave none).
TEST(CrashRewrite, AKillBeforeTheRenameLeavesTheOldFile) {
    Game g;
    g.addAndIndex({"Face.unr"});
    for (const std::string& path : {g.programFolder + "/Quorvel.ini", g.cacheDir + "/cache.ini",
                                    g.game + "/System/UnrealTournament.ini"}) {
        const std::string old = readFile(path);
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::execl(QV_CRASH_CHILD, QV_CRASH_CHILD, g.programFolder.c_str(), g.gameDir.c_str(),
                    path.c_str(), "rewrite", "0", "0", "-", nullptr);
            ::_exit(127);
        }
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << path;
        EXPECT_EQ(readFile(path), old) << path;
    }
}

INSTANTIATE_TEST_SUITE_P(Variants, Crash, ::testing::ValuesIn(kVariants),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qv::test
