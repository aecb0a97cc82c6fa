#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qv {

struct FileRow;
struct Options;
struct PackageFacts;
struct PlacementContext;
struct PublicVariables;
class FileSystem;
class HeaderCache;
class WholeHeaders;

// What a run does with the line of one row.
enum class RowAction : std::uint8_t {
    Keep,    // the line and its package stay
    Move,    // the package goes to its destination
    Remove,  // the game has this very package already: the cache copy goes
    Drop,    // no cache file: the line goes
};

struct RowPlan {
    RowAction action = RowAction::Keep;
    std::string reason;     // why the package stays; for Drop, that its file is gone
    std::string installed;  // the Installed column: "", "same version", "other version"
};

struct ListPlan {
    std::vector<RowPlan> entries;  // by entry-table position
    std::size_t toProcess = 0;     // moves and removed cache copies: "Found N files to process"
};

const char* actionText(RowAction action);  // "keep", "move", "remove", "drop"

// The run of the rows the selection rules check, planned as the run plans it (planRun), over the
// entry table; each row is then checked exactly when that run acts on its line. `facts`: the
// header pass's, by entry (may be empty); `whole`: the files it found whole (may be null);
// `headers`: what that pass read, so that no package is read twice (may be null).
ListPlan planRows(std::vector<FileRow>& rows, const PublicVariables& pv, const Options& options,
                  const PlacementContext& place, const std::vector<PackageFacts>& facts,
                  const WholeHeaders* whole, FileSystem& fs, HeaderCache* headers = nullptr);

}  // namespace qv
