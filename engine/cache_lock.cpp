#include "engine/cache_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace qv {

CacheLock::CacheLock(const std::string& cacheDir) {
    // The folder itself carries the lock, so nothing is ever left behind in it.
    fd_ = ::open(cacheDir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd_ < 0) {
        failure_ = std::strerror(errno);
        return;  // Unavailable: no folder to work on
    }
    int rc;
    do {
        rc = ::flock(fd_, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc == 0) {
        state_ = State::Held;
        return;
    }
    const int err = errno;
    ::close(fd_);
    fd_ = -1;
    if (err == EWOULDBLOCK) {
        state_ = State::Busy;
        return;
    }
    // Some network file systems (NFS) refuse flock on a folder: a record lock on the index
    // itself keeps two Quorvel processes apart there.
    failure_ = std::strerror(err);
    fd_ = ::open((cacheDir + "/cache.ini").c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
    if (fd_ < 0) return;
    struct flock whole {};
    whole.l_type = F_WRLCK;
    whole.l_whence = SEEK_SET;
    if (::fcntl(fd_, F_OFD_SETLK, &whole) == 0) {
        state_ = State::Held;
        failure_.clear();
        return;
    }
    if (errno == EAGAIN || errno == EACCES) state_ = State::Busy;
    ::close(fd_);
    fd_ = -1;
}

CacheLock::~CacheLock() {
    if (fd_ >= 0) ::close(fd_);  // closing the descriptor releases the lock
}

}  // namespace qv
