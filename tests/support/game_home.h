#pragma once

#include <string>

namespace qv::test {

// Builds in `dir` a home holding the game where players keep it on Linux: a native install
// with its cache in ~/.utpg, a Wine prefix, one with the key under Wow6432Node and a 64-bit
// game on D:, a Steam library from libraryfolders.vdf with a copy and a Proton prefix; and,
// not to be counted, a folder without the game's files and a prefix with a broken drive link.
// Returns the home, links resolved.
std::string makeGameHome(const std::string& dir);

// The games found there, most likely first, as quorvel-cli find-game lists them.
std::string expectedListing(const std::string& home);

}  // namespace qv::test
