#pragma once

// The plan of an undo, which the undo and its dry run share: the journal it works on and what
// becomes of each package the run moved.

#include <functional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "engine/run/run_journal.h"
#include "engine/run/undo.h"

namespace qv {
class Dialogs;
}

namespace qv::undo {

// What becomes of one journalled package.
enum class Step {
    MoveBack,     // still the file the run put there
    AlreadyBack,  // an interrupted undo moved it back already
    Changed,      // something else is at its destination now
    Gone,         // moved or deleted since the run
    NotMoved,     // the run did not move it (its cache file is there, or nothing is anywhere)
    Unreachable,  // its destination's folder cannot be reached now (an unmounted disk)
};

// A package with its two paths, formed when its turn comes.
struct Package {
    const JournalEntry& e;
    std::string destination, cachePath;
    Package(const JournalRecord& r, const JournalEntry& entry)
        : e(entry), destination(r.destinationOf(entry)), cachePath(r.cacheFileOf(entry)) {}
    std::string_view realName() const;
};

// What becomes of package `p` of the journal `r`.
Step assess(const Package& p, const JournalRecord& r, FileSystem& fs);

// What the move back put into the cache is what the run put at the destination. A copy (across
// file systems) keeps only the size and the modification time, so only those are compared.
bool sameAsLanded(const FileIdentity& back, const FileIdentity& landed);

using Say = std::function<void(const std::string&)>;

// "<name> stays at <destination>: <cache file> is taken"
std::string takenText(const Package& p);

// Counts and names a package changed, moved or deleted since the run, or out of reach now; false
// for other steps.
bool stays(Step step, const Package& p, UndoResult& result, const Say& say);

// What becomes of each package of `r`, the lines that will be in the cache once they are back
// (a package taken back, a line the run dropped, a spare cache copy) and the spares to copy back.
struct Assessment {
    std::vector<Step> steps;
    std::vector<std::string_view> lines;
    std::vector<std::size_t> spares;  // of r.spares
};
Assessment assessAll(const JournalRecord& r, FileSystem& fs);

// The journal an undo works on, read whole into `picked` (a killed run's landings it could not
// record looked for, not yet recorded); false when there is none, and
// `result.outcome` says so (nothing to undo, undone already, not undoable). Without a run ID it
// is the last run on `request.cacheDir`; when there is none, `result` names the last run on
// another cache folder, if any.
bool pickJournal(const UndoRequest& request, FileSystem& fs, JournalRecord& picked,
                 UndoResult& result);

// "Undoing run ID of TIME on CACHE": the first line an undo and its dry run print.
std::string undoingLine(const JournalRecord& r);

// Lists what an undo of `r` would do, changing nothing, with `index` as cache.ini holds it now;
// lines go to `status` when given. The counts are those the undo would end with when nothing
// fails.
UndoResult dryRun(const JournalRecord& r, const std::string& index, FileSystem& fs,
                  StatusSink* status);

// A journal of an older version may hold a folder as it was typed: relative to a working
// folder that is not known now, so every path formed from it could be another one. Such a run
// is refused with a message.
bool foldersAreAbsolute(const JournalRecord& r, Dialogs& dialogs);

}  // namespace qv::undo
