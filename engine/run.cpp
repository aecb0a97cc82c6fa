#include "engine/run.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>
#include <unordered_map>

#include "engine/cache_entry.h"
#include "engine/cache_lock.h"
#include "engine/engine_context.h"
#include "engine/package_screen.h"
#include "engine/placement.h"
#include "engine/public_variables.h"
#include "engine/run_index.h"
#include "engine/run_journal.h"
#include "engine/run_log.h"
#include "engine/run_settings.h"
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
    return !path.empty() && path.front() == kSep;
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

// MakeTypeFolder: a type sub-folder of the folder tree.
bool MakeTypeFolder(const std::string& treeFolder, const char* name, EngineContext& ctx) {
    return ensureFolder(treeFolder + "/" + name, ctx);
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

namespace {

// Marks the index lines of the checked rows. Entry k of the index is selected when row k is
// checked and the line still names what the scan listed there (same GUID and real name): an
// index changed since the scan selects nothing it was not shown as. Rows of a missing extension
// select nothing.
std::vector<bool> selectedLines(const std::vector<std::string_view>& lines,
                                const std::vector<std::size_t>& checkedEntries,
                                const PublicVariables& pv) {
    std::vector<bool> checked(pv.EntryCount(), false);
    for (std::size_t k : checkedEntries)
        if (k < checked.size()) checked[k] = true;
    std::vector<bool> selected(lines.size(), false);
    std::size_t k = 0;
    for (std::size_t i = 0; i < lines.size() && k < checked.size(); ++i) {
        const std::optional<EntryView> entry = parseEntryView(lines[i]);
        if (!entry) continue;
        const std::size_t slot = k++;
        if (!checked[slot] || entry->missingExtension() || entry->RealName != pv.RealNames[slot])
            continue;
        const std::string_view scanned = pv.CacheFileNames[slot];
        selected[i] = scanned.size() > entry->Guid.size() &&
                      scanned.substr(0, entry->Guid.size()) == entry->Guid &&
                      scanned[entry->Guid.size()] == '.';
    }
    return selected;
}

// The folders a run writes to: the cache folder first, then the destinations of its mode.
std::vector<std::string> writtenFolders(const PlacementContext& p) {
    switch (p.mode) {
        case PlacementMode::OneFolder:
            return {p.cacheDir, p.moveDirText};
        case PlacementMode::FolderTree:
            return {p.cacheDir,
                    p.moveDir2Text + "/Maps",
                    p.moveDir2Text + "/Textures",
                    p.moveDir2Text + "/Sounds",
                    p.moveDir2Text + "/Music",
                    p.moveDir2Text + "/System"};
        case PlacementMode::TypeFolders:
            break;
    }
    return {p.cacheDir, p.mapsDir, p.texturesDir, p.soundsDir, p.musicDir, p.systemDir};
}

// The hash of a GUID's 32 characters, eight at a time.
std::uint64_t hashOfGuid(std::string_view guid) {
    std::uint64_t h = 0;
    for (std::size_t i = 0; i + 8 <= guid.size(); i += 8) {
        std::uint64_t word;
        std::memcpy(&word, guid.data() + i, sizeof word);
        h = (h ^ word) * 0x9E3779B97F4A7C15ull;
        h ^= h >> 29;
    }
    return h;
}

// What one listing of the cache folder tells the run.
struct CacheListing {
    // Per index line: selected, and its cache file (GUID + "." + extension) listed as a plain
    // file. Those moves need no lookup of their own; every other line (a link, a folder, a name
    // the listing did not show, no listing at all) is looked up by its move as before.
    std::vector<bool> listedAsFile;
    // The whole folder was read and held no temporary file left by an interrupted write, so
    // the clean-up need not read it again.
    bool noLeftovers = false;
    bool read = false;  // the whole folder was read
};

// Lists the cache folder once. The table holds line numbers only; the names stay in the lines.
CacheListing listCacheFolder(const std::vector<std::string_view>& lines,
                             const std::vector<bool>& selected, const std::string& cacheDir,
                             const std::string& cacheExt, FileSystem& fs) {
    constexpr std::size_t kGuid = kGuidLength;
    CacheListing result;
    std::vector<bool>& listed = result.listedAsFile;
    listed.assign(lines.size(), false);
    std::size_t count = 0;
    for (std::size_t i = 0; i < lines.size(); ++i)
        if (selected[i] && lines[i].size() > kGuid) ++count;
    if (count == 0) {
        result.read = true;
        return result;
    }
    std::size_t size = 16;
    while (size < 2 * count) size *= 2;
    std::vector<std::uint32_t> table(size, 0);  // line number + 1; 0 is an empty slot
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (!selected[i] || lines[i].size() <= kGuid) continue;
        std::size_t slot = hashOfGuid(lines[i].substr(0, kGuid)) & (size - 1);
        while (table[slot] != 0) slot = (slot + 1) & (size - 1);
        table[slot] = static_cast<std::uint32_t>(i + 1);
    }
    bool leftovers = false;
    const Status read = fs.forEachEntry(cacheDir, [&](std::string_view name, EntryKind kind) {
        if (name.size() > 0 && name[0] == '.' && isLeftTempFileName(name)) leftovers = true;
        if (kind != EntryKind::File || name.size() != kGuid + 1 + cacheExt.size() ||
            name[kGuid] != '.' || !equalsNoCaseAscii(name.substr(kGuid + 1), cacheExt))
            return;
        const std::string_view guid = name.substr(0, kGuid);
        for (std::size_t slot = hashOfGuid(guid) & (size - 1); table[slot] != 0;
             slot = (slot + 1) & (size - 1)) {
            const std::size_t i = table[slot] - 1;
            if (lines[i].substr(0, kGuid) == guid) listed[i] = true;
        }
    });
    if (!read.ok()) {
        listed.assign(lines.size(), false);  // a listing cut short proves nothing
        return result;
    }
    result.noLeftovers = !leftovers;
    result.read = true;
    return result;
}

// Cache files the listing did not show under the index's spelling, found ignoring letter case:
// line number -> the name on disk.
std::unordered_map<std::size_t, std::string> cacheFilesInOtherCase(
    const std::vector<std::string_view>& lines, const std::vector<bool>& selected,
    const std::vector<bool>& listed, const PlacementContext& place, FileSystem& fs) {
    std::vector<std::size_t> missing;
    std::vector<std::string> names;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (!selected[i] || listed[i] || lines[i].size() <= kGuidLength) continue;
        missing.push_back(i);
        names.push_back(std::string(lines[i].substr(0, kGuidLength)) + "." + place.cacheExt);
    }
    const auto found = namesIgnoringCase(fs, place.cacheDir, names);
    std::unordered_map<std::size_t, std::string> byLine;
    for (std::size_t j = 0; j < missing.size(); ++j)
        if (auto it = found.find(names[j]); it != found.end())
            byLine.emplace(missing[j], it->second);
    return byLine;
}

