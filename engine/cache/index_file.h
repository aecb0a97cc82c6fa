#pragma once

#include <string>
#include <vector>

#include "engine/cache/index_transaction.h"
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

}  // namespace qv
