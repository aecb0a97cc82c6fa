#pragma once

#include <atomic>
#include <cstddef>
#include <string>
#include <string_view>

#include "engine/game_check.h"
#include "platform/game_process.h"

namespace qv {

class Dialogs;
class FileSystem;

// Where the engine's status-list lines, status-bar texts and progress go. The window fills
// its status list and status bar from it; the command line prints the lines.
class StatusSink {
  public:
    virtual ~StatusSink() = default;
    virtual void addLine(const std::string& line) = 0;                     // end of the status list
    virtual void setStatusText(const std::string& /*text*/) {}             // third status-bar panel
    virtual void progress(std::size_t /*done*/, std::size_t /*total*/) {}  // packages
};

// The services every engine routine needs.
struct EngineContext {
    FileSystem& fs;
    Dialogs& dialogs;
    // Set by the front end (Stop, Ctrl+C) from another thread or a signal handler; a run or a
    // purge reads it between packages and stops there. Null: nothing can stop it.
    const std::atomic<bool>* stop = nullptr;
    // What a run, a purge, an undo or the repair does when the game is running, and where the
    // running programs are looked for (tests pass a tree of their own).
    WhenGameRuns whenGameRuns = WhenGameRuns::Refuse;
    std::string procRoot = processTableRoot();
    int uid = -1;  // whose programs are looked at: -1 this process's user (root: everyone's)

    bool stopRequested() const { return stop && stop->load(std::memory_order_relaxed); }
};

// "Stopped after N of M packages": the line a stopped run or purge adds to its status and log.
std::string stoppedLine(std::size_t done, std::size_t total);

// "1 package", "2 packages": a count and its noun, singular or plural.
inline std::string counted(std::size_t n, std::string_view one, std::string_view many) {
    return std::to_string(n) + " " + std::string(n == 1 ? one : many);
}

}  // namespace qv
