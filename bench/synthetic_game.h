#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qv::bench {

// A synthetic program folder and game folder with a download cache of `entries` packages.
struct SyntheticGame {
    std::string programFolder;  // Quorvel.ini, QuorvelDontMove.ini
    std::string gameDir;        // without a trailing separator
    std::string cacheDir;
    // Every cache file is laid out alike: its tables from tablesAt to its end, its objects (a
    // hole on disk, never read) before them.
    std::uint64_t tablesAt = 0, fileSize = 0;
};

// The real names of the mix: mostly maps and textures, some sounds, music and code, a few
// unknown types, names listed twice under two GUIDs, and names on the never-move list.
std::vector<std::string> syntheticRealNames(std::size_t entries);
std::vector<std::string> syntheticNeverMoveNames();

// The GUID of the i-th package (index order), the same in every game folder.
std::string syntheticGuid(std::size_t i);

// Writes the program folder (once) and a game folder named `gameName` under `root`, each cache
// file a package of real-like size and tables (about 200 KiB, 40 objects, its objects a hole), and
// the game's own packages (the never-move names) in its System folder. Returns false with a message
// on stderr when a file cannot be written.
bool writeProgramFolder(const std::string& root, SyntheticGame& game);
bool writeGameFolder(const std::string& root, const std::string& gameName,
                     const std::vector<std::string>& realNames, SyntheticGame& game);

}  // namespace qv::bench
