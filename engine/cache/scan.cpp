#include "engine/cache/scan.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <string_view>

#include "engine/cache/cache_entry.h"
#include "engine/cache/index_file.h"
#include "engine/engine_context.h"
#include "engine/public_variables.h"
#include "engine/run/placement.h"
#include "platform/ascii.h"
#include "platform/dialogs.h"
#include "platform/filesystem.h"
#include "platform/paths.h"
#include "platform/system.h"
#include "platform/textfile.h"
#include "settings/game_finder.h"
#include "settings/mdl_ini.h"
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
// `plainFiles`: for each entry, whether its cache file is a plain file of exactly its name (may
// stay empty: not told).
bool readIndex(const std::string& cacheDir, const std::string& cacheExt, PublicVariables& pv,
               ScanState& state, EngineContext& ctx, bool& metMissingExtension,
               std::vector<bool>& plainFiles) {
    // Read whole: a run's selection from a file the game is writing would miss packages.
    Result<std::string> index = readWholeIndex(ctx.fs, joinPath(cacheDir, "cache.ini"));
    if (!index) {
        ctx.dialogs.message(kProgramTitle,
                            "Cache.INI could not be read (" + index.status.text + ")");
        return false;
    }
    const auto parse = [&](const std::string& text) {
        // Views into the index as read: its lines are not copied.
        const std::vector<std::string_view> lines = splitOwnLineViews(text);
        pv.CacheFileNames.reserve(lines.size());
        pv.RealNames.reserve(lines.size());
        state.rows.reserve(lines.size());
        for (const std::string_view line : lines) {
            std::optional<CacheEntry> entry = parseEntryLine(line, cacheExt);
            if (!entry) continue;
            if (entry->missingExtension()) metMissingExtension = true;
            FileRow row;
            row.text = entry->displayName();
            row.entry = pv.CacheFileNames.size();
            pv.CacheFileNames.push_back(std::move(entry->CacheFileName));
            pv.RealNames.push_back(std::move(entry->RealName));
            state.rows.push_back(std::move(row));
        }
    };
    parse(index.value);
    // A listing shows the lines as the run will see them: the run's scan first adds the map
    // extensions a line lacks (once per program run). Here that is done in memory only.
    if (metMissingExtension && state.readOnly && !pv.MapFixDone) {
        bool lineLeftUnrepaired = false;
        const std::string repaired = indexWithMapExtensions(index.value, lineLeftUnrepaired);
        pv.CacheFileNames.clear(), pv.RealNames.clear(), state.rows.clear();
        metMissingExtension = false;
        parse(repaired);
    }
    // The dates in one pass over the cache folder, after the parsing.
    std::vector<std::int64_t> times =
        ctx.fs.modifiedTimesIn(cacheDir, pv.CacheFileNames, &plainFiles);
    // A file whose name differs from its GUID in letter case alone is still the package's.
    std::vector<std::string> unseen;
    for (std::size_t i = 0; i < times.size(); ++i)
        if (times[i] == FileSystem::kNoTime) unseen.push_back(pv.CacheFileNames[i]);
    if (!unseen.empty()) {
        const auto other = namesIgnoringCase(ctx.fs, cacheDir, unseen);
        for (std::size_t i = 0; i < times.size() && !other.empty(); ++i)
            if (auto it = other.find(pv.CacheFileNames[i]);
                times[i] == FileSystem::kNoTime && it != other.end())
                if (const auto t = ctx.fs.modifiedTime(joinPath(cacheDir, it->second)))
                    times[i] = *t;
    }
    DateTexts dates;
    for (std::size_t i = 0; i < state.rows.size(); ++i)
        if (times[i] != FileSystem::kNoTime) state.rows[i].date = dates.of(times[i]);
    return true;
}

void applySelection(const Options& options, std::vector<FileRow>& rows) {
    for (FileRow& row : rows)
        if (selectedByOptions(options, row.text)) row.checked = true;
}

}  // namespace

namespace {

std::uint64_t foldedHash(std::string_view text) {
    std::uint64_t h = 14695981039346656037ull;  // FNV-1a over the upper-cased bytes
    for (char c : text) h = (h ^ static_cast<unsigned char>(upperAscii(c))) * 1099511628211ull;
    return h;
}

// The rows' texts in an open-addressed table (linear probing) keyed by their hash with ASCII
// letters folded to upper case: no node and no upper-cased copy per row. A slot holds the row
// number and the hash's upper half, so most probes never look at a text. Rows whose texts match
// ignoring case share their hash, so they always sit in one run of occupied slots.
class FoldedRowTable {
  public:
    explicit FoldedRowTable(std::vector<FileRow>& rows) : rows_(rows) {
        std::size_t size = 16;
        while (size < 2 * rows.size()) size *= 2;
        slots_.assign(size, Slot{});
        mask_ = size - 1;
        for (std::size_t r = 0; r < rows.size(); ++r) {
            const std::uint64_t h = foldedHash(rows[r].text);
            std::size_t i = h & mask_;
            while (slots_[i].row != 0) i = (i + 1) & mask_;
            slots_[i] = {static_cast<std::uint32_t>(r + 1), static_cast<std::uint32_t>(h >> 32)};
        }
    }

