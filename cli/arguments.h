#pragma once

#include <optional>
#include <string>
#include <vector>

namespace qv::cli {

enum class Command { Help, List, Run, Purge, DeleteTmp, PurgeDays, SetGameDir, FindGame };

// What the command line asked for; every optional field left empty keeps the stored choice.
struct Arguments {
    Command command = Command::Help;

    // Selection: --all, or --only with the type letters given.
    std::optional<bool> selectAll;
    bool onlyU = false, onlyUAX = false, onlyUMX = false, onlyUNR = false, onlyUTX = false;

    // Placement: --to-types, --to-folder DIR, --to-tree DIR.
    enum class Target { Types, Folder, Tree };
    std::optional<Target> target;
    std::string targetDir;

    std::optional<std::string> cacheDir;  // --cache DIR

    bool yes = false;   // purge --yes
    std::string value;  // purge-days N, set-game-dir DIR
    int found = 0;      // set-game-dir --found N: the N-th game find-game lists (from 1)
};

struct ParseResult {
    Arguments args;
    std::string error;  // empty when the arguments were understood
    bool ok() const { return error.empty(); }
};

// Parses the words after the program name.
ParseResult parseArguments(const std::vector<std::string>& words);

// The text of --help.
std::string usageText();

}  // namespace qv::cli
