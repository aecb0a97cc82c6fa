#pragma once

#include <string>

namespace qv {

// An exclusive, non-blocking lock on a cache folder, held from construction to destruction, so
// that no two read-modify-replace cycles of cache.ini (a run, a purge, the repair) overlap, in
// one process or several. It is an flock(2) on the folder itself, or where the file system
// refuses that, a record lock (F_OFD_SETLK) on cache.ini: nothing is created in the game's
// folders, and the kernel drops the lock when the holder ends, so a crashed run leaves no stale
// lock behind.
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
    State state_ = State::Unavailable;
    std::string failure_;
};

constexpr const char* kCacheBusyMessage =
    "Another Quorvel (a run, a purge or a repair of the index) is using this cache folder. "
    "Try again when it has finished.";

}  // namespace qv
