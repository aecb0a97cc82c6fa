#include "engine/cache_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

namespace qv {

CacheLock::CacheLock(const std::string& cacheDir) {
    // The folder itself carries the lock, so nothing is ever left behind in it.
    fd_ = ::open(cacheDir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd_ < 0) return;  // Unavailable: no folder to work on
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
