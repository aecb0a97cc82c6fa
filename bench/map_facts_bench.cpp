// quorvel-bench-maps [--maps N] [--keep]: N maps shaped like downloaded ones (79, as a game
// folder's stock maps): mostly small, with many objects, each with a LevelSummary, a LevelInfo and
// a 256 x 256 P8 screenshot with its palette. Times reading every map's facts and picture (the
// tables, the summary, the LevelInfo, the picture, the palette) with a fresh reader per map,
// against a floor that opens each file, makes the very same reads with pread and closes it, from
// the page cache and cold (the files' pages dropped before each pass); prints the reads and bytes
// that costs against the maps' sizes, and those of the facts alone (the picture's size, none of its
// pixels).

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "bench/bench_common.h"
#include "package/package_contents.h"
#include "package/package_reader.h"
#include "platform/filesystem.h"
#include "tools/package_objects.h"

namespace {

using Reads = std::vector<std::pair<std::uint64_t, std::size_t>>;

// Passes reads through, noting each one's place and length.
class RecordingFile final : public qv::InFile {
  public:
    RecordingFile(qv::InFile& inner, Reads& reads) : inner_(inner), reads_(reads) {}
    const qv::FileIdentity& identity() const override { return inner_.identity(); }
    qv::Result<std::size_t> readAt(std::uint64_t at, char* buffer, std::size_t n) override {
        reads_.emplace_back(at, n);
        return inner_.readAt(at, buffer, n);
    }

  private:
    qv::InFile& inner_;
    Reads& reads_;
};

// A map shaped like the ones players download: most are small (about 250 to 450 KB), one in
// eight larger (about 1.5 MiB). Each has a LevelSummary, a LevelInfo, a 256 x 256 P8 screenshot
// with its palette, and many small objects (actors, brushes, paths), each under a name of its
// own, with a few large ones (models, polygons) among them; the level's objects come first or
// last.
std::string mapBytes(unsigned seed) {
    namespace pkg = qv::pkg;
    pkg::PackageSpec spec;
    spec.needs = {"Engine", "Core", "Botpack", "UnrealShare", "UnrealI"};
    const pkg::DemoPicture p = pkg::demoPicture(seed);
    const pkg::MapFactsSpec facts{"Map " + std::to_string(seed), "Bench", "8-16", "Screenshot"};
    pkg::ExportSpec info = pkg::levelInfo(facts);
    info.data = std::string(1500, 'i');  // a LevelInfo's other properties
    const std::vector<pkg::ExportSpec> level = {
        pkg::levelSummary(facts), info, pkg::palette("Pal", p.palette),
        pkg::texture("Screenshot", 0, 256, 256, {p.pixels}, "Pal")};
    static constexpr const char* kClasses[] = {
        "Brush", "Light", "PlayerStart",   "PathNode", "Polys",
        "Model", "Mover", "InventorySpot", "ZoneInfo", "BlockAll"};
    const bool large = seed % 8 == 7;
    const unsigned objects = large ? 3000 : 700 + (seed * 37) % 600;
    for (unsigned i = 0; i < objects; ++i) {
        const std::string cls = kClasses[(i * 7 + seed) % 10];
        const unsigned hash = i * 7919 + seed * 31;
        const std::size_t size = i % 50 == 0 ? 2000 + hash % 6000 : 40 + hash % (large ? 700 : 300);
        spec.exports.push_back({cls, cls + std::to_string(i), std::string(size, 'x')});
    }
    // The level's objects first (right after the names) in one map of two, last in the other.
    spec.exports.insert(seed % 2 ? spec.exports.end() : spec.exports.begin(), level.begin(),
                        level.end());
    return pkg::writePackage(spec);
}

// Reads every map's facts, with the picture or without it (its size only, as info shows it),
// a fresh reader each, noting each map's reads; returns how many had a picture.
std::size_t readFacts(const std::vector<std::string>& paths, std::vector<Reads>& reads,
                      bool picture = true) {
    qv::FileSystem& fs = qv::realFileSystem();
    std::size_t pictures = 0;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        reads[i].clear();
        auto file = fs.openForReading(paths[i]);
        if (!file.ok()) continue;
        RecordingFile recorded(*file.value, reads[i]);
        qv::PackageReader reader;
        if (!reader.read(recorded, "map").ok()) continue;
        const qv::PackageContents c = qv::readContents(recorded, reader, {picture, nullptr, true});
        pictures += c.pictureWidth > 0;
    }
    return pictures;
}

