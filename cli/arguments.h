#pragma once

#include <optional>
#include <string>
#include <vector>

namespace qv::cli {

enum class Command {
    Help,
    List,
    Run,
    Purge,
    DeleteTmp,
    PurgeDays,
    SetGameDir,
    FindGame,
    Undo,
    History,
    Check,
    Info
};

// What the command line asked for; every optional field left empty keeps the stored choice.
struct Arguments {
    Command command = Command::Help;
    std::string helpText;  // Help: the text to print (--help of a command, or --version)

    // Selection: --all, or --only with the type letters given.
    std::optional<bool> selectAll;
    bool onlyU = false, onlyUAX = false, onlyUMX = false, onlyUNR = false, onlyUTX = false;

    // Placement: --to-types, --to-folder DIR, --to-tree DIR.
    enum class Target { Types, Folder, Tree };
    std::optional<Target> target;
    std::string targetDir;

    std::optional<std::string> cacheDir;  // --cache DIR

    bool yes = false;             // purge --yes
    bool evenIfGameRuns = false;  // run, purge, undo --even-if-game-runs
    bool dryRun = false;  // run, purge, delete-tmp --dry-run: say what would happen, change nothing
    bool json = false;    // list, find-game --json: one JSON document on standard output
    std::string value;    // purge-days N, set-game-dir DIR
    int found = 0;        // set-game-dir --found N: the N-th game find-game lists (from 1)
    bool restore = false;     // check --restore: put lost index lines back
    std::string runId;        // undo --run ID: the run to undo (empty: the last one not yet undone)
    bool facts = false;       // list --facts: maps' title, author and players
    std::string picturePath;  // info --picture OUT.png
};

struct ParseResult {
    Arguments args;
    std::string error;  // empty when the arguments were understood
    bool ok() const { return error.empty(); }
};

// Parses the words after the program name.
ParseResult parseArguments(const std::vector<std::string>& words);

// The text of --help: every command with its options, the environment and the exit statuses.
std::string usageText();

// Every command and, after it, each of its options' long and short names, as the parser knows
// them; the manual page and the shell completions are checked against this.
struct CommandWords {
    std::string command;
    std::vector<std::string> options;
};
std::vector<CommandWords> commandWords();

}  // namespace qv::cli
