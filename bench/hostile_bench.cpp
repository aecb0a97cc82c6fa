// quorvel-bench-hostile [--keep]: the cost of reading packages shaped to be costly, as a player's
// programs read them: quorvel-cli info (text and --json) and quorvel-thumbnailer -s 256, each run
// as its own process on each package, its peak resident memory and time on the clock from the
// kernel's account of the child (wait4). The packages: the fuzz seeds' hostile shapes (a module
// bomb, an endless module, markup and Windows-1252 titles, a 1,048,576 x 1 texture) and module
// bombs at the module cap (20 and 70 samples of 2^28 frames over 5.7 MB of shared data).
// Every figure is to stay under the stated bound: 64 MiB and 1 s for one package.

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/bench_common.h"
#include "platform/paths.h"
#include "tools/hostile_packages.h"

namespace {

struct Cost {
    int status = -1;
    double peakMiB = 0, seconds = 0;
};

// Runs `args`, its output to /dev/null when `quiet`; its peak memory and time.
Cost run(const std::vector<std::string>& args, bool quiet = true) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::fflush(stdout);
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        if (quiet &&
            (!std::freopen("/dev/null", "w", stdout) || !std::freopen("/dev/null", "w", stderr)))
            _exit(127);
        execv(argv[0], argv.data());
        _exit(127);
    }
    Cost cost;
    int status = 0;
    struct rusage usage {};
    if (child < 0 || wait4(child, &status, 0, &usage) != child) return cost;
    cost.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    cost.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    cost.peakMiB = static_cast<double>(usage.ru_maxrss) / 1024.0;
    return cost;
}

// Runs each reader on each package of `folder`, printing the figures; 0 when all are in bound.
// Its own process (a fresh image of this program): a child's peak counts the memory of the
// process it was forked from, which is kept small here.
int measure(const std::string& programs, const std::string& folder) {
    const std::string cli = qv::joinPath(programs, "quorvel-cli"),
                      thumbnailer = qv::joinPath(programs, "quorvel-thumbnailer");
    std::vector<std::filesystem::path> files;
    for (const auto& e : std::filesystem::directory_iterator(folder)) files.push_back(e.path());
    std::sort(files.begin(), files.end());
    std::printf("%-30s %9s  %-26s %4s %9s %8s\n", "package", "bytes", "reader", "exit", "peak MiB",
                "seconds");
    double worstMiB = 0, worstSeconds = 0;
    for (const std::filesystem::path& file : files) {
        const std::string path = file.string();
        const std::vector<std::pair<const char*, std::vector<std::string>>> readers = {
            {"quorvel-cli info", {cli, "info", path}},
            {"quorvel-cli info --json", {cli, "info", "--json", path}},
            {"quorvel-thumbnailer -s 256", {thumbnailer, "-s", "256", path, path + ".png"}}};
        for (const auto& [what, args] : readers) {
            const Cost c = run(args);
            worstMiB = std::max(worstMiB, c.peakMiB);
            worstSeconds = std::max(worstSeconds, c.seconds);
            std::printf("%-30s %9ju  %-26s %4d %9.1f %8.3f\n", file.filename().c_str(),
                        static_cast<std::uintmax_t>(std::filesystem::file_size(file)), what,
                        c.status, c.peakMiB, c.seconds);
        }
        std::filesystem::remove(path + ".png");
    }
    std::printf("worst: %.1f MiB, %.3f s (bound: 64 MiB, 1 s)\n", worstMiB, worstSeconds);
    return worstMiB < 64 && worstSeconds < 1 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string programs = std::filesystem::path(argv[0]).parent_path().string();
    if (argc == 3 && std::string(argv[1]) == "--measure") return measure(programs, argv[2]);
    bool keep = false;
    if (!qv::bench::readArguments(argc, argv, {}, 0, 0, keep)) {
        std::fprintf(stderr, "usage: quorvel-bench-hostile [--keep]\n");
        return 2;
    }
    const std::string folder = qv::bench::makeScratchFolder("quorvel-bench-hostile");
    if (folder.empty()) return 1;
    {
        auto packages = qv::pkg::hostilePackages();
        for (const int samples : {20, 70}) {
            qv::pkg::PackageSpec spec;
            spec.exports = {
                qv::pkg::music("Bomb", "it", qv::pkg::itModule({"Bomb", samples, 1u << 28, 1400}))};
            packages.emplace_back("module_bomb_" + std::to_string(samples) + "_at_cap.umx",
                                  qv::pkg::writePackage(spec));
        }
        for (const auto& [name, bytes] : packages)
            std::ofstream(qv::joinPath(folder, name), std::ios::binary) << bytes;
    }
    const Cost whole = run({argv[0], "--measure", folder}, false);
    if (!keep) std::filesystem::remove_all(folder);
    return whole.status;
}
