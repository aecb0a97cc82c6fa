#pragma once

#include <string>
#include <vector>

namespace qv {
struct RunResult;
struct UndoResult;
struct PurgeResult;
enum class PurgeOutcome;
}  // namespace qv

namespace qv::cli {

// Exit statuses of quorvel-cli.
constexpr int kExitOk = 0;       // all done
constexpr int kExitFailed = 1;   // nothing done: the command failed or changed nothing
constexpr int kExitUsage = 2;    // bad arguments, or no game folder set
constexpr int kExitPartial = 3;  // done in part

// The one table of exit statuses: --help prints it, and the manual page and the README say the
// same words (a test holds them to it).
struct ExitRow {
    int status;
    const char* meaning;
};
const std::vector<ExitRow>& exitTable();
// The table as --help shows it, under "Exit status:".
std::string exitTableHelp();

// The status of each command's outcome, by the table. A dry run gets the status the command
// itself would end with.
int runExitStatus(const RunResult& r);
int purgeExitStatus(PurgeOutcome outcome, const PurgeResult& r);
int deleteTmpExitStatus(bool allDeleted, std::size_t deleted);
int undoExitStatus(const UndoResult& r);

// A command whose report could not be written to standard output (a closed pipe, a full disk):
// what changes things was at most done in part; what only prints did nothing.
int withOutputFailed(int status, bool changesThings);

}  // namespace qv::cli
