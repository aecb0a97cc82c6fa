// A run of 2,000 packages is killed with SIGKILL at many points, from the scan through the moves
// to the rewrite of the index; after each kill nothing may be lost or half-written, and a second
// run must finish the job. The figures are printed for the notes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

#include "engine/run_index.h"
#include "tests/robustness/crash_game.h"

extern char** environ;

namespace qv::crash {
namespace {

constexpr unsigned kPackages = 2000;
// Campaigns that flush to a disk (a move across file systems flushes the copy and both
// folders, about 10 ms a package) run on fewer packages unless QV_CRASH_FULL is set.
constexpr unsigned kPackagesOnDisk = 60;

bool fullCampaign() {
    const char* v = std::getenv("QV_CRASH_FULL");
    return v && *v && std::string(v) != "0";
}

struct ChildEnd {
    bool killed = false;  // ended by SIGKILL
    int exitCode = -1;    // when it exited
};

ChildEnd runChild(const CrashGame& g, const std::string& mode, long k, const std::string& trace) {
    const std::string cross = g.forceCross() ? "1" : "0";
    const std::string kText = std::to_string(k);
    std::vector<std::string> args = {QV_CRASH_CHILD, g.programFolder, g.gameDir, g.cacheDir,
                                     mode,           kText,           cross,     trace};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    // The child inherits this environment with the registry store pointed into the game's
    // temporary folder, so nothing reaches the user's own.
    std::vector<std::string> envText;
    for (char** e = environ; *e; ++e)
        if (std::string(*e).rfind("QUORVEL_REGISTRY=", 0) != 0) envText.emplace_back(*e);
    envText.push_back("QUORVEL_REGISTRY=" + g.registry);
    std::vector<char*> envp;
    for (std::string& e : envText) envp.push_back(e.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ChildEnd end;
    if (rc != 0) {
        ADD_FAILURE() << "could not start " << argv[0] << ": " << std::strerror(rc);
        return end;
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    end.killed = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    end.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return end;
}

// The counted file operations of an uninterrupted run, as the child traced them.
struct Trace {
    std::vector<std::pair<std::string, std::string>> ops;  // name, path; op k is ops[k-1]
    long lines = 0, progress = 0;

    long first(const std::string& name, const std::string& pathEnd = {}) const {
        for (std::size_t i = 0; i < ops.size(); ++i)
            if (ops[i].first == name && ops[i].second.size() >= pathEnd.size() &&
                ops[i].second.compare(ops[i].second.size() - pathEnd.size(), pathEnd.size(),
                                      pathEnd) == 0)
                return static_cast<long>(i) + 1;
        return 0;
    }
};

Trace readTrace(const std::string& path) {
    Trace t;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string first, name, rest;
        words >> first;
        if (first == "end") {
            std::sscanf(line.c_str(), "end ops=%*d lines=%ld progress=%ld", &t.lines, &t.progress);
            continue;
        }
        words >> name;
        std::getline(words, rest);
        t.ops.emplace_back(name, rest.empty() ? rest : rest.substr(1));
    }
    return t;
}

struct Point {
    std::string mode;
    long k;
    std::string phase;
};

// `n` values spread evenly over [lo, hi].
std::vector<long> spread(long lo, long hi, int n) {
    std::vector<long> out;
    if (hi < lo || n <= 0) return out;
    for (int i = 0; i < n; ++i) out.push_back(n == 1 ? lo : lo + (hi - lo) * i / (n - 1));
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

std::vector<Point> choosePoints(const Trace& t, std::size_t packages, bool copies, bool full) {
    std::vector<long> moves;  // operation numbers of the moves
    for (std::size_t i = 0; i < t.ops.size(); ++i)
        if (t.ops[i].first == "moveNoReplace") moves.push_back(static_cast<long>(i) + 1);
    const long count = static_cast<long>(moves.size());
    // `n` moves spread evenly over the moves from the `from`-th to the `to`-th (0-based).
    auto movesAt = [&](long from, long to, int n) {
        std::vector<long> ks =
            spread(std::clamp(from, 0L, count - 1), std::clamp(to, 0L, count - 1), n);
        for (long& k : ks) k = moves[static_cast<std::size_t>(k)];
        return ks;
    };
    const long firstMove = moves.front();
    const long lastMove = moves.back();
    // Whatever follows the last move is the not-moved report, the rewrite of the index and the
    // end of the log; the atomic write of the backup is watched from inside when there is one.
    const long rewriteStart = lastMove + 1;
    const long backup = std::max(t.first("writeAtomic", "/cachebak.ini"), rewriteStart);
    const long total = static_cast<long>(t.ops.size());
    const long moveLines = static_cast<long>(packages);
    std::vector<Point> points;
    auto add = [&](const char* mode, const std::vector<long>& ks, const char* phase) {
        for (long k : ks) points.push_back({mode, k, phase});
    };
    const char* before = "before the moves";
    const char* during = "during the moves";
    const char* rewrite = "index rewrite";
    if (full) {
        add("before", spread(1, firstMove, 5), before);
        add("before", spread(firstMove + 1, lastMove, 10), during);
        add("after", movesAt(0, count - 1, 8), during);
        add("line", spread(1, moveLines, 6), during);
        add("progress", spread(1, t.progress, 6), during);
        if (copies) {
            add("midtmp", movesAt(0, count - 1, 4), during);
            add("middest", movesAt(7, count - 8, 4), during);
        }
        add("before", spread(rewriteStart, total, static_cast<int>(total - rewriteStart + 1)),
            rewrite);
        add("after", {total}, rewrite);  // "after k" is "before k + 1" elsewhere
        add("midtmp", {backup}, rewrite);
        add("line", spread(moveLines + 1, t.lines, static_cast<int>(t.lines - moveLines)),
            "after the index rewrite");
    } else {
        add("before", {1, firstMove}, before);
        add("before", movesAt(count / 2, count / 2, 1), during);
        add("after", movesAt(count / 3, count / 3, 1), during);
        add("line", {moveLines / 2}, during);
        add("progress", {t.progress * 3 / 4}, during);
        add("midtmp", movesAt(10, count - 10, 2), during);
        add("middest", movesAt(20, count - 20, 2), during);
        add("before", spread(rewriteStart, std::min(total, rewriteStart + 5), 4), rewrite);
        add("after", {std::min(total, rewriteStart + 2), total}, rewrite);
        add("midtmp", {backup}, rewrite);
    }
    return points;
}

struct Figures {
    int points = 0, killed = 0, indexNewAtKill = 0, pointsWithTemp = 0, tempFiles = 0;
    int tempIndexLeft = 0, pointsWithBoth = 0, twinsKept = 0;
    long placedAtKillMin = -1, placedAtKillMax = 0;
    std::map<std::string, int> byPhase, byMode;
};

void runCampaign(FsMode mode, unsigned packages, bool full, const std::string& base,
                 const std::string& label) {
    const auto start = std::chrono::steady_clock::now();
    Trace trace;
    {
        CrashGame g(mode, packages, base);
        const std::string tracePath = g.root / "trace.txt";
        const ChildEnd end = runChild(g, "none", 0, tracePath);
        ASSERT_EQ(end.exitCode, 0) << label << ": the uninterrupted child run failed";
        trace = readTrace(tracePath);
        long moves = 0;
        for (const auto& op : trace.ops) moves += op.first == "moveNoReplace";
        ASSERT_EQ(moves, static_cast<long>(packages)) << label << ": one move per package";
        (void)checkAfterKill(g, label + " uninterrupted");
        EXPECT_EQ(finishAndCheck(g, label + " uninterrupted"), 0);
    }
    const bool copies = mode != FsMode::Same;
    const std::vector<Point> points = choosePoints(trace, packages, copies, full);

    Figures f;
    for (const Point& p : points) {
        const std::string where =
            label + " " + p.mode + " " + std::to_string(p.k) + " (" + p.phase + ")";
        CrashGame g(mode, packages, base);
        const ChildEnd end = runChild(g, p.mode, p.k, "-");
        EXPECT_TRUE(end.killed) << where << ": the child was not killed (exit " << end.exitCode
                                << ")";
        const KillState s = checkAfterKill(g, where);
        const int twins = finishAndCheck(g, where);
        ++f.points;
        f.killed += end.killed;
        f.indexNewAtKill += s.indexReplaced;
        f.pointsWithTemp += s.tempFiles > 0;
        f.tempFiles += s.tempFiles;
        f.tempIndexLeft += s.tempIndex;
        f.pointsWithBoth += s.both > 0;
        f.twinsKept += twins;
        const long placed = s.placed + s.both;
        f.placedAtKillMin = f.placedAtKillMin < 0 ? placed : std::min(f.placedAtKillMin, placed);
        f.placedAtKillMax = std::max(f.placedAtKillMax, placed);
        ++f.byPhase[p.phase];
        ++f.byMode[p.mode];
        if (::testing::Test::HasFailure()) break;  // one broken point is enough to read
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    std::printf("[crash] %s: %u packages, %ld counted file operations in a whole run\n",
                label.c_str(), packages, static_cast<long>(trace.ops.size()));
    std::printf("[crash]   kill points tried %d, killed by SIGKILL %d, time %.1f s\n", f.points,
                f.killed, seconds);
    for (const auto& [phase, n] : f.byPhase)
        std::printf("[crash]     %-24s %d\n", phase.c_str(), n);
    std::string modes;
    for (const auto& [m, n] : f.byMode) modes += " " + m + "=" + std::to_string(n);
    std::printf("[crash]   by kind:%s\n", modes.c_str());
    std::printf("[crash]   packages placed when killed: %ld..%ld; cache.ini already new: %d\n",
                f.placedAtKillMin, f.placedAtKillMax, f.indexNewAtKill);
    std::printf("[crash]   hidden .quorvel-tmp-* files left: %d in %d kills; %s left: %d\n",
                f.tempFiles, f.pointsWithTemp, kNewIndexTempName, f.tempIndexLeft);
    std::printf(
        "[crash]   kills leaving a package both placed and in the cache: %d; such "
        "copies kept in the cache by the second run: %d\n",
        f.pointsWithBoth, f.twinsKept);
    std::fflush(stdout);
    ::testing::Test::RecordProperty(label + " points", f.points);
    ::testing::Test::RecordProperty(label + " ms", static_cast<int>(seconds * 1000));
    EXPECT_EQ(f.killed, f.points) << label;
}

dev_t deviceOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_dev : 0;
}

std::string tempBase() {
    const char* t = std::getenv("TMPDIR");
    return (t && *t) ? t : "/tmp";
}

// tmpfs, where flushing costs nothing, when there is one: a flush on a disk also writes out
// every file the setup created, about 2 s a kill point for 2,000 packages.
std::string fastBase() {
    return deviceOf("/dev/shm") != 0 && ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "";
}

std::string named(const std::string& base) {
    return base.empty() ? tempBase() : base;
}

TEST(CrashTest, KilledRunsOnOneFileSystemLoseNothing) {
    const std::string base = fastBase();
    runCampaign(FsMode::Same, kPackages, true, base, "same file system (" + named(base) + ")");
}

// The same on the disk of the temporary folder, on fewer packages (all of them and every
// point with QV_CRASH_FULL=1).
TEST(CrashTest, KilledRunsOnTheDiskLoseNothing) {
    const bool full = fullCampaign();
    runCampaign(FsMode::Same, full ? kPackages : kPackagesOnDisk, full, {},
                "same file system on disk (" + tempBase() + ")");
}

TEST(CrashTest, KilledRunsAcrossFileSystemsLoseNothing) {
    const dev_t shm = deviceOf("/dev/shm");
    if (shm == 0 || shm == deviceOf(tempBase()))
        GTEST_SKIP() << "/dev/shm is not a file system of its own here; the forced copy path "
                        "(next test) covers moves across file systems";
    const bool full = fullCampaign();
    runCampaign(FsMode::CrossReal, full ? kPackages : kPackagesOnDisk, full, {},
                "across file systems (cache on /dev/shm, type folders in " + tempBase() + ")");
}

// Every move takes the copy path of a move across file systems (forced); the full set of points
// with QV_CRASH_FULL=1.
TEST(CrashTest, KilledRunsOnTheCopyPathLoseNothing) {
    const std::string base = fastBase();
    runCampaign(FsMode::CrossForced, kPackages, fullCampaign(), base,
                "forced copy path (" + named(base) + ")");
}

}  // namespace
}  // namespace qv::crash
