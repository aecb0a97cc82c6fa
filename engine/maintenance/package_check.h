#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/result.h"

namespace qv {

class Dialogs;
class FileSystem;
struct PublicVariables;

// Where a check looks: the cache, the game's folders, the run journals (for lost index lines).
struct CheckPlaces {
    std::string cacheDir, cacheExt;
    std::vector<std::string> gameFolders;  // System, Maps, Textures, Sounds, Music
    std::string journalFolder;
};

// The places of the game of `pv` and the cache folder `cacheDir` (empty: the game's own), from
// Quorvel.ini. False with the reason when Quorvel.ini cannot be read.
Result<CheckPlaces> checkPlacesFor(const PublicVariables& pv, const std::string& cacheDir,
                                   FileSystem& fs);

struct MissingNeed {
    std::string package;  // file name of the package that needs it
    std::string need;     // package name it imports
    bool installed = false;
    std::string path = {};  // the file of the package that needs it
};

// A cache file GUID.ext that no index line names.
struct LinelessFile {
    std::string fileName, guid;
    std::uint64_t size = 0;
    std::int64_t mtime = 0;
    std::string savedLine;  // the line a run journal or cachebak.ini still holds; "" when none
};

struct CheckReport {
    bool indexRead = false;
    std::string indexFailure;
    std::vector<MissingNeed> missing;    // needs found nowhere
    std::vector<MissingNeed> cacheOnly;  // installed packages' needs only the cache holds
    std::vector<LinelessFile> lineless;
    std::vector<std::string> unreadable;       // "<file>: <reason>" of packages whose tables fail
    std::vector<std::string> unreadablePaths;  // their files, in the same order
    std::size_t packages = 0;                  // packages whose imports were read
    bool stopped = false;
};

// Reads the names and imports of every package in the game's folders and the cache (at most
// three reads each) and lists the cache files without an index line.
CheckReport checkPackages(const CheckPlaces& places, FileSystem& fs,
                          const std::atomic<bool>* stop = nullptr);

// The installed packages' needs that only the cache holds (the purge asks about them).
std::vector<MissingNeed> installedNeedingCache(const CheckPlaces& places, FileSystem& fs);

// For the purge question: the installed packages that need a package only the cache holds, one
// status line each, and the question's added sentence ("" when there are none).
class StatusSink;
std::string cacheOnlyNeeds(const PublicVariables& pv, const std::string& cacheDir, FileSystem& fs,
                           StatusSink& status);

// One package found nowhere and the packages that need it.
struct MissingPackage {
    std::string name;                   // as the first package to need it spells it
    std::vector<std::string> neededBy;  // sorted, letter case aside
    std::vector<std::string> paths;     // the file of each of neededBy, in its order
};
// The needs found nowhere grouped by the package needed (letter case aside), sorted by its name,
// each group's packages sorted.
std::vector<MissingPackage> groupMissing(const std::vector<MissingNeed>& missing);
// "28 packages are missing, needed 694 times" ("no package is missing" when none).
std::string missingCountText(std::size_t packages, std::size_t needs);

// "<package> needs <name>, which is neither installed nor in the cache"
std::string missingNeedLine(const MissingNeed& m);
// "<package> needs <name>, which only the cache holds"
std::string cacheOnlyLine(const MissingNeed& m);
// "<GUID.ext>  <size> bytes  <date>  no index line" (+ "; its line is in <where>")
std::string linelessLine(const LinelessFile& f);

// Puts the saved lines of `files` back into cache.ini under the cache lock. Returns the lines
// put back; a busy cache or a failed replacement says why (message through `dialogs`).
struct [[nodiscard]] RestoreResult {
    std::vector<std::string> restored;
    Status status;  // not done until the lines are in (or none had to go in)
};
RestoreResult restoreIndexLines(const std::string& cacheDir, const std::vector<LinelessFile>& files,
                                FileSystem& fs, Dialogs& dialogs);

}  // namespace qv
