// quorvel-bench-finder [--entries N] [--prefixes P] [--registry-kb K] [--keep]: builds a home
// with N entries in ~/Games (folders of other games, a few files each, and loose files) and P
// Proton prefixes with registries of K KiB (10 MiB unless told) and the folders Wine makes in
// drive_c, one with the game under its key and one with a copy put there without a key, and
// times the search for the game over it (the best of three, warm), by the clock and in
// processor time, with the folder listings and file reads it made.

#include <stdio.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "bench/bench_common.h"
#include "platform/forwarding_filesystem.h"
#include "settings/game_finder.h"

namespace {

using Clock = std::chrono::steady_clock;

using qv::bench::cpuSeconds;

// Counts what the search asks of the file system.
class CountingFileSystem final : public qv::ForwardingFileSystem {
  public:
    using ForwardingFileSystem::ForwardingFileSystem;
    qv::Status forEachEntry(
        const std::string& f,
        const std::function<void(std::string_view, qv::EntryKind)>& e) override {
        ++listings;
        return inner_.forEachEntry(f, e);
    }
    qv::Result<std::vector<std::string>> listFolders(const std::string& f) override {
        ++listings;
        return inner_.listFolders(f);
    }
    qv::Result<std::vector<qv::FileInfo>> listFiles(const std::string& f,
                                                    const std::string& p) override {
        ++listings;
        return inner_.listFiles(f, p);
    }
    qv::Result<std::string> readPlainFile(const std::string& p, std::size_t max) override {
        ++reads;
        return inner_.readPlainFile(p, max);
    }
    qv::Result<std::string> readAll(const std::string& p) override {
        ++reads;
        return inner_.readAll(p);
    }
    std::size_t listings = 0, reads = 0;
};

void put(const std::string& path, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

// A registry of about `bytes` as Wine writes one: many keys of a few values each.
std::string wineRegistry(std::size_t bytes, bool withGame) {
    std::string text = "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n";
    for (std::size_t i = 0; text.size() < bytes; ++i)
        text += "[Software\\\\Classes\\\\CLSID\\\\{" + std::to_string(100000000 + i) +
                "-0000-0000-C000-000000000046}] 1700000000\n#time=1d9e5c1a2b3c4d5\n"
                "@=\"Some Component\"\n\"ThreadingModel\"=\"Both\"\n\n";
    if (withGame)
        text +=
            "[Software\\\\Wow6432Node\\\\Unreal Technology\\\\Installed Apps\\\\"
            "UnrealTournament] 1700000000\n\"Folder\"=\"C:\\\\UT\"\n";
    return text;
}

// The folders Wine makes in a new prefix's drive_c, and a few a player's programs add.
void wineFolders(const std::string& driveC) {
    for (const char* programs : {"/Program Files", "/Program Files (x86)"})
        for (const char* dir : {"Common Files", "Internet Explorer", "Windows Media Player",
                                "Windows NT", "Steam", "Mozilla Firefox"})
            std::filesystem::create_directories(driveC + programs + "/" + dir);
    for (const char* dir : {"ProgramData/Microsoft", "users/steamuser/Documents", "users/Public",
                            "users/steamuser/Games", "Program Files (x86)/GOG Galaxy/Games",
                            "windows/system32/drivers", "windows/syswow64", "windows/system",
                            "windows/Fonts", "windows/Microsoft.NET"})
        std::filesystem::create_directories(driveC + "/" + dir);
}

void buildHome(const std::string& h, std::size_t entries, std::size_t prefixes,
               std::size_t registryBytes) {
    for (std::size_t i = 0; i < entries; ++i) {
        const std::string name = h + "/Games/game-" + std::to_string(i);
        if (i % 5 == 4) {
            put(name + ".tar.gz", "");
            continue;
        }
        put(name + "/start.sh", "#!/bin/sh\n");
        put(name + "/README.txt", "");
        put(name + "/data/pak0.pak", "");
    }
    put(h + "/Games/ut/System64/ut-bin-amd64", "");
    put(h + "/.utpg/System/UnrealTournament.ini", "[Core.System]\nCachePath=../Cache\n");
    put(h + "/.utpg/Cache/cache.ini", "[Cache]\n");
    const std::string steam = h + "/.local/share/Steam/steamapps";
    for (std::size_t p = 0; p < prefixes; ++p) {
        const std::string pfx = steam + "/compatdata/" + std::to_string(13000 + p) + "/pfx";
        put(pfx + "/system.reg", wineRegistry(registryBytes, p == prefixes / 2));
        wineFolders(pfx + "/drive_c");
    }
    const std::string ut =
        steam + "/compatdata/" + std::to_string(13000 + prefixes / 2) + "/pfx/drive_c/UT";
    put(ut + "/System/UnrealTournament.ini", "[Core.System]\nCachePath=..\\Cache\n");
    put(ut + "/Cache/cache.ini", "[Cache]\n");
    put(steam + "/compatdata/13000/pfx/drive_c/Games/UT/System/UnrealTournament.exe", "");
}

int usage() {
    std::cerr << "Usage: quorvel-bench-finder [--entries N] [--prefixes P] [--registry-kb K] "
                 "[--keep]\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::size_t entries = 10000, prefixes = 40, registryKb = 10240;
    bool keep = false;
    if (!qv::bench::readArguments(
            argc, argv,
            {{"--entries", &entries}, {"--prefixes", &prefixes}, {"--registry-kb", &registryKb}}, 0,
            1000000, keep))
        return usage();
    const std::string home = qv::bench::makeScratchFolder("quorvel-finder");
    if (home.empty()) return 1;
    std::cerr << "quorvel-bench-finder: " << entries << " entries in ~/Games, " << prefixes
              << " prefixes of " << registryKb << " KiB in " << home << '\n';
    buildHome(home, entries, prefixes, registryKb << 10);

    qv::GameSearch where;
    where.home = home;
    where.systemRoot = home;
    double wall = 1e30, cpu = 1e30;
    std::size_t found = 0, listings = 0, reads = 0;
    for (int round = 0; round < 4; ++round) {  // the first warms the page cache
        CountingFileSystem fs(qv::realFileSystem());
        const double cpu0 = cpuSeconds();
        const auto start = Clock::now();
        found = qv::findGames(where, fs).size();
        const double w = std::chrono::duration<double>(Clock::now() - start).count();
        const double c = cpuSeconds() - cpu0;
        if (round > 0) wall = std::min(wall, w), cpu = std::min(cpu, c);
        listings = fs.listings, reads = fs.reads;
    }
    std::printf("%-34s %zu\n", "finder_games_found", found);
    std::printf("%-34s %.3f\n", "finder_wall", wall);
    std::printf("%-34s %.3f\n", "finder_cpu", cpu);
    std::printf("%-34s %zu\n", "finder_listings", listings);
    std::printf("%-34s %.3f\n", "finder_listings_per_games_entry",
                entries ? static_cast<double>(listings) / static_cast<double>(entries) : 0.0);
    std::printf("%-34s %zu\n", "finder_file_reads", reads);
    if (!keep) std::filesystem::remove_all(home);
    return found == (prefixes > 0 ? 3u : 1u) ? 0 : 1;
}
