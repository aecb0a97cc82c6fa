#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "engine/run/placement.h"
#include "engine/run/run_settings.h"
#include "settings/program_settings.h"

namespace qv {

struct PublicVariables;
struct EngineContext;
class WholeHeaders;
class StatusSink;

// The checks of a run before ProcessCache: the folder-text checks (message
// "You must select a full folder path (example - /home/you/ut-packages)"), the trimming of one
// trailing separator in both boxes (written back into `options`). The destination folder and the
// five type sub-folders are made by ProcessCache once it moves something ("Could not create the
// folder " + path + " (" + reason + ")" refuses the run there).
// Returns false when the run must not start (the message was shown through the dialogs).
// `checksPassed` is set once the checks have passed (the window then shows the Status tab and
// "Processing files...").
bool PrepareRun(Options& options, EngineContext& ctx, bool* checksPassed = nullptr);

enum class RunOutcome {
    NoIndex,          // no cache.ini: nothing written, no re-scan
    IndexUnreadable,  // message "Cache.INI could not be read (reason)" (or the same for an
                      // unreadable Quorvel.ini); nothing written, nothing replaced
    Busy,             // another run or purge holds the cache folder's lock (message shown)
    Refused,    // a folder mode without a folder, or an index that cannot be replaced; nothing done
    Completed,  // the run went through FinishRun, or had nothing to do; the caller re-scans
    GameRunning,  // the game uses the cache (told, or No answered); nothing done
    NotDone,      // what a run is until it says what became of it: a failure
};

struct RunRequest {
    Options options;       // placement mode and the trimmed folder texts
    std::string cacheDir;  // in/out: the cache folder in use
    // The checked rows by their entry-table position (FileRow::entry). Two lines of one name are
    // two rows; exactly the lines of the checked rows are placed.
    std::vector<std::size_t> checkedEntries;
    // The cache files the list's header pass found whole (null: none; each header is then read
    // before its move). It must outlive the run.
    const WholeHeaders* wholeHeaders = nullptr;
    // Why packages left unchecked stay, by cache file name ("damaged (not a package)"): the
    // run's not-moved lines give it. Null or absent: no reason.
    const std::unordered_map<std::string, std::string>* stayReasons = nullptr;
};

struct [[nodiscard]] RunResult {
    RunOutcome outcome = RunOutcome::NotDone;
    std::string cacheDirLine;  // "Cache Directory = " + cache directory
    // What became of the selected packages (Completed only).
    std::size_t selected = 0;
    std::size_t moved = 0;    // placed, or already there with the same bytes
    std::size_t kept = 0;     // not movable by the rules (unknown type, unsafe name)
    std::size_t missing = 0;  // no cache file: the line was dropped
    std::size_t failed = 0;   // the move failed: the package stays with its line
    bool indexReplaced = false;
    bool logWritten = false;
    bool locked = false;       // the cache lock was held (false: the work went on unlocked)
    bool stopped = false;      // a stop request ended the moves early; the rest kept their lines
    bool outOfMemory = false;  // memory ran out, which stopped the run as a stop request does
    // Nothing selected could change anything: no file was touched (no log, journal or index).
    bool nothingToDo = false;
    // What an interrupted run left was put in order (its backup index restored, its temporary
    // files removed); with nothingToDo, that was all the run did.
    bool repaired = false;
};

// How much of what an operation set out to do was done: a front end's exit status.
enum class Completion {
    All,      // everything, the index replaced and the log written
    Nothing,  // nothing changed, or nothing moved and something failed
    Part,     // some of it (a stopped run that moved something)
};
Completion completionOf(const RunResult& r);

// The placement mode the options choose (none chosen: the type folders), and the folders of a run:
// the cache, the game's type folders from Quorvel.ini, and the folders of that mode.
PlacementMode modeOf(const Options& o);
// Where the game finds a package by name, in its order: the [Core.System] Paths of its
// UnrealTournament.ini (folder and extension, relative to System), then the type folders.
std::vector<std::pair<std::string, std::string>> gamePathsOf(std::string_view gameIni,
                                                             const PlacementContext& place);

PlacementContext placementFor(const PublicVariables& pv, SettingsSnapshot& settings,
                              const std::string& cacheDir, PlacementMode mode, const Options& o);

// ProcessCache through FinishRun and ClearCacheEntries. Status-list lines, progress and event
// processing go to `status`; the caller then sets "Done processing files" and re-scans.
RunResult ProcessCache(PublicVariables& pv, RunRequest& request, EngineContext& ctx,
                       StatusSink& status);

}  // namespace qv
