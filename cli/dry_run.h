#pragma once

#include "cli/commands.h"

namespace qv::cli {

// run, purge or delete-tmp with --dry-run: the command runs over a file system that changes
// nothing and a copy of the registry file, its questions answered Yes; prints the files it would
// move, delete or create, and where. The command's own report, which describes changes as made,
// is shown (on standard error) only when the command would not end with all done.
int runDryRun(const Arguments& args, Environment& env);

}  // namespace qv::cli
