#include "engine/run.h"

#include <unordered_set>

#include "engine/cache_entry.h"
#include "engine/cache_lock.h"
#include "engine/engine_context.h"
#include "engine/placement.h"
#include "engine/public_variables.h"
#include "engine/run_log.h"
#include "engine/run_settings.h"
#include "platform/dialogs.h"
#include "platform/filesystem.h"
#include "platform/paths.h"
#include "platform/textfile.h"
#include "settings/program_files.h"

namespace qv {

namespace {

constexpr const char* kDriveLetterMessage =
    "You must select a minimum of a drive letter (example - D:)";
constexpr std::size_t kRealNameStart = 33;  // the 34th character

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

PlacementMode modeOf(const Options& o) {
    if (o.MoveNorm) return PlacementMode::TypeFolders;
    if (o.MoveDir) return PlacementMode::OneFolder;
    return PlacementMode::FolderTree;
}

// The texts a line can be selected by: a row's text is a real name, except for the rows that
// show the missing-extension message, which select nothing.
std::unordered_set<std::string> selectionOf(const std::vector<std::string>& checkedTexts) {
    const std::string_view prefix = kMissingExtensionPrefix;
    std::unordered_set<std::string> selection;
    selection.reserve(checkedTexts.size());
    for (const std::string& text : checkedTexts)
        if (std::string_view(text).substr(0, prefix.size()) != prefix) selection.insert(text);
    return selection;
}

bool isSelected(const std::string& line, const std::unordered_set<std::string>& selection) {
    return line.size() > kRealNameStart && selection.count(line.substr(kRealNameStart)) != 0;
}

}  // namespace

bool PrepareRun(Options& options, EngineContext& ctx, bool* checksPassed) {
    if (checksPassed) *checksPassed = false;
    if ((options.MoveDir && options.MoveDirText.size() < 2) ||
        (options.MoveDir2 && options.MoveDir2Text.size() < 2)) {
        ctx.dialogs.message(kProgramTitle, kDriveLetterMessage);
        return false;
    }
    if (checksPassed) *checksPassed = true;

    options.MoveDirText = removeOneTrailingSeparator(options.MoveDirText);
    options.MoveDir2Text = removeOneTrailingSeparator(options.MoveDir2Text);

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

RunResult ProcessCache(PublicVariables& pv, RunRequest& request, EngineContext& ctx,
                       StatusSink& status) {
    RunResult result;
    const ProgramFiles files = programFiles(pv.ProgramFolder, ctx.fs);
    SettingsSnapshot settings(ctx.fs, files.settingsFile);
    if (!settings.ok()) {
        ctx.dialogs.message(kProgramTitle,
                            "Quorvel.ini could not be read (" + settings.failure() + ")");
        result.outcome = RunOutcome::IndexUnreadable;
        return result;
    }

    // The fallback cache folder is formed before GameDir loses its trailing separator.
    std::string cacheDir = request.lblCacheDir;
    if (cacheDir.empty()) {
        cacheDir = pv.GameDir + "/" + toNativeSeparators(settings.dirs("CachePath"));
        request.lblCacheDir = cacheDir;
    }
    if (endsWithSeparator(pv.GameDir)) pv.GameDir = removeOneTrailingSeparator(pv.GameDir);

    PlacementContext place;
    place.cacheDir = cacheDir;
    place.cacheExt = settings.dirs("CacheExt");
    place.mapsDir = pv.GameDir + "/" + toNativeSeparators(settings.dirs("Maps"));
    place.texturesDir = pv.GameDir + "/" + toNativeSeparators(settings.dirs("Textures"));
    place.soundsDir = pv.GameDir + "/" + toNativeSeparators(settings.dirs("Sounds"));
    place.musicDir = pv.GameDir + "/" + toNativeSeparators(settings.dirs("Music"));
    place.systemDir = pv.GameDir + "/System";
    place.mode = modeOf(request.options);
    place.moveDirText = toNativeSeparators(request.options.MoveDirText);
    place.moveDir2Text = toNativeSeparators(request.options.MoveDir2Text);

    result.label1 = "Cache Directory = " + cacheDir;

    const std::string indexPath = cacheDir + "/cache.ini";
    if (!ctx.fs.isFile(indexPath)) {
        result.outcome = RunOutcome::NoIndex;
        return result;
    }

    CacheLock lock(cacheDir);
    if (lock.busy()) {
        ctx.dialogs.message(kProgramTitle, kCacheBusyMessage);
        result.outcome = RunOutcome::Busy;
        return result;
    }

    const Result<std::string> index = ctx.fs.readAll(indexPath);
    if (!index.ok()) {
        ctx.dialogs.message(kProgramTitle,
                            "Cache.INI could not be read (" + index.status.text + ")");
        result.outcome = RunOutcome::IndexUnreadable;
        return result;
    }

    const std::unordered_set<std::string> selection = selectionOf(request.checkedTexts);
    const std::vector<std::string> lines = splitLines(index.value);

    RunLog log = StartRunLog(cacheDir, files.runLog, ctx.fs);
    std::vector<std::string> kept;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (!isSelected(line, selection)) {
            if (line.find("[Cache]") == std::string::npos) kept.push_back(line);
        } else {
            PlaceCacheEntry(line, place, ctx.fs, status, log.file.get(), kept);
        }
        status.progress(i + 1, lines.size());
        status.processEvents();
    }

    FinishRun({.cacheDir = cacheDir,
               .keptLines = kept,
               .oldIndex = index.value,
               .lineEnd = detectLineEnd(index.value)},
              pv, log, ctx.fs, status);
    ClearCacheEntries(pv);
    result.outcome = RunOutcome::Completed;
    return result;
}

}  // namespace qv
