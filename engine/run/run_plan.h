#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/cache/package_screen.h"
#include "engine/run/cache_listing.h"

namespace qv {

class WholeHeaders;

struct PublicVariables;
struct PlacementContext;
class FileSystem;
class OutFile;
class StatusSink;

// What a run does with one index line. A run and its dry run take it from one plan, made before
// anything changes: the run moves exactly the packages the plan moves, and no other.
enum class LineStep : std::uint8_t {
    Keep,       // not selected: the line stays as it is
    Unmovable,  // selected, of an unknown type or an unsafe name: placement names it, keeps it
    Move,       // a plain cache file to a free destination
    Spare,      // the destination holds these very bytes already: the cache copy goes
    Missing,    // no cache file: the line is dropped
    NotPlain,   // a link, folder or device where the cache file should be: kept and named
    Taken,      // another file has the destination's name: kept and named
    NoFolder,   // the destination's folder is missing: kept and named
    Stays,      // the package screen keeps it (damaged, another version placed or installed)
    Installed,  // the game has this very package installed: the cache copy goes
};

// The index lines a run works on and what it does with each.
struct RunPlan {
    std::vector<std::string_view> lines;  // views into the index as read: not copied
    std::vector<bool> selected;
    std::vector<LineStep> steps;  // one per line
    CacheListing listing;
    std::unordered_map<std::size_t, std::string> otherCase;  // line -> cache file's own spelling
    // Stays and Installed lines: what the package screen decided.
    std::unordered_map<std::size_t, ScreenVerdict> verdicts;
    std::size_t packages = 0;  // selected lines
    std::size_t moves = 0;     // Move steps
    // Per Move step, in index order: the hash (std::hash of a string_view) of its destination.
    std::vector<std::uint64_t> moveHashes;
    // Memory ran out while the screen judged this line: the run stops there (no step after it).
    std::size_t stopAt = SIZE_MAX;

    // The cache file's name as the folder spells it.
    std::string cacheFileName(std::size_t line, const std::string& cacheExt) const;
    // Nothing in the cache or the index would change: no move, no cache copy removed, no line
    // dropped.
    bool changesNothing() const;
};

// The folders a run writes to: the cache folder first, then the destinations of its mode.
std::vector<std::string> writtenFolders(const PlacementContext& p);

// Plans a run of the checked rows (entry-table positions) over `index`. Entry k of the index is
// selected when row k is checked and the line still names what the scan listed there. The
// folders of a folder mode count as there: the run makes them before its first move. The package
// screen judges each line it would move, as the run's does: `whole` as it takes it; `screen`, when
// given, is the run's own: it then knows what the plan moves. `listedAhead`, when given, waits
// for the cache folder as readCacheFolderAhead read it; the plan asks for it only once its own
// tables of the lines are made, and lists the folder itself when that listing was not read.
RunPlan planRun(const std::string& index, const std::vector<std::size_t>& checkedEntries,
                const PublicVariables& pv, const PlacementContext& place, FileSystem& fs,
                const WholeHeaders* whole = nullptr, PackageScreen* screen = nullptr,
                const std::function<CacheFolderNames()>& listedAhead = {});

// A wrong cache extension or cache folder shows as every package missing; the run would then
// drop every line.
bool looksLikeWrongCache(const RunPlan& plan, const PlacementContext& place, FileSystem& fs);

// The status-list and log line of a package the plan leaves where it is (Missing, NotPlain,
// Taken, NoFolder), as a failed move would have said it.
std::string plannedStepText(const RunPlan& plan, std::size_t line, const PlacementContext& place);

}  // namespace qv