// The floor: open each map, make its reads with pread, close it.
void readFloor(const std::vector<std::string>& paths, const std::vector<Reads>& reads,
               std::vector<char>& buffer) {
    for (std::size_t i = 0; i < paths.size(); ++i) {
        const int fd = ::open(paths[i].c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) continue;
        for (const auto& [at, n] : reads[i]) {
            if (buffer.size() < n) buffer.resize(n);
            (void)::pread(fd, buffer.data(), n, static_cast<off_t>(at));
        }
        ::close(fd);
    }
}

// Cold: each file's pages dropped from the page cache (its bytes flushed first, so the drop
// takes them all).
void dropFromPageCache(const std::vector<std::string>& paths) {
    for (const std::string& path : paths) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) continue;
        ::fdatasync(fd);
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
        ::close(fd);
    }
}

void printReads(const char* what, const std::vector<std::string>& paths,
                const std::vector<Reads>& reads, std::uint64_t totalSize) {
    std::size_t mostReads = 0;
    std::uint64_t bytes = 0;
    double mostShare = 0;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        std::uint64_t mine = 0;
        for (const auto& r : reads[i]) mine += r.second;
        bytes += mine;
        mostReads = std::max(mostReads, reads[i].size());
        mostShare =
            std::max(mostShare, static_cast<double>(mine) / std::filesystem::file_size(paths[i]));
    }
    std::printf("%-34s %zu\n", (std::string(what) + "_most_reads_per_map").c_str(), mostReads);
    std::printf("%-34s %.1f KiB a map, %.1f%% of all bytes, at most %.1f%% of a map\n",
                (std::string(what) + "_bytes_read").c_str(), bytes / 1024.0 / paths.size(),
                100.0 * bytes / totalSize, 100 * mostShare);
}

}  // namespace

int main(int argc, char** argv) {
    std::size_t maps = 79;
    bool keep = false;
    if (!qv::bench::readArguments(argc, argv, {{"--maps", &maps}}, 1, 100000, keep)) {
        std::fprintf(stderr, "Usage: quorvel-bench-maps [--maps N] [--keep]\n");
        return 2;
    }
    const std::string dir = qv::bench::makeScratchFolder("quorvel-bench-maps");
    if (dir.empty()) return 1;
    std::vector<std::string> paths;
    std::uint64_t totalSize = 0;
    for (std::size_t i = 0; i < maps; ++i) {
        paths.push_back(dir + "/Map" + std::to_string(i) + ".unr");
        const std::string bytes = mapBytes(static_cast<unsigned>(i));
        std::ofstream(paths.back(), std::ios::binary) << bytes;
        totalSize += bytes.size();
    }
    std::vector<Reads> reads(maps);
    std::vector<char> buffer(1 << 20);
    std::size_t pictures = readFacts(paths, reads);  // the reads the floor repeats
    qv::bench::Spent best, bestFloor, cold, coldFloor;
    for (int round = 0; round < 5; ++round) {
        best.least(qv::bench::spentOn([&] { pictures = readFacts(paths, reads); }));
        bestFloor.least(qv::bench::spentOn([&] { readFloor(paths, reads, buffer); }));
        dropFromPageCache(paths);
        cold.least(qv::bench::spentOn([&] { readFacts(paths, reads); }));
        dropFromPageCache(paths);
        coldFloor.least(qv::bench::spentOn([&] { readFloor(paths, reads, buffer); }));
    }
    std::uint64_t smallest = UINT64_MAX, largest = 0;
    for (const std::string& path : paths) {
        smallest = std::min<std::uint64_t>(smallest, std::filesystem::file_size(path));
        largest = std::max<std::uint64_t>(largest, std::filesystem::file_size(path));
    }
    std::printf("%-34s %zu, %.1f MiB (%.0f to %.0f KiB), %zu with a picture\n", "maps", maps,
                totalSize / 1048576.0, smallest / 1024.0, largest / 1024.0, pictures);
    std::printf("%-34s %.6f s (cpu %.6f s)\n", "map_facts", best.wall, best.cpu);
    std::printf("%-34s %.6f s (cpu %.6f s)\n", "map_facts_floor", bestFloor.wall, bestFloor.cpu);
    std::printf("%-34s %.3f\n", "map_facts/map_facts_floor", best.wall / bestFloor.wall);
    std::printf("%-34s %.6f s (cpu %.6f s)\n", "map_facts_cold", cold.wall, cold.cpu);
    std::printf("%-34s %.6f s (cpu %.6f s)\n", "map_facts_cold_floor", coldFloor.wall,
                coldFloor.cpu);
    std::printf("%-34s %.3f\n", "map_facts_cold/cold_floor", cold.wall / coldFloor.wall);
    printReads("map_facts", paths, reads, totalSize);
    (void)readFacts(paths, reads, false);
    printReads("map_facts_no_picture", paths, reads, totalSize);
    if (!keep) std::filesystem::remove_all(dir);
    return 0;
}