// With no selected cache file listed: whether dropping their lines loses nothing, because each
// movable package is at its destination already (a run stopped before its new index) or some
// cache file is there in a form the listing of plain files does not show. A wrong extension or
// cache folder shows as neither.
bool missingPackagesAreAccountedFor(const std::vector<std::string_view>& lines,
                                    const std::vector<bool>& selected,
                                    const PlacementContext& place, FileSystem& fs) {
    bool any = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (!selected[i] || lines[i].size() <= kGuidLength) continue;
        if (fs.exists(place.cacheDir + "/" + std::string(lines[i].substr(0, kGuidLength)) + "." +
                      place.cacheExt))
            return true;
        const std::string destination = destinationOfLine(lines[i], place);
        if (destination.empty()) continue;
        if (!fs.exists(destination)) return false;
        any = true;
    }
    return any;
}

}  // namespace

Completion completionOf(const RunResult& r) {
    if (r.outcome != RunOutcome::Completed) return Completion::Nothing;
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

    const std::string tree = toNativeSeparators(options.MoveDir2Text);
    if (options.MoveDir) {
        if (!ensureFolder(toNativeSeparators(options.MoveDirText), ctx)) return false;
    } else if (options.MoveDir2) {
        if (!ensureFolder(tree, ctx)) return false;
    }
    if (options.MoveDir2) {
        for (const char* sub : {"Maps", "Music", "Sounds", "System", "Textures"})
            if (!MakeTypeFolder(tree, sub, ctx)) return false;
    }
    return true;
}

