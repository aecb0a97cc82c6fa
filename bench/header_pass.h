#pragma once

#include <cstdint>
#include <string>

namespace qv {
struct PublicVariables;
class FileSystem;
}  // namespace qv

namespace qv::bench {

// The header pass over a scanned cache against what it cannot avoid: header_floor opens each
// cache file, reads one block of its header and closes it; header_pass is the engine's pass with
// nothing known yet; header_pass_cached the same pass again, with the results of the first.
// header_floor_at: the floor's opens made from the open cache folder, as the pass makes them.
// header_table_floor: what reading a package whole cannot avoid: from the open cache folder, open
// each cache file, read its first block and its table region (tablesAt to fileSize), close it.
// The pass reads with two threads where it can: passCpu and tableFloorCpu are the processor time
// both spent (the pass's threads together), beside the time on the clock.
struct HeaderPassFigures {
    double floor = 1e30, floorAt = 1e30, tableFloor = 1e30, pass = 1e30, cached = 1e30;
    double tableFloorCpu = 1e30, passCpu = 1e30;
    std::uint64_t tableBytes = 0;     // what the table floor reads of each package
    std::size_t read = 0, whole = 0;  // headers the first pass read, and found whole
};
HeaderPassFigures headerPassFigures(const PublicVariables& pv, const std::string& cacheDir,
                                    std::uint64_t tablesAt, std::uint64_t fileSize, FileSystem& fs);

}  // namespace qv::bench
