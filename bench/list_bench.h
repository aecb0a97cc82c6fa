#pragma once

#include <string>

namespace qv::bench {

// One listing by quorvel-cli, the best of its rounds: clock and processor seconds, and the
// process's peak resident memory (the largest of the rounds).
struct ListFigure {
    double wall = 1e30, cpu = 1e30, peakMiB = 0;
    bool measured = false;
};

// `quorvel-cli list` and `list --json` over `gameDir`, as a player runs them (a process each,
// its output thrown away), by `cli` (empty: the quorvel-cli beside this program). The game
// folder is set in a registry file of its own under `root`.
struct ListFigures {
    ListFigure list, json;
};
ListFigures listFigures(const std::string& cli, const std::string& root, const std::string& gameDir,
                        int rounds = 3);

}  // namespace qv::bench
