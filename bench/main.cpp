// quorvel-bench [--entries N] [--keep]: builds a synthetic game folder with N cache files and
// times the engine's scan, run (with its journal) and undo against the bare system calls they
// cannot avoid, the marking
// of never-move rows, the read of a 50 MB Wine registry, and (in a build with the windows, through
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
#include <vector>

#include "bench/header_pass.h"
#include "bench/lookup_figures.h"
#include "bench/synthetic_game.h"
#include "engine/engine_context.h"
#include "engine/placement.h"
#include "engine/public_variables.h"
#include "engine/run.h"
#include "engine/scan.h"
#include "engine/undo.h"
#include "platform/dialogs.h"
#include "platform/filesystem.h"
#include "platform/paths.h"

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The processor time this process has spent, in user space and in the kernel. Unlike the time
// on the clock it hardly moves with what the disk does meanwhile (its journal commits).
double cpuSeconds() {
    struct rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Clock and processor seconds of one measured step; `least` keeps the smaller of each.
struct Spent {
    double wall = 1e30, cpu = 1e30;
    void least(const Spent& o) { wall = std::min(wall, o.wall), cpu = std::min(cpu, o.cpu); }
};

template <class Work>
Spent spentOn(Work&& work) {
    const double cpu = cpuSeconds();
    const auto start = Clock::now();
    work();
    return {secondsSince(start), cpuSeconds() - cpu};
}

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

struct Move {
    std::string from, to;
};

// The moves the run makes in the type-folder mode with every row checked, for the index lines
// [from, to): every line of a known type and a safe name, in index order.
std::vector<Move> plannedMoves(const qv::bench::SyntheticGame& game,
                               const std::vector<std::string>& realNames, std::size_t from,
                               std::size_t to) {
    std::vector<Move> moves;
    moves.reserve(to - from);
    for (std::size_t i = from; i < to; ++i) {
        const std::string guid = qv::bench::syntheticGuid(i);
        const char* folder = nullptr;
        switch (qv::packageTypeOfLine(guid + "=" + realNames[i])) {
            case qv::PackageType::Map:
                folder = "/Maps/";
                break;
            case qv::PackageType::Texture:
                folder = "/Textures/";
                break;
            case qv::PackageType::Music:
                folder = "/Music/";
                break;
            case qv::PackageType::Sound:
                folder = "/Sounds/";
                break;
            case qv::PackageType::System:
                folder = "/System/";
                break;
            case qv::PackageType::Unknown:
                continue;
        }
        moves.push_back(
            {game.cacheDir + "/" + guid + ".uxx", game.gameDir + folder + realNames[i]});
    }
    return moves;
}

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
    for (const bool cpu : {false, true}) {
        const std::string suffix = cpu ? "_cpu" : "";
        const double a = cpu ? step.cpu : step.wall, b = cpu ? floor.cpu : floor.wall;
        if (withStep) print((name + suffix).c_str(), a);
        print((floorName + suffix).c_str(), b);
        print((name + suffix + "/" + floorName + suffix).c_str(), a / b);
    }
}

