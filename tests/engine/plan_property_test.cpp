// Over random caches: a dry run plans exactly the moves the run then makes, and an undo of the
// run gives back every file and the set of index lines; the list checks exactly the rows whose
// lines the run takes out of the index, and counts what it moves or removes.

#include <filesystem>
#include <random>

#include "engine/cache/package_facts.h"
#include "engine/run/dry_run.h"
#include "engine/run/list_plan.h"
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
        RecordingSink sink;
        const UndoResult undo = g.undo(sink);
        EXPECT_EQ(undo.restored, run.moved) << where;
        EXPECT_EQ(snapshot(g), before) << where;
        if (HasFailure()) break;
    }
    std::filesystem::current_path(here);
}

// What a player's cache holds beside that: namesakes (a .u and a .utx of one name), packages the
// game has in another version or in other letter case, cache files renamed to other letter case,
// a cache copy of an installed package.
void addHazards(Game& g, std::mt19937& rng) {
    const auto one = [&](unsigned n) { return rng() % n == 0; };
    if (one(2)) g.add(20, "Skin7.u"), g.add(21, "Skin7.utx");
    if (one(2)) {
        writeFile(g.game + "/Textures/Tex2.utx", bytesOf("Tex2.utx", 30));
        g.add(22, "Tex2.utx");
    }
    if (one(2)) {
        writeFile(g.game + "/Maps/CTF-X.unr", bytesOf("CTF-X.unr", 31));
        g.add(23, "ctf-x.unr");
    }
    if (one(2)) {
        g.add(24, "Same.umx");
        std::filesystem::copy_file(g.cacheFile(24), g.game + "/Music/Same.umx");
    }
    for (unsigned n : {25u, 26u}) {
        if (!one(2)) continue;
        g.add(n, "Renamed" + std::to_string(n) + ".uax");
        std::filesystem::rename(g.cacheFile(n), g.cacheDir + "/" + lowerAscii(guidOf(n)) + ".uxx");
    }
    g.writeIndex("\r\n");
}

// The index's entry lines as a multiset.
std::multiset<std::string> entryLines(const std::string& index) {
    std::multiset<std::string> lines;
    for (std::string_view line : splitLineViews(index))
        if (line.size() > 33 && line[32] == '=') lines.emplace(line);
    return lines;
}

TEST(RunPlanProperty, TheListChecksExactlyWhatTheRunDoes) {
    std::mt19937 rng(20261209);
    for (int round = 0; round < 40; ++round) {
        Game g;
        if (round == 0) {  // only a line whose file is gone, its package nowhere: it stays
            g.addAndIndex({"Gone.unr"});
            std::filesystem::remove(g.cacheFile(1));
        } else {
            (void)randomCache(g, rng);
            addHazards(g, rng);
        }
        g.scan();  // the repair, on disk now
        Options options;
        options.SelectAll = !(rng() % 3 == 0), options.UNR = options.UTX = 1;
        const unsigned mode = rng() % 3;
        options.MoveNorm = mode == 0, options.MoveDir = mode == 1, options.MoveDir2 = mode == 2;
        options.MoveDirText = options.MoveDir2Text = g.tmp / "out";
        PublicVariables pv;
        pv.ProgramFolder = g.programFolder, pv.GameDir = g.gameDir;
        ScanState state;
        state.options = options, state.readOnly = true;
        EngineContext ctx{g.posix, g.dialogs};
        ScanCache(pv, state, ctx);
        std::vector<PackageFacts> facts;
        HeaderCache headers;
        WholeHeaders whole;
        const PlacementContext place = listingPlacement(pv, state.cacheDir, options, g.posix);
        examineEntries(pv, place, facts, headers, g.posix, {}, nullptr, &whole);
        const std::size_t readByThePass = headers.reads();
        const ListPlan listed =
            planRows(state.rows, pv, options, place, facts, &whole, g.posix, &headers);
        // The plan reads again no package the pass read: only a cache file the pass did not
        // find under its line's name (renamed to other letter case) is read now.
        const auto unread = std::count_if(facts.begin(), facts.end(), [](const PackageFacts& f) {
            return f.condition == PackageCondition::NoFile;
        });
        EXPECT_LE(headers.reads() - readByThePass, static_cast<std::size_t>(unread))
            << "the plan read a package the pass read";
        RunRequest request{options, state.cacheDir, {}};
        request.wholeHeaders = &whole;
        std::multiset<std::string> checked, kept;
        for (const FileRow& row : state.rows) {
            const std::string line =
                pv.CacheFileNames[row.entry].substr(0, 32) + "=" + pv.RealNames[row.entry];
            (row.checked ? checked : kept).insert(line);
            if (row.checked) request.checkedEntries.push_back(row.entry);
            EXPECT_EQ(row.checked, listed.entries[row.entry].reason.empty() ||
                                       listed.entries[row.entry].action == RowAction::Drop)
                << row.text << ": an unchecked row says why";
        }
        const std::multiset<std::string> before = entryLines(g.index());
        ASSERT_TRUE(PrepareRun(request.options, ctx));
        RecordingSink sink;
        const RunResult run = ProcessCache(pv, request, ctx, sink);
        const std::string where = "round " + std::to_string(round);
        // Every checked row's line leaves the index, every other line stays; what moved or lost
        // its cache copy is what the list counted; nothing the run acted on failed or stayed.
        const std::multiset<std::string> after = entryLines(g.index());
        std::multiset<std::string> gone;
        std::set_difference(before.begin(), before.end(), after.begin(), after.end(),
                            std::inserter(gone, gone.end()));
        EXPECT_EQ(gone, checked) << where;
        EXPECT_TRUE(std::includes(after.begin(), after.end(), kept.begin(), kept.end())) << where;
        EXPECT_EQ(run.moved, listed.toProcess) << where;
        EXPECT_EQ(run.kept + run.failed, 0u) << where;
        EXPECT_EQ(run.nothingToDo, checked.empty()) << where;
        if (HasFailure()) break;
    }
}

}  // namespace
}  // namespace qv::test
