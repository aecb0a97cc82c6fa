#pragma once

#include <string>

namespace qv::test {

// A file with its folders.
void put(const std::string& path, const std::string& text);
// A game's UnrealTournament.ini naming its cache folder, and that folder with `n` packages
// (and a line without its cache file).
void game(const std::string& ini, const std::string& cachePath, const std::string& cacheDir,
          unsigned n);
// A Wine prefix whose system.reg names the game's folder under `key` (spelled as in the file);
// its dosdevices link `drive` points to `target`.
void prefix(const std::string& pfx, const std::string& key, const std::string& folder,
            const std::string& drive, const std::string& target);
// `text` with each "@" replaced by `home`.
std::string withHome(std::string text, const std::string& home);

// Builds in `dir` a home with the game where players keep it on Linux (native install with its
// cache in ~/.utpg, Wine, Wow6432Node and 64-bit on D:, Steam library and Proton prefix), a
// folder without the game's files and a prefix with a broken drive link. Returns the home.
std::string makeGameHome(const std::string& dir);

// The games found there, most likely first, as quorvel-cli find-game lists them.
std::string expectedListing(const std::string& home);

}  // namespace qv::test
