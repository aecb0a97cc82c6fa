// What an undo ends with on the terminal: why nothing was undone, or the dry run's summary.
#include "cli/undo_report.h"

#include "engine/engine_context.h"
#include "engine/run/undo.h"
#include "platform/line_writer.h"

namespace qv::cli {

namespace {
constexpr char kProg[] = "quorvel-cli: ";
}  // namespace

int undoReport(const Arguments& a, const std::string& cacheDir, const UndoResult& r,
               Environment& env) {
    LineWriter out(env.out), err(env.err);
    // "the last run" or "run ID", as the user named it.
    const Fixed run{a.runId.empty() ? "the last run" : "run "};
    const Name id{a.runId};
    switch (r.outcome) {
        case UndoOutcome::NothingToUndo:
            if (!a.runId.empty()) {
                err.line(kProg, "there is no run ", id, " (see 'quorvel-cli history')");
            } else {
                err.line(kProg, "there is no run to undo on ", Name{cacheDir});
                if (!r.elsewhereRunId.empty())
                    err.line("The last run not undone is run ", Name{r.elsewhereRunId}, " on ",
                             Name{r.elsewhereCacheDir}, "; undo it with: quorvel-cli undo --run ",
                             Name{r.elsewhereRunId});
            }
            return kExitFailed;
        case UndoOutcome::AlreadyUndone:
            err.line(kProg, run, id, " was undone already; nothing to do");
            return kExitFailed;
        case UndoOutcome::NotUndoable:
            err.line(kProg, run, id,
                     " cannot be undone (a purge, or a journal that cannot be read)");
            return kExitFailed;
        case UndoOutcome::DryRun:
            out.text(Fixed{counted(r.restored - r.copiedBack, "package", "packages")},
                     " would go back into ", Name{r.cacheDir});
            if (r.copiedBack > 0)
                out.text(", ",
                         Fixed{counted(r.copiedBack, "removed cache copy", "removed cache copies")},
                         " would be copied back");
            // The lines it puts back, the dropped lines of packages missing from the cache among
            // them: a run that only dropped lines is undone by them alone.
            out.text(", ", Fixed{counted(r.linesAdded, "line", "lines")},
                     " would be added to CACHE.INI");
            out.text("; ", r.stayed, " would stay where they are");
            if (r.unreachable > 0) out.text(", ", r.unreachable, " cannot be reached now");
            out.line();
            return undoExitStatus(r);
        case UndoOutcome::Busy:
        case UndoOutcome::GameRunning:
        case UndoOutcome::IndexUnreadable:
        case UndoOutcome::NotDone:
            return kExitFailed;  // the message is on stderr
        case UndoOutcome::Done:
            break;
    }
    return undoExitStatus(r);
}

}  // namespace qv::cli
