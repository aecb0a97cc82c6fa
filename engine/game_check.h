#pragma once

#include <string>
#include <vector>

namespace qv {

struct EngineContext;
struct RunningGames;
class StatusSink;

// What a run, a purge, an undo or the extension repair does when the game is running: the game
// keeps cache.ini in memory and writes it back whole, in place, when a download ends and when it
// quits, undoing whatever was changed meanwhile.
enum class WhenGameRuns {
    Refuse,  // the message names the program, nothing is changed (the command line)
    Ask,     // a question, No the default (the window)
    GoOn,    // a status line says so and the work goes on (an explicit command-line flag)
};

// True when the work may go on: no copy of the game uses `folders` (the game folder, the cache
// folder), or the user chose to go on (a status line says so). Otherwise the user was told;
// nothing was changed. When no game was found but other users' programs could not be looked at
// (not root), `unseenNote` (when given) receives kOthersUnseenNote, for the log.
inline constexpr const char* kOthersUnseenNote =
    "Other users' programs could not be checked for a running game (only root can see them).";
bool gameAllowsChanges(const EngineContext& ctx, const std::vector<std::string>& folders,
                       StatusSink* status, std::string* unseenNote = nullptr);

// The line the file lists add when the game is running ("" when it is not): which program uses
// which folder, and what run, purge and undo do meanwhile (ask first, or refuse), by
// `ctx.whenGameRuns`. `brief`, when given, receives a form short enough for a status bar: "The
// game is running (ut-bin-amd64, process 4242)".
std::string gameRunningLine(const EngineContext& ctx, const std::vector<std::string>& folders,
                            std::string* brief = nullptr);
// The same for a search already made (`found`, by findRunningGame over `folders`).
std::string gameRunningLine(const EngineContext& ctx, const RunningGames& found,
                            const std::vector<std::string>& folders, std::string* brief = nullptr);

}  // namespace qv
