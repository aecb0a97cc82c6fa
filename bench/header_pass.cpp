#include "bench/header_pass.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "bench/bench_common.h"
#include "engine/cache/package_facts.h"
#include "engine/public_variables.h"
#include "engine/run/placement.h"
#include "package/limits.h"
#include "package/package_header.h"
#include "settings/program_settings.h"

namespace qv::bench {

namespace {

template <class Work>
double secondsOf(Work&& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

HeaderPassFigures headerPassFigures(const PublicVariables& pv, const std::string& cacheDir,
                                    std::uint64_t tablesAt, std::uint64_t fileSize,
                                    FileSystem& fs) {
    HeaderPassFigures f;
    const std::size_t first =
        static_cast<std::size_t>(std::min<std::uint64_t>(fileSize, PackageLimits{}.firstRead));
    const std::size_t tables = static_cast<std::size_t>(fileSize - std::min(tablesAt, fileSize));
    f.tableBytes = first + tables;
    std::vector<char> region(tables + first);
    const PlacementContext place = listingPlacement(pv, cacheDir, Options{}, fs);
    std::string path;
    char block[kHeaderBlock];
    // Best of three, taken in turns: a machine whose speed drifts slows both alike.
    for (int round = 0; round < 3; ++round) {
        f.floor = std::min(f.floor, secondsOf([&] {
                               for (const std::string& name : pv.CacheFileNames) {
                                   path.assign(cacheDir).append("/").append(name);
                                   const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
                                   if (fd < 0) continue;
                                   (void)::pread(fd, block, sizeof block, 0);
                                   ::close(fd);
                               }
                           }));
        const int folder = ::open(cacheDir.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        f.floorAt = std::min(f.floorAt, secondsOf([&] {
                                 for (const std::string& name : pv.CacheFileNames) {
                                     const int fd =
                                         ::openat(folder, name.c_str(), O_RDONLY | O_CLOEXEC);
                                     if (fd < 0) continue;
                                     (void)::pread(fd, block, sizeof block, 0);
                                     ::close(fd);
                                 }
                             }));
        const Spent table = spentOn([&] {
            for (const std::string& name : pv.CacheFileNames) {
                const int fd = ::openat(folder, name.c_str(), O_RDONLY | O_CLOEXEC);
                if (fd < 0) continue;
                (void)::pread(fd, region.data(), first, 0);
                (void)::pread(fd, region.data(), tables, static_cast<off_t>(tablesAt));
                ::close(fd);
            }
        });
        f.tableFloor = std::min(f.tableFloor, table.wall);
        f.tableFloorCpu = std::min(f.tableFloorCpu, table.cpu);
        ::close(folder);
        HeaderCache headers;
        std::vector<PackageFacts> facts;
        const Spent pass = spentOn([&] { examineEntries(pv, place, facts, headers, fs); });
        f.pass = std::min(f.pass, pass.wall);
        f.passCpu = std::min(f.passCpu, pass.cpu);
        f.cached =
            std::min(f.cached, secondsOf([&] { examineEntries(pv, place, facts, headers, fs); }));
        f.read = headers.reads();
        f.whole = static_cast<std::size_t>(std::count_if(
            facts.begin(), facts.end(),
            [](const PackageFacts& p) { return p.condition == PackageCondition::Whole; }));
    }
    return f;
}

}  // namespace qv::bench
