#pragma once

#include <cstddef>

#include "bench/bench_common.h"
#include "bench/synthetic_game.h"

namespace qv::bench {

// rename_floor: the run's no-replace moves on the identical twin cache, nothing else (`back`:
// the same moves back, as an undo makes them). The plan is formed a slice at a time before it
// is timed and let go after it, so the bench's own memory stays small beside the engine's.
// `lookup`: one lstat of each file where it landed, timed apart from the moves: the check of
// what landed that a run (and an undo) makes after each move. `header` (forth only): one open,
// read of a header block and close of each file before its move, timed apart: the read a run
// makes to keep damaged packages and other versions in the cache.
struct FloorMoves {
    Spent moves{0, 0}, lookup{0, 0}, header{0, 0};
    std::size_t planned = 0, done = 0;
};

FloorMoves floorMoves(const SyntheticGame& twin, std::size_t entries, bool back);

}  // namespace qv::bench
