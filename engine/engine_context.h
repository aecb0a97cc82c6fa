#pragma once

#include <cstddef>
#include <string>

namespace qv {

class Dialogs;
class FileSystem;

// Where the engine's status-list lines, status-bar texts and progress go. The window fills
// List1 and StatusBar1 from it; the command line prints the lines.
class StatusSink {
  public:
    virtual ~StatusSink() = default;
    virtual void addLine(const std::string& line) = 0;                     // end of the status list
    virtual void setStatusText(const std::string& /*text*/) {}             // third status-bar panel
    virtual void progress(std::size_t /*done*/, std::size_t /*total*/) {}  // packages
    virtual void processEvents() {}  // lets the window system handle pending events
};

// The services every engine routine needs.
struct EngineContext {
    FileSystem& fs;
    Dialogs& dialogs;
};

}  // namespace qv
