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

// The "Date" text of a modification time. Files of a cache mostly arrive in bursts, so the
// same second comes back again and again; the text is formatted once per second seen, from a
// small table of the last ones.
class DateTexts {
  public:
    const std::string& of(std::int64_t mtime) {
        Slot& slot = slots_[static_cast<std::uint64_t>(mtime) % kSlots];
        if (!slot.used || slot.mtime != mtime) {
            slot = {true, mtime, formatFileDate(mtime)};
        }
        return slot.text;
    }

  private:
    static constexpr std::size_t kSlots = 64;
    struct Slot {
        bool used = false;
        std::int64_t mtime = 0;
        std::string text;
    };
    Slot slots_[kSlots];
};

// Reads the index into the entry table and the rows. Returns false when it could not be read.
bool readIndex(const std::string& cacheDir, const std::string& cacheExt, PublicVariables& pv,
               ScanState& state, EngineContext& ctx, bool& metMissingExtension) {
    Result<std::string> index = ctx.fs.readAll(cacheDir + "/cache.ini");
    if (!index) {
        ctx.dialogs.message(kProgramTitle,
                            "Cache.INI could not be read (" + index.status.text + ")");
        return false;
    }
    // Views into the index as read: its lines are not copied.
    const std::vector<std::string_view> lines = splitLineViews(index.value);
    pv.CacheFileNames.reserve(lines.size());
    pv.RealNames.reserve(lines.size());
    state.rows.reserve(lines.size());
    DateTexts dates;
    std::string path = cacheDir + "/";
    const std::size_t folderLength = path.size();
    for (const std::string_view line : lines) {
        std::optional<CacheEntry> entry = parseEntryLine(line, cacheExt);
        if (!entry) continue;
        if (entry->missingExtension()) metMissingExtension = true;
        FileRow row;
        row.text = entry->displayName();
        row.entry = pv.CacheFileNames.size();
        path.resize(folderLength);
        path.append(entry->CacheFileName);
        if (std::optional<std::int64_t> mtime = ctx.fs.modifiedTime(path))
            row.date = dates.of(*mtime);
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

namespace {

// Hash and equality of texts with ASCII letters folded to upper case, so texts are looked up
// without an upper-cased copy of each.
struct FoldedHash {
    std::size_t operator()(std::string_view text) const {
        std::uint64_t h = 14695981039346656037ull;  // FNV-1a
        for (char c : text) {
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
            h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
        }
        return static_cast<std::size_t>(h);
    }
};
struct FoldedEqual {
    bool operator()(std::string_view a, std::string_view b) const {
        if (a.size() != b.size()) return false;
        for (std::size_t i = 0; i < a.size(); ++i) {
            char x = a[i], y = b[i];
            if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
            if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
            if (x != y) return false;
        }
        return true;
    }
};

}  // namespace

void UncheckDuplicates(std::vector<FileRow>& rows) {
    std::unordered_map<std::string_view, std::size_t> counts;
    counts.reserve(rows.size());
    for (const FileRow& row : rows) ++counts[row.text];

    // Every text with an exact twin, matched ignoring case.
    std::unordered_set<std::string_view, FoldedHash, FoldedEqual> duplicated;
    for (const auto& [text, count] : counts)
        if (count >= 2) duplicated.insert(text);
    if (duplicated.empty()) return;

    for (FileRow& row : rows)
        if (duplicated.count(row.text)) row.checked = false;
}

void MarkNeverMoveItems(std::vector<FileRow>& rows, const std::vector<std::string>& names) {
    // The rows are the table and the names stream past it: the work grows with the names, not
    // faster, however long the list is.
    std::unordered_multimap<std::string_view, std::size_t, FoldedHash, FoldedEqual> byText;
    byText.reserve(rows.size());
    for (std::size_t r = 0; r < rows.size(); ++r) {
        // The column follows the list as loaded now, so a name taken off the list clears it.
        rows[r].neverMove = false;
        byText.emplace(rows[r].text, r);
    }
    for (const std::string& name : names) {
        const auto [first, last] = byText.equal_range(name);
        for (auto it = first; it != last; ++it) {
            FileRow& row = rows[it->second];
            row.neverMove = true;
            row.checked = false;
        }
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