    // Unchecks and marks every row whose text equals a name ignoring case.
    void markNeverMove(const std::vector<std::string>& names) {
        for (FileRow& row : rows_) row.neverMove = false;
        for (const std::string& name : names) {
            const std::uint64_t h = foldedHash(name);
            const auto high = static_cast<std::uint32_t>(h >> 32);
            for (std::size_t i = h & mask_; slots_[i].row != 0; i = (i + 1) & mask_) {
                FileRow& row = rows_[slots_[i].row - 1];
                if (slots_[i].high == high && equalsNoCaseAscii(row.text, name))
                    row.neverMove = true, row.checked = false;
            }
        }
    }

    // Unchecks every group of rows matching ignoring case that holds one text twice exactly.
    // Each run of occupied slots is read once, from the empty slot before it.
    void uncheckDuplicates() {
        std::size_t start = 0;
        while (slots_[start].row != 0) start = (start + 1) & mask_;  // there is an empty slot
        std::vector<Slot> run;
        std::vector<bool> grouped;
        std::vector<std::size_t> group;
        for (std::size_t n = 1; n <= slots_.size(); ++n) {
            const Slot& slot = slots_[(start + n) & mask_];
            if (slot.row != 0) {
                run.push_back(slot);
                continue;
            }
            grouped.assign(run.size(), false);
            for (std::size_t a = 0; a < run.size(); ++a) {
                if (grouped[a]) continue;
                group.assign(1, a);
                for (std::size_t b = a + 1; b < run.size(); ++b)
                    if (!grouped[b] && run[b].high == run[a].high &&
                        equalsNoCaseAscii(textOf(run[b]), textOf(run[a])))
                        group.push_back(b), grouped[b] = true;
                bool twin = false;
                for (std::size_t x = 0; x < group.size() && !twin; ++x)
                    for (std::size_t y = x + 1; y < group.size() && !twin; ++y)
                        twin = textOf(run[group[x]]) == textOf(run[group[y]]);
                if (twin)
                    for (std::size_t g : group) rows_[run[g].row - 1].checked = false;
            }
            run.clear();
        }
    }

  private:
    struct Slot {
        std::uint32_t row = 0;  // row number + 1; 0 is an empty slot
        std::uint32_t high = 0;
    };
    const std::string& textOf(const Slot& slot) const { return rows_[slot.row - 1].text; }

    std::vector<FileRow>& rows_;
    std::vector<Slot> slots_;
    std::size_t mask_ = 0;
};

// An unreadable never-move list leaves the scan without one, and says so: its packages would
// otherwise be moved without a word.
std::vector<std::string> loadNeverMoveNames(const std::string& file, EngineContext& ctx) {
    Result<std::vector<std::string>> names = LoadNeverMoveList(file, ctx.fs);
    if (names) return std::move(names.value);
    if (ctx.fs.exists(file))
        ctx.dialogs.message(kProgramTitle, file + " could not be read (" + names.status.text +
                                               "); no package is protected from moving.");
    return {};
}

// Why the index of a cache folder that is there cannot be read: the folder cannot be listed,
// or it lists a cache.ini that cannot be looked at (no search right) or is no plain file. ""
// when the index is simply not there.
std::string unreadableIndexReason(const std::string& cacheDir, FileSystem& fs) {
    if (!fs.isFolder(cacheDir)) return {};
    bool listsIndex = false;
    const Status listed = fs.forEachEntry(
        cacheDir, [&](std::string_view name, EntryKind) { listsIndex |= name == "cache.ini"; });
    if (!listed && listed.code != ENOSYS)
        return "the cache folder " + cacheDir + " cannot be read: " + listed.text;
    return listsIndex ? joinPath(cacheDir, "cache.ini") + " cannot be looked at or is no plain file"
                      : "";
}

}  // namespace

