#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/machine_lock.h"
#include "platform/posix_fd.h"

namespace qv {

namespace {

using posix::Fd;

// The owner's private lock folder under `base`, made when missing: its descriptor, or -1 with
// `why` set. A folder of that name that is not the owner's alone is not used.
int ownersFolder(const char* base, uid_t owner, std::string& why) {
    const std::string path = std::string(base) + "/quorvel-" + std::to_string(owner);
    const bool root = ::geteuid() == 0;
    // Another user's folder is neither made (it would be ours, and block its owner) nor entered.
    if (!root && owner != ::geteuid()) {
        why = path + " is for user " + std::to_string(owner) + " and root only";
        return -1;
    }
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        why = path + ": " + std::strerror(errno);
        return -1;
    }
    Fd dir(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat st {};
    if (!dir || ::fstat(dir.get(), &st) != 0) {
        why = path + ": " + std::strerror(errno);
        return -1;
    }
    // Root makes it the owner's (a root-owned one can only be root's own making).
    if (root && st.st_uid == 0 && owner != 0 && ::fchown(dir.get(), owner, st.st_gid) == 0)
        st.st_uid = owner;
    if (st.st_uid == owner && (st.st_mode & 077) != 0 && ::fchmod(dir.get(), 0700) == 0)
        st.st_mode &= ~static_cast<mode_t>(077);
    if (st.st_uid != owner || (st.st_mode & 077) != 0) {
        why = path + " is not private to user " + std::to_string(owner);
        return -1;
    }
    return ::dup(dir.get());
}

// flock, tried again when a signal interrupts it; false with errno set.
bool lockFile(int fd, bool wait) {
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | (wait ? 0 : LOCK_NB));
    } while (rc != 0 && errno == EINTR);
    return rc == 0;
}

}  // namespace

MachineLock::MachineLock(std::uint64_t device, std::uint64_t inode, std::uint32_t ownerId,
                         bool wait) {
    const uid_t owner = static_cast<uid_t>(ownerId);
    char name[64];
    std::snprintf(name, sizeof name, "lock-%llx-%llx", static_cast<unsigned long long>(device),
                  static_cast<unsigned long long>(inode));
    for (const char* base : {"/run/lock", "/tmp"}) {
        std::string why;
        const Fd dir(ownersFolder(base, owner, why));
        if (!dir) {
            if (failure_.empty()) failure_ = why;
            continue;
        }
        Fd fd(::openat(dir.get(), name, O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                       0600));
        struct stat st {};
        if (!fd || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
            if (failure_.empty()) failure_ = std::string(base) + ": " + std::strerror(errno);
            continue;
        }
        if (st.st_uid != owner) (void)::fchown(fd.get(), owner, st.st_gid);  // root's making
        path_ = std::string(base) + "/quorvel-" + std::to_string(owner) + "/" + name;
        if (lockFile(fd.get(), wait)) {
            fd_ = ::dup(fd.get());
            state_ = fd_ >= 0 ? State::Held : State::Unavailable;
            failure_.clear();
            return;
        }
        if (errno == EWOULDBLOCK) {
            state_ = State::Busy;
            failure_.clear();
            return;
        }
        failure_ = path_ + ": " + std::strerror(errno);
        path_.clear();
    }
}

MachineLock::~MachineLock() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the lock
}

}  // namespace qv
