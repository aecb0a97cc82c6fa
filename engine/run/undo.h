#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/run/run.h"

namespace qv {

struct EngineContext;
class StatusSink;

// One run or purge as history lists it, newest first.
struct HistoryEntry {
    std::string id;  // what `UndoRequest::runId` takes
    std::int64_t started = 0;
    std::string cacheDir;
    bool purge = false;       // purges cannot be undone
    std::size_t moved = 0;    // packages moved (cache files deleted, for a purge)
    std::size_t removed = 0;  // cache copies removed: the game had the same bytes installed
    std::size_t dropped = 0;  // index lines dropped because their cache file was gone
    bool finished = false;    // false: the run was cut short (killed)
    bool undone = false;
    std::size_t partlyBack = 0;  // put back by undos that did not finish (not undone)
};
std::vector<HistoryEntry> RunHistory(const std::string& programFolder, FileSystem& fs);

// One line of history for a terminal or a list: time, id, what, folder.
std::string historyLine(const HistoryEntry& e);
// Records, at the end of journal `journalPath`, that an undo put `back` of its packages and
// cache copies back without finishing: history then shows the run as partly undone.
Status markPartlyUndone(FileSystem& fs, const std::string& journalPath, std::size_t back);
// Seconds since 1970 as local "YYYY-MM-DD HH:MM:SS".
std::string timeText(std::int64_t seconds);

struct UndoRequest {
    std::string programFolder;
    std::string runId;     // empty: the last run not yet undone on `cacheDir`
    bool dryRun = false;   // only say what would go back
    std::string cacheDir;  // the cache folder in use; another's runs need their ID
};

// One folder however it is written: trailing separators aside, or the same folder on disk.
bool sameFolder(const std::string& a, const std::string& b, FileSystem& fs);

enum class UndoOutcome {
    NothingToUndo,  // no run not undone yet on the cache folder (or no such run ID)
    AlreadyUndone,  // the run asked for was undone before: nothing done
    NotUndoable,    // a purge, or a journal that cannot be read
    Busy,           // another Quorvel holds the cache folder's lock (message shown)
    IndexUnreadable,
    GameRunning,  // the game uses the cache (told, or No answered); nothing moved back
    DryRun,       // the lines say what would happen
    Done,
    NotDone,  // what an undo is until it says what became of it: a failure
};

struct [[nodiscard]] UndoResult {
    UndoOutcome outcome = UndoOutcome::NotDone;
    std::string runId;
    std::string cacheDir;
    std::int64_t started = 0;  // when the run started, seconds since 1970
    // Nothing to undo on the cache folder in use: the last run not undone on another one.
    std::string elsewhereRunId, elsewhereCacheDir;
    std::size_t restored = 0;    // back in the cache (or would go back, dry run)
    std::size_t copiedBack = 0;  // of `restored`: removed cache copies copied back
    std::size_t stayed = 0;      // changed, moved or deleted since the run: left alone
    std::size_t failed = 0;      // the move back failed: it stays where it is
    // Its folder is missing or unreadable now (an unmounted disk): the run stays undoable.
    std::size_t unreachable = 0;
    std::size_t linesAdded = 0;
    std::size_t linesNotKept = 0;  // the game's, added meanwhile: named as not kept
    bool indexReplaced = false;
    bool logWritten = false;
    bool stopped = false;  // a stop request ended the moves back early
};

// How many packages the undo `request` asks for would put back: a dry run that writes nothing
// and shows nothing.
UndoResult PreviewUndo(const UndoRequest& request, FileSystem& fs);

// Puts the packages of a run back into its cache folder, as they were before it, and their
// lines into cache.ini; a package changed since the run stays and is named. Status-list lines
// go to `status`, and (not for a dry run) to the run log. Folders the run made and left empty
// go. The run is marked undone only when every package that can go back went back: one whose
// folder cannot be reached now leaves the run undoable. A missing cache.ini or cache folder
// stops the undo before anything moves.
UndoResult UndoRun(const UndoRequest& request, EngineContext& ctx, StatusSink& status);

// "3 packages were moved back into the cache, 2 removed cache copies were copied back": the
// undo's counts in the words history counts the run in.
std::string movedBackText(const UndoResult& r);

// All, Part or Nothing of what the undo set out to do.
Completion completionOf(const UndoResult& r);

}  // namespace qv
