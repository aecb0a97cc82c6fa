#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "platform/result.h"

namespace qv {

class FileSystem;

// How long the index waits for a writer (the game) to finish: between two looks, for a file
// that stays the same to count as settled where open writers cannot be seen, and in all.
struct IndexWaits {
    std::chrono::milliseconds poll{40};
    std::chrono::milliseconds quiet{300};
    std::chrono::milliseconds limit{2000};
};
IndexWaits& indexWaits();

// "<line> could NOT be kept in CACHE.INI (...)": a line a rewrite by another program dropped.
std::string notKeptLine(const std::string& line);  // the process's; tests shorten them

// cache.ini read whole: the same file (inode, size, modification time) before and after the
// read, not ending in a cut line, no program holding it open for writing. An empty or cut read
// is read again after a short wait; one that stays so without a writer counts after a while
// (the game was ended in its write, or an editor saved no last line end) unless `heldLines`,
// said where the file is known to have held lines. A file that keeps changing for the whole
// limit is refused (EBUSY, "it is being written").
Result<std::string> readWholeIndex(FileSystem& fs, const std::string& path, bool heldLines = false);

// The outcome of a step that may never have been taken: a failure ("it was not written") until
// the step itself sets what happened, so that a path that gives up early never claims a write.
struct [[nodiscard]] StepStatus : Status {
    StepStatus() : Status(Status::failure("it was not written")) {}
    StepStatus(const Status& s) : Status(s) {}  // NOLINT: a step's own outcome
};

// What became of the two index files.
struct [[nodiscard]] IndexReplacement {
    StepStatus backup;  // cachebak.ini replaced by the old index (not written when not asked for)
    StepStatus index;   // cache.ini replaced by the new index
    bool unchanged = false;  // cache.ini held the new index already: neither file was written
    bool backupAsked =
        true;  // false: cachebak.ini was left alone, and the report says nothing of it
    // Lines another program (the game) added to cache.ini after it was read, in cache.ini now.
    std::vector<std::string> carried;
    // Lines of the old cachebak.ini whose package is in the cache and that cache.ini lacked, in
    // cache.ini now: the backup is never the last home of a line.
    std::vector<std::string> fromBackup;
    // Lines that belong in cache.ini and are not in it at the end: others kept replacing it.
    std::vector<std::string> notKept;

    // One line for each carried line and each line from the backup, when the new index is in
    // place, and one for each line not kept.
    std::vector<std::string> carriedReport() const;
    std::vector<std::string> notKeptReport() const;  // the lines not kept alone

    // The status-list and log lines that say so: the rename and the new index; or, when only the
    // backup failed, why it failed and that the previous backup stays, then the new index; or why
    // cache.ini could not be replaced.
    std::vector<std::string> report(const std::string& cacheDir) const;
};

// The index transaction. Its invariant: every line whose package is in the cache at the end is
// in cache.ini or named in the log as not kept; nothing is named falsely.
//
// Makes `newIndex` (what the caller keeps of `oldIndex`, the bytes it read) the new cache.ini,
// plus every entry line another program (the game, which takes no lock) wrote meanwhile: those
// lines are neither in `oldIndex` nor in `newIndex`; a line of `oldIndex` missing from `newIndex`
// was removed by the caller. Steps: read cache.ini whole; carry the lines added there and, when
// `keepBackup`, the lines of cachebak.ini whose package is in the cache and that have none in
// the index; write the new file whole under a temporary name, flush it and exchange it with
// cache.ini only if cache.ini still holds what was read (else read again). The displaced file
// becomes cachebak.ini (when `keepBackup`) and is watched: once no program writes to it or to
// cache.ini any more, it is read again and what the game wrote into it after the exchange is
// carried; cache.ini is read again and written once more when it does not hold the new index.
// The last read names every line still missing as not kept. Where the file system cannot
// exchange names, the backup is written as a copy, then the index. A cache.ini that already
// holds the new index is not written. The caller holds the cache's lock. `cacheFiles`: the cache
// folder's plain files (plainFileNames), listed by the caller just before, or null to list them.
[[nodiscard]] IndexReplacement replaceCacheIndex(
    FileSystem& fs, const std::string& cacheDir, const std::string& oldIndex, std::string newIndex,
    bool keepBackup = true, const std::vector<std::string>* cacheFiles = nullptr);

}  // namespace qv
