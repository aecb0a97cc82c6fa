#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

namespace qv {

class FileSystem;
struct FileIdentity;
class OutFile;
class RunJournal;
class StatusSink;

enum class PackageType { Map, Texture, Music, Sound, System, Unknown };

// The package type table: rows 1-6 on the upper-cased last three characters of the real name
// (UNR, UTX, UMX, UAX, INT, DEM), row 7 on the line's last character ("U"), else unknown.
PackageType packageTypeOfLine(std::string_view line);

enum class PlacementMode { TypeFolders, OneFolder, FolderTree };

// Asked after a package landed, before its move is said: why it must go back into the cache (a
// damaged package), or nothing when it stays where it landed.
class LandingCheck {
  public:
    virtual ~LandingCheck() = default;
    virtual std::optional<std::string> damage(std::string_view line, const std::string& destination,
                                              const FileIdentity& landed) = 0;
};

// "<name> is damaged (<reason>) and stays in the cache".
std::string damagedText(std::string_view realName, const std::string& reason);

struct PlacementContext {
    std::string cacheDir;
    std::string cacheExt;
    PlacementMode mode = PlacementMode::TypeFolders;
    std::string moveDirText;   // the one folder, trimmed
    std::string moveDir2Text;  // the folder tree's root, trimmed
    std::string mapsDir, texturesDir, soundsDir, musicDir, systemDir;
    // Where the game finds a package by its name, in the order it looks: a folder and the
    // extension it takes there (System and *.u, Maps and *.unr, ...).
    std::vector<std::pair<std::string, std::string>> gamePaths;
    RunJournal* journal = nullptr;         // told what landed after each move, when given
    LandingCheck* landingCheck = nullptr;  // asked about what landed, when given
    // Lines the last run on this cache moved (its journal says so) though the index still names
    // them (it could not be written): their NOT FOUND is only counted, in `movedBeforeDropped`.
    const std::unordered_set<std::string>* movedBefore = nullptr;
    std::size_t* movedBeforeDropped = nullptr;
};

// A real name that must never be joined to a folder: holds '/' or '\', is "." or "..", is only an
// extension (".unr"), holds a control character, or is one that a Windows file system refuses (a
// game folder on NTFS or exFAT): a device name such as CON or LPT1 with any extension, a ':'
// anywhere (a drive prefix such as "C:" too), a trailing dot or space.
bool isUnsafeRealName(std::string_view realName);

// Where a run would place the package of `line`; empty when it would not place it (unknown
// type, unsafe name).
std::string destinationOfLine(std::string_view line, const PlacementContext& ctx);

// "**OLD** " + cache file name + "  ---->  **NEW** " + destination: the line of a move that
// happened.
std::string moveLineText(const std::string& cacheFileName, const std::string& destination);

// Places one selected index line (more than 10 characters): moves the package or reports why
// not, writes one status line and one log line (log may be null), and adds the line to
// keptLines when its package stays in the cache. Order of the tests: unknown type, unsafe
// name (real name or cache file name), cache file missing, then the move; a failed move keeps
// the line and says why, unless the destination already holds the same bytes in another file:
// then the cache copy is removed and its line dropped. `listedAsFile`: a listing of the cache
// folder made by the run showed the cache file as a plain file, so the move need not look its
// type up again. `cacheFileOnDisk`: the cache file's name as the folder spells it, where its
// letter case differs from the index's GUID.
enum class PlaceOutcome {
    Moved,    // placed (or already there with the same bytes)
    Kept,     // not movable by the rules (unknown type, unsafe name): its line stays
    Missing,  // no cache file: its line is dropped
    Failed,   // the move failed: its line stays
};
PlaceOutcome PlaceCacheEntry(std::string_view line, const PlacementContext& ctx, FileSystem& fs,
                             StatusSink& status, OutFile* log, std::vector<std::string>& keptLines,
                             bool listedAsFile = false, std::string_view cacheFileOnDisk = {});

}  // namespace qv
