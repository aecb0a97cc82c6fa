#pragma once

// What the bench programs share: their command line, their scratch folder, processor time.

#include <stdlib.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdlib>
#include <initializer_list>
#include <string>
#include <utility>

namespace qv::bench {

// Reads "--keep" and each "--NAME N" of `counts` (N from `least` to `most`, into its place).
// False on anything else, or a count out of range: the caller prints its usage.
inline bool readArguments(int argc, char** argv,
                          std::initializer_list<std::pair<const char*, std::size_t*>> counts,
                          unsigned long long least, unsigned long long most, bool& keep) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--keep") {
            keep = true;
            continue;
        }
        std::size_t* into = nullptr;
        for (const auto& [name, place] : counts)
            if (a == name) into = place;
        if (!into || i + 1 >= argc) return false;
        char* end = nullptr;
        const unsigned long long n = std::strtoull(argv[++i], &end, 10);
        if (*end != '\0' || n < least || n > most) return false;
        *into = static_cast<std::size_t>(n);
    }
    return true;
}

// A new folder "<prefix>-XXXXXX" under $TMPDIR or /tmp; empty when it cannot be made.
inline std::string makeScratchFolder(const std::string& prefix) {
    const char* tmp = std::getenv("TMPDIR");
    std::string folder = std::string(tmp && *tmp ? tmp : "/tmp") + "/" + prefix + "-XXXXXX";
    return ::mkdtemp(folder.data()) ? folder : std::string();
}

// The processor time this process has spent, in user space and in the kernel. Unlike the time
// on the clock it hardly moves with what the disk does meanwhile (its journal commits).
inline double cpuSeconds() {
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
    const auto start = std::chrono::steady_clock::now();
    work();
    return {std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
            cpuSeconds() - cpu};
}

}  // namespace qv::bench