// The folders of a run: the cache, the game's type folders from Quorvel.ini, and the folders of
// the chosen mode.
PlacementContext placementFor(const PublicVariables& pv, SettingsSnapshot& settings,
                              const std::string& cacheDir, PlacementMode mode, const Options& o) {
    PlacementContext place;
    place.cacheDir = cacheDir;
    place.cacheExt = cacheExtension(settings.dirs("CacheExt"));
    place.mapsDir = pv.GameDir + "/" + toNativeSeparators(settings.dirs("Maps"));
    place.texturesDir = pv.GameDir + "/" + toNativeSeparators(settings.dirs("Textures"));
    place.soundsDir = pv.GameDir + "/" + toNativeSeparators(settings.dirs("Sounds"));
    place.musicDir = pv.GameDir + "/" + toNativeSeparators(settings.dirs("Music"));
    place.systemDir = pv.GameDir + "/System";
    place.mode = mode;
    place.moveDirText = toNativeSeparators(o.MoveDirText);
    place.moveDir2Text = toNativeSeparators(o.MoveDir2Text);
    return place;
}

namespace {

// Shows `text` and returns `outcome`: a run that stops before anything changed.
RunOutcome refuse(EngineContext& ctx, const std::string& text, RunOutcome outcome) {
    ctx.dialogs.message(kProgramTitle, text);
    return outcome;
}

// The index lines a run works on, and which of them it moves.
struct RunPlan {
    std::vector<std::string_view> lines;  // views into the index as read: not copied
    std::vector<bool> selected;
    CacheListing listing;
    std::unordered_map<std::size_t, std::string> otherCase;  // line -> cache file's own spelling
    std::size_t packages = 0;                                // selected lines
};

RunPlan planRun(const std::string& index, const std::vector<std::size_t>& checkedEntries,
                const PublicVariables& pv, const PlacementContext& place, FileSystem& fs) {
    RunPlan plan;
    plan.lines = splitLineViews(index);
    plan.selected = selectedLines(plan.lines, checkedEntries, pv);
    plan.listing = listCacheFolder(plan.lines, plan.selected, place.cacheDir, place.cacheExt, fs);
    std::vector<bool>& listed = plan.listing.listedAsFile;
    plan.otherCase = cacheFilesInOtherCase(plan.lines, plan.selected, listed, place, fs);
    for (const auto& [i, name] : plan.otherCase) listed[i] = true;
    plan.packages =
        static_cast<std::size_t>(std::count(plan.selected.begin(), plan.selected.end(), true));
    return plan;
}

// A wrong cache extension or cache folder shows as every package missing; the run would then
// drop every line.
bool looksLikeWrongCache(const RunPlan& plan, const PlacementContext& place, FileSystem& fs) {
    const std::vector<bool>& listed = plan.listing.listedAsFile;
    return plan.packages > 0 && plan.listing.read &&
           std::find(listed.begin(), listed.end(), true) == listed.end() &&
           !missingPackagesAreAccountedFor(plan.lines, plan.selected, place, fs);
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

// Places the selected packages in index order and collects the lines the new index keeps. A stop
// request is honoured between packages: every line not yet done is kept as it stands.
std::vector<std::string> placeSelected(const RunPlan& plan, const PlacementContext& place,
                                       EngineContext& ctx, StatusSink& status, RunLog& log,
                                       RunResult& result) {
    // The run's folders stay open while it moves, so each move looks up only its two names.
    struct HeldFolders {
        FileSystem& fs;
        ~HeldFolders() { fs.releaseFolders(); }
    } held{ctx.fs};
    ctx.fs.holdFolders(writtenFolders(place));
    std::vector<std::string> kept;
    std::size_t placed = 0;
    PackageScreen screen(place, ctx.fs);
    status.progress(0, plan.packages);
    for (std::size_t i = 0; i < plan.lines.size(); ++i) {
        const std::string_view line = plan.lines[i];
        if (!plan.selected[i]) {
            if (line.find("[Cache]") == std::string_view::npos) kept.emplace_back(line);
            continue;
        }
        if (result.stopped || (result.stopped = ctx.stopRequested())) {
            kept.emplace_back(line);
            continue;
        }
        const auto other = plan.otherCase.find(i);
        const std::string_view onDisk =
            other == plan.otherCase.end() ? std::string_view() : std::string_view(other->second);
        const std::optional<PlaceOutcome> screened =
            screen.screen(line, onDisk, status, log.file.get(), kept);
        const PlaceOutcome outcome =
            screened ? *screened
                     : PlaceCacheEntry(line, place, ctx.fs, status, log.file.get(), kept,
                                       plan.listing.listedAsFile[i], onDisk);
        if (!screened && outcome == PlaceOutcome::Moved) screen.moved(line);
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
        status.progress(++placed, plan.packages);
    }
    if (result.stopped) {
        const std::string text = stoppedLine(placed, plan.packages);
        status.addLine(text);
        status.setStatusText(text);
        log.line(text);
    }
    screen.reportNeeds(kept, status, log.file.get());
    return kept;
}

}  // namespace

std::string stoppedLine(std::size_t done, std::size_t total) {
    return "Stopped after " + std::to_string(done) + " of " + std::to_string(total) + " packages";
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
    if (request.lblCacheDir.empty())
        request.lblCacheDir = pv.GameDir + "/" + toNativeSeparators(settings.dirs("CachePath"));
    const std::string cacheDir = request.lblCacheDir;
    if (endsWithSeparator(pv.GameDir)) pv.GameDir = removeOneTrailingSeparator(pv.GameDir);
    PlacementContext place = placementFor(pv, settings, cacheDir, mode, request.options);
    result.label1 = "Cache Directory = " + cacheDir;

    const std::string indexPath = cacheDir + "/cache.ini";
    if (!ctx.fs.isFile(indexPath)) {
        result.outcome = RunOutcome::NoIndex;
        return result;
    }
    CacheLock lock(cacheDir);
    result.locked = lock.state() == CacheLock::State::Held;
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

    const RunPlan plan = planRun(index, request.checkedEntries, pv, place, ctx.fs);
    result.selected = plan.packages;  // progress counts the packages to move, not the lines
    if (looksLikeWrongCache(plan, place, ctx.fs)) {
        result.outcome =
            refuse(ctx,
                   "None of the " + std::to_string(plan.packages) + " selected packages is in " +
                       cacheDir + " as *." + place.cacheExt + "; nothing was changed.",
                   RunOutcome::Refused);
        return result;
    }

    RunLog log = StartRunLog(cacheDir, files.runLog, ctx.fs);
    if (!result.locked) {
        status.addLine(lock.unlockedLine(cacheDir));
        log.line(lock.unlockedLine(cacheDir));
    }
    removeLeftovers(place, plan.listing.noLeftovers, ctx.fs, status, log);
    // The run's journal, for its undo: every package it may move is on the disk before it moves.
    RunJournal journal(ctx.fs, journalFolder(files.runLog), cacheDir, place.cacheExt);
    journal.planRun(plan.lines, plan.selected, place);
    place.journal = &journal;
    const std::vector<std::string> kept = placeSelected(plan, place, ctx, status, log, result);
    journal.finish(result.moved);
    if (const std::string failed = journal.failureLine(); !failed.empty()) {
        status.addLine(failed);
        log.line(failed);
    }
    const FinishOutcome finished = FinishRun(
        {.cacheDir = cacheDir, .keptLines = kept, .oldIndex = index}, pv, log, ctx.fs, status);
    result.indexReplaced = finished.indexReplaced;
    result.logWritten = finished.logWritten;
    ClearCacheEntries(pv);
    result.outcome = RunOutcome::Completed;
    return result;
}

}  // namespace qv
