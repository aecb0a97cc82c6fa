#pragma once

#include <string>
#include <vector>

#include "platform/result.h"
#include "platform/textfile.h"

namespace qv {

class FileSystem;

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

    // The status-list and log lines that say so: the rename and the new index; or, when only
    // the backup failed, why it failed and that the previous backup stays, then the new index;
    // or why cache.ini could not be replaced.
    std::vector<std::string> report(const std::string& cacheDir) const;
};

// Makes `oldIndex` (the bytes the caller read from cache.ini) the new cachebak.ini, then
// `newIndex` the new cache.ini, each written whole under a temporary name no other process
// shares, flushed and renamed over the old file (the backup, while cache.ini still holds those
// bytes, by a hard link to it instead where the file system has links): cache.ini always exists and is always either
// the old or the new index. A backup that cannot be replaced (a folder of that name, a file of
// another owner) stays as it was, and the new index is written all the same, so the index
// never names packages that the run has moved. The caller holds the cache's lock.
IndexReplacement replaceCacheIndex(FileSystem& fs, const std::string& cacheDir,
                                   const std::string& oldIndex, const std::string& newIndex);

}  // namespace qv
