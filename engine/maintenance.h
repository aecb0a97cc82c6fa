#pragma once

#include <cstdint>
#include <string>

namespace qv {

struct PublicVariables;
struct EngineContext;
class StatusSink;

// Busy: another run or purge holds the cache folder's lock (a message was shown).
enum class PurgeOutcome { NoIndex, AlreadyEmpty, Cancelled, Done, IndexUnreadable, Busy };

// Deletes every cache file the index names after the question, replaces the index with an
// empty one (atomically), adds the status lines. The caller re-scans on Done.
PurgeOutcome PurgeCache(PublicVariables& pv, EngineContext& ctx, StatusSink& status);

// Deletes GameDir/*.tmp; messages "No files found.." or "Deleted <size> of temporary cache
// files.", or the system's error text on the first failure.
void DeleteCacheTmpFiles(PublicVariables& pv, EngineContext& ctx);

// bytes / K / MEG by the number of digits.
std::string formatByteTotal(std::uint64_t bytes);

// Writes [Core.System] PurgeCacheDays of GameIniPath, and of the game's other
// UnrealTournament.ini (System and System64) when that one exists; the text is not validated.
// Returns whether every write succeeded (the window confirms a success in its status bar).
bool SetPurgeInterval(const std::string& text, PublicVariables& pv, EngineContext& ctx);

}  // namespace qv
