// Over random caches: a dry run plans exactly the moves the run then makes, and an undo of the
// run gives back every file and the set of index lines.

#include <filesystem>
#include <random>

#include "engine/run/dry_run.h"
#include "engine/run/undo.h"
#include "platform/ascii.h"
#include "tests/support/faulty_filesystem.h"
#include "tests/support/game.h"

namespace qv::test {
namespace {

// A random cache: duplicates of a name (in other letter case too), twin lines, missing and
// symlinked cache files, unknown types, map names without ".unr", destinations taken, a missing
// type folder. Returns the row texts a run checks.
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
        if (n > 1 && one(5)) name = lowerAscii(name);  // one package to the game, in other case
        const bool missing = n == 1 || one(6);  // the first is missing: its twin name is not it
        g.lines.push_back(g.line(n, name));
        if (one(10)) g.lines.push_back(g.line(n, name));
        if (one(8) && !missing) {
            writeFile(g.tmp / "elsewhere" + std::to_string(n), bytesOf(name, n));
            std::filesystem::create_symlink(g.tmp / "elsewhere" + std::to_string(n),
                                            g.cacheFile(n));
        } else if (!missing) {
            writeFile(g.cacheFile(n), bytesOf(name, n) + std::to_string(n));
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
    const std::string here = std::filesystem::current_path().string();
    for (int round = 0; round < 40; ++round) {
        Game g;
        const std::vector<std::string> checked = randomCache(g, rng);
        Options options;
        const unsigned mode = rng() % 3;
        options.MoveNorm = mode == 0, options.MoveDir = mode == 1, options.MoveDir2 = mode == 2;
        options.MoveDirText = options.MoveDir2Text = g.tmp / "out";
        // Half the runs name the cache folder relative to where they start.
        std::filesystem::current_path(g.tmp.path());
        const std::string cache = rng() % 2 ? "UT/Cache" : g.cacheDir;
        const auto runOver = [&](FileSystem& fs) {
            PublicVariables pv;
            pv.ProgramFolder = g.programFolder, pv.GameDir = g.gameDir;
            ScanState state;
            state.options = options, state.cacheDir = cache;
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
            if (s.kind == PlannedStep::Kind::Move)
                plan.push_back(s.path + " -> " + s.destination);
            else
                EXPECT_EQ(s.kind, PlannedStep::Kind::MakeFolder) << where;  // no deletion
        EXPECT_EQ(snapshot(g), untouched) << where;

        g.scan();  // the repair, on disk now
        const std::set<std::string> before = snapshot(g);
        // The moves and cache-file deletions the run makes, as the plan names them.
        FaultyFileSystem recording(g.posix);
        std::vector<std::string> made;
        recording.watch = [&](const char* op, const std::string& p, const std::string& to,
                              bool done) {
            const std::string o = op;
            if (done && !g.posix.exists(p) && (o == "moveListedFile" || o == "moveNoReplace"))
                made.push_back(p + " -> " + to);
        };
        const RunResult run = runOver(recording);
        EXPECT_EQ(made, plan) << where;
        EXPECT_EQ(completionOf(run), completionOf(planned)) << where;
        std::filesystem::current_path("/");
        EngineContext ctx{g.posix, g.dialogs};
        RecordingSink sink;
        const UndoResult undo = UndoRun({g.programFolder, "", false}, ctx, sink);
        EXPECT_EQ(undo.restored, run.moved) << where;
        EXPECT_EQ(snapshot(g), before) << where;
        if (HasFailure()) break;
    }
    std::filesystem::current_path(here);
}

}  // namespace
}  // namespace qv::test