void ScanCache(PublicVariables& pv, ScanState& state, EngineContext& ctx) {
    ClearCacheEntries(pv);
    // Rows refer to entry-table positions, so both start empty together.
    state.rows.clear();
    state.indexMissing = false;
    state.indexRead = false;

    const ProgramFiles files = programFiles(pv.ProgramFolder, ctx.fs);
    const std::string& settingsFile = files.settingsFile;
    if (state.cacheDir.empty())
        state.cacheDir =
            pv.GameDir + toNativeSeparators(INIGetSettingString("Dirs", "CachePath", settingsFile,
                                                                "", &ctx.dialogs, &ctx.fs));
    const std::string cacheDir = state.cacheDir;
    const std::string cacheExt = cacheExtension(
        INIGetSettingString("Dirs", "CacheExt", settingsFile, "", &ctx.dialogs, &ctx.fs));
    pv.GameIniPath = usedGameIniPath(pv.GameDir, ctx.fs);
    pv.UserIniPath = usedUserIniPath(pv.GameDir, ctx.fs);
    pv.PurgeDaysText = INIGetSettingString("Core.System", "PurgeCacheDays", pv.GameIniPath, "",
                                           &ctx.dialogs, &ctx.fs);
    state.purgeDaysText = pv.PurgeDaysText;

    if (!ctx.fs.isFile(joinPath(cacheDir, "cache.ini"))) {
        if (const std::string why = unreadableIndexReason(cacheDir, ctx.fs); !why.empty()) {
            ctx.dialogs.message(kProgramTitle, "Cache.INI could not be read (" + why + ")");
            state.statusText = "Cache.INI in " + cacheDir + " could not be read";
            return;
        }
        ctx.dialogs.message("Critical file missing!", "Cache.INI is MISSING...can't proceed!");
        state.statusText = "No cache.ini in " + cacheDir;
        state.indexMissing = true;
        return;
    }

    bool metMissingExtension = false;
    std::vector<bool> plainFiles;
    if (!readIndex(cacheDir, cacheExt, pv, state, ctx, metMissingExtension, plainFiles)) return;
    state.indexRead = true;

    applySelection(state.options, state.rows);

    state.neverMoveNames = loadNeverMoveNames(files.neverMoveFile, ctx);
    pv.NeverMoveNames = state.neverMoveNames;
    // One table of the rows serves the never-move names and the duplicates.
    {
        FoldedRowTable table(state.rows);
        table.markNeverMove(pv.NeverMoveNames);
        table.uncheckDuplicates();
    }

    state.statusText =
        filesToProcessText(countToProcess(state.rows, pv, cacheDir, ctx.fs, &plainFiles));

    if (metMissingExtension && !pv.MapFixDone && !state.readOnly)
        FixMissingMapExtensions(cacheDir, pv, state, ctx);
}

std::size_t countToProcess(const std::vector<FileRow>& rows, const PublicVariables& pv,
                           const std::string& cacheDir, FileSystem& fs,
                           const std::vector<bool>* plainFiles) {
    // The plain files of the cache folder by their names' hashes without regard to case (a file
    // whose name differs from its line's in letter case alone is still the package's): the names
    // in one buffer and a sorted table of (hash, name), no allocation per file.
    // The folder is read only for a file the scan's own lookups did not find by its exact name.
    std::string names;
    std::vector<std::pair<std::size_t, std::size_t>> starts;  // hash, where the name starts
    const NoCaseAsciiHash hash;
    int listed = -1;  // not yet read; then 1 read, 0 not readable
    const auto list = [&] {
        listed = fs.forEachEntry(cacheDir, [&](std::string_view name, EntryKind kind) {
                       if (kind != EntryKind::File) return;
                       starts.emplace_back(hash(name), names.size());
                       names.append(name).push_back('/');  // not a path: no file name holds a '/'
                   }).ok();
        std::sort(starts.begin(), starts.end());
    };
    const auto present = [&](std::string_view file) {
        const std::size_t h = hash(file);
        for (auto it = std::lower_bound(starts.begin(), starts.end(), std::pair{h, std::size_t{0}});
             it != starts.end() && it->first == h; ++it) {
            const std::size_t end = names.find('/', it->second);  // not a path
            if (equalsNoCaseAscii(std::string_view(names).substr(it->second, end - it->second),
                                  file))
                return true;
        }
        return false;
    };
    std::size_t count = 0;
    for (const FileRow& row : rows) {
        if (!row.checked || row.entry >= pv.EntryCount()) continue;
        if (isUnsafeRealName(pv.RealNames[row.entry])) continue;
        const std::string& file = pv.CacheFileNames[row.entry];
        if (isUnsafeRealName(file)) continue;
        if (plainFiles && row.entry < plainFiles->size() && (*plainFiles)[row.entry]) {
            ++count;
            continue;
        }
        if (listed < 0) list();
        count += listed ? present(file) : fs.isFile(joinPath(cacheDir, file));
    }
    return count;
}

bool selectedByOptions(const Options& options, const std::string& text) {
    if (options.SelectAll) return true;
    const struct {
        int value;
        const char* suffix;
    } boxes[] = {{options.U, "U"},
                 {options.UAX, "UAX"},
                 {options.UMX, "UMX"},
                 {options.UNR, "UNR"},
                 {options.UTX, "UTX"}};
    for (const auto& box : boxes)
        if (box.value == 1 && endsWithType(text, box.suffix)) return true;
    return false;
}

std::string filesToProcessText(std::size_t count) {
    return "Found " + std::to_string(count) + " files to process";
}

void UncheckDuplicates(std::vector<FileRow>& rows) {
    FoldedRowTable(rows).uncheckDuplicates();
}

void MarkNeverMoveItems(std::vector<FileRow>& rows, const std::vector<std::string>& names) {
    // The rows are the table and the names stream past it: the work grows with the names, not
    // faster, however long the list is.
    FoldedRowTable(rows).markNeverMove(names);
}

namespace {

std::string formatLocal(std::int64_t when, const char* format, std::tm* out = nullptr) {
    const std::optional<std::tm> local = localTime(when);
    if (!local) return {};
    if (out) *out = *local;
    char buf[128];
    const std::size_t n = std::strftime(buf, sizeof buf, format, &*local);
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
