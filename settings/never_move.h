#pragma once

#include <string>
#include <vector>

#include "platform/result.h"

namespace qv {

class FileSystem;

// QuorvelDontMove.ini: one whole file name per line, taken as it stands. No size limit.
// Reads the list in file order; an unreadable file gives an empty list and a failed status.
Result<std::vector<std::string>> LoadNeverMoveList(const std::string& file, FileSystem& fs);

// Writes the names last to first (the file holds the list's names in reverse order), CR LF line
// ends, replacing the file atomically.
Status SaveNeverMoveList(const std::string& file, const std::vector<std::string>& names,
                         FileSystem& fs);

// The right-click add: appends the name and a line end (the file's own style; CR LF for an
// empty or new file).
Status AppendNeverMoveName(const std::string& file, const std::string& name, FileSystem& fs);

}  // namespace qv
