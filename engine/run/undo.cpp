#include "engine/run/undo.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>
#include <unordered_set>

#include "engine/cache/cache_entry.h"
#include "engine/cache/cache_lock.h"
#include "engine/cache/index_file.h"
#include "engine/engine_context.h"
#include "engine/run/placement.h"
#include "engine/run/run_journal.h"
#include "engine/run/run_log.h"
#include "platform/dialogs.h"
#include "platform/paths.h"
#include "platform/textfile.h"
#include "settings/program_files.h"

namespace qv {

namespace {

// What becomes of one journalled package.
enum class Step {
    MoveBack,     // still the file the run put there, or (a killed run) touched since it started
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
    std::string_view realName() const {
        return e.line.size() > kGuidLength + 1 ? std::string_view(e.line).substr(kGuidLength + 1)
                                               : std::string_view();
    }
};

// The file at the destination is still the one the run put there: an edit that keeps the size
// and the modification time still changes the status change time, a replacement the inode.
bool isLanded(const FileIdentity& now, const FileIdentity& landed) {
    return now.sameAs(landed) && (landed.ctimeNs == 0 || now.ctimeNs == landed.ctimeNs);
}

// `claimed`: the destinations an earlier package of a killed run answers for.
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

// What the move back put into the cache is what the run put at the destination. A copy (across
// file systems) keeps only the size and the modification time, so only those are compared.
bool sameAsLanded(const FileIdentity& back, const FileIdentity& landed) {
    return back.size == landed.size && back.mtimeNs == landed.mtimeNs;
}

std::string changedText(const Package& p) {
    return std::string(p.realName()) + " has changed since the run and stays at " + p.destination;
}

std::string goneText(const Package& p) {
    return std::string(p.realName()) + " is no longer at " + p.destination +
           " (moved or deleted since the run) and is left alone";
}

std::string takenText(const Package& p) {
    return std::string(p.realName()) + " stays at " + p.destination + ": " + p.cachePath +
           " is taken";
}

std::string unreachableText(const Package& p) {
    return std::string(p.realName()) + " cannot be reached at " + p.destination +
           " (its folder is missing or cannot be read) and stays for a later undo";
}

// Counts and names a package changed, moved or deleted since the run, or out of reach now; false
// for other steps.
template <class Say>
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

// The journal an undo works on, or why there is none.
UndoOutcome pickJournal(const std::string& programFolder, const std::string& runId, FileSystem& fs,
                        JournalRecord& picked) {
    const std::string folder = journalFolder(programFiles(programFolder, fs).runLog);
    for (JournalRecord& r : readJournals(fs, folder)) {
        // The last run that changed something: moved packages, dropped lines, made folders or
        // removed cache copies.
        if (runId.empty()
                ? (r.kind != "run" || r.undone || (r.planned + r.changes == 0 && r.spares.empty()))
                : r.id != runId)
            continue;
        if (r.kind != "run") return UndoOutcome::NotUndoable;
        if (r.undone) return UndoOutcome::AlreadyUndone;
        picked = JournalRecord{};
        return readJournal(fs, r.path, picked, true) ? UndoOutcome::Done : UndoOutcome::NotUndoable;
    }
    return UndoOutcome::NothingToUndo;
}

// Lists what an undo would do, changing nothing.
UndoResult dryRun(const JournalRecord& r, FileSystem& fs, StatusSink* status) {
    UndoResult result;
    result.outcome = UndoOutcome::DryRun;
    result.runId = r.id;
    result.cacheDir = r.cacheDir;
    const auto say = [&](const std::string& text) {
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
    return result;
}

// The index with `lines` added where it does not hold them yet, in its own line-end style;
// `added` receives the lines added.
std::string indexWith(const std::string& index, const std::vector<std::string_view>& lines,
                      std::unordered_set<std::string_view>& added) {
    std::unordered_set<std::string_view> present;
    for (std::string_view l : splitOwnLineViews(index)) present.insert(l);
    const char* eol = lineEndChars(detectLineEnd(index));
    std::string text = index.empty() ? std::string("[Cache]") + eol : index;
    if (text.back() != '\n' && text.back() != '\r') text += eol;
    for (std::string_view line : lines)
        if (!present.count(line) && added.insert(line).second) text.append(line).append(eol);
    return text;
}

// The folders the run made for its destinations, where they are empty now, the deepest first.
template <class Say>
void removeMadeFolders(const JournalRecord& r, FileSystem& fs, const Say& say) {
    for (auto it = r.madeFolders.rbegin(); it != r.madeFolders.rend(); ++it)
        if (fs.isFolder(*it) && fs.removeEmptyFolder(*it).ok())
            say("The empty folder " + *it + ", made by the run, was removed");
}

// A journal of an older version may hold a folder as it was typed: relative to a working
// folder that is not known now, so every path formed from it could be another one. Such a run
// is refused with a message.
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

// Reads the index before anything moves: one that cannot be read or replaced stops the undo. A
// missing index is no empty one: the cache folder may be on a disk not mounted now, or another
// folder than the run's.
bool readReplaceableIndex(FileSystem& fs, const std::string& indexPath, Dialogs& dialogs,
                          Result<std::string>& index) {
    index = readWholeIndex(fs, indexPath);
    Status replaceable = index.ok() ? Status::success() : index.status;
    if (replaceable.ok() && fs.exists(indexPath)) replaceable = fs.canReplace(indexPath);
    if (!replaceable.ok())
        dialogs.message(kProgramTitle, "CACHE.INI cannot be read or replaced (" + replaceable.text +
                                           "); nothing was moved back.");
    return replaceable.ok();
}

// One undo under way: its journal, what becomes of each package, and the index as it knows it.
struct Undo {
    const JournalRecord& r;
    EngineContext& ctx;
    StatusSink& status;
    RunLog& log;
    UndoResult& result;
    std::vector<Step> steps;
    std::string written;  // what cache.ini holds as far as this undo knows
    // The lines this undo adds: only those can leave the index again.
    std::unordered_set<std::string_view> added;
    // Lines this undo added whose package could not go back; they leave the index again.
    std::unordered_set<std::string> dropped;
    std::size_t done = 0;
    std::chrono::steady_clock::time_point linesIn;  // when the added lines went into cache.ini
    std::vector<std::size_t> spares;                // of r.spares, to copy back

    void say(const std::string& text) const {
        status.addLine(text);
        log.line(text);
    }
    auto sayer() const {
        return [this](const std::string& text) { say(text); };
    }

    bool replaceIndex(std::string text, bool keepBackup) {
        const IndexReplacement replaced =
            replaceCacheIndex(ctx.fs, r.cacheDir, written, text, keepBackup);
        for (const std::string& line : replaced.carriedReport()) say(line);
        result.linesNotKept += replaced.notKept.size();
        for (const std::string& line : replaced.report(r.cacheDir)) say(line);
        if (replaced.index.ok()) written = std::move(text);
        return replaced.index.ok();
    }
};

// What becomes of each package; returns the lines of those that will be in the cache.
std::vector<std::string_view> assessAll(Undo& u) {
    std::vector<std::string_view> lines;
    std::unordered_set<std::string> claimed;
    u.steps.reserve(u.r.entries.size());
    for (const JournalEntry& e : u.r.entries) {
        const Package p(u.r, e);
        u.steps.push_back(assess(p, u.r, u.ctx.fs, claimed));
        // A killed run's package still in the cache keeps (or gets back) its line too.
        if (u.steps.back() == Step::MoveBack || u.steps.back() == Step::AlreadyBack ||
            (u.steps.back() == Step::NotMoved && u.ctx.fs.exists(p.cachePath)))
            lines.push_back(p.e.line);
    }
    // The lines the run dropped for packages missing from the cache come back as they were.
    for (const std::string& line : u.r.droppedLines) lines.push_back(line);
    // A cache copy the run removed as spare comes back from its installed twin, with its line.
    u.spares = sparesToCopyBack(u.r, u.ctx.fs);
    for (std::size_t i : u.spares) lines.push_back(u.r.spares[i].first);
    return lines;
}

// The lines go into the index before any package moves: no package is ever in the cache
// without its line.
void addLines(Undo& u, std::string index, const std::vector<std::string_view>& lines) {
    u.result.indexReplaced = true;
    std::string text = indexWith(index, lines, u.added);
    u.result.linesAdded = u.added.size();
    u.written = std::move(index);
    if (u.result.linesAdded > 0) u.result.indexReplaced = u.replaceIndex(std::move(text), true);
    u.linesIn = std::chrono::steady_clock::now();
}

// Moves package `i` back when its step says so; counts and names what became of it.
void moveBack(Undo& u, std::size_t i) {
    FileSystem& fs = u.ctx.fs;
    UndoResult& result = u.result;
    const Package p(u.r, u.r.entries[i]);
    if (stays(u.steps[i], p, result, u.sayer()) || u.steps[i] != Step::MoveBack) return;
    FileIdentity back;
    const Status moved = fs.moveListedFile(p.destination, p.cachePath, &back);
    // Replaced since it was looked at: it goes back to where it was and stays there.
    if (moved.ok() && p.e.landed && back.known() && !sameAsLanded(back, p.e.identity) &&
        fs.moveNoReplace(p.cachePath, p.destination).ok()) {
        u.steps[i] = Step::Changed;
        u.dropped.insert(p.e.line);
        (void)stays(u.steps[i], p, result, u.sayer());
        return;
    }
    // On EEXIST: an interrupted undo's copy across file systems, when the cache holds these
    // very bytes already; otherwise the name is another package's, the line too.
    const auto copiedBefore = [&] {
        const Result<bool> same = fs.sameBytesInOtherFile(p.cachePath, p.destination);
        return same.ok() && same.value && fs.removeFile(p.destination).ok();
    };
    if (moved.ok() || (moved.code == EEXIST && copiedBefore())) {
        ++result.restored;
        u.say(p.destination + " was moved back to " + p.cachePath);
    } else if (moved.code == EEXIST) {
        u.dropped.insert(p.e.line);  // the cache file of that name is not this package
        if (p.e.landed) {            // else the run did not move it
            ++result.stayed;
            u.say(takenText(p));
        }
    } else {
        ++result.failed;
        u.dropped.insert(p.e.line);
        u.say(p.destination + " could NOT be moved back to " + p.cachePath + " (" + moved.text +
              ")");
    }
}

// Copies back the cache copies the run removed as spare; a stop leaves their lines again.
void copySparesBack(Undo& u) {
    for (std::size_t i : u.spares) {
        const auto& [line, installed] = u.r.spares[i];
        const std::string cache = spareCachePath(u.r, line);
        if (u.result.stopped || !u.result.indexReplaced) {
            u.dropped.insert(line);
            continue;
        }
        if (const Status copied = copySpareBack(u.r, i, u.ctx.fs); copied.ok()) {
            ++u.result.restored;
            u.say(installed + " was copied back to " + cache);
        } else {
            ++u.result.failed;
            u.dropped.insert(line);
            u.say(installed + " could NOT be copied back to " + cache + " (" + copied.text + ")");
        }
    }
}

void moveAllBack(Undo& u) {
    const std::size_t count = u.r.entries.size();
    u.status.progress(0, count);
    for (std::size_t i = 0; i < count && u.result.indexReplaced; ++i) {
        // A stop between packages: those not moved back leave the lines just added again.
        if (u.result.stopped || (u.result.stopped = u.ctx.stopRequested())) {
            if (u.steps[i] == Step::MoveBack) u.dropped.insert(u.r.entries[i].line);
            continue;
        }
        moveBack(u, i);
        u.status.progress(++u.done, count);
    }
    copySparesBack(u);
}

// The index as it must end: the lines added stay, but for those whose package could not go
// back. It is read again first. The game takes no lock, so a rewrite of its own that read the
// index before this undo's first replacement and wrote after it dropped the lines added: those
// go in again. Most often nobody wrote meanwhile and nothing is to leave: the index is then
// only compared as it streams past, not read into a second copy. That look comes no sooner than
// a short while after the lines went in: a rewrite already under way then has landed (a program
// that writes its own file and renames it over cache.ini cannot be seen while it does).
// Names the added lines `now` lacks as not kept; false when there were any.
bool nameLinesNotThere(Undo& u, const std::string& now) {
    std::unordered_set<std::string_view> present;
    for (std::string_view l : splitOwnLineViews(now)) present.insert(l);
    std::size_t missing = 0;
    for (const JournalEntry& e : u.r.entries)
        if (u.added.count(e.line) && !u.dropped.count(e.line) && !present.count(e.line))
            u.say(notKeptLine(e.line)), ++missing;
    u.result.linesNotKept += missing;
    return missing == 0;
}

void reconcileIndex(Undo& u, const std::string& indexPath) {
    FileSystem& fs = u.ctx.fs;
    const auto unchanged = [&] {
        const Result<bool> same = fs.holdsExactly(indexPath, u.written);
        return same.ok() && same.value;
    };
    if (!u.result.indexReplaced || u.result.linesAdded == 0) return;
    std::this_thread::sleep_until(u.linesIn + indexWaits().quiet);
    if (u.dropped.empty() && unchanged()) return;
    if (Result<std::string> now = readWholeIndex(fs, indexPath, true); now.ok())
        u.written = std::move(now.value);
    else if (!nameLinesNotThere(u, fs.readAll(indexPath).value))
        return;  // a writer that never lets the file settle: what it holds now is all we know
    const auto droppedLine = [&](std::string_view l) {
        return !u.dropped.empty() && u.added.count(l) && u.dropped.count(std::string(l));
    };
    std::string text;
    const char* eol = lineEndChars(detectLineEnd(u.written));
    std::unordered_set<std::string_view> present;
    std::size_t left = 0, again = 0;
    for (std::string_view l : splitOwnLineViews(u.written)) {
        if (droppedLine(l)) {
            ++left;
            continue;
        }
        text.append(l).append(eol);
        present.insert(l);
    }
    for (const JournalEntry& e : u.r.entries)
        if (u.added.count(e.line) && !droppedLine(e.line) && present.insert(e.line).second) {
            text.append(e.line).append(eol);
            ++again;
        }
    if (again > 0)
        u.say(std::to_string(again) +
              " lines added to CACHE.INI were gone again (the game rewrote it meanwhile) and "
              "are added once more");
    const bool rewritten = left + again > 0 && u.replaceIndex(std::move(text), false);
    // Lines left again (a stop, a package that could not go back) were never really added.
    if (rewritten) u.result.linesAdded -= std::min(left, u.result.linesAdded);
}

// Says what the undo did, removes the folders it emptied and marks the run undone when it is.
void finish(Undo& u) {
    const UndoResult& result = u.result;
    if (result.stopped) u.say(stoppedLine(u.done, u.r.entries.size()));
    u.say(counted(result.restored, "package was", "packages were") +
          " moved back into the cache, " + counted(result.linesAdded, "line", "lines") +
          " added to CACHE.INI; " + std::to_string(result.stayed) +
          (result.stayed == 1 ? " stays where it is" : " stay where they are") +
          (result.failed ? ", " + std::to_string(result.failed) + " could not be moved back" : "") +
          (result.unreachable ? ", " + std::to_string(result.unreachable) + " cannot be reached now"
                              : ""));
    removeMadeFolders(u.r, u.ctx.fs, u.sayer());
    if (result.failed == 0 && result.unreachable == 0 && result.indexReplaced && !result.stopped) {
        const Status marked = markUndone(u.ctx.fs, u.r.path);
        u.say(marked.ok()
                  ? "Run " + u.r.id + " is undone."
                  : "Run " + u.r.id + " could not be marked as undone (" + marked.text + ")");
    } else {
        u.say("Run " + u.r.id + " is not completely undone; undo it again to finish.");
    }
}

}  // namespace

UndoResult PreviewUndo(const std::string& programFolder, const std::string& runId, FileSystem& fs) {
    JournalRecord r;
    const UndoOutcome picked = pickJournal(programFolder, runId, fs, r);
    if (picked == UndoOutcome::Done) return dryRun(r, fs, nullptr);
    UndoResult result;
    result.outcome = picked;
    return result;
}

UndoResult UndoRun(const UndoRequest& request, EngineContext& ctx, StatusSink& status) {
    FileSystem& fs = ctx.fs;
    JournalRecord r;
    UndoResult result;
    result.outcome = pickJournal(request.programFolder, request.runId, fs, r);
    if (result.outcome != UndoOutcome::Done) return result;
    if (!foldersAreAbsolute(r, ctx.dialogs)) {
        result.outcome = UndoOutcome::NotUndoable;
        return result;
    }
    if (request.dryRun) return dryRun(r, fs, &status);

    result.runId = r.id;
    result.cacheDir = r.cacheDir;
    const std::string indexPath = joinPath(r.cacheDir, "cache.ini");
    std::vector<std::string> gameFolders = r.folders;
    gameFolders.insert(gameFolders.end(), {parentFolder(r.cacheDir), r.cacheDir});
    std::string unseenNote;
    if (!gameAllowsChanges(ctx, gameFolders, &status, &unseenNote)) {
        result.outcome = UndoOutcome::GameRunning;
        return result;
    }
    CacheLock lock(r.cacheDir);
    if (lock.busy()) {
        ctx.dialogs.message(kProgramTitle, kCacheBusyMessage);
        result.outcome = UndoOutcome::Busy;
        return result;
    }
    Result<std::string> index;
    if (!readReplaceableIndex(fs, indexPath, ctx.dialogs, index)) {
        result.outcome = UndoOutcome::IndexUnreadable;
        return result;
    }

    RunLog log = StartRunLog(r.cacheDir, programFiles(request.programFolder, fs).runLog, fs);
    Undo u{r, ctx, status, log, result, {}, {}, {}, {}, 0, {}, {}};
    u.say("Undoing run " + r.id + " of " + timeText(r.startedSeconds()) + " on " + r.cacheDir);
    if (!unseenNote.empty()) log.line(unseenNote);
    if (lock.state() != CacheLock::State::Held) u.say(lock.unlockedLine(r.cacheDir));
    for (const std::string& text : removeLeftTempFiles(fs, {r.cacheDir})) u.say(text);

    std::vector<std::string> folders = r.folders;
    folders.insert(folders.begin(), r.cacheDir);
    struct HeldFolders {
        FileSystem& fs;
        ~HeldFolders() { fs.releaseFolders(); }
    } held{fs};
    fs.holdFolders(folders);

    addLines(u, std::move(index.value), assessAll(u));
    moveAllBack(u);
    fs.releaseFolders();
    reconcileIndex(u, indexPath);
    finish(u);
    log.close();
    result.logWritten = log.written();
    status.addLine(log.statusLine());
    return result;
}

Completion completionOf(const UndoResult& r) {
    if (r.outcome == UndoOutcome::DryRun) return Completion::All;
    if (r.outcome != UndoOutcome::Done) return Completion::Nothing;
    if (r.failed == 0 && r.stayed == 0 && r.unreachable == 0 && r.indexReplaced &&
        r.linesNotKept == 0 && r.logWritten && !r.stopped)
        return Completion::All;
    if (r.restored == 0 && r.linesAdded == 0) return Completion::Nothing;
    return Completion::Part;
}

}  // namespace qv
