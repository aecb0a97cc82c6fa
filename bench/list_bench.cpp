#include "bench/list_bench.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <iostream>
#include <vector>

#include "platform/paths.h"

namespace qv::bench {

namespace {

// Runs `cli` with `words`, its output to /dev/null, the registry `registry`; false when it could
// not run or failed. `figure` keeps its best times and its largest peak.
bool runCli(const std::string& cli, const std::string& registry,
            const std::vector<std::string>& words, ListFigure* figure) {
    std::vector<char*> argv{const_cast<char*>(cli.c_str())};
    for (const std::string& w : words) argv.push_back(const_cast<char*>(w.c_str()));
    argv.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1), ::dup2(null, 2);
        ::setenv("QUORVEL_REGISTRY", registry.c_str(), 1);
        ::execv(cli.c_str(), argv.data());
        ::_exit(127);
    }
    if (pid < 0) return false;
    int status = 0;
    struct rusage usage {};
    while (::wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return false;
    if (figure) {
        const auto seconds = [](const timeval& t) {
            return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
        };
        figure->wall = std::min(figure->wall, wall);
        figure->cpu = std::min(figure->cpu, seconds(usage.ru_utime) + seconds(usage.ru_stime));
        figure->peakMiB = std::max(figure->peakMiB, static_cast<double>(usage.ru_maxrss) / 1024.0);
        figure->measured = true;
    }
    return true;
}

}  // namespace

ListFigures listFigures(const std::string& cli, const std::string& root, const std::string& gameDir,
                        int rounds) {
    ListFigures f;
    const std::string program = cli.empty() ? programFolder() + "/quorvel-cli" : cli;
    if (::access(program.c_str(), X_OK) != 0) return f;
    const std::string registry = root + "/list-bench.reg";
    if (!runCli(program, registry, {"set-game-dir", gameDir}, nullptr)) {
        std::cerr << "quorvel-bench: " << program << " set-game-dir failed\n";
        return f;
    }
    // In turns: a machine whose speed drifts slows both alike.
    for (int round = 0; round < rounds; ++round) {
        if (!runCli(program, registry, {"list"}, &f.list) ||
            !runCli(program, registry, {"list", "--json"}, &f.json)) {
            std::cerr << "quorvel-bench: " << program << " list failed\n";
            return {};
        }
    }
    return f;
}

}  // namespace qv::bench
