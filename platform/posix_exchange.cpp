// The swap of a new index with the old one, and what stands in for it where a file system
// cannot exchange two names.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/paths.h"
#include "platform/posix_fd.h"
#include "platform/posix_filesystem.h"

namespace qv {

namespace {

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

Status changedSinceRead() {
    return Status::failure("Changed since it was read", ESTALE);
}

// `path` linked under a new hidden name in `folder`: that name, or the failure of link().
Result<std::string> linkUnderTempName(const std::string& path, const std::string& folder) {
    int err = EEXIST;
    for (int attempt = 0; attempt < 100 && err == EEXIST; ++attempt) {
        std::string name = folder + "/" + posix::kTempPrefix + posix::randomSuffix();
        if (::link(path.c_str(), name.c_str()) == 0) return {std::move(name), Status::success()};
        err = errno;
    }
    return {{}, Status::fromErrno(err)};
}

// Where two names cannot be exchanged (NFS): the old file gets a second, hidden name first, and
// the new one is then renamed over `path`; the hidden name is returned as an exchange returns
// it. When the file linked is not the one `checked`, nothing is replaced (ESTALE). Where links
// are refused too (some FUSE mounts), the new file is renamed over the old one, which is gone:
// the name returned is empty.
Result<std::string> replaceKeepingOld(const std::string& path, const std::string& temp,
                                      const struct stat* checked) {
    const std::string folder = parentFolder(path);
    const Result<std::string> linked = linkUnderTempName(path, folder);
    const std::string& old = linked.value;
    const int err = linked.status.code;
    struct stat kept {};
    Status failed = Status::success();
    if (old.empty() && err != EPERM && err != EINVAL && err != ENOTSUP)
        failed = Status::fromErrno(err);
    else if (!old.empty() && checked &&
             (::lstat(old.c_str(), &kept) != 0 || !sameFile(kept, *checked)))
        failed = changedSinceRead();
    else if (::rename(temp.c_str(), path.c_str()) != 0)
        failed = Status::fromErrno(errno);
    if (!failed.ok()) {
        if (!old.empty()) ::unlink(old.c_str());
        ::unlink(temp.c_str());
        return {{}, failed};
    }
    // The new index is in place and the old one under `old`: a failed folder sync only leaves
    // the names to the next sync of the file system, and either name holds a whole index.
    (void)posix::fsyncFolder(folder);
    return {old, Status::success()};
}

}  // namespace

// A link under a hidden temporary name, renamed over `name`: `name` always stands for a whole
// file, the one it was or `path`'s.
Status PosixFileSystem::linkReplacing(const std::string& path, const std::string& name) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return Status::fromErrno(errno);
    if (!S_ISREG(st.st_mode)) return Status::failure("Not a plain file", EINVAL);
    const Result<std::string> temp = linkUnderTempName(path, parentFolder(name));
    if (!temp.ok()) return temp.status;
    const bool renamed = ::rename(temp.value.c_str(), name.c_str()) == 0;
    const int err = errno;
    // A rename between two names of one file leaves both: the temporary one goes too.
    if (::lstat(temp.value.c_str(), &st) == 0) ::unlink(temp.value.c_str());
    return renamed ? Status::success() : Status::fromErrno(err);
}

Result<std::string> exchangeIfUnchanged(const std::string& path, const std::string& temp,
                                        const std::function<Result<bool>()>& unchanged) {
    const auto drop = [&](Status s) -> Result<std::string> {
        ::unlink(temp.c_str());
        return {{}, std::move(s)};
    };
    struct stat checked {
    }, ours{}, displaced{};
    if (::lstat(temp.c_str(), &ours) != 0) return drop(Status::fromErrno(errno));
    if (::lstat(path.c_str(), &checked) != 0) return drop(Status::fromErrno(errno));
    if (unchanged) {
        const Result<bool> same = unchanged();
        if (!same.ok()) return drop(same.status);
        if (!same.value) return drop(changedSinceRead());
    }
    if (::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, path.c_str(), RENAME_EXCHANGE) != 0) {
        const int err = errno;
        if (err == EINVAL || err == ENOSYS || err == ENOTSUP)
            return replaceKeepingOld(path, temp, unchanged ? &checked : nullptr);
        return drop(Status::fromErrno(err));
    }
    // A file put there between the check and the exchange goes back at once: until then,
    // whoever reads the name sees an index without that writer's lines.
    if (unchanged && ::lstat(temp.c_str(), &displaced) == 0 && !sameFile(displaced, checked) &&
        ::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, path.c_str(), RENAME_EXCHANGE) == 0) {
        struct stat back {};
        if (::lstat(temp.c_str(), &back) == 0 && sameFile(back, ours))
            return drop(changedSinceRead());
        // Another writer read ours while it stood and put its own file, built on ours, in its
        // place; the put-back took that file out. It is newer than what went back, so it goes
        // in again, and the caller carries the lines of whatever that displaces.
        (void)::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, path.c_str(), RENAME_EXCHANGE);
    }
    // The exchange is done: as above, a failed folder sync cannot make it a failed exchange.
    (void)posix::fsyncFolder(parentFolder(path));
    return {temp, Status::success()};
}

namespace {

// Whether this process holds `path` open for writing itself (the cache lock's record lock where
// folders cannot be locked): a lease then tells nothing of others.
bool thisProcessWrites(const std::string& path) {
    struct stat target {};
    if (::stat(path.c_str(), &target) != 0) return false;
    DIR* dir = ::opendir("/proc/self/fd");
    if (!dir) return false;
    bool found = false;
    while (const dirent* e = ::readdir(dir)) {
        const int fd = std::atoi(e->d_name);
        struct stat st {};
        if (e->d_name[0] == '.' || fd == ::dirfd(dir) || ::fstat(fd, &st) != 0) continue;
        const int flags = ::fcntl(fd, F_GETFL);
        if (sameFile(st, target) && flags >= 0 && (flags & O_ACCMODE) != O_RDONLY) found = true;
    }
    ::closedir(dir);
    return found;
}

}  // namespace

// A read lease is granted only while no process holds the file open for writing. It is given
// back at once; a program opening the file meanwhile waits for that instant, and the signal
// that tells of it is ignored rather than left to end this process.
Result<bool> PosixFileSystem::openForWriting(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) return {false, Status::fromErrno(errno)};
    struct sigaction ignore {
    }, old{};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGIO, &ignore, &old);
    const int rc = ::fcntl(fd, F_SETLEASE, F_RDLCK);
    const int err = errno;
    if (rc == 0) ::fcntl(fd, F_SETLEASE, F_UNLCK);
    ::close(fd);
    ::sigaction(SIGIO, &old, nullptr);
    if (rc == 0) return {false, Status::success()};
    if (err == EAGAIN) {
        if (thisProcessWrites(path)) return {false, Status::fromErrno(ENOSYS)};  // cannot tell
        return {true, Status::success()};
    }
    return {false, Status::fromErrno(ENOSYS)};  // no leases here (NFS, FUSE, another's file)
}

}  // namespace qv
