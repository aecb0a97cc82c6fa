#pragma once

#include <memory>
#include <string>

#include "platform/machine_lock.h"

namespace qv {

// An exclusive, non-blocking lock on a cache folder, held from construction to destruction, so
// that no two read-modify-replace cycles of cache.ini (a run, a purge, the repair) overlap, in
// one process or several. It is an flock(2) on the folder itself. Where the file system refuses
// that (NFS), it is a MachineLock (a file in a lock folder of the cache folder's owner), for the
// processes of this machine, and a record lock (F_OFD_SETLK) on cache.ini, for those of other
// machines. Nothing is created in the game's folders, and the kernel drops the lock when the
// holder ends, so a crashed run leaves no stale lock behind.
class CacheLock final {
  public:
    enum class State {
        Held,         // this object holds the lock
        Busy,         // somebody else holds it
        Unavailable,  // the folder could not be opened or locked
    };

    explicit CacheLock(const std::string& cacheDir);
    ~CacheLock();
    CacheLock(const CacheLock&) = delete;
    CacheLock& operator=(const CacheLock&) = delete;

    State state() const { return state_; }
    bool busy() const { return state_ == State::Busy; }
    // Unavailable: the system's reason.
    const std::string& failure() const { return failure_; }
    // Unavailable: the status-list and log line that says the work goes on unlocked.
    std::string unlockedLine(const std::string& cacheDir) const {
        return "The cache folder " + cacheDir + " could not be locked (" + failure_ +
               "); another Quorvel may change it at the same time";
    }

  private:
    int fd_ = -1;
    std::unique_ptr<MachineLock> machine_;  // where the folder has no flock
    State state_ = State::Unavailable;
    std::string failure_;
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