int usage() {
    std::cerr << "Usage: quorvel-bench [--entries N] [--keep]\n"
                 "Builds a synthetic game folder with N cache files of 1 KiB (default 100000)\n"
                 "under $TMPDIR or /tmp and times the scan and the run against the file\n"
                 "system's floor. --keep leaves the folder in place.\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::size_t entries = 100000;
    bool keep = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--entries" && i + 1 < argc) {
            char* end = nullptr;
            const unsigned long long n = std::strtoull(argv[++i], &end, 10);
            if (*end != '\0' || n == 0 || n > 10000000) return usage();
            entries = static_cast<std::size_t>(n);
        } else if (a == "--keep") {
            keep = true;
        } else {
            return usage();
        }
    }

    const char* tmp = std::getenv("TMPDIR");
    std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/quorvel-bench-XXXXXX";
    if (!::mkdtemp(templ.data())) {
        std::cerr << "quorvel-bench: cannot create a folder from " << templ << '\n';
        return 1;
    }
    const std::string root = templ;
    std::cerr << "quorvel-bench: " << entries << " entries in " << root << '\n';

    std::vector<std::string> names = qv::bench::syntheticRealNames(entries);
    qv::bench::SyntheticGame game, twin;
    if (!qv::bench::writeProgramFolder(root, game) ||
        !qv::bench::writeGameFolder(root, "game", names, game) ||
        !qv::bench::writeGameFolder(root, "twin", names, twin))
        return 1;
    twin.programFolder = game.programFolder;
    qv::bench::SyntheticGame windowGame;
    windowGame.programFolder = game.programFolder;
    if (::access((qv::programFolder() + "/quorvel-bench-window").c_str(), X_OK) == 0 &&
        !qv::bench::writeGameFolder(root, "window", names, windowGame))
        return 1;
    // The bench holds no copy of the names while the engine works: it forms them again later.
    names = {};
    // Write the setup out first, so no timed fsync pays for the files the bench created.
    ::sync();

    BenchDialogs dialogs;
    qv::EngineContext ctx{qv::realFileSystem(), dialogs};
    qv::PublicVariables pv;
    pv.ProgramFolder = game.programFolder;
    pv.GameDir = game.gameDir + "/";

    // rename_floor: the same no-replace moves on the identical twin cache, nothing else;
    // undo_floor: the same moves back, as an undo makes them. The plan is formed before it is
    // timed and let go after it, so it takes no part in the engine's memory figure.
    // The plan is formed a slice at a time, so the bench's own memory stays small beside the
    // engine's.
    // lookup: one lstat of each file where it landed, timed apart from the moves: the check of
    // what landed that a run (and an undo) makes after each move.
    const auto floorMoves = [&](bool back, std::size_t& count, std::size_t& done, Spent& lookup) {
        const std::vector<std::string> realNames = qv::bench::syntheticRealNames(entries);
        constexpr std::size_t kSlice = 10000;
        count = done = 0;
        Spent spent{0, 0};
        lookup = {0, 0};
        for (std::size_t from = 0; from < entries; from += kSlice) {
            const std::vector<Move> moves =
                plannedMoves(twin, realNames, from, std::min(entries, from + kSlice));
            count += moves.size();
            const Spent slice = spentOn([&] {
                for (const Move& m : moves)
                    if (::renameat2(AT_FDCWD, (back ? m.to : m.from).c_str(), AT_FDCWD,
                                    (back ? m.from : m.to).c_str(), RENAME_NOREPLACE) == 0)
                        ++done;
            });
            spent.wall += slice.wall, spent.cpu += slice.cpu;
            const Spent looked = spentOn([&] {
                struct stat st;
                for (const Move& m : moves) (void)::lstat((back ? m.from : m.to).c_str(), &st);
            });
            lookup.wall += looked.wall, lookup.cpu += looked.cpu;
        }
        // The moves' metadata goes to the disk now, so that the step timed next does not pay
        // for it in its own first flush.
        ::sync();
        return spent;
    };

    // scan: the engine's whole scan, dates included; stat_floor: one stat per cache file,
    // nothing else. Both change nothing, so each is the best of three, taken in turns: a
    // machine whose speed drifts slows both alike.
    // stat_floor_at: the same stats relative to the open cache folder, as the scan makes them.
    qv::ScanState state;
    double scan = 1e30, statFloor = 1e30, statFloorAt = 1e30;
    const int cacheFd = ::open(game.cacheDir.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    std::size_t statted = 0;
    std::string path;
    auto start = Clock::now();
    for (int round = 0; round < 3; ++round) {
        state = {};
        start = Clock::now();
        qv::ScanCache(pv, state, ctx);
        scan = std::min(scan, secondsSince(start));
        if (state.rows.size() != entries) {
            std::cerr << "quorvel-bench: the scan found " << state.rows.size() << " rows\n";
            return 1;
        }
        statted = 0;
        start = Clock::now();
        for (const std::string& n : pv.CacheFileNames) {
            path.assign(game.cacheDir).append("/").append(n);
            struct stat st;
            if (::stat(path.c_str(), &st) == 0) ++statted;
        }
        statFloor = std::min(statFloor, secondsSince(start));
        start = Clock::now();
        for (const std::string& n : pv.CacheFileNames) {
            struct stat st;
            (void)::fstatat(cacheFd, n.c_str(), &st, 0);
        }
        statFloorAt = std::min(statFloorAt, secondsSince(start));
    }
    ::close(cacheFd);

    // run: the whole run in the type-folder mode with every row checked; undo: its undo, which
    // puts the cache back as it was. Each is the best of three cycles of floor, run, floor back
    // and undo: a machine whose speed drifts slows a run and its floor alike.
    // The first cycle's run works on the rows of the scans above; each later one starts from a
    // scan of the cache the undo put back, as the window's does.
    const std::size_t rowCount = state.rows.size();
    const qv::Options scanOptions = state.options;
    const std::string cacheLabel = state.lblCacheDir;
    const auto checkedAll = [&](qv::ScanState& scanned) {
        if (scanned.rows.empty()) {
            scanned.options = scanOptions;
            scanned.lblCacheDir = cacheLabel;
            qv::ScanCache(pv, scanned, ctx);
        }
        qv::RunRequest request;
        request.options = scanned.options;
        request.options.MoveNorm = true;
        request.options.MoveDir = request.options.MoveDir2 = false;
        request.lblCacheDir = scanned.lblCacheDir;
        for (const qv::FileRow& row : scanned.rows) request.checkedEntries.push_back(row.entry);
        scanned = {};
        return request;
    };
    Spent run, renameFloor, renameLookupFloor, undo, undoFloor, undoLookupFloor;
    double rescan = 0;
    double peakRss = 0, undoPeakRss = 0;
    std::size_t planned = 0, renamed = 0, undoPlanned = 0, movedBack = 0;
    CountingSink sink;
    qv::UndoResult undone;
    // The run's memory figure covers the setup, the scans, the run and the re-scan.
    for (int cycle = 0; cycle < 3; ++cycle) {
        qv::RunRequest request = checkedAll(state);
        Spent lookup;
        const Spent floor = floorMoves(false, planned, renamed, lookup);
        renameFloor.least(floor);
        renameLookupFloor.least({floor.wall + lookup.wall, floor.cpu + lookup.cpu});
        ::malloc_trim(0);  // the plan's pages go back before the engine starts
        sink = {};
        bool prepared = false;
        qv::RunResult result;
        run.least(spentOn([&] {
            prepared = qv::PrepareRun(request.options, ctx);
            if (prepared) result = qv::ProcessCache(pv, request, ctx, sink);
        }));
        if (!prepared) return 1;
        if (result.outcome != qv::RunOutcome::Completed) {
            std::cerr << "quorvel-bench: the run did not complete\n";
            return 1;
        }
        request = {};
        if (cycle == 0) {
            // rescan: the scan of what the run left, as the window makes it after a run.
            qv::ScanState after;
            after.options = scanOptions;
            after.lblCacheDir = cacheLabel;
            start = Clock::now();
            qv::ScanCache(pv, after, ctx);
            rescan = secondsSince(start);
            peakRss = peakRssMiB();
        }
        ::sync();  // what the run wrote is on the disk before the next timed step
        const Spent back = floorMoves(true, undoPlanned, movedBack, lookup);
        undoFloor.least(back);
        undoLookupFloor.least({back.wall + lookup.wall, back.cpu + lookup.cpu});
        ::malloc_trim(0);
        // The undo's figure is the memory in use when it starts and what it takes on top.
        if (cycle == 0 && !resetPeakRss()) std::cerr << "quorvel-bench: no memory peak reset\n";
        CountingSink undoSink;
        undo.least(spentOn([&] {
            undone = qv::UndoRun({game.programFolder, "", false}, ctx, undoSink);
        }));
        if (cycle == 0) undoPeakRss = peakRssMiB();
        ::sync();
        if (undone.outcome != qv::UndoOutcome::Done) {
            std::cerr << "quorvel-bench: the undo of cycle " << cycle << " did not complete ("
                      << static_cast<int>(undone.outcome) << ")\n";
            return 1;
        }
    }
    // Never-move marking against the rows of a scan: 10x the names must cost about 10x the time.
    double markTenth = 0, markFull = 0;
    const std::size_t fullNames = 10 * entries;
    {
        state.options = scanOptions;
        state.lblCacheDir = cacheLabel;
        qv::ScanCache(pv, state, ctx);
        markTenth = qv::bench::markSeconds(state.rows,
                                           qv::bench::neverMoveNames(fullNames / 10, state.rows));
        markFull =
            qv::bench::markSeconds(state.rows, qv::bench::neverMoveNames(fullNames, state.rows));
    }
    // The header pass over the same scan, its memory on its own (the scan's tables included).
    ::malloc_trim(0);  // what the marking's million names left behind is not the pass's
    if (!resetPeakRss()) std::cerr << "quorvel-bench: no memory peak reset\n";
    const double headerBaseRss = peakRssMiB();
    const qv::bench::HeaderPassFigures headerPass =
        qv::bench::headerPassFigures(pv, game.cacheDir, ctx.fs);
    const double headerPeakRss = peakRssMiB();
    state = {};
    struct stat journalStat {};
    const double journalMiB =
        ::stat((game.programFolder + "/runs/1.journal").c_str(), &journalStat) == 0
            ? static_cast<double>(journalStat.st_size) / (1024.0 * 1024.0)
            : 0;

    std::cerr << "quorvel-bench: stat found " << statted << " files; the run moved " << sink.moves
              << " packages (" << sink.lines << " status lines), the floor " << renamed << " of "
              << planned << " moves\n";
    if (sink.moves != renamed)
        std::cerr << "quorvel-bench: warning: the run and the floor moved different counts\n";
    std::cerr << "quorvel-bench: the undo moved back " << undone.restored << " packages, "
              << undone.stayed << " stayed, " << undone.failed << " failed; the floor " << movedBack
              << " of " << undoPlanned << "\n";
    if (undone.restored != movedBack)
        std::cerr << "quorvel-bench: warning: the undo and its floor moved different counts\n";

    print("scan", scan);
    print("stat_floor", statFloor);
    print("scan/stat_floor", scan / statFloor);
    print("stat_floor_at", statFloorAt);
    print("scan/stat_floor_at", scan / statFloorAt);
    printAgainstFloor("run", run, "rename_floor", renameFloor);
    printAgainstFloor("run", run, "rename_lookup_floor", renameLookupFloor, false);
    print("run_journal_mib", journalMiB);
    print("rescan", rescan);
    print("peak_rss_mib", peakRss);
    printAgainstFloor("undo", undo, "undo_floor", undoFloor);
    printAgainstFloor("undo", undo, "undo_lookup_floor", undoLookupFloor, false);
    print("undo_peak_rss_mib", undoPeakRss);
    std::printf("%-34s %zu\n", "never_move_rows", rowCount);
    std::printf("%-34s %zu / %zu\n", "never_move_names", fullNames / 10, fullNames);
    print("mark_tenth_names", markTenth);
    print("mark_all_names", markFull);
    print("mark_all/mark_tenth", markFull / markTenth);
    print("header_pass", headerPass.pass);
    print("header_floor", headerPass.floor);
    print("header_pass/header_floor", headerPass.pass / headerPass.floor);
    print("header_pass_cached", headerPass.cached);
    std::printf("%-34s %zu read, %zu whole\n", "header_pass_packages", headerPass.read,
                headerPass.whole);
    print("header_pass_peak_rss_mib", headerPeakRss);
    print("header_pass_rss_before_mib", headerBaseRss);
    print("wine_registry_50mb", qv::bench::wineRegistrySeconds(50u << 20));
    std::fflush(stdout);

    if (!windowGame.gameDir.empty()) {
        std::map<std::string, double> w = windowFigures(root, windowGame);
        if (w.count("window_run") == 0) return 1;
        std::printf("%-34s %.0f\n", "window_fill_rows", w["window_fill_rows"]);
        print("window_fill", w["window_fill"]);
        print("window_run", w["window_run"]);
        print("engine_run+rescan", run.wall + rescan);
        print("window_run/engine_run+rescan", w["window_run"] / (run.wall + rescan));
        std::printf("%-34s %.0f\n", "window_status_lines", w["window_status_lines"]);
        std::printf("%-34s %.0f of %.0f\n", "window_live_looks", w["window_live_samples"],
                    w["window_samples"]);
        std::printf("%-34s %s\n", "window_last_line_in_view",
                    w["window_last_line_in_view"] != 0 ? "yes" : "no");
        std::printf("%-34s %.1f ms\n", "window_run_longest_wait", w["window_run_longest_wait_ms"]);
        std::printf("%-34s %.0f packages, 20 ms per move, %.2f s\n", "window_slow_run",
                    w["window_slow_packages"], w["window_slow_run"]);
        std::printf("%-34s %.1f ms\n", "window_slow_longest_wait",
                    w["window_slow_longest_wait_ms"]);
        std::printf("%-34s %s\n", "window_stop_enabled_mid_run",
                    w["window_stop_enabled_mid_run"] != 0 ? "yes" : "no");
        std::printf("%-34s %.0f MiB to another file system, %.2f s\n", "window_big_copy",
                    w["window_big_copy_mib"], w["window_big_copy"]);
        std::printf("%-34s %.1f ms\n", "window_big_copy_longest_wait",
                    w["window_big_copy_longest_wait_ms"]);
    }

    std::fflush(stdout);
    if (!keep) {
        std::error_code ec;
        std::filesystem::remove_all(root, ec);
    }
    return 0;
}
