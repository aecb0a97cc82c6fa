// Writing a file a caller names for output (a thumbnail, a picture asked for on the command
// line), where the name may already be anything: a file a reader holds open, a link, a FIFO.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/paths.h"
#include "platform/posix_fd.h"
#include "platform/posix_filesystem.h"

namespace qv {

using posix::Fd;

namespace {

// Why a name that is there but no plain file or link is not written.
Status refusedKind(mode_t mode) {
    const char* what = S_ISDIR(mode)                    ? "it is a folder"
                       : S_ISFIFO(mode)                 ? "it is a FIFO (a named pipe)"
                       : S_ISCHR(mode) || S_ISBLK(mode) ? "it is a device"
                       : S_ISSOCK(mode)                 ? "it is a socket"
                                                        : "it is no plain file";
    return Status::failure(std::string(what) + ", not a file; it is left as it is", EINVAL);
}

// Truncates the open plain file `fd` and writes `data` into it, to the disk.
Status writeInPlace(int fd, std::string_view data) {
    if (::ftruncate(fd, 0) != 0) return Status::fromErrno(errno);
    if (Status s = posix::writeAll(fd, data); !s) return s;
    if (::fsync(fd) != 0) return Status::fromErrno(errno);
    return Status::success();
}

// A new plain file of the user's own under `path`, which must still be missing; removed again
// when it cannot be written whole.
Status writeNew(const std::string& path, std::string_view data) {
    Fd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (!fd) return Status::fromErrno(errno);
    posix::giveToFolderOwner(fd.get(), path);
    Status s = writeInPlace(fd.get(), data);
    if (s) s = fd.close();
    if (!s) ::unlink(path.c_str());
    return s;
}

// Replaces the link `path` (the link, not what it leads to) with a new plain file of the
// user's own: written beside it under a hidden name, then renamed over it.
Status replaceLink(const std::string& path, std::string_view data) {
    Fd fd;
    const Result<std::string> temp = posix::createTempFile(parentFolder(path), fd);
    if (!temp) return temp.status;
    posix::giveToFolderOwner(fd.get(), path);
    Status s = writeInPlace(fd.get(), data);
    if (s) s = fd.close();
    if (s && ::rename(temp.value.c_str(), path.c_str()) != 0) s = Status::fromErrno(errno);
    if (!s) {
        ::unlink(temp.value.c_str());
        return s;
    }
    (void)posix::fsyncFolder(parentFolder(path));
    return Status::success();
}

}  // namespace

Status PosixFileSystem::writeOutput(const std::string& path, std::string_view data) {
    // Twice at most: a name that appears between the look and the create is looked at again.
    for (int attempt = 0; attempt < 2; ++attempt) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0) {
            if (errno != ENOENT) return Status::fromErrno(errno);
            const Status created = writeNew(path, data);
            if (created.code == EEXIST) continue;
            return created;
        }
        if (S_ISLNK(st.st_mode)) return replaceLink(path, data);
        if (!S_ISREG(st.st_mode)) return refusedKind(st.st_mode);
        // Written in place, not replaced: a reader that made the file and holds it open (a
        // thumbnail service) reads the picture through its own descriptor. O_NONBLOCK: a FIFO
        // put there since the look must not stall the open; the fstat then refuses it.
        Fd fd(::open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        if (!fd) return Status::fromErrno(errno);
        if (::fstat(fd.get(), &st) != 0) return Status::fromErrno(errno);
        if (!S_ISREG(st.st_mode)) return refusedKind(st.st_mode);
        // A picture is no program: set-ID bits go, as a write by anyone but root clears them.
        if ((st.st_mode & (S_ISUID | S_ISGID)) != 0 && ::fchmod(fd.get(), st.st_mode & 0777) != 0)
            return Status::fromErrno(errno);
        if (Status s = writeInPlace(fd.get(), data); !s) return s;
        return fd.close();
    }
    return Status::fromErrno(EEXIST);
}

}  // namespace qv
