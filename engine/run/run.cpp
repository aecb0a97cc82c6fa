#include "engine/run/run.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "engine/cache/cache_entry.h"
#include "engine/cache/cache_lock.h"
#include "engine/cache/index_file.h"
#include "engine/cache/package_screen.h"
#include "engine/engine_context.h"
#include "engine/public_variables.h"
#include "engine/run/placement.h"
#include "engine/run/run_journal.h"
#include "engine/run/run_log.h"
#include "engine/run/run_plan.h"
#include "engine/run/run_settings.h"
#include "platform/ascii.h"
#include "platform/dialogs.h"
#include "platform/filesystem.h"
#include "platform/paths.h"
#include "platform/textfile.h"
#include "settings/program_files.h"

namespace qv {

namespace {

// On Linux a destination is a full folder path; a relative one would depend on where the program
// was started.
constexpr const char* kFullPathMessage =
    "You must select a full folder path (example - /home/you/ut-packages)";

bool isFullFolderPath(const std::string& text) {
    const std::string path = toNativeSeparators(text);
    return isAbsolutePath(path);
}

// Creates `path` when nothing of that name exists; says why when that fails.
bool ensureFolder(const std::string& path, EngineContext& ctx) {
    if (ctx.fs.exists(path)) return true;
    const Status made = ctx.fs.makeFolder(path);
    if (made.ok()) return true;
    ctx.dialogs.message(kProgramTitle,
                        "Could not create the folder " + path + " (" + made.text + ")");
    return false;
}

}  // namespace

// Stored settings can have no mode chosen at all; that is the type-folder mode, never a folder
// tree rooted at an empty text.
PlacementMode modeOf(const Options& o) {
    if (o.MoveNorm) return PlacementMode::TypeFolders;
    if (o.MoveDir) return PlacementMode::OneFolder;
    if (o.MoveDir2) return PlacementMode::FolderTree;
    return PlacementMode::TypeFolders;
}

Completion completionOf(const RunResult& r) {
    if (r.outcome != RunOutcome::Completed || r.nothingToDo) return Completion::Nothing;
    if (r.stopped) return r.moved == 0 ? Completion::Nothing : Completion::Part;
    if (r.failed == 0 && r.indexReplaced && r.logWritten) return Completion::All;
    if (r.moved == 0 && (r.failed > 0 || !r.indexReplaced)) return Completion::Nothing;
    return Completion::Part;
}

bool PrepareRun(Options& options, EngineContext& ctx, bool* checksPassed) {
    if (checksPassed) *checksPassed = false;
    if ((options.MoveDir && !isFullFolderPath(options.MoveDirText)) ||
        (options.MoveDir2 && !isFullFolderPath(options.MoveDir2Text))) {
        ctx.dialogs.message(kProgramTitle, kFullPathMessage);
        return false;
    }
    if (checksPassed) *checksPassed = true;

    // The root folder keeps its only separator: without it the folder would have no name.
    for (std::string* text : {&options.MoveDirText, &options.MoveDir2Text}) {
        const std::string trimmed = removeOneTrailingSeparator(*text);
        if (!trimmed.empty() || text->empty()) *text = trimmed;
    }
    // The run makes the destination folders itself, once it knows it moves something: a run
    // that changes nothing makes none, and its undo can remove those it made.
    return true;
}

namespace {

// Makes the destination folder of a folder mode and the tree's type sub-folders where they are
// missing; `made` receives those made, parents first. False, with the reason shown, when one
// cannot be made.
bool makeModeFolders(const PlacementContext& place, EngineContext& ctx,
                     std::vector<std::string>& made) {
    std::vector<std::string> folders;
    if (place.mode == PlacementMode::OneFolder) folders = {place.moveDirText};
    if (place.mode == PlacementMode::FolderTree) {
        folders = {place.moveDir2Text};
        for (const char* sub : {"Maps", "Music", "Sounds", "System", "Textures"})
            folders.push_back(joinPath(place.moveDir2Text, sub));
    }
    for (const std::string& folder : folders) {
        if (ctx.fs.exists(folder)) continue;
        if (!ensureFolder(folder, ctx)) return false;
        made.push_back(folder);
    }
    return true;
}

}  // namespace

namespace {

// Shows `text` and returns `outcome`: a run that stops before anything changed.
RunOutcome refuse(EngineContext& ctx, const std::string& text, RunOutcome outcome) {
    ctx.dialogs.message(kProgramTitle, text);
    return outcome;
}

// Removes what an interrupted write left in the run's folders, saying so in the status list and
// the log.
void removeLeftovers(const PlacementContext& place, bool cacheListedClean, FileSystem& fs,
                     StatusSink& status, RunLog& log) {
    std::vector<std::string> folders = writtenFolders(place);
    if (cacheListedClean) folders.erase(folders.begin());  // the cache folder, listed already
    for (const std::string& text : removeLeftTempFiles(fs, folders)) {
        status.addLine(text);
        log.line(text);
    }
}

// One selected line as the plan says: placement for what it may move or must name itself, the
// plan's own line for a package it leaves where it is. No package moves that the plan does not
// move.
PlaceOutcome placeAsPlanned(const RunPlan& plan, std::size_t i, const PlacementContext& place,
                            FileSystem& fs, StatusSink& status, RunLog* log,
                            std::vector<std::string>& kept, PackageScreen& screen) {
    const std::string_view line = plan.lines[i];
    // A damaged package, or one installed as another version, stays with the reason in a
    // player's words; a taken destination is told apart the same way.
    // What the plan's screen decided is done as it decided, even on a row checked by hand: a
    // package that stays says why, a copy the game has already goes.
    if (plan.steps[i] == LineStep::Stays || plan.steps[i] == LineStep::Installed) {
        const auto other = plan.otherCase.find(i);
        const std::string_view onDisk =
            other == plan.otherCase.end() ? std::string_view() : std::string_view(other->second);
        return screen.act(line, onDisk, plan.verdicts.at(i), status,
                          log ? log->file.get() : nullptr, kept);
    }
    switch (plan.steps[i]) {
        case LineStep::Keep:
        case LineStep::Unmovable:
        case LineStep::Move:
        case LineStep::Spare: {
            const auto other = plan.otherCase.find(i);
            const std::string_view onDisk = other == plan.otherCase.end()
                                                ? std::string_view()
                                                : std::string_view(other->second);
            return PlaceCacheEntry(line, place, fs, status, log ? log->file.get() : nullptr, kept,
                                   plan.listing.listedAsFile[i], onDisk);
        }
        case LineStep::Missing:
        case LineStep::NotPlain:
        case LineStep::Taken:
        case LineStep::NoFolder:
        case LineStep::Stays:
        case LineStep::Installed:
            break;
    }
    if (plan.steps[i] == LineStep::Missing && place.movedBefore &&
        place.movedBefore->count(std::string(line))) {
        ++*place.movedBeforeDropped;  // told once, as a count
        return PlaceOutcome::Missing;
    }
    const std::string text = plannedStepText(plan, i, place);
    if (log) log->line(text);
    status.addLine(text);
    if (plan.steps[i] == LineStep::Missing) return PlaceOutcome::Missing;
    kept.emplace_back(line);
    return PlaceOutcome::Failed;
}

void count(PlaceOutcome outcome, RunResult& result) {
    switch (outcome) {
        case PlaceOutcome::Moved:
            ++result.moved;
            break;
        case PlaceOutcome::Kept:
            ++result.kept;
            break;
        case PlaceOutcome::Missing:
            ++result.missing;
            break;
        case PlaceOutcome::Failed:
            ++result.failed;
            break;
    }
}

// False when the journal cannot hold the landing of the move of line `i`: the run stops before it,
// as a stop request stops it, and says why.
bool journalHoldsNext(const RunPlan& plan, std::size_t i, const PlacementContext& place,
                      std::size_t& move, StatusSink& status, RunLog& log) {
    if (!place.journal || plan.steps[i] != LineStep::Move || place.journal->expect(move++))
        return true;
    const std::string text = place.journal->stopLine();
    status.addLine(text);
    log.line(text);
    return false;
}

// Places the selected packages in index order and collects the lines the new index keeps. A stop
// request is honoured between packages: every line not yet done is kept as it stands.
std::vector<std::string> placeSelected(const RunPlan& plan, const PlacementContext& planned,
                                       const WholeHeaders* whole, PackageScreen& screen,
                                       EngineContext& ctx, StatusSink& status,
                                       std::unordered_set<std::string>& notReached, RunLog& log,
                                       RunResult& result) {
    // The run's folders stay open while it moves, so each move looks up only its two names.
    struct HeldFolders {
        FileSystem& fs;
        ~HeldFolders() { fs.releaseFolders(); }
    } held{ctx.fs};
    ctx.fs.holdFolders(writtenFolders(planned));
    std::vector<std::string> kept;
    kept.reserve(plan.lines.size());  // a line kept when memory runs out needs no more room
    std::size_t placed = 0, move = 0;
    PlacementContext place = planned;
    if (whole) place.landingCheck = &screen;
    status.progress(0, plan.packages);
    for (std::size_t i = 0; i < plan.lines.size(); ++i) {
        const std::string_view line = plan.lines[i];
        if (!plan.selected[i]) {
            if (line.find("[Cache]") == std::string_view::npos) kept.emplace_back(line);
            continue;
        }
        if (result.stopped ||
            (result.stopped =
                 ctx.stopRequested() || !journalHoldsNext(plan, i, place, move, status, log))) {
            kept.emplace_back(line);
            if (const std::optional<EntryView> e = parseEntryView(line))
                notReached.insert(std::string(e->Guid) + "." + place.cacheExt);
            continue;
        }
        PlaceOutcome outcome;
        try {
            if (i >= plan.stopAt) throw std::bad_alloc();  // as the plan met it
            outcome = placeAsPlanned(plan, i, place, ctx.fs, status, &log, kept, screen);
        } catch (const std::bad_alloc&) {
            // Memory ran out: the run ends here as a stop ends it, this package and the rest
            // keeping their lines, rather than dying between a move and its record.
            result.stopped = result.outOfMemory = true;
            kept.emplace_back(line);
            if (const std::optional<EntryView> e = parseEntryView(line))
                notReached.insert(std::string(e->Guid) + "." + place.cacheExt);
            const std::string text = "Memory ran out; the run stops here";
            status.addLine(text);
            log.line(text);
            continue;
        }
        count(outcome, result);
        status.progress(++placed, plan.packages);
    }
    // The report's end says so (FinishRun); the status bar at once.
    if (result.stopped) status.setStatusText(stoppedLine(placed, plan.packages));
    screen.reportNeeds(kept, status, log.file.get());
    return kept;
}

// A run that would change nothing: each selected package's line, and why nothing happens; no
// log, journal, index or backup is written.
void reportNothingToDo(const RunPlan& plan, const PlacementContext& place, EngineContext& ctx,
                       PackageScreen& screen, StatusSink& status, RunResult& result) {
    std::vector<std::string> kept;
    for (std::size_t i = 0; i < plan.lines.size(); ++i)
        if (plan.selected[i])
            count(placeAsPlanned(plan, i, place, ctx.fs, status, nullptr, kept, screen), result);
    const char* changed =
        result.repaired ? "; nothing else was changed." : "; nothing was changed.";
    status.addLine((plan.packages == 0 ? "No package is selected"
                                       : "None of the selected packages can be moved") +
                   std::string(changed));
    result.nothingToDo = true;
}

// Starts the run's journal before anything changes: it must name every package before the
// first move. False, with a message, when it cannot: a run that could not be undone does not
// begin, and nothing is left behind.
bool startJournal(RunJournal& journal, const RunPlan& plan, PlacementContext& place,
                  EngineContext& ctx) {
    std::vector<std::string> made;
    if (journal.ok() && !makeModeFolders(place, ctx, made)) {
        journal.discard();
        return false;
    }
    journal.madeFolders(made);
    journal.planMoves(plan, place);
    if (journal.ok()) {
        place.journal = &journal;
        return true;
    }
    journal.discard();
    for (auto it = made.rbegin(); it != made.rend(); ++it) (void)ctx.fs.removeEmptyFolder(*it);
    ctx.dialogs.message(kProgramTitle, journal.refusalText());
    return false;
}

// How a summary says its lines leave the index: a dry run only plans it.
std::string removedWord(std::size_t count, bool planned) {
    return planned ? "would be removed" : count == 1 ? "was removed" : "were removed";
}

// The summary of the lines the last run moved but could not take out of the index.
void reportMovedBefore(std::size_t dropped, bool planned, StatusSink& status, RunLog& log) {
    if (dropped == 0) return;
    const std::string text = counted(dropped, "line", "lines") +
                             " of packages the last run moved " + (dropped == 1 ? "was" : "were") +
                             " still in CACHE.INI (it could not be written then, or the game "
                             "wrote them back) and " +
                             removedWord(dropped, planned);
    status.addLine(text);
    log.line(text);
}

// The summary of the lines dropped because their package's cache file is gone.
void reportDropped(std::size_t dropped, bool planned, StatusSink& status, RunLog& log) {
    if (dropped == 0) return;
    const std::string text = counted(dropped, "line", "lines") +
                             " of packages NOT FOUND in the Cache Directory " +
                             removedWord(dropped, planned) + " from CACHE.INI";
    status.addLine(text);
    log.line(text);
}

}  // namespace

std::string stoppedLine(std::size_t done, std::size_t total) {
    return "Stopped after " + std::to_string(done) + " of " + counted(total, "package", "packages");
}

RunResult ProcessCache(PublicVariables& pv, RunRequest& request, EngineContext& ctx,
                       StatusSink& status) {
    RunResult result;
    // A folder mode needs its full folder path: an empty text would place packages at the root,
    // a relative one wherever the program happened to start.
    const PlacementMode mode = modeOf(request.options);
    if ((mode == PlacementMode::OneFolder && !isFullFolderPath(request.options.MoveDirText)) ||
        (mode == PlacementMode::FolderTree && !isFullFolderPath(request.options.MoveDir2Text))) {
        result.outcome = refuse(ctx, kFullPathMessage, RunOutcome::Refused);
        return result;
    }
    const ProgramFiles files = programFiles(pv.ProgramFolder, ctx.fs);
    SettingsSnapshot settings(ctx.fs, files.settingsFile);
    if (!settings.ok()) {
        result.outcome = refuse(ctx, "Quorvel.ini could not be read (" + settings.failure() + ")",
                                RunOutcome::IndexUnreadable);
        return result;
    }

    // The fallback cache folder is formed before GameDir loses its trailing separator.
    if (request.cacheDir.empty())
        request.cacheDir = joinPath(pv.GameDir, toNativeSeparators(settings.dirs("CachePath")));
    const std::string cacheDir = request.cacheDir;
    if (endsWithSeparator(pv.GameDir)) pv.GameDir = removeOneTrailingSeparator(pv.GameDir);
    PlacementContext place = placementFor(pv, settings, cacheDir, mode, request.options);
    result.cacheDirLine = "Cache Directory = " + cacheDir;

    const std::string indexPath = joinPath(cacheDir, "cache.ini");
    if (!ctx.fs.isFile(indexPath)) {
        result.outcome = RunOutcome::NoIndex;
        return result;
    }
    std::string unseenNote;
    if (!gameAllowsChanges(ctx, {pv.GameDir, cacheDir}, &status, &unseenNote)) {
        result.outcome = RunOutcome::GameRunning;
        return result;
    }
    CacheLock lock(cacheDir);
    result.locked = lock.state() == CacheLock::State::Held;
    std::future<CacheFolderNames> ahead;
    if (!lock.busy() && ctx.fs.listsWhileReading())
        ahead = listCacheFolderAhead(cacheDir, place.cacheExt, ctx.fs, pv.EntryCount());
    std::string index;
    switch (readIndexForRewrite(lock, indexPath, ctx.fs, ctx.dialogs, "moved", index)) {
        case IndexForRewrite::Read:
            break;
        case IndexForRewrite::Busy:
            result.outcome = RunOutcome::Busy;
            return result;
        case IndexForRewrite::Unreadable:
            result.outcome = RunOutcome::IndexUnreadable;
            return result;
        case IndexForRewrite::NotReplaceable:
            result.outcome = RunOutcome::Refused;
            return result;
    }

    // One plan, made before anything changes, decides every package; a dry run prints it.
    // A dry run moves nothing, so nothing lands to be checked: it reads each header.
    const WholeHeaders* whole = ctx.fs.changesNothing() ? nullptr : request.wholeHeaders;
    PackageScreen screen(place, ctx.fs, whole);
    // The screen of the plan serves the run: what it placed, and what those need.
    RunPlan plan = planRun(index, request.checkedEntries, pv, place, ctx.fs, whole, &screen,
                           [&ahead] { return ahead.valid() ? ahead.get() : CacheFolderNames{}; });
    result.selected = plan.packages;  // progress counts the packages to move, not the lines
    // Lines the last run on this cache moved but could not take out of the index (it was
    // killed): their packages are accounted for, and the run drops the lines.
    // A killed last run's landings it could not record count among them, each named.
    std::unordered_set<std::string> movedBefore;
    std::vector<std::string> recovered;
    bool movedBeforeRead = false;
    const auto readMovedBefore = [&](const std::string& skipPath) {
        movedBefore = linesMovedByLastRun(ctx.fs, journalFolder(files.runLog), cacheDir, skipPath,
                                          &recovered);
        movedBeforeRead = true;
    };
    const auto anyMovedBefore = [&] {
        for (std::size_t i = 0; i < plan.lines.size(); ++i)
            if (plan.selected[i] && movedBefore.count(std::string(plan.lines[i]))) return true;
        return false;
    };
    if (looksLikeWrongCache(plan, place, ctx.fs) && (readMovedBefore({}), !anyMovedBefore())) {
        result.outcome =
            refuse(ctx,
                   "None of the " + std::to_string(plan.packages) + " selected packages is in " +
                       cacheDir + " as *." + place.cacheExt + "; nothing was changed.",
                   RunOutcome::Refused);
        return result;
    }
    if (plan.changesNothing()) {
        // Only what an interrupted write of ours left goes: it is nobody's file.
        for (const std::string& text : removeLeftTempFiles(ctx.fs, writtenFolders(place))) {
            status.addLine(text);
            result.repaired = true;
        }
        reportNothingToDo(plan, place, ctx, screen, status, result);
        ClearCacheEntries(pv);
        result.outcome = RunOutcome::Completed;
        return result;
    }
    // The run's journal, for its undo: every package it may move is on the disk before it moves.
    RunJournal journal(ctx.fs, journalFolder(files.runLog), cacheDir, place.cacheExt);
    if (!startJournal(journal, plan, place, ctx)) {
        result.outcome = RunOutcome::Refused;
        return result;
    }

    RunLog log = StartRunLog(cacheDir, files.runLog, ctx.fs, sideLogOf(journal.path()));
    // The lines of a killed run on this cache go first; under its lock none is running.
    if (result.locked)
        addLeftoverLogs(log, ctx.fs, journalFolder(files.runLog), cacheDir, journal.path());
    if (!unseenNote.empty()) log.line(unseenNote);
    if (!result.locked) {
        status.addLine(lock.unlockedLine(cacheDir));
        log.line(lock.unlockedLine(cacheDir));
    }
    removeLeftovers(place, plan.listing.noLeftovers, ctx.fs, status, log);
    // Lines the last run moved but could not take out of the index: told once, as a count.
    if (!movedBeforeRead) readMovedBefore(journal.path());
    for (const std::string& text : recovered) status.addLine(text), log.line(text);
    std::size_t movedBeforeDropped = 0;
    place.movedBefore = &movedBefore, place.movedBeforeDropped = &movedBeforeDropped;
    std::unordered_set<std::string> notReached;
    const std::vector<std::string> kept =
        placeSelected(plan, place, whole, screen, ctx, status, notReached, log, result);
    const bool planned = ctx.fs.changesNothing();
    reportMovedBefore(movedBeforeDropped, planned, status, log);
    reportDropped(result.missing - movedBeforeDropped, planned, status, log);
    journal.finish(result.moved);
    if (const std::string failed = journal.failureLine(); !failed.empty()) {
        status.addLine(failed);
        log.line(failed);
    }
    const std::size_t done = result.moved + result.kept + result.missing + result.failed;
    const std::string stoppedText = result.stopped ? stoppedLine(done, plan.packages) : "";
    plan = {};  // the kept lines are copies: the plan's tables go before the index is replaced
    const FinishOutcome finished = FinishRun({.cacheDir = cacheDir,
                                              .keptLines = kept,
                                              .oldIndex = index,
                                              .stoppedText = stoppedText,
                                              .notReached = &notReached,
                                              .stayReasons = request.stayReasons,
                                              .cacheExt = place.cacheExt},
                                             pv, log, ctx.fs, status);
    result.indexReplaced = finished.indexReplaced;
    result.logWritten = finished.logWritten;
    ClearCacheEntries(pv);
    result.outcome = RunOutcome::Completed;
    return result;
}

}  // namespace qv
