#pragma once

#include <string>

#include "platform/locks.h"

namespace qv {

// An exclusive, non-blocking lock on a cache folder, held from construction to destruction, so
// that no two read-modify-replace cycles of cache.ini (a run, a purge, the repair) overlap, in
// one process or several: a FolderLock on the folder, with cache.ini the file whose record lock
// keeps out other machines where the folder itself cannot be locked (NFS).
class CacheLock final {
  public:
    using State = FolderLock::State;

    explicit CacheLock(const std::string& cacheDir) : lock_(cacheDir, "cache.ini") {}

    State state() const { return lock_.state(); }
    bool busy() const { return state() == State::Busy; }
    // Unavailable: the system's reason.
    const std::string& failure() const { return lock_.failure(); }
    // Unavailable: the status-list and log line that says the work goes on unlocked.
    std::string unlockedLine(const std::string& cacheDir) const {
        return "The cache folder " + cacheDir + " could not be locked (" + failure() +
               "); another Quorvel may change it at the same time";
    }

  private:
    FolderLock lock_;
};

constexpr const char* kCacheBusyMessage =
    "Another Quorvel (a run, a purge or a repair of the index) is using this cache folder. "
    "Try again when it has finished.";

class Dialogs;
class FileSystem;

// Reads cache.ini for a rewrite under `lock`. Anything but Read has shown its message: another
// run or purge holds the lock; the file cannot be read; or it cannot be replaced ("...; nothing
// was " + `undone` + "."), as an index left naming what was moved or deleted helps nobody.
enum class IndexForRewrite { Read, Busy, Unreadable, NotReplaceable };
IndexForRewrite readIndexForRewrite(const CacheLock& lock, const std::string& indexPath,
                                    FileSystem& fs, Dialogs& dialogs, const char* undone,
                                    std::string& text);

}  // namespace qv
