#pragma once

#include <string>
#include <vector>

#include "platform/result.h"
#include "platform/textfile.h"

namespace qv {

class FileSystem;

// cache.ini as the game writes it, 8-bit text. One that an editor saved as UTF-16 ("Unicode")
// is refused (EILSEQ) rather than taken byte by byte: its lines would not parse, and a rewrite
// would garble them.
Result<std::string> readCacheIndex(FileSystem& fs, const std::string& path);

// The text of a new index: "[Cache]" and the kept lines, each followed by CR LF (the index's
// own line end, whatever the old file used).
std::string newIndexText(const std::vector<std::string>& keptLines);

// Removes the hidden temporary files that a write cut short (a killed run) left in `folders`
// and returns one line per file for the status list and the log.
std::vector<std::string> removeLeftTempFiles(FileSystem& fs,
                                             const std::vector<std::string>& folders);

// What became of the two index files.
struct IndexReplacement {
    Status backup;  // cachebak.ini replaced by the old index
    Status index;   // cache.ini replaced by the new index
    // Lines another program (the game) added to cache.ini after it was read, carried into the
    // new index.
    std::vector<std::string> carried;
    // Lines found the same way that are not in cache.ini at the end: others kept replacing it
    // until the tries were used up.
    std::vector<std::string> notKept;

    // One line for each carried line, when the new index is in place, and one for each line not
    // kept.
    std::vector<std::string> carriedReport() const;
    std::vector<std::string> notKeptReport() const;  // the lines not kept alone

    // The status-list and log lines that say so: the rename and the new index; or, when only the
    // backup failed, why it failed and that the previous backup stays, then the new index; or why
    // cache.ini could not be replaced.
    std::vector<std::string> report(const std::string& cacheDir) const;
};

// Makes `newIndex` the new cache.ini and the index it replaces the new cachebak.ini (when
// `keepBackup`). cache.ini is read again first: every entry line another program added since
// `oldIndex` (the bytes the caller read) is appended to `newIndex`, as the game takes no lock.
// The new file is written whole under a temporary name no other process shares, with the old
// file's owner and mode, flushed, and exchanged with cache.ini in one step; the file it displaces
// becomes cachebak.ini, a file of its own, never a second name of cache.ini. When the displaced
// file is not the one read again (the game wrote meanwhile), its added lines are carried too and
// the index is written once more. Where the file system cannot exchange names, the backup is
// written as a copy, then the index. cache.ini always exists and is always a whole index. A
// backup that cannot be replaced stays as it was, and the new index is written all the same. The
// caller holds the cache's lock.
IndexReplacement replaceCacheIndex(FileSystem& fs, const std::string& cacheDir,
                                   const std::string& oldIndex, std::string newIndex,
                                   bool keepBackup = true);

}  // namespace qv
