// quorvel-bench [--entries N] [--cycles N] [--keep]: builds a synthetic game folder with N cache
// files and times the engine's scan, run (with its journal) and undo against the bare system calls
// they cannot avoid, quorvel-cli's list and list --json (time and peak memory), the marking of
// never-move rows, the read of a 50 MB Wine registry, and (in a build with the windows, through
// quorvel-bench-window) the main window's run and file list.

#include <fcntl.h>
#include <malloc.h>
#include <stdio.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "bench/bench_common.h"
#include "bench/floor_moves.h"
#include "bench/header_pass.h"
#include "bench/list_bench.h"
#include "bench/lookup_figures.h"
#include "bench/synthetic_game.h"
#include "engine/cache/package_facts.h"
#include "engine/cache/scan.h"
#include "engine/engine_context.h"
#include "engine/public_variables.h"
#include "engine/run/placement.h"
#include "engine/run/run.h"
#include "engine/run/undo.h"
#include "platform/dialogs.h"
#include "platform/filesystem.h"
#include "platform/paths.h"

namespace {

using qv::bench::FloorMoves;
using qv::bench::floorMoves;
using qv::bench::Spent;
using qv::bench::spentOn;

// The process's peak resident memory since it started or since resetPeakRss(), from VmHWM.
double peakRssMiB() {
    std::FILE* status = std::fopen("/proc/self/status", "r");
    if (!status) return -1;
    char line[128];
    double kib = -1;
    while (std::fgets(line, sizeof line, status))
        if (std::sscanf(line, "VmHWM: %lf kB", &kib) == 1) break;
    std::fclose(status);
    return kib / 1024.0;
}

// Starts the peak over at the memory in use now, so a later phase is measured on its own.
bool resetPeakRss() {
    std::FILE* refs = std::fopen("/proc/self/clear_refs", "w");
    if (!refs) return false;
    const bool ok = std::fputs("5", refs) >= 0;
    return std::fclose(refs) == 0 && ok;
}

// Messages go to stderr; questions are refused; nothing in a timed run asks.
class BenchDialogs final : public qv::Dialogs {
  public:
    void message(const std::string& title, const std::string& text) override {
        std::cerr << "message: " << title << ": " << text << '\n';
    }
    bool askYesNo(const std::string&, const std::string&) override { return false; }
    std::string pickFolder(const std::string&) override { return {}; }
};

// Counts the status lines instead of showing them.
class CountingSink final : public qv::StatusSink {
  public:
    void addLine(const std::string& line) override {
        ++lines;
        if (line.rfind("**OLD** ", 0) == 0) ++moves;
    }
    std::size_t lines = 0;
    std::size_t moves = 0;
};

// Runs quorvel-bench-window beside this program over the window's game folder and reads its
// "name value" lines. Empty when there is no such program (a build without the windows).
std::map<std::string, double> windowFigures(const std::string& root,
                                            const qv::bench::SyntheticGame& game) {
    std::map<std::string, double> figures;
    const std::string program = qv::programFolder() + "/quorvel-bench-window";
    if (::access(program.c_str(), X_OK) != 0) return figures;
    const auto quoted = [](const std::string& s) { return "'" + s + "'"; };
    const std::string command = quoted(program) + " " + quoted(root) + " " +
                                quoted(game.programFolder) + " " + quoted(game.gameDir);
    std::FILE* out = ::popen(command.c_str(), "r");
    if (!out) return figures;
    char name[64];
    double value = 0;
    while (std::fscanf(out, "%63s %lf", name, &value) == 2) figures[name] = value;
    if (::pclose(out) != 0) std::cerr << "quorvel-bench: quorvel-bench-window failed\n";
    return figures;
}

void print(const char* name, double value) {
    std::printf("%-34s %.3f\n", name, value);
}

// A step and its floor by the clock and by processor time, each with their ratio.
// `withStep`: the step's own figure too (once, before its first floor).
void printAgainstFloor(const std::string& name, const Spent& step, const std::string& floorName,
                       const Spent& floor, bool withStep = true) {
    if (step.wall >= 1e30) {  // too few cycles to make this step
        std::printf("%-34s not measured (more --cycles)\n", name.c_str());
        return;
    }
    for (const bool cpu : {false, true}) {
        const std::string suffix = cpu ? "_cpu" : "";
        const double a = cpu ? step.cpu : step.wall, b = cpu ? floor.cpu : floor.wall;
        if (withStep) print((name + suffix).c_str(), a);
        print((floorName + suffix).c_str(), b);
        print((name + suffix + "/" + floorName + suffix).c_str(), a / b);
    }
}

// `quorvel-cli list` and `list --json` over the full cache; with QUORVEL_BENCH_BASELINE_CLI set
// to another build's quorvel-cli, that one's figures and the ratios too.
void printListFigures(const std::string& root, const std::string& gameDir) {
    const qv::bench::ListFigures now = qv::bench::listFigures("", root, gameDir);
    if (!now.list.measured) {
        std::printf("%-34s not measured (no quorvel-cli beside quorvel-bench)\n", "list");
        return;
    }
    const char* other = std::getenv("QUORVEL_BENCH_BASELINE_CLI");
    const qv::bench::ListFigures base =
        other && *other ? qv::bench::listFigures(other, root, gameDir) : qv::bench::ListFigures{};
    for (const auto& [name, f, b] :
         {std::tuple{"list", now.list, base.list}, std::tuple{"list_json", now.json, base.json}}) {
        const std::string n = name;
        print(n.c_str(), f.wall);
        print((n + "_cpu").c_str(), f.cpu);
        print((n + "_peak_rss_mib").c_str(), f.peakMiB);
        if (!b.measured) continue;
        print((n + "_baseline").c_str(), b.wall);
        print((n + "_baseline_cpu").c_str(), b.cpu);
        print((n + "_baseline_peak_rss_mib").c_str(), b.peakMiB);
        print((n + "/" + n + "_baseline").c_str(), f.wall / b.wall);
        print((n + "_cpu/" + n + "_baseline_cpu").c_str(), f.cpu / b.cpu);
    }
}

int usage() {
    std::cerr
        << "Usage: quorvel-bench [--entries N] [--cycles N] [--keep]\n"
           "Builds a synthetic game folder with N cache files of about 200 KiB (default 100000)\n"
           "under $TMPDIR or /tmp and times the scan and the run against the file\n"
           "system's floor. --cycles: the run and undo cycles (default 8; fewer for a quick look\n"
           "at the other figures). --keep leaves the folder in place. With\n"
           "QUORVEL_BENCH_BASELINE_CLI set to another build's quorvel-cli, list is timed by "
           "both.\n";
    return 2;
}

// The folders the bench works on: the game the engine works on, its identical twin for the
// floors, and (with the windows) one for the window's figures.
struct Games {
    std::string root;
    qv::bench::SyntheticGame game, twin, window;
};

bool makeGames(std::size_t entries, Games& g) {
    g.root = qv::bench::makeScratchFolder("quorvel-bench");
    if (g.root.empty()) {
        std::cerr << "quorvel-bench: cannot create a folder under $TMPDIR or /tmp\n";
        return false;
    }
    std::cerr << "quorvel-bench: " << entries << " entries in " << g.root << '\n';
    // The bench holds no copy of the names while the engine works: it forms them again later.
    const std::vector<std::string> names = qv::bench::syntheticRealNames(entries);
    if (!qv::bench::writeProgramFolder(g.root, g.game) ||
        !qv::bench::writeGameFolder(g.root, "game", names, g.game) ||
        !qv::bench::writeGameFolder(g.root, "twin", names, g.twin))
        return false;
    g.twin.programFolder = g.window.programFolder = g.game.programFolder;
    if (::access((qv::programFolder() + "/quorvel-bench-window").c_str(), X_OK) == 0 &&
        !qv::bench::writeGameFolder(g.root, "window", names, g.window))
        return false;
    return true;
}

// scan: the engine's whole scan, dates included; stat_floor: one stat per cache file, nothing
// else; stat_floor_at: the same stats relative to the open cache folder, as the scan makes them.
// Each is the best of three, taken in turns: a machine whose speed drifts slows all alike.
struct ScanFigures {
    double scan = 1e30, statFloor = 1e30, statFloorAt = 1e30;
    std::size_t statted = 0;
};

bool measureScans(qv::PublicVariables& pv, qv::ScanState& state, qv::EngineContext& ctx,
                  const std::string& cacheDir, std::size_t entries, ScanFigures& f) {
    const int cacheFd = ::open(cacheDir.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    std::string path;
    for (int round = 0; round < 3; ++round) {
        state = {};
        f.scan = std::min(f.scan, spentOn([&] { qv::ScanCache(pv, state, ctx); }).wall);
        if (state.rows.size() != entries) {
            std::cerr << "quorvel-bench: the scan found " << state.rows.size() << " rows\n";
            ::close(cacheFd);
            return false;
        }
        f.statted = 0;
        f.statFloor = std::min(f.statFloor, spentOn([&] {
                                                for (const std::string& n : pv.CacheFileNames) {
                                                    path.assign(cacheDir).append("/").append(n);
                                                    struct stat st;
                                                    if (::stat(path.c_str(), &st) == 0) ++f.statted;
                                                }
                                            }).wall);
        f.statFloorAt = std::min(f.statFloorAt, spentOn([&] {
                                                    for (const std::string& n : pv.CacheFileNames) {
                                                        struct stat st;
                                                        (void)::fstatat(cacheFd, n.c_str(), &st, 0);
                                                    }
                                                }).wall);
    }
    ::close(cacheFd);
    return true;
}

// What the engine works with between the steps: the settings the scans read, and the rows of
// the last scan (empty once a run took them).
struct Engine {
    qv::PublicVariables& pv;
    qv::EngineContext& ctx;
    qv::ScanState state;
    qv::Options scanOptions;
    std::string cacheDir;

    // A scan of the cache as it is now, with the first scan's options.
    qv::ScanState rescan() {
        qv::ScanState s;
        s.options = scanOptions;
        s.cacheDir = cacheDir;
        qv::ScanCache(pv, s, ctx);
        return s;
    }
    // The run in the type-folder mode with every row of the last scan checked (a new scan when
    // a run took its rows).
    qv::RunRequest requestAll() {
        if (state.rows.empty()) state = rescan();
        qv::RunRequest request;
        request.options = state.options;
        request.options.MoveNorm = true;
        request.options.MoveDir = request.options.MoveDir2 = false;
        request.cacheDir = state.cacheDir;
        for (const qv::FileRow& row : state.rows) request.checkedEntries.push_back(row.entry);
        state = {};
        return request;
    }
};

// run: the whole run with its journal, after the list's header pass (as the window runs);
// run_reading_headers: the run reading each header before its move (as the command line runs);
// undo: its undo, which puts the cache back as it was. Each run is the best of its cycles of
// floor, run, floor back and undo: a machine whose speed drifts slows a run and its floor alike.
// The run's memory figure covers the run and the re-scan, the undo's the undo, each with the
// memory in use when it starts.
struct CycleFigures {
    Spent run, runReading, renameFloor, renameLookupFloor, renameLookupHeaderFloor, undo, undoFloor,
        undoLookupFloor;
    double rescan = 0, peakRss = 0, undoPeakRss = 0;
    // Each window-like run over the floor of its own cycle, taken just before it.
    std::vector<double> pairedRatios;
    FloorMoves forth, back;
    CountingSink sink;
    qv::UndoResult undone;
};

// The list's header pass, as the window makes it while the list is shown, before Run is
// clicked: its whole packages are not read again by the run.
qv::WholeHeaders headerPassOf(Engine& e) {
    qv::WholeHeaders whole;
    std::vector<qv::PackageFacts> facts;
    qv::HeaderCache headers;
    qv::examineEntries(e.pv, qv::listingPlacement(e.pv, e.cacheDir, e.scanOptions, e.ctx.fs), facts,
                       headers, e.ctx.fs, {}, nullptr, &whole);
    return whole;
}

// `examined`: after the list's header pass, as the window runs; else as the command line runs,
// reading each package's header before its move.
bool runOnce(Engine& e, const Games& g, std::size_t entries, bool first, bool examined,
             CycleFigures& f) {
    qv::RunRequest request = e.requestAll();
    qv::WholeHeaders whole;
    if (examined) whole = headerPassOf(e);
    request.wholeHeaders = &whole;
    f.forth = floorMoves(g.twin, entries, false);
    f.renameFloor.least(f.forth.moves);
    f.renameLookupFloor.least(
        {f.forth.moves.wall + f.forth.lookup.wall, f.forth.moves.cpu + f.forth.lookup.cpu});
    f.renameLookupHeaderFloor.least({f.forth.moves.wall + f.forth.lookup.wall + f.forth.header.wall,
                                     f.forth.moves.cpu + f.forth.lookup.cpu + f.forth.header.cpu});
    ::malloc_trim(0);  // the plan's and the pass's pages go back before the engine starts
    // The run's memory: what is in use when it starts (the entry table, the pass's results) and
    // what it takes on top.
    if (first && !resetPeakRss()) std::cerr << "quorvel-bench: no memory peak reset\n";
    f.sink = {};
    bool prepared = false;
    qv::RunResult result;
    const Spent spent = spentOn([&] {
        prepared = qv::PrepareRun(request.options, e.ctx);
        if (prepared) result = qv::ProcessCache(e.pv, request, e.ctx, f.sink);
    });
    (examined ? f.run : f.runReading).least(spent);
    if (examined) f.pairedRatios.push_back(spent.wall / (f.forth.moves.wall + f.forth.lookup.wall));
    if (!prepared || result.outcome != qv::RunOutcome::Completed) {
        std::cerr << "quorvel-bench: the run did not complete\n";
        return false;
    }
    request = {};
    if (first) {
        // rescan: the scan of what the run left, as the window makes it after a run.
        f.rescan = spentOn([&] { (void)e.rescan(); }).wall;
        f.peakRss = peakRssMiB();
    }
    ::sync();  // what the run wrote is on the disk before the next timed step
    return true;
}

bool undoOnce(Engine& e, const Games& g, std::size_t entries, bool first, int cycle,
              CycleFigures& f) {
    f.back = floorMoves(g.twin, entries, true);
    f.undoFloor.least(f.back.moves);
    f.undoLookupFloor.least(
        {f.back.moves.wall + f.back.lookup.wall, f.back.moves.cpu + f.back.lookup.cpu});
    ::malloc_trim(0);
    if (first && !resetPeakRss()) std::cerr << "quorvel-bench: no memory peak reset\n";
    CountingSink undoSink;
    f.undo.least(spentOn([&] {
        f.undone = qv::UndoRun({g.game.programFolder, "", false, e.cacheDir}, e.ctx, undoSink);
    }));
    if (first) f.undoPeakRss = peakRssMiB();
    ::sync();
    if (f.undone.outcome != qv::UndoOutcome::Done) {
        std::cerr << "quorvel-bench: the undo of cycle " << cycle << " did not complete ("
                  << static_cast<int>(f.undone.outcome) << ")\n";
        return false;
    }
    return true;
}

// Never-move marking against the rows of a scan: 10x the names must cost about 10x the time.
struct MarkFigures {
    double tenth = 0, full = 0;
    std::size_t names = 0;
};

MarkFigures measureMarking(Engine& e, std::size_t entries) {
    MarkFigures m;
    m.names = 10 * entries;
    e.state = e.rescan();
    m.tenth =
        qv::bench::markSeconds(e.state.rows, qv::bench::neverMoveNames(m.names / 10, e.state.rows));
    m.full = qv::bench::markSeconds(e.state.rows, qv::bench::neverMoveNames(m.names, e.state.rows));
    return m;
}

void reportCounts(const ScanFigures& scans, const CycleFigures& c) {
    std::cerr << "quorvel-bench: stat found " << scans.statted << " files; the run moved "
              << c.sink.moves << " packages (" << c.sink.lines << " status lines), the floor "
              << c.forth.done << " of " << c.forth.planned << " moves\n";
    if (c.sink.moves != c.forth.done)
        std::cerr << "quorvel-bench: warning: the run and the floor moved different counts\n";
    std::cerr << "quorvel-bench: the undo moved back " << c.undone.restored << " packages, "
              << c.undone.stayed << " stayed, " << c.undone.failed << " failed; the floor "
              << c.back.done << " of " << c.back.planned << "\n";
    if (c.undone.restored != c.back.done)
        std::cerr << "quorvel-bench: warning: the undo and its floor moved different counts\n";
}

void printEngineFigures(const ScanFigures& scans, const CycleFigures& c, double journalMiB) {
    print("scan", scans.scan);
    print("stat_floor", scans.statFloor);
    print("scan/stat_floor", scans.scan / scans.statFloor);
    print("stat_floor_at", scans.statFloorAt);
    print("scan/stat_floor_at", scans.scan / scans.statFloorAt);
    printAgainstFloor("run", c.run, "rename_floor", c.renameFloor);
    printAgainstFloor("run", c.run, "rename_lookup_floor", c.renameLookupFloor, false);
    // The same ratio cycle by cycle, and their median: a drift of the machine's speed between
    // cycles moves the best run and the best floor apart, but not a run and its own floor.
    std::printf("%-34s", "run/rename_lookup_floor_by_cycle");
    for (double r : c.pairedRatios) std::printf(" %.3f", r);
    std::printf("\n");
    std::vector<double> sorted = c.pairedRatios;
    std::sort(sorted.begin(), sorted.end());
    if (!sorted.empty())
        print("run/rename_lookup_floor_median",
              sorted.size() % 2 ? sorted[sorted.size() / 2]
                                : (sorted[sorted.size() / 2 - 1] + sorted[sorted.size() / 2]) / 2);
    printAgainstFloor("run_reading_headers", c.runReading, "rename_lookup_header_floor",
                      c.renameLookupHeaderFloor);
    print("run_journal_mib", journalMiB);
    print("rescan", c.rescan);
    print("peak_rss_mib", c.peakRss);
    printAgainstFloor("undo", c.undo, "undo_floor", c.undoFloor);
    printAgainstFloor("undo", c.undo, "undo_lookup_floor", c.undoLookupFloor, false);
    print("undo_peak_rss_mib", c.undoPeakRss);
}

void printMarkAndHeaderFigures(std::size_t rows, const MarkFigures& m,
                               const qv::bench::HeaderPassFigures& h, double peak, double before) {
    std::printf("%-34s %zu\n", "never_move_rows", rows);
    std::printf("%-34s %zu / %zu\n", "never_move_names", m.names / 10, m.names);
    print("mark_tenth_names", m.tenth);
    print("mark_all_names", m.full);
    print("mark_all/mark_tenth", m.full / m.tenth);
    print("header_pass", h.pass);
    print("header_floor", h.floor);
    print("header_pass/header_floor", h.pass / h.floor);
    print("header_floor_at", h.floorAt);
    print("header_pass/header_floor_at", h.pass / h.floorAt);
    print("header_table_floor", h.tableFloor);
    print("header_pass/header_table_floor", h.pass / h.tableFloor);
    print("header_pass_cpu", h.passCpu);
    print("header_table_floor_cpu", h.tableFloorCpu);
    print("header_pass_cpu/header_table_floor_cpu", h.passCpu / h.tableFloorCpu);
    std::printf("%-34s %llu bytes of each package\n", "header_table_floor_reads",
                static_cast<unsigned long long>(h.tableBytes));
    print("header_pass_cached", h.cached);
    std::printf("%-34s %zu read, %zu whole\n", "header_pass_packages", h.read, h.whole);
    print("header_pass_peak_rss_mib", peak);
    print("header_pass_rss_before_mib", before);
}

// The window's figures beside the engine run's; false when the window bench failed.
bool printWindowFigures(const Games& g, double engineRunAndRescan) {
    std::map<std::string, double> w = windowFigures(g.root, g.window);
    if (w.count("window_run") == 0) return false;
    std::printf("%-34s %.0f\n", "window_fill_rows", w["window_fill_rows"]);
    print("window_fill", w["window_fill"]);
    print("window_run", w["window_run"]);
    print("engine_run+rescan", engineRunAndRescan);
    print("window_run/engine_run+rescan", w["window_run"] / engineRunAndRescan);
    std::printf("%-34s %.0f\n", "window_status_lines", w["window_status_lines"]);
    std::printf("%-34s %.0f of %.0f\n", "window_live_looks", w["window_live_samples"],
                w["window_samples"]);
    std::printf("%-34s %s\n", "window_last_line_in_view",
                w["window_last_line_in_view"] != 0 ? "yes" : "no");
    std::printf("%-34s %.1f ms\n", "window_run_longest_wait", w["window_run_longest_wait_ms"]);
    std::printf("%-34s %.0f packages, 20 ms per move, %.2f s\n", "window_slow_run",
                w["window_slow_packages"], w["window_slow_run"]);
    std::printf("%-34s %.1f ms\n", "window_slow_longest_wait", w["window_slow_longest_wait_ms"]);
    std::printf("%-34s %s\n", "window_stop_enabled_mid_run",
                w["window_stop_enabled_mid_run"] != 0 ? "yes" : "no");
    std::printf("%-34s %.0f MiB to another file system, %.2f s\n", "window_big_copy",
                w["window_big_copy_mib"], w["window_big_copy"]);
    std::printf("%-34s %.1f ms\n", "window_big_copy_longest_wait",
                w["window_big_copy_longest_wait_ms"]);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::size_t entries = 100000, cycleCount = 8;
    bool keep = false;
    if (!qv::bench::readArguments(argc, argv, {{"--entries", &entries}, {"--cycles", &cycleCount}},
                                  1, 10000000, keep))
        return usage();
    Games g;
    if (!makeGames(entries, g)) return 1;
    // Write the setup out first, so no timed fsync pays for the files the bench created.
    ::sync();

    BenchDialogs dialogs;
    qv::EngineContext ctx{qv::realFileSystem(), dialogs};
    qv::PublicVariables pv;
    pv.ProgramFolder = g.game.programFolder;
    pv.GameDir = g.game.gameDir + "/";
    Engine e{pv, ctx, {}, {}, {}};
    ScanFigures scans;
    if (!measureScans(pv, e.state, ctx, g.game.cacheDir, entries, scans)) return 1;
    const std::size_t rowCount = e.state.rows.size();
    printListFigures(g.root, g.game.gameDir);  // over the full cache, before any run
    std::fflush(stdout);
    e.scanOptions = e.state.options;
    e.cacheDir = e.state.cacheDir;
    CycleFigures cycles;
    // Six cycles after the list's header pass, as the window runs, and two as the command line
    // runs, in turns: a run's figure moves by a fifth from one cycle to the next on this machine,
    // and the window's run is the one held to the tighter goal.
    for (int cycle = 0; cycle < static_cast<int>(std::min<std::size_t>(cycleCount, 100)); ++cycle)
        if (!runOnce(e, g, entries, cycle == 0, cycle % 4 != 3, cycles) ||
            !undoOnce(e, g, entries, cycle == 0, cycle, cycles))
            return 1;
    const MarkFigures marks = measureMarking(e, entries);
    // The header pass over the same scan, its memory on its own (the scan's tables included).
    ::malloc_trim(0);  // what the marking's million names left behind is not the pass's
    if (!resetPeakRss()) std::cerr << "quorvel-bench: no memory peak reset\n";
    const double headerBaseRss = peakRssMiB();
    const qv::bench::HeaderPassFigures headerPass =
        qv::bench::headerPassFigures(pv, g.game.cacheDir, g.game.tablesAt, g.game.fileSize, ctx.fs);
    const double headerPeakRss = peakRssMiB();
    e.state = {};
    struct stat journal {};
    const double journalMiB =
        ::stat((g.game.programFolder + "/runs/1.journal").c_str(), &journal) == 0
            ? static_cast<double>(journal.st_size) / (1024.0 * 1024.0)
            : 0;

    reportCounts(scans, cycles);
    printEngineFigures(scans, cycles, journalMiB);
    printMarkAndHeaderFigures(rowCount, marks, headerPass, headerPeakRss, headerBaseRss);
    print("wine_registry_50mb", qv::bench::wineRegistrySeconds(50u << 20));
    std::fflush(stdout);
    if (!g.window.gameDir.empty() && !printWindowFigures(g, cycles.run.wall + cycles.rescan))
        return 1;
    std::fflush(stdout);
    if (!keep) {
        std::error_code ec;
        std::filesystem::remove_all(g.root, ec);
    }
    return 0;
}
