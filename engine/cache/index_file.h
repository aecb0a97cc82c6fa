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

// Where an index replacement keeps a copy of cache.ini as it stood before the exchange, until
// cachebak.ini holds it: a replacement cut short between the two leaves the old index there.
constexpr const char* kLeftBackupName = ".quorvel-cachebak.ini";

// The copy a replacement cut short left in `cacheDir` becomes cachebak.ini, unless cache.ini
// still holds the same bytes (the index was never replaced: the copy is removed). Returns the
// line that says what became of it, if anything was said.
std::vector<std::string> restoreLeftBackup(FileSystem& fs, const std::string& cacheDir);

// Makes cachebak.ini of the copy a replacement cut short left (restoreLeftBackup), then removes
// the hidden temporary files that a write cut short (a killed run) left in `folders`, and
// returns one line per file for the status list and the log.
std::vector<std::string> removeLeftTempFiles(FileSystem& fs,
                                             const std::vector<std::string>& folders);

}  // namespace qv
