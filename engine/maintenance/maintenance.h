#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace qv {

struct PublicVariables;
struct EngineContext;
class StatusSink;

// Busy: another run or purge holds the cache folder's lock (a message was shown). NotDone: what a
// purge is until it says what became of it, a failure.
enum class PurgeOutcome {
    NoIndex,
    AlreadyEmpty,
    Cancelled,
    Done,
    IndexUnreadable,
    Busy,
    GameRunning,
    NotDone
};

// What a purge that got to its deletions did.
struct PurgeResult {
    std::size_t deleted = 0;       // cache files deleted
    std::size_t linesDropped = 0;  // lines whose cache file was gone before the purge
    std::size_t failed = 0;        // cache files that stay, with their lines
    bool indexReplaced = false;    // with every line the game added meanwhile
    std::size_t linesNotKept = 0;  // named as not kept in CACHE.INI (the game kept rewriting it)
    bool stopped = false;  // a stop request ended the deletions early; the rest kept their lines
    // Lines the new index kept beside those of the files that stay: added by the game meanwhile,
    // or only in CACHEBAK.INI with their package in the cache.
    std::size_t linesCarried = 0;
};

// What a purge did in a line: "All cache files have been deleted", or how many were deleted
// and how many stay ("5 cache files were deleted; 1 package stays in the cache with its line in
// CACHE.INI").
std::string purgeSummary(const PurgeResult& result);

// Deletes every cache file the index names after the question, replaces the index with one that
// names only what stayed (atomically, keeping lines the game added meanwhile), adds the status
// lines. `cacheDir`: the cache folder the file list shows; empty: the game folder's CachePath.
// The caller re-scans on Done; `result`, when given, says what was done.
[[nodiscard]] PurgeOutcome PurgeCache(PublicVariables& pv, EngineContext& ctx, StatusSink& status,
                                      const std::string& cacheDir = {},
                                      PurgeResult* result = nullptr);

// Deletes GameDir/*.tmp (a link itself, never what it leads to); messages "No files found.." or
// "Deleted <size> of temporary cache files.", or the system's error text on the first failure
// (then returns false). `deleted`, when given, receives the number of files deleted.
bool DeleteCacheTmpFiles(PublicVariables& pv, EngineContext& ctx, std::size_t* deleted = nullptr);

// bytes / K / MEG by the number of digits.
std::string formatByteTotal(std::uint64_t bytes);

// Writes [Core.System] PurgeCacheDays of GameIniPath, and of the game's other
// UnrealTournament.ini (System and System64) when that one exists; the text is not validated.
// Returns whether every write succeeded (the window confirms a success in its status bar).
bool SetPurgeInterval(const std::string& text, PublicVariables& pv, EngineContext& ctx);

}  // namespace qv
