#pragma once

#include <memory>
#include <string>

#include "platform/machine_lock.h"
#include "platform/result.h"

namespace qv {

// An exclusive, non-blocking lock on a folder, held from construction to destruction, for the
// processes of this machine and of others that share the folder. It is an flock(2) on the folder
// itself. Where the file system refuses that (NFS), it is a MachineLock (a file in a lock folder of
// the folder's owner), for the processes of this machine, and a record lock (F_OFD_SETLK) on the
// file `inside` of it, for those of other machines. Nothing is created in the folder, and the
// kernel drops the lock when the holder ends, so a crashed holder leaves no stale lock behind.
// A fallback writes one line to the trace (quorvel.lock): which lock was taken and why.
class FolderLock final {
  public:
    enum class State {
        Held,         // this object holds the lock
        Busy,         // somebody else holds it
        Unavailable,  // the folder could not be opened or locked
    };

    FolderLock(const std::string& folder, const std::string& inside);
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    State state() const { return state_; }
    // Unavailable: the system's reason.
    const std::string& failure() const { return failure_; }

  private:
    int fd_ = -1;
    std::unique_ptr<MachineLock> machine_;  // where the folder has no flock
    State state_ = State::Unavailable;
    std::string failure_;
};

// An exclusive lock on the lock file `path` (created when missing), waited for and held until
// destruction. The file stays for the next one; a read-only folder's existing lock file can still
// be locked. Where the file system has no flock (NFS without locks), the holders of this machine
// meet at a MachineLock of the lock file's owner instead.
class LockFileHold final {
  public:
    LockFileHold() = default;
    ~LockFileHold();
    LockFileHold(const LockFileHold&) = delete;
    LockFileHold& operator=(const LockFileHold&) = delete;

    Status acquire(const std::string& path);

  private:
    Status lockOnThisMachine(const std::string& path, const Status& refused);

    int fd_ = -1;
    std::unique_ptr<MachineLock> machine_;
};

}  // namespace qv
