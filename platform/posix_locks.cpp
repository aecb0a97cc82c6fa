// Locks on folders and lock files: flock(2), with the fallbacks where a file system has none.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/locks.h"
#include "platform/trace.h"

namespace qv {

namespace {

// flock(LOCK_EX | LOCK_NB), tried again when a signal interrupts it.
bool lockNow(int fd) {
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    return rc == 0;
}

// The trace line of a lock taken in place of an flock the file system refused.
void traceFallback(const std::string& what, const std::string& refused, const std::string& taken) {
    trace::line(trace::Category::Lock, what + ": flock refused (" + refused + "); " + taken);
}

}  // namespace

FolderLock::FolderLock(const std::string& folder, const std::string& inside) {
    // The folder itself carries the lock, so nothing is ever left behind in it.
    fd_ = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd_ < 0) {
        failure_ = std::strerror(errno);
        return;  // Unavailable: no folder to work on
    }
    if (lockNow(fd_)) {
        state_ = State::Held;
        return;
    }
    const int err = errno;
    bool busy = err == EWOULDBLOCK;
    // Some network file systems (NFS) refuse flock on a folder. The Quorvels of this machine
    // then meet at a lock file of the folder's owner, and a record lock on the file inside keeps
    // out one of another machine (until that file is first replaced: the record lock stays with
    // the file).
    struct stat st {};
    if (!busy && ::fstat(fd_, &st) == 0) {
        machine_ = std::make_unique<MachineLock>(st.st_dev, st.st_ino, st.st_uid, false);
        busy = machine_->state() == MachineLock::State::Busy;
        if (machine_->state() != MachineLock::State::Held) machine_.reset();
    }
    ::close(fd_);
    fd_ = -1;
    const std::string machineLock = machine_ ? "the machine lock " + machine_->path() : "";
    if (busy) {
        state_ = State::Busy;
        traceFallback(folder, std::strerror(err), "busy: another holds the machine lock");
        return;
    }
    failure_ = std::strerror(err);
    fd_ = ::open((folder + "/" + inside).c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
    struct flock whole {};
    whole.l_type = F_WRLCK;
    whole.l_whence = SEEK_SET;
    if (fd_ >= 0 && ::fcntl(fd_, F_OFD_SETLK, &whole) != 0) {
        const bool taken = errno == EAGAIN || errno == EACCES;
        ::close(fd_);
        fd_ = -1;
        if (taken) {
            machine_.reset();
            state_ = State::Busy;
            traceFallback(folder, failure_, "busy: another holds the record lock on " + inside);
            return;
        }
    }
    const std::string recordLock = fd_ >= 0 ? "a record lock on " + inside : "";
    traceFallback(folder, failure_,
                  fd_ < 0 && !machine_ ? "no lock taken: the work goes on unlocked"
                  : fd_ < 0            ? machineLock + " only (no record lock on " + inside + ")"
                  : !machine_          ? recordLock + " only (no machine lock)"
                                       : machineLock + " and " + recordLock);
    if (fd_ >= 0 || machine_) {
        state_ = State::Held;
        failure_.clear();
    }
}

FolderLock::~FolderLock() {
    // Closing a descriptor releases its lock; the lock file stays for the next one.
    if (fd_ >= 0) ::close(fd_);
}

LockFileHold::~LockFileHold() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the lock
}

Status LockFileHold::acquire(const std::string& lockPath) {
    fd_ = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    // A lock file that cannot be created (read-only folder) can still be locked when it is
    // there; flock needs no write access.
    if (fd_ < 0 && (errno == EACCES || errno == EROFS))
        fd_ = ::open(lockPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) return Status::fromErrno(errno);
    while (::flock(fd_, LOCK_EX) != 0) {
        if (errno != EINTR) return lockOnThisMachine(lockPath, Status::fromErrno(errno));
    }
    return Status::success();
}

// Where the file system has no flock (NFS without locks: "No locks available"), the holders of
// this machine meet where a FolderLock's do, at a lock file of the lock file's owner.
Status LockFileHold::lockOnThisMachine(const std::string& path, const Status& refused) {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) return refused;
    machine_ = std::make_unique<MachineLock>(st.st_dev, st.st_ino, st.st_uid, true);
    if (machine_->state() == MachineLock::State::Held) {
        traceFallback(path, refused.text, "the machine lock " + machine_->path() + " taken");
        return Status::success();
    }
    traceFallback(path, refused.text, "no lock taken (" + machine_->failure() + ")");
    return Status::failure(refused.text + "; " + machine_->failure(), refused.code);
}

}  // namespace qv
