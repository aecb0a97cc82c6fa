#include "engine/run_index.h"

#include <algorithm>
#include <cerrno>
#include <unordered_map>
#include <unordered_set>

#include "engine/cache_entry.h"
#include "platform/filesystem.h"

namespace qv {

Result<std::string> readCacheIndex(FileSystem& fs, const std::string& path) {
    Result<std::string> text = fs.readAll(path);
    const std::string_view t = text.value;
    const bool utf16 = t.starts_with("\xFF\xFE") || t.starts_with("\xFE\xFF") ||
                       (t.size() >= 2 && (t[0] == '\0' || t[1] == '\0'));
    if (text.ok() && utf16)
        return {{},
                Status::failure("it is UTF-16 text; the game reads and writes plain text, as "
                                "an editor saves it as ANSI",
                                EILSEQ)};
    return text;
}

std::string newIndexText(const std::vector<std::string>& keptLines) {
    std::string text = "[Cache]\r\n";
    for (const std::string& line : keptLines) {
        text += line;
        text += "\r\n";
    }
    return text;
}

std::vector<std::string> removeLeftTempFiles(FileSystem& fs,
                                             const std::vector<std::string>& folders) {
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < folders.size(); ++i) {
        if (std::find(folders.begin(), folders.begin() + i, folders[i]) != folders.begin() + i)
            continue;  // the same folder twice (two types sharing one folder)
        const Result<std::vector<std::string>> removed = fs.removeLeftTempFiles(folders[i]);
        for (const std::string& name : removed.value)
            lines.push_back(folders[i] + "/" + name +
                            " was left by an interrupted run and has been removed");
    }
    return lines;
}

namespace {

bool isEntryLine(std::string_view line) {
    return parseEntryView(line).has_value();  // not the header, a blank or a short line
}

// Adds to `carried` the entry lines of `now` that neither `before` nor `ours` holds (as often as
// they occur beyond their count in either) and that `carried` does not hold yet. `ours`: what
// this replacement writes, which a writer may have built its file on.
void collectAddedLines(std::string_view before, std::string_view ours, std::string_view now,
                       std::vector<std::string>& carried) {
    std::unordered_map<std::string_view, std::size_t> count, ourCount;
    for (std::string_view line : splitLineViews(before)) ++count[line];
    for (std::string_view line : splitLineViews(ours)) ++ourCount[line];
    for (const auto& [line, n] : ourCount) count[line] = std::max(count[line], n);
    for (std::string_view line : splitLineViews(now)) {
        if (!isEntryLine(line)) continue;
        if (auto it = count.find(line); it != count.end() && it->second > 0) {
            --it->second;
            continue;
        }
        if (std::find(carried.begin(), carried.end(), line) == carried.end())
            carried.emplace_back(line);
    }
}

// Gives the displaced old index the backup's name; a rename that fails is answered by a copy,
// so one failure never costs the backup. A backup that cannot be replaced stays.
Status keepAsBackup(FileSystem& fs, const std::string& displaced, const std::string& backupPath,
                    const std::string& text) {
    if (Status obstacle = fs.canReplace(backupPath); !obstacle) return obstacle;
    Status s = fs.renameReplace(displaced, backupPath);
    if (!s) s = fs.writeAtomicLike(backupPath, text, displaced);
    return s;
}

}  // namespace

