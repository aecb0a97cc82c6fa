// Every counted file operation of a run, and of a purge, fails once in turn; whatever fails,
// no package may be lost, cache.ini must always be there and readable, and no status line may
// claim a move that did not happen.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <map>

#include "engine/maintenance.h"
#include "engine/run.h"
#include "platform/faulty_filesystem.h"
#include "platform/textfile.h"
#include "tests/engine/run_fixture.h"

namespace qv::runtest {
namespace {

using Lines = std::vector<std::string>;

struct Package {
    unsigned n;
    std::string realName;
    std::string destination;  // empty: never moved by the run
};

// A cache with a mix of cases: movable packages of every type, an unchecked one, an unknown
// type, a missing cache file, a destination already taken, an unsafe name, a short line.
class SweepGame {
  public:
    RunGame g;
    std::vector<Package> packages;
    Lines checked;
    std::string oldIndex;

    explicit SweepGame(bool crossDevice) {
        g.posix.setForceCrossDevice(crossDevice);
        addMoved(1, "CTF-Face.unr", "/Maps/");
        addMoved(2, "Rock.utx", "/Textures/");
        addMoved(3, "Song.umx", "/Music/");
        addMoved(4, "Boom.uax", "/Sounds/");
        addMoved(5, "Code.u", "/System/");
        addMoved(6, "Mod.int", "/System/");
        addStays(7, "Unchecked.unr", false);
        addStays(8, "readme.txt", true);
        addStays(9, "Taken.unr", true);
        writeFile(g.game + "/Maps/Taken.unr", "someone else's");
        addStays(10, "../escape.unr", true);
        g.add(11, "Gone.unr", /*present=*/false);
        checked.push_back("Gone.unr");
        g.indexLines.push_back("short line");
        g.indexLines.push_back("");
        g.writeIndex();
        oldIndex = g.index();
    }

    void addMoved(unsigned n, const std::string& name, const std::string& sub) {
        g.add(n, name);
        packages.push_back({n, name, g.game + sub + name});
        checked.push_back(name);
    }
    void addStays(unsigned n, const std::string& name, bool check) {
        g.add(n, name);
        packages.push_back({n, name, ""});
        if (check) checked.push_back(name);
    }

