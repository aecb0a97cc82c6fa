// An undo: its lines into cache.ini before any package moves, the moves back, and the index
// made to hold what it must once they are done.
#include "engine/run/undo.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>
#include <unordered_set>

#include "engine/cache/cache_lock.h"
#include "engine/cache/index_file.h"
#include "engine/engine_context.h"
#include "engine/run/run_journal.h"
#include "engine/run/run_log.h"
#include "engine/run/undo_plan.h"
#include "platform/dialogs.h"
#include "platform/paths.h"
#include "platform/textfile.h"
#include "settings/program_files.h"

namespace qv {

namespace {

using undo::Package;
using undo::Step;

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

// Reads the index before anything moves: one that cannot be read or replaced stops the undo. A
// missing index is no empty one: the cache folder may be on a disk not mounted now, or another
// folder than the run's.
Result<std::string> readReplaceableIndex(FileSystem& fs, const std::string& indexPath,
                                         Dialogs& dialogs) {
    Result<std::string> index = readWholeIndex(fs, indexPath);
    if (index.ok() && fs.exists(indexPath)) index.status = fs.canReplace(indexPath);
    if (!index.ok())
        dialogs.message(kProgramTitle, "CACHE.INI cannot be read or replaced (" +
                                           index.status.text + "); nothing was moved back.");
    return index;
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

    // `rewritten`: what a successful second write of the index says in place of its report, so
    // that the new index is announced once.
    bool replaceIndex(std::string text, bool keepBackup, const std::string& rewritten = {}) {
        const IndexReplacement replaced =
            replaceCacheIndex(ctx.fs, r.cacheDir, written, text, keepBackup);
        for (const std::string& line : replaced.carriedReport()) say(line);
        result.linesNotKept += replaced.notKept.size();
        if (!rewritten.empty() && replaced.index.ok() && !replaced.unchanged)
            say(rewritten);
        else
            for (const std::string& line : replaced.report(r.cacheDir)) say(line);
        if (replaced.index.ok()) written = std::move(text);
        return replaced.index.ok();
    }
};

// The lines go into the index before any package moves: no package is ever in the cache
// without its line.
void addLines(Undo& u, std::string index, const std::vector<std::string_view>& lines) {
    std::string text = indexWith(index, lines, u.added);
    u.result.linesAdded = u.added.size();
    u.written = std::move(index);
    // An index that holds every line already is as a replaced one would be; nothing is written.
    u.result.indexReplaced = u.result.linesAdded == 0 || u.replaceIndex(std::move(text), true);
    u.linesIn = std::chrono::steady_clock::now();
}

// Moves package `i` back when its step says so; counts and names what became of it.
void moveBack(Undo& u, std::size_t i) {
    FileSystem& fs = u.ctx.fs;
    UndoResult& result = u.result;
    const Package p(u.r, u.r.entries[i]);
    if (undo::stays(u.steps[i], p, result, u.sayer()) || u.steps[i] != Step::MoveBack) return;
    FileIdentity back;
    const Status moved = fs.moveListedFile(p.destination, p.cachePath, &back);
    // Replaced since it was looked at: it goes back to where it was and stays there.
    if (moved.ok() && p.e.landed && back.known() && !undo::sameAsLanded(back, p.e.identity) &&
        fs.moveNoReplace(p.cachePath, p.destination).ok()) {
        u.steps[i] = Step::Changed;
        u.dropped.insert(p.e.line);
        (void)undo::stays(u.steps[i], p, result, u.sayer());
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
            u.say(undo::takenText(p));
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
            ++u.result.copiedBack;
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

// cache.ini could not be read at all after the lines went in: whether the added lines whose
// package went back are still there is not known, and they count as not kept. False when there
// were any.
bool sayLinesUnknown(Undo& u, const Status& why) {
    std::size_t unknown = 0;
    for (const JournalEntry& e : u.r.entries)
        if (u.added.count(e.line) && !u.dropped.count(e.line)) ++unknown;
    if (unknown == 0) return true;
    u.say("CACHE.INI could not be read again (" + why.text + "): whether the " +
          counted(unknown, "line added to it is", "lines added to it are") +
          " still there is not known");
    u.result.linesNotKept += unknown;
    return false;
}

// The index as it must end: the lines added stay, but for those whose package could not go
// back. It is read again first. The game takes no lock, so a rewrite of its own that read the
// index before this undo's first replacement and wrote after it dropped the lines added: those
// go in again. Most often nobody wrote meanwhile and nothing is to leave: the index is then
// only compared as it streams past, not read into a second copy. That look comes no sooner than
// a short while after the lines went in: a rewrite already under way then has landed (a program
// that writes its own file and renames it over cache.ini cannot be seen while it does).
void reconcileIndex(Undo& u, const std::string& indexPath) {
    FileSystem& fs = u.ctx.fs;
    const auto unchanged = [&] {
        const Result<bool> same = fs.holdsExactly(indexPath, u.written);
        return same.ok() && same.value;
    };
    if (!u.result.indexReplaced || u.result.linesAdded == 0) return;
    std::this_thread::sleep_until(u.linesIn + indexWaits().quiet);
    if (u.dropped.empty() && unchanged()) return;
    if (Result<std::string> now = readWholeIndex(fs, indexPath, true); now.ok()) {
        u.written = std::move(now.value);
    } else if (const Result<std::string> plain = fs.readAll(indexPath); !plain.ok()) {
        if (!sayLinesUnknown(u, plain.status)) return;
    } else if (!nameLinesNotThere(u, plain.value)) {
        return;  // a writer that never lets the file settle: what it holds now is all we know
    }
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
    const std::string rewrittenLine =
        "CACHE.INI was written again: " +
        counted(left, "line whose package did not go back left it",
                "lines whose package did not go back left it") +
        (again > 0 ? ", " + counted(again, "line went in", "lines went in") + " once more" : "");
    const bool rewritten =
        left + again > 0 && u.replaceIndex(std::move(text), false, rewrittenLine);
    // Lines left again (a stop, a package that could not go back) were never really added.
    if (rewritten) u.result.linesAdded -= std::min(left, u.result.linesAdded);
}

// Says what the undo did, removes the folders it emptied and marks the run undone when it is.
void finish(Undo& u) {
    const UndoResult& result = u.result;
    if (result.stopped) u.say(stoppedLine(u.done, u.r.entries.size()));
    u.say(movedBackText(result) + ", " + counted(result.linesAdded, "line", "lines") +
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
        // History shows the run as partly undone once something went back.
        if (result.restored > 0 && !markPartlyUndone(u.ctx.fs, u.r.path, result.restored).ok())
            u.say("Run " + u.r.id + " could not be marked as partly undone");
        u.say("Run " + u.r.id + " is not completely undone; undo it again to finish.");
    }
}

// Where the undo writes its log, and the notes its log starts with.
struct UndoStart {
    const std::string& runLog;
    const std::string& unseenNote;  // the game could not be looked for (log only)
    const std::string& unlocked;    // the cache lock could not be taken
};

// The undo once nothing stops it, the cache lock held (or not to be had) and `index` read: the
// lines into the index, the packages back, the index as it must end, and the report. Done only
// once all of that went through; the counts say how much of it was done.
void undoUnderLock(const JournalRecord& r, std::string index, const UndoStart& start,
                   EngineContext& ctx, StatusSink& status, UndoResult& result) {
    FileSystem& fs = ctx.fs;
    RunLog log = StartRunLog(r.cacheDir, start.runLog, fs);
    if (start.unlocked.empty()) addLeftoverLogs(log, fs, parentFolder(r.path), r.cacheDir, {});
    Undo u{r, ctx, status, log, result, {}, {}, {}, {}, 0, {}, {}};
    log.line(undo::undoingLine(r));  // the status list has it already
    if (!start.unseenNote.empty()) log.line(start.unseenNote);
    if (!start.unlocked.empty()) u.say(start.unlocked);
    for (const std::string& text : removeLeftTempFiles(fs, {r.cacheDir})) u.say(text);
    // What a killed run moved without recording it goes into its journal before it moves back.
    for (std::size_t k : r.recovered) u.say(recoveredLandingLine(r, k));
    (void)recordLandingsFound(fs, r);

    std::vector<std::string> folders = r.folders;
    folders.insert(folders.begin(), r.cacheDir);
    struct HeldFolders {
        FileSystem& fs;
        ~HeldFolders() { fs.releaseFolders(); }
    } held{fs};
    fs.holdFolders(folders);

    undo::Assessment a = undo::assessAll(r, fs);
    u.steps = std::move(a.steps);
    u.spares = std::move(a.spares);
    addLines(u, std::move(index), a.lines);
    moveAllBack(u);
    fs.releaseFolders();
    reconcileIndex(u, joinPath(r.cacheDir, "cache.ini"));
    finish(u);
    result.outcome = UndoOutcome::Done;
    log.close();
    result.logWritten = log.written();
    status.addLine(log.statusLine());
}

}  // namespace

UndoResult UndoRun(const UndoRequest& request, EngineContext& ctx, StatusSink& status) {
    FileSystem& fs = ctx.fs;
    JournalRecord r;
    UndoResult result;
    if (!undo::pickJournal(request, fs, r, result)) return result;
    if (!undo::foldersAreAbsolute(r, ctx.dialogs)) {
        result.outcome = UndoOutcome::NotUndoable;
        return result;
    }
    const std::string indexPath = joinPath(r.cacheDir, "cache.ini");
    if (request.dryRun) {
        // An index the undo could not read or replace stops its dry run as it stops the undo.
        const Result<std::string> index = readReplaceableIndex(fs, indexPath, ctx.dialogs);
        if (!index.ok()) result.outcome = UndoOutcome::IndexUnreadable;
        return index.ok() ? undo::dryRun(r, index.value, fs, &status) : result;
    }

    result.runId = r.id;
    result.cacheDir = r.cacheDir;
    result.started = r.startedSeconds();
    // The first line names the run and its cache folder, before anything is asked or refused.
    status.addLine(undo::undoingLine(r));
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
    Result<std::string> index = readReplaceableIndex(fs, indexPath, ctx.dialogs);
    if (!index.ok()) {
        result.outcome = UndoOutcome::IndexUnreadable;
        return result;
    }
    const std::string runLog = programFiles(request.programFolder, fs).runLog;
    const std::string unlocked =
        lock.state() != CacheLock::State::Held ? lock.unlockedLine(r.cacheDir) : std::string();
    undoUnderLock(r, std::move(index.value), {runLog, unseenNote, unlocked}, ctx, status, result);
    return result;
}

std::string movedBackText(const UndoResult& r) {
    const std::size_t moved = r.restored - std::min(r.copiedBack, r.restored);
    std::string text =
        counted(moved, "package was", "packages were") + " moved back into the cache";
    if (r.copiedBack > 0)
        text += ", " +
                counted(r.copiedBack, "removed cache copy was", "removed cache copies were") +
                " copied back";
    return text;
}

Completion completionOf(const UndoResult& r) {
    // A dry run's counts are those the undo would end with.
    if (r.outcome != UndoOutcome::Done && r.outcome != UndoOutcome::DryRun)
        return Completion::Nothing;
    if (r.failed == 0 && r.stayed == 0 && r.unreachable == 0 && r.indexReplaced &&
        r.linesNotKept == 0 && r.logWritten && !r.stopped)
        return Completion::All;
    if (r.restored == 0 && r.linesAdded == 0) return Completion::Nothing;
    return Completion::Part;
}

}  // namespace qv
