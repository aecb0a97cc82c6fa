// Linux only: forked writers.
// Listers (each scan tries the repair), a runner, a purger and a downloading game that takes no
// lock and writes in place or by a rename, on one cache: no package is left without its line, both
// index files are whole (cachebak.ini where a run or a purge left one), nothing else is left in
// the folder. QV_STRESS_SECONDS: how long (3 s by default).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <set>

#include "tests/support/game.h"

namespace qv::test {
namespace {

// Package n by type: texture, map, music, code, unknown, and a map name without its extension.
std::string nameOf(unsigned n) {
    const char* const ends[] = {".utx", ".unr", ".umx", ".u", ".txt", ""};
    return (n % 6 == 5 ? "DM-" : "P") + std::to_string(n) + ends[n % 6];
}

// "[Cache]" and lines of packages 1 to `last` (a map with or without its repair), CR LF each.
bool whole(const Game& g, const std::string& text, unsigned last) {
    std::set<std::string> valid;
    for (unsigned n = 1; n <= last; ++n)
        valid.insert({g.line(n, nameOf(n)), g.line(n, nameOf(n) + ".unr")});
    const std::vector<std::string> lines = splitLines(text);
    return text.starts_with("[Cache]\r\n") && text.ends_with("\r\n") &&
           std::all_of(lines.begin() + 1, lines.end(), [&](auto& l) { return valid.count(l); });
}

TEST(Stress, ProcessesSharingOneCacheLoseNoLine) {
    const char* wanted = std::getenv("QV_STRESS_SECONDS");
    const double seconds = wanted ? std::atof(wanted) : 3;
    Game g;
    unsigned last = 1000;  // a large index keeps a stale read open long enough to matter
    for (unsigned n = 1; n <= last; ++n) g.add(n, nameOf(n));
    g.writeIndex();
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    const int kProcesses = 5;  // 0, 1: listers; 2: runner; 3: purger; 4: the game
    std::vector<pid_t> children;
    for (int role = 0; role < kProcesses; ++role) {
        const pid_t pid = ::fork();
        if (pid != 0) {
            children.push_back(pid);
            continue;
        }
        long ops = 0;
        std::string gameText;  // the game's index, in its memory
        for (long i = 0; std::chrono::steady_clock::now() < end; ++i) {
            PublicVariables pv = g.pv;  // a fresh program each time: every scan may repair
            ScanState state;
            state.cacheDir = g.cacheDir;
            EngineContext ctx{g.posix, g.dialogs};
            RecordingSink sink;
            g.dialogs.shown.clear();
            g.dialogs.answers = {i % 8 == 7};  // the purger says Yes now and then
            if (role < 2) ScanCache(pv, state, ctx), ++ops;
            if (role == 2)
                ops += runAsTheWindowDoes(pv, state, ctx, sink).outcome == RunOutcome::Completed;
            if (role == 3) ops += PurgeCache(pv, ctx, sink) == PurgeOutcome::Done;
            if (role != 4) {
                ::usleep(role == 2 ? 5000 : 500);  // people do not press Run without a break
                continue;
            }
            {  // the game downloads ten packages and rewrites the index, with no lock: by a
               // rename, or in place as Unreal Tournament does, in two pieces 2 ms apart. Like
               // the game it never reads the index again: it writes its own copy, which brings
               // back the lines of packages moved or purged since (stale, not lost).
                if (gameText.empty()) gameText = g.index();
                std::string& text = gameText;
                for (unsigned n = last + 1; n <= last + 10; ++n) {
                    writeFile(g.cacheFile(n), bytesOf(nameOf(n), n));
                    text += g.line(n, nameOf(n)) + "\r\n";
                }
                const bool inPlace = i % 2 == 1;
                if (!inPlace && g.posix.writeAtomic(g.cacheDir + "/cache.ini", text).ok())
                    last += 10, ++ops;
                if (inPlace) {
                    const int fd = ::open((g.cacheDir + "/cache.ini").c_str(), O_WRONLY | O_TRUNC);
                    const std::size_t half = text.size() / 2;
                    bool ok = fd >= 0 && ::write(fd, text.data(), half) == ssize_t(half);
                    ::usleep(2000);
                    ok = ok && ::write(fd, text.data() + half, text.size() - half) ==
                                   ssize_t(text.size() - half);
                    if (fd >= 0 && ::close(fd) == 0 && ok) last += 10, ++ops;
                }
            }
            // Far oftener than a real game: each rewrite is a chance to land inside another
            // process's replacement of the index.
            ::usleep(1000);
        }
        writeFile(g.tmp / ("ops" + std::to_string(role)),
                  std::to_string(ops) + " " + std::to_string(last));
        ::_exit(0);
    }
    for (int status = 0; pid_t pid : children)
        EXPECT_TRUE(::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && !WEXITSTATUS(status));
    long ops[kProcesses] = {};
    for (int role = 0; role < kProcesses; ++role)
        std::sscanf(readFile(g.tmp / ("ops" + std::to_string(role))).c_str(), "%ld %u", &ops[role],
                    &last);

    const std::string index = g.index();
    EXPECT_TRUE(whole(g, index, last)) << index;
    // Only a run or a purge that replaced the index leaves a backup (the repair keeps none), and
    // under load the listers' repairs may keep both busy (locked) for the whole time.
    const std::string backup = g.cacheDir + "/cachebak.ini";
    EXPECT_TRUE(!fileExists(backup) || whole(g, readFile(backup), last));
    std::set<std::string> guids;
    for (const std::string& line : splitLines(index)) guids.insert(line.substr(0, 32));
    int lost = 0, stale = 0;
    for (unsigned n = 1; n <= last; ++n) {
        const bool listed = guids.count(guidOf(n)) > 0;
        lost += fileExists(g.cacheFile(n)) && !listed;
        stale += !fileExists(g.cacheFile(n)) && listed;
    }
    EXPECT_EQ(lost, 0);
    // The game's own rewrite, from a reading older than Quorvel's last index, brings back lines
    // of packages moved since: stale lines are the game's race; lost ones would be ours.
    for (const std::string& n : listNames(g.cacheDir))
        EXPECT_TRUE(n == "cache.ini" || n == "cachebak.ini" || n.ends_with(".uxx")) << n;
    std::printf(
        "[ stress ] %d processes, %.0f s, %ld operations (%ld + %ld scans, %ld runs, %ld "
        "purges, %ld downloads), %u packages, lines lost: %d, stale lines: %d\n",
        kProcesses, seconds, ops[0] + ops[1] + ops[2] + ops[3] + ops[4], ops[0], ops[1], ops[2],
        ops[3], ops[4], last, lost, stale);
}

}  // namespace
}  // namespace qv::test
