#pragma once

#include <cstdint>
#include <string>

namespace qv {

// An exclusive flock for the processes of this machine on a folder or file that cannot be flocked
// itself (NFS): a lock file named after the thing's device and inode, in a folder of its owner's
// that nobody else can enter, /run/lock/quorvel-UID (or /tmp/quorvel-UID where /run/lock cannot
// hold it). So another user can neither hold nor replace it, and the owner and root (who makes
// the folder and the file the owner's) meet at the same file. Held until destruction; the file
// stays for the next one, and the kernel drops the lock when the holder ends.
class MachineLock final {
  public:
    enum class State { Held, Busy, Unavailable };

    // `device`, `inode` and `owner` of the thing to lock; `wait`: block until it is free.
    MachineLock(std::uint64_t device, std::uint64_t inode, std::uint32_t owner, bool wait);
    ~MachineLock();
    MachineLock(const MachineLock&) = delete;
    MachineLock& operator=(const MachineLock&) = delete;

    State state() const { return state_; }
    // Unavailable: why.
    const std::string& failure() const { return failure_; }
    // Where the lock file is (Held and Busy).
    const std::string& path() const { return path_; }

  private:
    int fd_ = -1;
    State state_ = State::Unavailable;
    std::string failure_, path_;
};

}  // namespace qv
