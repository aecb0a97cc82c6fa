#include "engine/cache_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "engine/run_index.h"
#include "platform/dialogs.h"
#include "platform/filesystem.h"
#include "platform/machine_lock.h"
#include "settings/program_settings.h"

namespace qv {

IndexForRewrite readIndexForRewrite(const CacheLock& lock, const std::string& indexPath,
                                    FileSystem& fs, Dialogs& dialogs, const char* undone,
                                    std::string& text) {
    if (lock.busy()) {
        dialogs.message(kProgramTitle, kCacheBusyMessage);
        return IndexForRewrite::Busy;
    }
    Result<std::string> index = readWholeIndex(fs, indexPath);
    if (!index.ok() && index.status.code == EBUSY) {
        dialogs.message(kProgramTitle, "CACHE.INI is being written (" + index.status.text +
                                           "); nothing was changed.");
        return IndexForRewrite::Unreadable;
    }
    if (!index.ok()) {
        dialogs.message(kProgramTitle, "Cache.INI could not be read (" + index.status.text + ")");
        return IndexForRewrite::Unreadable;
    }
    if (const Status w = fs.canReplace(indexPath); !w.ok()) {
        dialogs.message(kProgramTitle, "CACHE.INI cannot be replaced (" + w.text +
                                           "); nothing was " + undone + ".");
        return IndexForRewrite::NotReplaceable;
    }
    text = std::move(index.value);
    return IndexForRewrite::Read;
}

namespace {

// flock(LOCK_EX | LOCK_NB), tried again when a signal interrupts it.
bool lockNow(int fd) {
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    return rc == 0;
}

}  // namespace

CacheLock::CacheLock(const std::string& cacheDir) {
    // The folder itself carries the lock, so nothing is ever left behind in it.
    fd_ = ::open(cacheDir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
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
    // then meet at a lock file of the folder's owner, and a record lock on the index keeps out
    // one of another machine (until the index is first replaced: the record lock stays with the
    // file).
    struct stat folder {};
    if (!busy && ::fstat(fd_, &folder) == 0) {
        machine_ =
            std::make_unique<MachineLock>(folder.st_dev, folder.st_ino, folder.st_uid, false);
        busy = machine_->state() == MachineLock::State::Busy;
        if (machine_->state() != MachineLock::State::Held) machine_.reset();
    }
    ::close(fd_);
    fd_ = -1;
    if (busy) {
        state_ = State::Busy;
        return;
    }
    failure_ = std::strerror(err);
    fd_ = ::open((cacheDir + "/cache.ini").c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
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
            return;
        }
    }
    if (fd_ >= 0 || machine_) {
        state_ = State::Held;
        failure_.clear();
    }
}

CacheLock::~CacheLock() {
    // Closing a descriptor releases its lock; the lock file stays for the next one.
    if (fd_ >= 0) ::close(fd_);
}

}  // namespace qv
