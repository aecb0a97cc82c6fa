// Over random caches: a dry run plans exactly the moves the run then makes, and an undo of the
// run gives back every file and the set of index lines.
#include <unistd.h>

#include <filesystem>
#include <random>

#include "engine/dry_run.h"
#include "engine/undo.h"
#include "tests/support/game.h"

namespace qv::test {
namespace {

// The moves and cache-file deletions that succeed, as "from -> to" and "delete path".
class Recording final : public ForwardingFileSystem {
  public:
    using ForwardingFileSystem::ForwardingFileSystem;
    std::vector<std::string> done;
    Status moveNoReplace(const std::string& f, const std::string& t) override {
        return note(inner_.moveNoReplace(f, t), f + " -> " + t);
    }
    Status moveListedFile(const std::string& f, const std::string& t, FileIdentity* l) override {
        return note(inner_.moveListedFile(f, t, l), f + " -> " + t);
    }
    Status removeFile(const std::string& p) override {
        return note(inner_.removeFile(p), p.ends_with(".uxx") ? "delete " + p : "");
    }

  private:
    Status note(Status s, const std::string& what) {
        if (s.ok() && !what.empty()) done.push_back(what);
        return s;
    }
};

// Every folder, link and file (with its bytes) below the temporary root but Quorvel's own, and
// the lines of cache.ini as a set.
std::set<std::string> snapshot(const Game& g) {
    std::set<std::string> seen;
    for (const auto& f : std::filesystem::recursive_directory_iterator(g.tmp.path())) {
        const std::string p = f.path().string();
        if (p.find("/prog") != std::string::npos || p.ends_with("cache.ini") ||
            p.ends_with("cachebak.ini"))
            continue;
        seen.insert(f.is_symlink()     ? "link " + p
                    : f.is_directory() ? "dir " + p
                                       : p + " : " + readFile(p));
    }
    for (const std::string& line : splitLines(g.index())) seen.insert("line " + line);
    return seen;
}

// A random cache: duplicates of a name, twin lines, missing and symlinked cache files, unknown
// types, map names without ".unr", destinations taken, a missing type folder. Returns the row
// texts a run checks.
std::vector<std::string> randomCache(Game& g, std::mt19937& rng) {
    static const char* const kBases[] = {"DM-Deck", "CTF-Face", "Skin", "Tune", "Bang", "Mod"};
    static const char* const kExts[] = {".unr", ".utx", ".umx", ".uax", ".u", ".int", ".txt", ""};
    const auto one = [&](unsigned n) { return rng() % n == 0; };
    std::vector<std::string> names, checked;
    const unsigned count = 3 + rng() % 10;
    for (unsigned n = 1; n <= count; ++n) {
        std::string name = n == 2 || (n > 1 && one(4))
                               ? names[rng() % names.size()]
                               : kBases[rng() % 6] + std::to_string(rng() % 3) + kExts[rng() % 8];
        const bool missing = n == 1 || one(6);  // the first is missing: its twin name is not it
        g.lines.push_back(g.line(n, name));
        if (one(10)) g.lines.push_back(g.line(n, name));
        if (one(8) && !missing) {
            writeFile(g.tmp / "elsewhere" + std::to_string(n), bytesOf(name));
            std::filesystem::create_symlink(g.tmp / "elsewhere" + std::to_string(n),
                                            g.cacheFile(n));
        } else if (!missing) {
            writeFile(g.cacheFile(n), bytesOf(name) + std::to_string(n));
        }
        if (name.find('.') == std::string::npos && name.find('-') != std::string::npos)
            name += ".unr";  // as the repair names it
        if (one(10)) writeFile(g.game + "/Maps/" + name, "another file");
        if (!one(4)) checked.push_back(name);
        names.push_back(name);
    }
    if (one(5)) std::filesystem::remove_all(g.game + "/Sounds");
    g.writeIndex(one(2) ? "\r\n" : "\n");
    return checked;
}

TEST(RunPlanProperty, DryRunPlansTheRunsMovesAndUndoGivesEverythingBack) {
    std::mt19937 rng(20261208);
    const std::string here = std::filesystem::current_path();
    for (int round = 0; round < 40; ++round) {
        Game g;
        const std::vector<std::string> checked = randomCache(g, rng);
        Options options;
        const unsigned mode = rng() % 3;
        options.MoveNorm = mode == 0, options.MoveDir = mode == 1, options.MoveDir2 = mode == 2;
        options.MoveDirText = options.MoveDir2Text = g.tmp / "out";
        // Half the runs name the cache folder relative to where they start.
        ASSERT_EQ(::chdir(g.tmp.path().c_str()), 0);
        const std::string cache = rng() % 2 ? "UT/Cache" : g.cacheDir;
        const auto runOver = [&](FileSystem& fs) {
            PublicVariables pv;
            pv.ProgramFolder = g.programFolder, pv.GameDir = g.gameDir;
            ScanState state;
            state.options = options, state.lblCacheDir = cache;
            EngineContext ctx{fs, g.dialogs};
            RecordingSink sink;
            return runAsTheWindowDoes(pv, state, ctx, sink, checked);
        };
        const std::string where = "round " + std::to_string(round);
        const std::set<std::string> untouched = snapshot(g);
        DryRunFileSystem dry(g.posix);
        const RunResult planned = runOver(dry);
        std::vector<std::string> plan;
        for (const PlannedStep& s : dry.plan())
            if (s.kind == PlannedStep::Kind::Move) plan.push_back(s.path + " -> " + s.destination);
        EXPECT_EQ(snapshot(g), untouched) << where;

        g.scan();  // the repair, on disk now
        const std::set<std::string> before = snapshot(g);
        Recording recording(g.posix);
        const RunResult run = runOver(recording);
        EXPECT_EQ(recording.done, plan) << where;
        EXPECT_EQ(completionOf(run), completionOf(planned)) << where;
        ASSERT_EQ(::chdir("/"), 0);
        EngineContext ctx{g.posix, g.dialogs};
        RecordingSink sink;
        const UndoResult undo = UndoRun({g.programFolder, "", false}, ctx, sink);
        EXPECT_EQ(undo.restored, run.moved) << where;
        EXPECT_EQ(snapshot(g), before) << where;
        if (HasFailure()) break;
    }
    EXPECT_EQ(::chdir(here.c_str()), 0);
}

}  // namespace
}  // namespace qv::test
