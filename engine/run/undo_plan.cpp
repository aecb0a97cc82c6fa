// The plan of an undo: which journal, and what becomes of each of its packages (back, staying,
// out of reach), as the undo and its dry run both see it.
#include "engine/run/undo_plan.h"

#include <algorithm>
#include <cerrno>

#include "engine/cache/cache_entry.h"
#include "engine/cache/index_file.h"
#include "engine/cache/index_transaction.h"
#include "engine/engine_context.h"
#include "engine/run/placement.h"
#include "platform/dialogs.h"
#include "platform/paths.h"
#include "platform/textfile.h"
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

// An interrupted undo's copy across file systems: the cache holds these very bytes already.
bool copiedBefore(const Package& p, FileSystem& fs) {
    const Result<bool> same = fs.sameBytesInOtherFile(p.cachePath, p.destination);
    return same.ok() && same.value;
}

}  // namespace

std::string_view Package::realName() const {
    return e.line.size() > kGuidLength + 1 ? std::string_view(e.line).substr(kGuidLength + 1)
                                           : std::string_view();
}

Step assess(const Package& p, const JournalRecord& r, FileSystem& fs) {
    const JournalEntry& e = p.e;
    // Its M record would be there, or the look for a killed run's unrecorded landings (made
    // when the journal was picked) would have found it.
    if (!e.landed && (r.finished || r.settled)) return Step::NotMoved;
    // A journal edited by hand is held to the rules a run keeps.
    if (isUnsafeRealName(p.realName()) ||
        isUnsafeRealName(std::string_view(p.cachePath).substr(r.cacheDir.size() + 1)))
        return Step::NotMoved;
    const Result<FileIdentity> d = fs.identityOf(p.destination);
    if (d.ok() && e.landed && isLanded(d.value, e.identity)) return Step::MoveBack;
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

Assessment assessAll(const JournalRecord& r, FileSystem& fs) {
    Assessment a;
    a.steps.reserve(r.entries.size());
    for (const JournalEntry& e : r.entries) {
        const Package p(r, e);
        a.steps.push_back(assess(p, r, fs));
        // A killed run's package still in the cache keeps (or gets back) its line too.
        if (a.steps.back() == Step::MoveBack || a.steps.back() == Step::AlreadyBack ||
            (a.steps.back() == Step::NotMoved && fs.exists(p.cachePath)))
            a.lines.push_back(p.e.line);
    }
    // The lines the run dropped for packages missing from the cache come back as they were.
    for (const std::string& line : r.droppedLines) a.lines.push_back(line);
    // A cache copy the run removed as spare comes back from its installed twin, with its line.
    a.spares = sparesToCopyBack(r, fs);
    for (std::size_t i : a.spares) a.lines.push_back(r.spares[i].first);
    return a;
}

bool pickJournal(const UndoRequest& request, FileSystem& fs, JournalRecord& picked,
                 UndoResult& result) {
    const std::string folder = journalFolder(programFiles(request.programFolder, fs).runLog);
    for (JournalRecord& r : readJournals(fs, folder)) {
        // The last run that changed something: moved packages, dropped lines, made folders or
        // removed cache copies.
        const bool last =
            r.kind == "run" && !r.undone && (r.planned + r.changes > 0 || !r.spares.empty());
        if (request.runId.empty() ? !last : r.id != request.runId) continue;
        // Another cache folder's run is undone only when asked for by its ID.
        if (request.runId.empty() && !sameFolder(r.cacheDir, request.cacheDir, fs)) {
            if (result.elsewhereRunId.empty())
                result.elsewhereRunId = r.id, result.elsewhereCacheDir = r.cacheDir;
            continue;
        }
        if (r.kind != "run" || r.undone) {
            result.outcome =
                r.kind != "run" ? UndoOutcome::NotUndoable : UndoOutcome::AlreadyUndone;
            return false;
        }
        picked = JournalRecord{};
        if (readJournal(fs, r.path, picked, true)) {
            (void)lookForUnrecordedLandings(fs, picked);  // the undo records what it finds
            return true;
        }
        result.outcome = UndoOutcome::NotUndoable;
        return false;
    }
    result.outcome = UndoOutcome::NothingToUndo;
    return false;
}

std::string undoingLine(const JournalRecord& r) {
    return "Undoing run " + r.id + " of " + timeText(r.startedSeconds()) + " on " + r.cacheDir;
}

UndoResult dryRun(const JournalRecord& r, const std::string& index, FileSystem& fs,
                  StatusSink* status) {
    UndoResult result;
    result.runId = r.id;
    result.cacheDir = r.cacheDir;
    result.started = r.startedSeconds();
    const Say say = [&](const std::string& text) {
        if (status) status->addLine(text);
    };
    say(undoingLine(r) + " (dry run: nothing is changed)");
    for (std::size_t k : r.recovered) say(recoveredLandingLine(r, k));
    const Assessment a = assessAll(r, fs);
    std::unordered_set<std::string_view> taken;  // lines of packages whose cache name is taken
    for (std::size_t i = 0; i < r.entries.size(); ++i) {
        const Package p(r, r.entries[i]);
        if (stays(a.steps[i], p, result, say) || a.steps[i] != Step::MoveBack) continue;
        if (!fs.exists(p.cachePath) || copiedBefore(p, fs)) {
            ++result.restored;
            say("would move " + p.destination + " -> " + p.cachePath);
        } else {
            taken.insert(p.e.line);
            if (p.e.landed) {  // else the run did not move it
                ++result.stayed;
                say(takenText(p));
            }
        }
    }
    for (std::size_t i : a.spares) {
        ++result.restored;
        ++result.copiedBack;
        say("would copy " + r.spares[i].second + " -> " + spareCachePath(r, r.spares[i].first));
    }
    // The lines the undo would add to cache.ini: those it does not hold yet.
    std::unordered_set<std::string_view> present;
    for (std::string_view l : splitOwnLineViews(index)) present.insert(l);
    for (std::string_view line : a.lines)
        if (!taken.count(line) && present.insert(line).second) ++result.linesAdded;
    result.indexReplaced = result.logWritten = true;
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

bool sameFolder(const std::string& a, const std::string& b, FileSystem& fs) {
    const auto trimmed = [](std::string f) {
        while (f.size() > 1 && isSeparator(f.back())) f.pop_back();
        return f;
    };
    if (trimmed(a) == trimmed(b)) return true;
    const Result<FileIdentity> x = fs.identityOf(a), y = fs.identityOf(b);
    return x.ok() && y.ok() && x.value.known() && x.value.device == y.value.device &&
           x.value.inode == y.value.inode;
}

UndoResult PreviewUndo(const UndoRequest& request, FileSystem& fs) {
    JournalRecord r;
    UndoResult result;
    if (!undo::pickJournal(request, fs, r, result)) return result;
    // The packages it counts do not depend on the index; only the lines it would add do.
    const Result<std::string> index = readWholeIndex(fs, joinPath(r.cacheDir, "cache.ini"));
    return undo::dryRun(r, index.ok() ? index.value : std::string(), fs, nullptr);
}

}  // namespace qv
