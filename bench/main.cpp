// quorvel-bench [--entries N] [--keep]: builds a synthetic game folder with N cache files and
// times the engine's scan and run against the bare system calls they cannot avoid.

#include <fcntl.h>
#include <stdio.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "bench/synthetic_game.h"
#include "engine/engine_context.h"
#include "engine/placement.h"
#include "engine/public_variables.h"
#include "engine/run.h"
#include "engine/scan.h"
#include "platform/dialogs.h"
#include "platform/filesystem.h"

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
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

// The moves the run makes in the type-folder mode with every row checked, worked out before
// the clock starts: every index line of a known type, in index order.
std::vector<Move> plannedMoves(const qv::bench::SyntheticGame& game) {
    std::vector<Move> moves;
    moves.reserve(game.indexLines.size());
    for (const std::string& line : game.indexLines) {
        const std::string realName = line.substr(33);
        const char* folder = nullptr;
        switch (qv::packageTypeOfLine(line)) {
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
            {game.cacheDir + "/" + line.substr(0, 32) + ".uxx", game.gameDir + folder + realName});
    }
    return moves;
}

void print(const char* name, double value) {
    std::printf("%s %.3f\n", name, value);
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

    const std::vector<std::string> names = qv::bench::syntheticRealNames(entries);
    qv::bench::SyntheticGame game, twin;
    if (!qv::bench::writeProgramFolder(root, game) ||
        !qv::bench::writeGameFolder(root, "game", names, game) ||
        !qv::bench::writeGameFolder(root, "twin", names, twin))
        return 1;
    twin.programFolder = game.programFolder;
    // Write the setup out first, so no timed fsync pays for the files the bench created.
    ::sync();

    BenchDialogs dialogs;
    qv::EngineContext ctx{qv::realFileSystem(), dialogs};
    qv::PublicVariables pv;
    pv.ProgramFolder = game.programFolder;
    pv.GameDir = game.gameDir + "/";

    // scan: the engine's whole scan, dates included.
    qv::ScanState state;
    auto start = Clock::now();
    qv::ScanCache(pv, state, ctx);
    const double scan = secondsSince(start);
    if (state.rows.size() != entries) {
        std::cerr << "quorvel-bench: the scan found " << state.rows.size() << " rows\n";
        return 1;
    }

    // stat_floor: one stat per cache file, nothing else.
    std::vector<std::string> cachePaths;
    cachePaths.reserve(pv.CacheFileNames.size());
    for (const std::string& n : pv.CacheFileNames) cachePaths.push_back(game.cacheDir + "/" + n);
    std::size_t statted = 0;
    start = Clock::now();
    for (const std::string& p : cachePaths) {
        struct stat st;
        if (::stat(p.c_str(), &st) == 0) ++statted;
    }
    const double statFloor = secondsSince(start);

    // run: the whole run in the type-folder mode with every row checked.
    qv::RunRequest request;
    request.options = state.options;
    request.options.MoveNorm = true;
    request.options.MoveDir = request.options.MoveDir2 = false;
    request.lblCacheDir = state.lblCacheDir;
    for (const qv::FileRow& row : state.rows) request.checkedEntries.push_back(row.entry);
    CountingSink sink;
    start = Clock::now();
    if (!qv::PrepareRun(request.options, ctx)) return 1;
    const qv::RunResult result = qv::ProcessCache(pv, request, ctx, sink);
    const double run = secondsSince(start);
    if (result.outcome != qv::RunOutcome::Completed) {
        std::cerr << "quorvel-bench: the run did not complete\n";
        return 1;
    }

    // rename_floor: the same no-replace moves on the identical twin cache, nothing else.
    const std::vector<Move> moves = plannedMoves(twin);
    std::size_t renamed = 0;
    start = Clock::now();
    for (const Move& m : moves)
        if (::renameat2(AT_FDCWD, m.from.c_str(), AT_FDCWD, m.to.c_str(), RENAME_NOREPLACE) == 0)
            ++renamed;
    const double renameFloor = secondsSince(start);

    struct rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);

    std::cerr << "quorvel-bench: stat found " << statted << " files; the run moved " << sink.moves
              << " packages (" << sink.lines << " status lines), the floor " << renamed << " of "
              << moves.size() << " moves\n";
    if (sink.moves != renamed)
        std::cerr << "quorvel-bench: warning: the run and the floor moved different counts\n";

    print("scan", scan);
    print("stat_floor", statFloor);
    print("run", run);
    print("rename_floor", renameFloor);
    print("scan/stat_floor", scan / statFloor);
    print("run/rename_floor", run / renameFloor);
    print("peak_rss_mib", static_cast<double>(usage.ru_maxrss) / 1024.0);

    std::fflush(stdout);
    if (!keep) {
        std::error_code ec;
        std::filesystem::remove_all(root, ec);
    }
    return 0;
}
