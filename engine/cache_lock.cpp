#include "engine/cache_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "engine/run_index.h"
#include "platform/dialogs.h"
#include "platform/filesystem.h"
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

// Where the processes of this machine meet when the cache folder cannot be locked itself: a file
// named after the folder's device and inode in /run/lock (or /tmp), never in the game's folders.
// Returns it locked, or -1; `busy` tells that another process holds it.
int lockOnThisMachine(int folderFd, bool& busy) {
    struct stat folder {};
    if (::fstat(folderFd, &folder) != 0) return -1;
    for (const char* base : {"/run/lock", "/tmp"}) {
        char name[96];
        std::snprintf(name, sizeof name, "%s/quorvel-cache-%llx-%llx.lock", base,
                      static_cast<unsigned long long>(folder.st_dev),
                      static_cast<unsigned long long>(folder.st_ino));
        const int fd = ::open(name, O_RDONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
        if (fd < 0) continue;
        struct stat st {};
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
            if (st.st_uid == ::geteuid()) (void)::fchmod(fd, 0644);  // for every user's Quorvel
            if (lockNow(fd)) return fd;
            busy = errno == EWOULDBLOCK;
        }
        ::close(fd);
        if (busy) return -1;
    }
    return -1;
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
    // then meet at a lock file of their own, and a record lock on the index keeps out one of
    // another machine (until the index is first replaced: the record lock stays with the file).
    if (!busy) machineFd_ = lockOnThisMachine(fd_, busy);
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
            if (machineFd_ >= 0) ::close(machineFd_);
            machineFd_ = -1;
            state_ = State::Busy;
            return;
        }
    }
    if (fd_ >= 0 || machineFd_ >= 0) {
        state_ = State::Held;
        failure_.clear();
    }
}

CacheLock::~CacheLock() {
    // Closing a descriptor releases its lock; the lock file stays for the next one.
    if (fd_ >= 0) ::close(fd_);
    if (machineFd_ >= 0) ::close(machineFd_);
}

}  // namespace qv
