#pragma once

#include <string>

namespace qv::test {

// Builds in `dir` a home with the game where players keep it on Linux (native install with its
// cache in ~/.utpg, Wine, Wow6432Node and 64-bit on D:, Steam library and Proton prefix), a
// folder without the game's files and a prefix with a broken drive link. Returns the home.
std::string makeGameHome(const std::string& dir);

// The games found there, most likely first, as quorvel-cli find-game lists them.
std::string expectedListing(const std::string& home);

}  // namespace qv::test
