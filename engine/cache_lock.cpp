#include "engine/cache_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

namespace qv {

CacheLock::CacheLock(const std::string& cacheDir) {
    const std::string path = cacheDir + "/.quorvel.lock";
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0) return;  // Unavailable: nothing can be changed in such a folder anyway
    int rc;
    do {
        rc = ::flock(fd_, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc == 0) {
        state_ = State::Held;
        return;
    }
    state_ = (errno == EWOULDBLOCK) ? State::Busy : State::Unavailable;
    ::close(fd_);
    fd_ = -1;
}

CacheLock::~CacheLock() {
    if (fd_ >= 0) ::close(fd_);  // closing the descriptor releases the lock
}

}  // namespace qv