    RunResult run(FileSystem& fs, RecordingSink& sink) {
        EngineContext ctx{fs, g.dialogs};
        RunRequest request;
        request.checkedTexts = checked;
        return ProcessCache(g.pv, request, ctx, sink);
    }
};

// cache.ini exists and is the old index or "[Cache]" with some of its lines, in their order
// and with their line ends.
void expectIndexSound(const std::string& index, const std::string& oldIndex,
                      const std::string& where) {
    ASSERT_FALSE(index.empty()) << where << ": cache.ini missing or empty";
    if (index == oldIndex) return;
    const Lines oldLines = splitLines(oldIndex);
    const Lines lines = splitLines(index);
    ASSERT_EQ(lines.front(), "[Cache]") << where;
    EXPECT_EQ(detectLineEnd(index), detectLineEnd(oldIndex)) << where;
    auto from = oldLines.begin() + 1;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        from = std::find(from, oldLines.end(), lines[i]);
        ASSERT_NE(from, oldLines.end()) << where << ": line not from the old index: " << lines[i];
        ++from;
    }
}

bool indexNames(const std::string& index, const std::string& line) {
    const Lines lines = splitLines(index);
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

void checkRunInvariants(SweepGame& s, const RecordingSink& sink, const std::string& where) {
    RunGame& g = s.g;
    ASSERT_TRUE(fileExists(g.cacheDir + "/cache.ini")) << where;
    const std::string index = g.index();
    expectIndexSound(index, s.oldIndex, where);
    if (fileExists(g.cacheDir + "/cachebak.ini")) {
        EXPECT_EQ(g.backup(), s.oldIndex) << where;
    }

    std::map<std::string, std::string> claimed;  // cache file name -> destination
    const std::string oldTag = "**OLD** ", newTag = "  ---->  **NEW** ";
    for (const auto& l : sink.lines) {
        if (l.rfind(oldTag, 0) != 0) continue;
        const auto at = l.find(newTag);
        ASSERT_NE(at, std::string::npos) << where << ": " << l;
        claimed[l.substr(oldTag.size(), at - oldTag.size())] = l.substr(at + newTag.size());
    }

    for (const Package& p : s.packages) {
        const std::string name = guidOf(p.n) + ".uxx";
        const std::string bytes = contentOf(p.realName);
        const bool inCache = fileExists(g.cacheFile(p.n));
        const bool placed =
            !p.destination.empty() && fileExists(p.destination) && readFile(p.destination) == bytes;
        if (inCache) {
            EXPECT_EQ(readFile(g.cacheFile(p.n)), bytes) << where << ": " << p.realName;
            EXPECT_TRUE(placed || indexNames(index, g.line(p.n, p.realName)))
                << where << ": " << p.realName << " is in the cache without its line";
        } else {
            EXPECT_TRUE(placed) << where << ": " << p.realName << " is lost";
        }
        if (claimed.count(name)) {
            EXPECT_EQ(claimed[name], p.destination) << where;
            EXPECT_TRUE(placed && !inCache) << where << ": claimed move of " << p.realName;
        } else if (placed && !inCache && sink.lines.size() > 0) {
            // A move that happened is reported unless the status list was never reached.
            bool mentioned = false;
            for (const auto& l : sink.lines) mentioned |= l.find(name) != std::string::npos;
            EXPECT_TRUE(mentioned) << where << ": silent move of " << p.realName;
        }
    }
    EXPECT_EQ(readFile(g.game + "/Maps/Taken.unr"), "someone else's") << where;
    // No temporary index or partial package is left behind.
    for (const auto& name : test::listNames(g.cacheDir))
        EXPECT_TRUE(name == "cache.ini" || name == "cachebak.ini" || name == ".quorvel.lock" ||
                    name.size() == 36)
            << where << ": stray " << name;
    for (const char* sub : {"Maps", "Textures", "Music", "Sounds", "System"})
        for (const auto& name : test::listNames(g.game + "/" + sub))
            EXPECT_NE(name.find('.'), std::string::npos) << where << ": stray " << name;
}

class RunFaultSweep : public ::testing::TestWithParam<bool> {};

TEST_P(RunFaultSweep, EveryOperationFailsOnceInTurn) {
    long total = 0;
    {
        SweepGame clean(GetParam());
        FaultyFileSystem faulty(clean.g.posix);
        RecordingSink sink;
        ASSERT_EQ(clean.run(faulty, sink).outcome, RunOutcome::Completed);
        checkRunInvariants(clean, sink, "clean run");
        for (const Package& p : clean.packages) {
            if (!p.destination.empty()) {
                EXPECT_TRUE(fileExists(p.destination)) << p.realName;
            }
        }
        total = faulty.operationCount();
    }
    ASSERT_GT(total, 10);

    // The copy path of a cross-file-system move is slow (it flushes every package); two error
    // codes cover it, the same-file-system sweep takes all four.
    const std::vector<int> errs =
        GetParam() ? std::vector<int>{EIO, EXDEV} : std::vector<int>{EACCES, ENOSPC, EIO, EXDEV};
    long injected = 0;
    for (int err : errs) {
        for (long k = 1; k <= total; ++k) {
            SweepGame s(GetParam());
            FaultyFileSystem faulty(s.g.posix);
            faulty.failAt(k, err);
            RecordingSink sink;
            s.run(faulty, sink);
            injected += faulty.failuresInjected();
            const std::string where = "k=" + std::to_string(k) + " err=" + std::to_string(err) +
                                      " (" + faulty.lastFailedOperation() + ")";
            checkRunInvariants(s, sink, where);
            if (HasFailure()) return;  // one broken case is enough to read
        }
    }
    EXPECT_EQ(injected, static_cast<long>(errs.size()) * total);
}

INSTANTIATE_TEST_SUITE_P(SameAndCrossFileSystem, RunFaultSweep, ::testing::Bool());

TEST(PurgeFaultSweep, EveryOperationFailsOnceInTurn) {
    auto setUp = [](RunGame& g) {
        for (unsigned n = 1; n <= 6; ++n) g.add(n, "P" + std::to_string(n) + ".unr");
        g.add(7, "Gone.unr", /*present=*/false);
        g.writeIndex("\n");
        g.dialogs.answers = {true};
    };
    long total = 0;
    {
        RunGame g;
        setUp(g);
        FaultyFileSystem faulty(g.posix);
        EngineContext ctx{faulty, g.dialogs};
        RecordingSink sink;
        ASSERT_EQ(PurgeCache(g.pv, ctx, sink), PurgeOutcome::Done);
        EXPECT_EQ(g.index(), "[Cache]\n");
        total = faulty.operationCount();
    }
    for (int err : {EACCES, ENOSPC, EIO, EXDEV}) {
        for (long k = 1; k <= total; ++k) {
            RunGame g;
            setUp(g);
            const std::string old = g.index();
            FaultyFileSystem faulty(g.posix);
            faulty.failAt(k, err);
            EngineContext ctx{faulty, g.dialogs};
            RecordingSink sink;
            PurgeCache(g.pv, ctx, sink);
            const std::string where = "k=" + std::to_string(k) + " err=" + std::to_string(err);
            ASSERT_TRUE(fileExists(g.cacheDir + "/cache.ini")) << where;
            const std::string index = g.index();
            expectIndexSound(index, old, where);
            const bool allGone =
                !sink.lines.empty() && sink.lines[0] == "All cache files have been deleted";
            for (unsigned n = 1; n <= 6; ++n) {
                if (!fileExists(g.cacheFile(n))) continue;
                EXPECT_FALSE(allGone) << where << ": file " << n << " said deleted";
                EXPECT_TRUE(indexNames(index, g.line(n, "P" + std::to_string(n) + ".unr")))
                    << where << ": file " << n << " stays without its line";
            }
            if (HasFailure()) return;
        }
    }
}

}  // namespace
}  // namespace qv::runtest
