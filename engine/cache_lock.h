#pragma once

#include <string>

namespace qv {

// An exclusive, non-blocking lock on a cache folder, held from construction to destruction, so
// that two runs or purges never work on the same cache at once. It is an flock(2) on
// cacheDir + "/.quorvel.lock": the kernel drops it when the holder ends, so a crashed run leaves
// no stale lock behind.
class CacheLock final {
  public:
    enum class State {
        Held,         // this object holds the lock
        Busy,         // somebody else holds it
        Unavailable,  // the lock file could not be opened (e.g. a read-only folder)
    };

    explicit CacheLock(const std::string& cacheDir);
    ~CacheLock();
    CacheLock(const CacheLock&) = delete;
    CacheLock& operator=(const CacheLock&) = delete;

    State state() const { return state_; }
    bool busy() const { return state_ == State::Busy; }

  private:
    int fd_ = -1;
    State state_ = State::Unavailable;
};

constexpr const char* kCacheBusyMessage =
    "Another Quorvel run is using this cache folder. Try again when it has finished.";

}  // namespace qv
