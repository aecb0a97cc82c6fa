// The bench's figures of lookups beside the run: the never-move marking and the read of a large
// Wine registry.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "engine/cache/scan.h"

namespace qv::bench {

// Never-move names: `count` names on no row, and every tenth one the upper-cased text of a row.
std::vector<std::string> neverMoveNames(std::size_t count, const std::vector<FileRow>& rows);

// The best of three markings of `names` against `rows`, each on a fresh copy of the rows.
double markSeconds(const std::vector<FileRow>& rows, const std::vector<std::string>& names);

// The seconds the finder's read of a Wine registry of `size` bytes takes, the game's key last
// (-1 when the key is missed).
double wineRegistrySeconds(std::size_t size);

}  // namespace qv::bench
