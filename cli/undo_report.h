#pragma once

#include <string>

#include "cli/commands.h"

namespace qv {
struct UndoResult;
}

namespace qv::cli {

// Says on the terminal why nothing was undone, or sums up a dry run, and returns the exit
// status. `cacheDir`: the cache folder in use, when the undo looked for its last run.
int undoReport(const Arguments& a, const std::string& cacheDir, const UndoResult& r,
               Environment& env);

}  // namespace qv::cli
