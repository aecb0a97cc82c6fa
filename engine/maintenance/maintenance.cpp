#include "engine/maintenance/maintenance.h"

#include <cerrno>

#include "engine/cache/cache_entry.h"
#include "engine/cache/cache_lock.h"
#include "engine/cache/index_file.h"
#include "engine/engine_context.h"
#include "engine/maintenance/package_check.h"
#include "engine/public_variables.h"
#include "engine/run/placement.h"
#include "engine/run/run_journal.h"
#include "engine/run/run_settings.h"
#include "platform/dialogs.h"
#include "platform/filesystem.h"
#include "platform/paths.h"
#include "platform/textfile.h"
#include "settings/game_finder.h"
#include "settings/mdl_ini.h"
#include "settings/program_files.h"
#include "settings/program_settings.h"

namespace qv {

namespace {

// A cache file the index names, with the line that names it.
struct PurgeTarget {
    std::string line;
    std::string fileName;
};

std::vector<PurgeTarget> purgeTargets(const std::string& index, const std::string& cacheExt) {
    std::vector<PurgeTarget> targets;
    for (std::string& line : splitOwnLines(index)) {
        std::optional<CacheEntry> entry = parseEntryLine(line, cacheExt);
        if (!entry) continue;  // the header, short lines and blank lines
        targets.push_back({std::move(line), std::move(entry->CacheFileName)});
    }
    return targets;
}

// Deletes the targets' files; a file that stays keeps its line, so the new index still names it.
// A name that would reach outside the cache folder is never deleted; a name that differs from
// the file's only in letter case deletes that file. A stop request is honoured between files:
// the files not yet deleted keep their lines.
std::vector<std::string> deleteTargets(const std::vector<PurgeTarget>& targets,
                                       const std::string& cacheDir, EngineContext& ctx,
                                       StatusSink& status, PurgeResult& result) {
    FileSystem& fs = ctx.fs;
    std::vector<std::string> names;
    for (const PurgeTarget& t : targets)
        if (!isUnsafeRealName(t.fileName) && !fs.isFile(joinPath(cacheDir, t.fileName)))
            names.push_back(t.fileName);
    const auto otherCase = namesIgnoringCase(fs, cacheDir, names);
    std::vector<std::string> kept;
    std::size_t done = 0;
    for (const PurgeTarget& t : targets) {
        if (result.stopped || (result.stopped = ctx.stopRequested())) {
            kept.push_back(t.line);
            continue;
        }
        Status removed;
        if (!isUnsafeRealName(t.fileName)) {
            const auto other = otherCase.find(t.fileName);
            const std::string& name = other == otherCase.end() ? t.fileName : other->second;
            removed = fs.removeFile(joinPath(cacheDir, name));
        }
        // A line whose file was gone already leaves the index, but deleted nothing.
        if (removed.ok()) {
            ++result.deleted;
        } else if (removed.code == ENOENT) {
            ++result.linesDropped;
        } else {
            ++result.failed;
            kept.push_back(t.line);
        }
        status.progress(++done, targets.size());
    }
    if (result.stopped) {
        const std::string text = stoppedLine(done, targets.size());
        status.addLine(text);
        status.setStatusText(text);
    }
    return kept;
}

// The status lines after the deletions: carried lines, what was deleted and what stays, the
// index's replacement. A stopped purge has said so already; the files it did not reach are no
// failure.
void reportPurge(const IndexReplacement& replaced, const PurgeResult& result,
                 const std::string& cacheDir, StatusSink& status) {
    for (const std::string& line : replaced.carriedReport()) status.addLine(line);
    if (!result.stopped || result.failed > 0) status.addLine(purgeSummary(result));
    for (const std::string& line : replaced.report(cacheDir)) status.addLine(line);
}

// The folder the file list shows; the game folder's own cache only when none is known.
std::string purgedFolder(const PublicVariables& pv, SettingsSnapshot& settings,
                         const std::string& shownCacheDir) {
    return !shownCacheDir.empty()
               ? shownCacheDir
               : joinShown(pv.GameDir, toNativeSeparators(settings.dirs("CachePath")));
}

}  // namespace

PurgeOutcome PurgeCache(PublicVariables& pv, EngineContext& ctx, StatusSink& status,
                        const std::string& shownCacheDir, PurgeResult* resultOut) {
    PurgeResult ignored;
    PurgeResult& result = resultOut ? *resultOut : ignored;
    SettingsSnapshot settings(ctx.fs, programFiles(pv.ProgramFolder, ctx.fs).settingsFile);
    if (!settings.ok()) {
        ctx.dialogs.message(kProgramTitle,
                            "Quorvel.ini could not be read (" + settings.failure() + ")");
        return PurgeOutcome::IndexUnreadable;
    }
    const std::string cacheDir = purgedFolder(pv, settings, shownCacheDir);
    const std::string cacheExt = cacheExtension(settings.dirs("CacheExt"));
    const std::string indexPath = joinPath(cacheDir, "cache.ini");
    if (!ctx.fs.isFile(indexPath)) return PurgeOutcome::NoIndex;

    std::string unseenNote;  // a purge keeps no log: its status lines are its record
    if (!gameAllowsChanges(ctx, {pv.GameDir, cacheDir}, &status, &unseenNote))
        return PurgeOutcome::GameRunning;
    CacheLock lock(cacheDir);
    std::string index;
    switch (readIndexForRewrite(lock, indexPath, ctx.fs, ctx.dialogs, "deleted", index)) {
        case IndexForRewrite::Read:
            break;
        case IndexForRewrite::Busy:
            return PurgeOutcome::Busy;
        case IndexForRewrite::Unreadable:
        case IndexForRewrite::NotReplaceable:
            return PurgeOutcome::IndexUnreadable;
    }

    const std::vector<PurgeTarget> targets = purgeTargets(index, cacheExt);
    if (targets.empty()) {
        ctx.dialogs.message(kProgramTitle, "Cache already empty...");
        return PurgeOutcome::AlreadyEmpty;
    }
    if (!ctx.dialogs.askYesNoDefaultNo(kProgramTitle,
                                       "Are you sure you want to DELETE all cache files?" +
                                           cacheOnlyNeeds(pv, cacheDir, ctx.fs, status))) {
        ctx.dialogs.message(kProgramTitle, "Purge cancelled.");
        return PurgeOutcome::Cancelled;
    }

    if (!unseenNote.empty()) status.addLine(unseenNote);
    if (lock.state() != CacheLock::State::Held) status.addLine(lock.unlockedLine(cacheDir));
    for (const std::string& text : removeLeftTempFiles(ctx.fs, {cacheDir})) status.addLine(text);

    const std::vector<std::string> kept = deleteTargets(targets, cacheDir, ctx, status, result);
    // History lists the purge; there is nothing to undo.
    RunJournal(ctx.fs, journalFolder(programFiles(pv.ProgramFolder, ctx.fs).runLog), cacheDir,
               cacheExt, "purge")
        .finish(result.deleted);
    const IndexReplacement replaced =
        replaceCacheIndex(ctx.fs, cacheDir, index, newIndexText(kept));
    result.indexReplaced = replaced.index.ok() && replaced.notKept.empty();
    result.linesNotKept = replaced.notKept.size();
    result.linesCarried = replaced.carried.size() + replaced.fromBackup.size();
    reportPurge(replaced, result, cacheDir, status);
    return PurgeOutcome::Done;
}

std::string purgeSummary(const PurgeResult& r) {
    const auto count = [](std::size_t n, const char* one, const char* many) {
        return std::to_string(n) + (n == 1 ? one : many);
    };
    const std::string dropped =
        r.linesDropped == 0
            ? std::string()
            : "; " + count(r.linesDropped, " line whose file was gone was dropped from CACHE.INI",
                           " lines whose file was gone were dropped from CACHE.INI");
    if (r.failed == 0 && !r.stopped && r.linesCarried == 0)
        return "All cache files have been deleted" + dropped;
    std::string text =
        count(r.deleted, " cache file was deleted", " cache files were deleted") + dropped;
    if (r.failed > 0)
        text += "; " + count(r.failed, " could not be deleted and stays in CACHE.INI",
                             " could not be deleted and stay in CACHE.INI");
    if (r.linesCarried > 0)
        text +=
            "; " + count(r.linesCarried, " package stays in the cache with its line in CACHE.INI",
                         " packages stay in the cache with their lines in CACHE.INI");
    return text;
}

bool DeleteCacheTmpFiles(PublicVariables& pv, EngineContext& ctx, std::size_t* deleted) {
    if (deleted) *deleted = 0;
    const Result<std::vector<FileInfo>> listed = ctx.fs.listFiles(pv.GameDir, "*.tmp");
    if (!listed.ok()) {
        ctx.dialogs.message(kProgramTitle, listed.status.text);
        return false;
    }
    std::uint64_t count = 0;
    std::uint64_t total = 0;
    for (const FileInfo& info : listed.value) {
        const std::string path = joinShown(pv.GameDir, info.name);
        ++count;
        // A link goes itself; the file it leads to, maybe outside the game, is not touched.
        Status st = info.link ? Status::success() : ctx.fs.makeWritable(path);
        if (st.ok()) st = ctx.fs.removeFile(path);
        if (!st.ok()) {
            ctx.dialogs.message(kProgramTitle, st.text);
            return false;
        }
        if (deleted) ++*deleted;
        if (!info.link) total += info.size;
    }
    if (count < 1) {
        ctx.dialogs.message(kProgramTitle, "No files found..");
        return true;
    }
    ctx.dialogs.message(kProgramTitle,
                        "Deleted " + formatByteTotal(total) + " of temporary cache files.");
    return true;
}

std::string formatByteTotal(std::uint64_t bytes) {
    const std::string digits = std::to_string(bytes);
    switch (digits.size()) {
        case 1:
        case 2:
        case 3:
            return digits + " bytes";
        case 4:
        case 5:
        case 6:
            return digits.substr(0, digits.size() - 3) + "K";
        case 7:
        case 8:
        case 9:
            return digits.substr(0, digits.size() - 6) + "MEG";
        default:
            return digits;
    }
}

bool SetPurgeInterval(const std::string& text, PublicVariables& pv, EngineContext& ctx) {
    pv.PurgeDaysText = text;
    // The 64-bit builds read System64's file and the others System's: each one there gets it.
    bool ok = INIWriteSetting("Core.System", "PurgeCacheDays", text, pv.GameIniPath, &ctx.dialogs,
                              &ctx.fs);
    const std::string other = otherGameIniPath(pv.GameIniPath);
    if (!other.empty() && ctx.fs.isFile(other))
        ok = INIWriteSetting("Core.System", "PurgeCacheDays", text, other, &ctx.dialogs, &ctx.fs) &&
             ok;
    return ok;
}

}  // namespace qv
