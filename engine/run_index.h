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

// Replaces cacheDir/cache.ini by `newIndex` and makes `oldIndex` (the bytes the caller read
// from cache.ini) the new cachebak.ini, so that cache.ini always exists and is always either
// the old or the new index:
//   1. the new index is written under a temporary name in the cache folder and flushed;
//   2. cachebak.ini is replaced atomically by a copy of the old index;
//   3. the temporary file is renamed over cache.ini.
// When step 1 fails, cache.ini and the old backup are untouched. On any failure the temporary
// file is removed and the status says why.
Status replaceCacheIndex(FileSystem& fs, const std::string& cacheDir, const std::string& oldIndex,
                         const std::string& newIndex);

constexpr const char* kNewIndexTempName = "cache.ini.quorvel-new";

}  // namespace qv
