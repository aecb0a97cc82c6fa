#include "cli/exit_status.h"

#include "engine/maintenance/maintenance.h"
#include "engine/run/run.h"
#include "engine/run/undo.h"

namespace qv::cli {

const std::vector<ExitRow>& exitTable() {
    static const std::vector<ExitRow> rows{
        {kExitOk,
         "all done: every package selected was moved or deleted, the cache index replaced and "
         "the run log written; also a run whose only work was to drop lines whose file is gone "
         "or to finish what a killed run left (the lines of the packages it moved dropped, "
         "CACHEBAK.INI restored, its temporary files removed)"},
        {kExitFailed,
         "nothing done: the command failed, had nothing to do (no package selected, no package "
         "in the index, an empty cache, no *.tmp files, no run to undo on the cache folder in use, "
         "a "
         "run undone already), or could move, delete or move back none of the packages; for a "
         "command that only prints, also a report that could "
         "not be written"},
        {kExitUsage,
         "a usage error (an unknown command or option, a missing value), or no game folder set "
         "or the one set is missing"},
        {kExitPartial,
         "done in part: some packages or files were not moved or deleted (a failure, "
         "a package checked by hand that the run keeps, for undo a package changed, moved or "
         "deleted since the run), "
         "the cache index, the run log or the settings store could not be written, the run was "
         "stopped, or its report "
         "could "
         "not be written to standard output"},
    };
    return rows;
}

std::string exitTableHelp() {
    std::string text;
    for (const ExitRow& row : exitTable()) {
        // Wrapped at 78 columns under the meaning's first word.
        std::string line = "  " + std::to_string(row.status) + "  ";
        const std::string indent(line.size(), ' ');
        const std::string meaning = row.meaning;
        for (std::size_t at = 0; at < meaning.size();) {
            std::size_t end = meaning.find(' ', at);
            if (end == std::string::npos) end = meaning.size();
            const std::string word = meaning.substr(at, end - at);
            if (line.size() + word.size() + 1 > 78 && line.size() > indent.size()) {
                text += line + '\n';
                line = indent;
            }
            line += (line.size() > indent.size() ? " " : "") + word;
            at = end + 1;
        }
        text += line + '\n';
    }
    return text +
           "  A dry run (-n) ends with the status the command itself would (a purge's question\n"
           "  taken as answered Yes).\n";
}

int runExitStatus(const RunResult& r) {
    // Putting in order what an interrupted run left is all there was to do: done.
    if (r.outcome == RunOutcome::Completed && r.nothingToDo && r.repaired) return kExitOk;
    // Dropping the lines of packages whose file is gone is work done, not a part left undone.
    if (r.outcome != RunOutcome::Completed || (r.moved == 0 && r.missing == 0)) return kExitFailed;
    const bool whole =
        !r.stopped && r.failed == 0 && r.kept == 0 && completionOf(r) == Completion::All;
    return whole ? kExitOk : kExitPartial;
}

int purgeExitStatus(PurgeOutcome outcome, const PurgeResult& r) {
    // A line lost to another writer (the game) is a change not done in full, never nothing.
    if (outcome != PurgeOutcome::Done ||
        (r.deleted == 0 && r.linesDropped == 0 && r.linesNotKept == 0))
        return kExitFailed;
    return r.failed == 0 && r.indexReplaced && !r.stopped ? kExitOk : kExitPartial;
}

int deleteTmpExitStatus(bool allDeleted, std::size_t deleted) {
    if (deleted == 0) return kExitFailed;
    return allDeleted ? kExitOk : kExitPartial;
}

int undoExitStatus(const UndoResult& r) {
    // A dry run counts what the undo would do, so it ends as the undo would.
    switch (completionOf(r)) {
        case Completion::All:
            return kExitOk;
        case Completion::Part:
            return kExitPartial;
        case Completion::Nothing:
            break;
    }
    return kExitFailed;
}

int withOutputFailed(int status, bool changesThings) {
    if (!changesThings) return status == kExitUsage ? status : kExitFailed;
    return status == kExitOk ? kExitPartial : status;
}

}  // namespace qv::cli
