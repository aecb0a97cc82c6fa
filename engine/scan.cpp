#include "engine/scan.h"

#include <cstring>
#include <ctime>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "engine/cache_entry.h"
#include "engine/engine_context.h"
#include "engine/public_variables.h"
#include "platform/ascii.h"
#include "platform/dialogs.h"
#include "platform/filesystem.h"
#include "platform/paths.h"
#include "platform/textfile.h"
#include "settings/game_finder.h"
#include "settings/mdlINI.h"
#include "settings/never_move.h"
#include "settings/program_files.h"

namespace qv {

namespace {

// Reads the index into the entry table and the rows. Returns false when it could not be read.
bool readIndex(const std::string& cacheDir, const std::string& cacheExt, PublicVariables& pv,
               ScanState& state, EngineContext& ctx, bool& metMissingExtension) {
    Result<std::string> index = ctx.fs.readAll(cacheDir + "/cache.ini");
    if (!index) {
        ctx.dialogs.message(kProgramTitle,
                            "Cache.INI could not be read (" + index.status.text + ")");
        return false;
    }
    const std::vector<std::string> lines = splitLines(index.value);
    pv.CacheFileNames.reserve(lines.size());
    pv.RealNames.reserve(lines.size());
    state.rows.reserve(lines.size());
    for (const std::string& line : lines) {
        std::optional<CacheEntry> entry = parseEntryLine(line, cacheExt);
        if (!entry) continue;
        if (entry->missingExtension()) metMissingExtension = true;
        FileRow row;
        row.text = entry->displayName();
        row.entry = pv.CacheFileNames.size();
        if (std::optional<std::int64_t> mtime =
                ctx.fs.modifiedTime(cacheDir + "/" + entry->CacheFileName))
            row.date = formatFileDate(*mtime);
        pv.CacheFileNames.push_back(std::move(entry->CacheFileName));
        pv.RealNames.push_back(std::move(entry->RealName));
        state.rows.push_back(std::move(row));
    }
    return true;
}

void applySelection(const Options& options, std::vector<FileRow>& rows) {
    if (options.SelectAll) {
        for (FileRow& row : rows) row.checked = true;
        return;
    }
    const struct {
        int value;
        const char* suffix;
    } boxes[] = {{options.U, "U"},
                 {options.UAX, "UAX"},
                 {options.UMX, "UMX"},
                 {options.UNR, "UNR"},
                 {options.UTX, "UTX"}};
    for (const auto& box : boxes) {
        if (box.value != 1) continue;
        for (FileRow& row : rows)
            if (endsWithType(row.text, box.suffix)) row.checked = true;
    }
}

}  // namespace

void ScanCache(PublicVariables& pv, ScanState& state, EngineContext& ctx) {
    ClearCacheEntries(pv);
    // Rows refer to entry-table positions, so both start empty together.
    state.rows.clear();
    state.indexMissing = false;

    const ProgramFiles files = programFiles(pv.ProgramFolder, ctx.fs);
    const std::string& settingsFile = files.settingsFile;
    if (state.lblCacheDir.empty())
        state.lblCacheDir =
            pv.GameDir + toNativeSeparators(INIGetSettingString("Dirs", "CachePath", settingsFile,
                                                                "", &ctx.dialogs, &ctx.fs));
    const std::string cacheDir = state.lblCacheDir;
    const std::string cacheExt =
        INIGetSettingString("Dirs", "CacheExt", settingsFile, "", &ctx.dialogs, &ctx.fs);
    pv.GameIniPath = usedGameIniPath(pv.GameDir, ctx.fs);
    pv.UserIniPath = usedUserIniPath(pv.GameDir, ctx.fs);
    pv.PurgeDaysText = INIGetSettingString("Core.System", "PurgeCacheDays", pv.GameIniPath, "",
                                           &ctx.dialogs, &ctx.fs);
    state.txtPurgeCacheDays = pv.PurgeDaysText;

    if (!ctx.fs.isFile(cacheDir + "/cache.ini")) {
        ctx.dialogs.message("Critical file missing!", "Cache.INI is MISSING...can't proceed!");
        state.indexMissing = true;
        return;
    }

    bool metMissingExtension = false;
    if (!readIndex(cacheDir, cacheExt, pv, state, ctx, metMissingExtension)) return;

    applySelection(state.options, state.rows);

    // An unreadable never-move list leaves the scan without one.
    Result<std::vector<std::string>> names = LoadNeverMoveList(files.neverMoveFile, ctx.fs);
    if (!names) names.value.clear();
    pv.NeverMoveNames = names.value;
    state.lstNM = std::move(names.value);
    MarkNeverMoveItems(state.rows, pv.NeverMoveNames);

    UncheckDuplicates(state.rows);

    std::size_t checked = 0;
    for (const FileRow& row : state.rows)
        if (row.checked) ++checked;
    state.statusText = "Found " + std::to_string(checked) + " files to process";

    if (metMissingExtension && !pv.MapFixDone && !state.readOnly)
        FixMissingMapExtensions(cacheDir, pv, state, ctx);
}

void UncheckDuplicates(std::vector<FileRow>& rows) {
    std::unordered_map<std::string_view, std::size_t> counts;
    counts.reserve(rows.size());
    for (const FileRow& row : rows) ++counts[row.text];

    std::unordered_set<std::string> duplicated;  // upper case of every text with an exact twin
    for (const auto& [text, count] : counts)
        if (count >= 2) duplicated.insert(upperAscii(text));
    if (duplicated.empty()) return;

    for (FileRow& row : rows)
        if (duplicated.count(upperAscii(row.text))) row.checked = false;
}

void MarkNeverMoveItems(std::vector<FileRow>& rows, const std::vector<std::string>& names) {
    std::unordered_set<std::string> upperNames;
    upperNames.reserve(names.size());
    for (const std::string& name : names) upperNames.insert(upperAscii(name));

    for (FileRow& row : rows) {
        // The column follows the list as loaded now, so a name taken off the list clears it.
        row.neverMove = upperNames.count(upperAscii(row.text)) != 0;
        if (row.neverMove) row.checked = false;
    }
}

namespace {

std::string formatLocal(std::int64_t when, const char* format, std::tm* out = nullptr) {
    const std::time_t t = static_cast<std::time_t>(when);
    std::tm local{};
    if (!localtime_r(&t, &local)) return {};
    if (out) *out = local;
    char buf[128];
    const std::size_t n = std::strftime(buf, sizeof buf, format, &local);
    return std::string(buf, n);
}

}  // namespace

std::string formatLocalDate(std::int64_t when) {
    return formatLocal(when, "%x");
}

std::string formatLocalTime(std::int64_t when) {
    return formatLocal(when, "%X");
}

std::string formatFileDate(std::int64_t mtime) {
    std::tm local{};
    std::string text = formatLocal(mtime, "%x", &local);
    if (!text.empty() && (local.tm_hour != 0 || local.tm_min != 0 || local.tm_sec != 0))
        text += ' ' + formatLocal(mtime, "%X");
    return text;
}

bool endsWithType(const std::string& text, const char* upperSuffix) {
    const std::size_t n = std::strlen(upperSuffix);
    if (text.size() < n) return false;
    return upperAscii(std::string_view(text).substr(text.size() - n)) == upperSuffix;
}

}  // namespace qv
