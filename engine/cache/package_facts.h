#pragma once

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "package/header_cache.h"
#include "package/package_header.h"
#include "package/package_reader.h"
#include "platform/filesystem.h"

namespace qv {

struct PlacementContext;
struct PublicVariables;

// The files of a few folders by their names folded to one case: a package is installed whatever
// the case of its name. Each folder is listed once, when first asked.
class FolderNames final {
  public:
    explicit FolderNames(FileSystem& fs) : fs_(fs) {}
    // The name as the folder spells it of the plain file `name` ignoring ASCII case; the exact
    // spelling when it is there.
    std::optional<std::string> find(std::string_view folder, std::string_view name);
    // Every plain file's name of `folder`, folded to upper case -> as spelled.
    const std::unordered_multimap<std::string, std::string>& of(std::string_view folder);
    // The file the game loads for the package `packageName` (a file name without its extension,
    // any letter case): the first on `paths` (folder, extension) that a folder holds, as a path.
    std::optional<std::string> findPackage(
        const std::vector<std::pair<std::string, std::string>>& paths,
        std::string_view packageName);

  private:
    using Names = std::unordered_multimap<std::string, std::string>;
    // `name` folded to upper case, in a buffer kept from call to call.
    const std::string& folded(std::string_view name);

    FileSystem& fs_;
    std::unordered_map<std::string, Names> folders_;
    // The folder asked for last: a pass asks for a few folders, each many times in a row.
    std::string lastFolder_;
    const Names* lastNames_ = nullptr;
    std::string upper_;
    // The packages of the paths asked for last, each name once (the first on the paths), upper
    // case -> path; made at the first findPackage, so each costs one lookup.
    std::vector<std::pair<std::string, std::string>> packagePaths_;
    std::unordered_map<std::string, std::string> packages_;
};

enum class PackageCondition : std::uint8_t {
    Unknown,     // not examined (yet)
    NotPackage,  // a type whose header is not read (.int, .dem, others)
    Whole,       // a package whose header is whole and names its cache file
    Damaged,     // see reason
    Unreadable,  // the cache file could not be read (reason: the system's text)
    NoFile,      // no cache file
};
enum class InstalledVersion : std::uint8_t { None, Same, Other };

struct PackageFacts {
    PackageCondition condition = PackageCondition::Unknown;
    InstalledVersion installed = InstalledVersion::None;
    int version = -1;
    std::string reason;         // Damaged, Unreadable
    GuidText guid;              // from the header
    std::string installedPath;  // Same, Other: the file at the destination
};

const char* conditionText(PackageCondition c);  // "damaged", "ok", ... for --json
const char* installedText(InstalledVersion v);  // "", "same version", "other version"

// The cache files a header pass found whole and naming their file, by name, with the identity
// each had then. A run trusts such a file by the identity of what landed, without reading its
// header again before the move. Compact: two hashes a file (the name's; the device's, inode's,
// size's and modification time's), so a file is trusted only as the very file the pass read.
class WholeHeaders final {
  public:
    void add(std::string_view cacheFileName, const FileIdentity& identity);
    void seal();  // after the last add, before the first lookup
    // The file `cacheFileName` was whole with exactly this identity.
    bool wasWhole(std::string_view cacheFileName, const FileIdentity& identity) const;
    // The file `cacheFileName` was whole when the pass read it.
    bool knows(std::string_view cacheFileName) const;
    // Both at once, in one lookup: unknown to the pass, whole with this identity, or whole as
    // another file (changed since).
    enum class Seen : std::uint8_t { Unknown, Same, Changed };
    Seen seen(std::string_view cacheFileName, const FileIdentity& identity) const;
    std::size_t size() const { return files_.size(); }

    // What the table holds of one name, looked up before a move and kept by the caller, so that
    // what lands after the move is checked without a second lookup in a table gone cold meanwhile.
    struct Known {
        std::uint8_t files = 0;      // whole files of that name: 0, 1, or 2 for two or more
        std::uint64_t identity = 0;  // the one file's identity hash
    };
    Known known(std::string_view cacheFileName) const;
    // The same for `count` names into `out`: the lookups' loads from memory overlap.
    void known(const std::string_view* names, std::size_t count, Known* out) const;
    // seen() for a file whose name's Known was kept.
    Seen seen(std::string_view cacheFileName, const Known& known, const FileIdentity& id) const;

  private:
    using File = std::pair<std::uint64_t, std::uint64_t>;  // name hash, identity hash
    // The files whose name hash could be `name`'s: a bucket of about one file, so a lookup costs
    // one or two cache misses rather than a binary search's seventeen.
    std::pair<const File*, const File*> candidates(std::uint64_t name) const;
    Known knownByHash(std::uint64_t name) const;

    std::vector<File> files_;            // by name hash
    std::vector<std::uint32_t> starts_;  // files_ index of each bucket's first file, and the end
    int shift_ = 63;                     // a name hash's bucket: its top (64 - shift_) bits
};

// The file that makes the package of one index line installed: its real name at its destination
// in any letter case, or in the game's type folders a package of its name the game finds first,
// whatever its extension (Skins.utx is installed as System/Skins.u).
std::optional<std::string> installedPackage(std::string_view line, const PlacementContext& place,
                                            FolderNames& folders);
// The same for the line's destination as destinationOfLine gives it (empty: none).
std::optional<std::string> installedPackage(std::string_view line, std::string_view destination,
                                            const PlacementContext& place, FolderNames& folders);
// The installed package whose header is `installed` is the version of the GUID `guid`.
bool isSameVersion(const HeaderFacts& installed, std::string_view guid);

// The facts of the package of one index line: its cache file's header, and the installed file of
// its name (installedPackage) with its version. `needs`: see HeaderCache::factsOf.
// `identity`: the cache file's, as its header was read.
PackageFacts examineLine(std::string_view line, const PlacementContext& place,
                         std::string_view cacheFileOnDisk, FileSystem& fs, HeaderCache& headers,
                         FolderNames& folders, std::vector<std::string>* needs = nullptr,
                         FileIdentity* identity = nullptr);

// The header pass over a scan's entry table: facts[k] for entry k, filled in index order;
// `filled(first, end)` after each batch; a stop request ends it between packages. `whole`
// receives the whole packages' cache files, sealed.
void examineEntries(const PublicVariables& pv, const PlacementContext& place,
                    std::vector<PackageFacts>& facts, HeaderCache& headers, FileSystem& fs,
                    const std::function<void(std::size_t, std::size_t)>& filled = {},
                    const std::atomic<bool>* stop = nullptr, WholeHeaders* whole = nullptr);

// Unchecks the rows of damaged packages (they never move) and of lines without their cache file
// (nothing to move).
struct FileRow;
void uncheckDamaged(std::vector<FileRow>& rows, const std::vector<PackageFacts>& facts);

// The placement a listing shows destinations by: Quorvel.ini's folders and the options' mode.
PlacementContext listingPlacement(const PublicVariables& pv, const std::string& cacheDir,
                                  const struct Options& options, FileSystem& fs);

}  // namespace qv