IndexReplacement replaceCacheIndex(FileSystem& fs, const std::string& cacheDir,
                                   const std::string& oldIndex, std::string newIndex,
                                   bool keepBackup) {
    constexpr int kAttempts = 8;
    IndexReplacement r;
    const std::string indexPath = cacheDir + "/cache.ini", backupPath = cacheDir + "/cachebak.ini";
    // Large indexes are compared as they stream past, not read into second copies: most often
    // nobody wrote meanwhile.
    const auto holds = [&fs](const std::string& path, const std::string& text) {
        const Result<bool> same = fs.holdsExactly(path, text);
        return same.ok() && same.value;
    };
    std::string current, written;
    const std::string* latest = &oldIndex;  // the newest index seen: the one to carry lines from
    if (!holds(indexPath, oldIndex)) {
        if (Result<std::string> now = fs.readAll(indexPath); now.ok()) {
            current = std::move(now.value);
            latest = &current;
        }
    }
    const std::string* onDisk = latest;  // what cache.ini holds, as far as this knows
    bool anyExchange = false;
    const std::size_t base = newIndex.size();
    const auto carryFromLatest = [&] {
        if (latest != &oldIndex)
            collectAddedLines(oldIndex, std::string_view(newIndex).substr(0, base), *latest,
                              r.carried);
    };
    // The tries are used up while others kept writing. Where ours stands, a line carried from
    // them that is not in cache.ini now is named as not kept, never claimed as kept.
    const auto unsettled = [&] {
        if (!anyExchange) return r;
        carryFromLatest();
        const Result<std::string> now = fs.readAll(indexPath);
        std::unordered_set<std::string_view> present;
        for (std::string_view line : splitLineViews(now.value)) present.insert(line);
        std::vector<std::string> kept;
        for (std::string& line : r.carried)
            (present.count(line) ? kept : r.notKept).push_back(std::move(line));
        r.carried = std::move(kept);
        return r;
    };
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        carryFromLatest();
        newIndex.resize(base);
        for (const std::string& line : r.carried) newIndex.append(line).append("\r\n");

        Result<std::string> swapped = fs.exchangeAtomic(indexPath, newIndex, onDisk);
        if (!swapped.ok() && swapped.status.code == ESTALE && attempt + 1 < kAttempts) {
            // Written meanwhile; nothing was exchanged: built again from what is there now.
            Result<std::string> now = fs.readAll(indexPath);
            if (!now.ok()) {
                if (!anyExchange) r.index = r.backup = now.status;  // nothing was changed
                break;
            }
            current = std::move(now.value);
            latest = onDisk = &current;
            continue;
        }
        if (!swapped.ok() && (swapped.status.code == ENOSYS || swapped.status.code == ENOENT)) {
            // No exchange here: the backup becomes a copy of its own, then the index is replaced.
            if (keepBackup && !anyExchange)
                r.backup = fs.writeAtomicLike(backupPath, *latest, indexPath);
            r.index = fs.writeAtomic(indexPath, newIndex);
            return r;
        }
        if (!swapped.ok()) {
            if (!anyExchange) r.index = r.backup = swapped.status;  // nothing was changed
            return unsettled();
        }
        r.index = Status::success();
        if (swapped.value.empty()) {
            // Renamed over the old file, which is gone (no exchange, no links): the backup is
            // a copy of the text that file was checked to hold.
            // It takes the owner and mode of the new index, which took those of the old one.
            if (keepBackup && !anyExchange)
                r.backup = fs.writeAtomicLike(backupPath, *onDisk, indexPath);
            return r;
        }
        const bool settled = holds(swapped.value, *onDisk);
        const bool ours = onDisk == &written;
        std::string displaced;
        if (!settled) {
            Result<std::string> read = fs.readAll(swapped.value);
            displaced = read.ok() ? std::move(read.value) : *onDisk;
        }
        // The first index displaced is the backup, and so is one the game wrote over ours; an
        // earlier text of this replacement is not.
        if (keepBackup && !(ours && settled)) {
            const Status b =
                keepAsBackup(fs, swapped.value, backupPath, settled ? *onDisk : displaced);
            if (!anyExchange || b.ok()) r.backup = b;
        }
        anyExchange = true;
        // Renamed away, or no longer wanted; a rename between two names of one file (a backup
        // an older version linked) leaves the temporary name behind too.
        if (fs.exists(swapped.value)) (void)fs.removeFile(swapped.value);
        if (settled) return r;
        // The game replaced the index in the instant before the exchange: its lines too.
        current = std::move(displaced);
        latest = &current;
        written = newIndex;
        onDisk = &written;
    }
    return unsettled();
}

std::vector<std::string> IndexReplacement::report(const std::string& cacheDir) const {
    std::vector<std::string> lines;
    if (!index.ok()) {
        lines.push_back("CACHE.INI could not be replaced (" + index.text + ")");
        return lines;
    }
    const std::string created = "A new CACHE.INI was created in " + cacheDir;
    if (!backup.ok()) {
        lines.push_back(cacheDir + "/CACHEBAK.INI could not be replaced (" + backup.text +
                        "); the previous backup stays");
    } else {
        lines.push_back(cacheDir + "/CACHE.INI was renamed to CACHEBAK.INI");
    }
    lines.push_back(created);
    return lines;
}

}  // namespace qv

namespace qv {

std::vector<std::string> IndexReplacement::notKeptReport() const {
    std::vector<std::string> lines;
    for (const std::string& line : notKept)
        lines.push_back(line +
                        " was added to CACHE.INI meanwhile (by the game) and could NOT be kept "
                        "(CACHE.INI kept changing)");
    return lines;
}

std::vector<std::string> IndexReplacement::carriedReport() const {
    std::vector<std::string> lines;
    if (index.ok())
        for (const std::string& line : carried)
            lines.push_back(line + " was added to CACHE.INI meanwhile (by the game) and is kept");
    for (std::string& line : notKeptReport()) lines.push_back(std::move(line));
    return lines;
}

}  // namespace qv
