#pragma once

#include <cstddef>
#include <string>

#include "bench/synthetic_game.h"

namespace qv::bench {

// What the main window does with a synthetic cache, offscreen.
struct WindowFigures {
    double fill = 0;  // the file list filled with every row of the scan, laid out
    std::size_t filledRows = 0;
    double run = 0;  // cmdRun_Click: the run with the Status list live, then the re-scan
    std::size_t statusLines = 0;  // lines in the Status list after the run
    std::size_t samples = 0;      // looks at the Status list while the run went on
    std::size_t liveSamples = 0;  // ... that found lines in it, fewer than at the end
    bool lastLineInView = false;  // the last line was in view when the run ended
    double runLongestWaitMs = 0;  // the event loop's longest wait during that run
    // A run on a file system that sleeps 20 ms per move: its packages, seconds, the event loop's
    // longest wait, and whether Stop was shown and enabled a second in.
    std::size_t slowPackages = 0;
    double slowRun = 0;
    double slowLongestWaitMs = 0;
    bool stopEnabledMidRun = false;
    // A run copying one large package to another file system: MiB that landed, seconds, and the
    // event loop's longest wait (all 0 when no other file system was at hand).
    std::size_t bigCopyMiB = 0;
    double bigCopy = 0;
    double bigCopyLongestWaitMs = 0;
};

// Loads the main window over `game` (its registry file in `root`), fills its file list and runs
// it. Returns false with a message on stderr when the window could not start.
bool measureWindow(const std::string& root, const SyntheticGame& game, WindowFigures& out);

}  // namespace qv::bench
