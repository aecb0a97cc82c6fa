// The plan of an undo: which journal, and what becomes of each of its packages (back, staying,
// out of reach), as the undo and its dry run both see it.
#include "engine/run/undo_plan.h"

#include <algorithm>
#include <cerrno>

#include "engine/cache/cache_entry.h"
#include "engine/engine_context.h"
#include "engine/run/placement.h"
#include "platform/dialogs.h"
#include "platform/paths.h"
#include "settings/program_files.h"

namespace qv::undo {

namespace {

// The file at the destination is still the one the run put there: an edit that keeps the size
// and the modification time still changes the status change time, a replacement the inode.
bool isLanded(const FileIdentity& now, const FileIdentity& landed) {
    return now.sameAs(landed) && (landed.ctimeNs == 0 || now.ctimeNs == landed.ctimeNs);
}

std::string changedText(const Package& p) {
    return std::string(p.realName()) + " has changed since the run and stays at " + p.destination;
}

std::string goneText(const Package& p) {
    return std::string(p.realName()) + " is no longer at " + p.destination +
           " (moved or deleted since the run) and is left alone";
}

std::string unreachableText(const Package& p) {
    return std::string(p.realName()) + " cannot be reached at " + p.destination +
           " (its folder is missing or cannot be read) and stays for a later undo";
}

}  // namespace

std::string_view Package::realName() const {
    return e.line.size() > kGuidLength + 1 ? std::string_view(e.line).substr(kGuidLength + 1)
                                           : std::string_view();
}

Step assess(const Package& p, const JournalRecord& r, FileSystem& fs,
            std::unordered_set<std::string>& claimed) {
    const JournalEntry& e = p.e;
    if (!e.landed && r.finished) return Step::NotMoved;  // its M record would be there
    // A journal edited by hand is held to the rules a run keeps.
    if (isUnsafeRealName(p.realName()) ||
        isUnsafeRealName(std::string_view(p.cachePath).substr(r.cacheDir.size() + 1)))
        return Step::NotMoved;
    const Result<FileIdentity> d = fs.identityOf(p.destination);
    // A killed run may have moved a package without saying what landed: a file whose status
    // changed after the run started, at a destination no earlier package had, is taken for it.
    const bool first = r.finished || claimed.insert(p.destination).second;
    if (d.ok() &&
        (e.landed ? isLanded(d.value, e.identity) : first && d.value.ctimeNs >= r.startedNs))
        return Step::MoveBack;
    // Neither gone nor changed can be told of a folder that is not there, or cannot be read.
    if (!d.ok() && d.status.code != EINVAL &&
        (d.status.code != ENOENT || !fs.isFolder(parentFolder(p.destination))))
        return Step::Unreachable;
    if (!e.landed) return Step::NotMoved;
    if (d.status.code != ENOENT) return Step::Changed;
    const Result<FileIdentity> c = fs.identityOf(p.cachePath);
    if (c.ok() && c.value.size == e.identity.size && c.value.mtimeNs == e.identity.mtimeNs)
        return Step::AlreadyBack;
    return Step::Gone;
}

bool sameAsLanded(const FileIdentity& back, const FileIdentity& landed) {
    return back.size == landed.size && back.mtimeNs == landed.mtimeNs;
}

std::string takenText(const Package& p) {
    return std::string(p.realName()) + " stays at " + p.destination + ": " + p.cachePath +
           " is taken";
}

bool stays(Step step, const Package& p, UndoResult& result, const Say& say) {
    if (step == Step::Unreachable) {
        ++result.unreachable;
        say(unreachableText(p));
        return true;
    }
    if (step != Step::Changed && step != Step::Gone) return false;
    ++result.stayed;
    say(step == Step::Changed ? changedText(p) : goneText(p));
    return true;
}

bool pickJournal(const std::string& programFolder, const std::string& runId, FileSystem& fs,
                 JournalRecord& picked, UndoOutcome& why) {
    const std::string folder = journalFolder(programFiles(programFolder, fs).runLog);
    for (JournalRecord& r : readJournals(fs, folder)) {
        // The last run that changed something: moved packages, dropped lines, made folders or
        // removed cache copies.
        if (runId.empty()
                ? (r.kind != "run" || r.undone || (r.planned + r.changes == 0 && r.spares.empty()))
                : r.id != runId)
            continue;
        if (r.kind != "run" || r.undone) {
            why = r.kind != "run" ? UndoOutcome::NotUndoable : UndoOutcome::AlreadyUndone;
            return false;
        }
        picked = JournalRecord{};
        if (readJournal(fs, r.path, picked, true)) return true;
        why = UndoOutcome::NotUndoable;
        return false;
    }
    why = UndoOutcome::NothingToUndo;
    return false;
}

UndoResult dryRun(const JournalRecord& r, FileSystem& fs, StatusSink* status) {
    UndoResult result;
    result.runId = r.id;
    result.cacheDir = r.cacheDir;
    const Say say = [&](const std::string& text) {
        if (status) status->addLine(text);
    };
    std::unordered_set<std::string> claimed;
    for (const JournalEntry& e : r.entries) {
        const Package p(r, e);
        const Step step = assess(p, r, fs, claimed);
        if (stays(step, p, result, say) || step != Step::MoveBack) continue;
        if (!fs.exists(p.cachePath)) {
            ++result.restored;
            say("would move " + p.destination + " -> " + p.cachePath);
        } else if (p.e.landed) {  // else the run did not move it
            ++result.stayed;
            say(takenText(p));
        }
    }
    for (std::size_t i : sparesToCopyBack(r, fs)) {
        ++result.restored;
        say("would copy " + r.spares[i].second + " -> " + spareCachePath(r, r.spares[i].first));
    }
    result.outcome = UndoOutcome::DryRun;
    return result;
}

bool foldersAreAbsolute(const JournalRecord& r, Dialogs& dialogs) {
    const auto relative = [](const std::string& f) { return !isAbsolutePath(f); };
    if (!relative(r.cacheDir) && std::none_of(r.folders.begin(), r.folders.end(), relative))
        return true;
    dialogs.message(kProgramTitle, "Run " + r.id +
                                       " names its folders relative to where it was "
                                       "started (" +
                                       r.cacheDir + "); it cannot be undone safely.");
    return false;
}

}  // namespace qv::undo

namespace qv {

UndoResult PreviewUndo(const std::string& programFolder, const std::string& runId, FileSystem& fs) {
    JournalRecord r;
    UndoResult result;
    if (undo::pickJournal(programFolder, runId, fs, r, result.outcome))
        return undo::dryRun(r, fs, nullptr);
    return result;
}

}  // namespace qv
