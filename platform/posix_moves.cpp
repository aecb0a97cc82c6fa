// Moving files: renames that never replace, the copy across file systems, the folders a run
// holds open, and the backup index as a second name of the old one.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/posix_fd.h"
#include "platform/posix_filesystem.h"

namespace qv {

using posix::createTempFile;
using posix::Fd;
using posix::fsyncFolder;
using posix::kTempPrefix;
using posix::parentFolder;
using posix::randomSuffix;
using posix::writeAll;

namespace {

// Gives the file `existing` a further, hidden name in `folder` that nobody else holds.
Status linkUnderTempName(const std::string& existing, const std::string& folder,
                         std::string& temp) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        temp = folder + "/" + kTempPrefix + randomSuffix();
        if (::link(existing.c_str(), temp.c_str()) == 0) return Status::success();
        if (errno != EEXIST) return Status::fromErrno(errno);
    }
    return Status::fromErrno(EEXIST);
}

// Gives `from` the name `to` unless `to` exists. Falls back to link + unlink where the file
// system lacks RENAME_NOREPLACE; reports EXDEV when the two are on different file systems.
Status renameNoReplace(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return Status::success();
    const int err = errno;
    if (err != EINVAL && err != ENOSYS && err != ENOTSUP) return Status::fromErrno(err);
    if (::link(from.c_str(), to.c_str()) != 0) return Status::fromErrno(errno);
    if (::unlink(from.c_str()) != 0) {
        const int unlinkErr = errno;
        ::unlink(to.c_str());  // undo: the file keeps only its old name
        return Status::fromErrno(unlinkErr);
    }
    return Status::success();
}

// Copies the plain file `from` into a hidden temporary file beside `to`, flushes it, gives it
// the name `to` without replacing anything, flushes the folder, then deletes `from`. Leaves
// nothing behind in the destination folder when any step fails.
Status copyAcross(const std::string& from, const std::string& to) {
    Fd src(::open(from.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!src) return Status::fromErrno(errno);
    struct stat st {};
    if (::fstat(src.get(), &st) != 0) return Status::fromErrno(errno);
    if (!S_ISREG(st.st_mode)) return Status::fromErrno(EINVAL);

    struct stat existing {};
    // Refuse early so a large copy is not made in vain; the final step checks again.
    if (::lstat(to.c_str(), &existing) == 0) return Status::fromErrno(EEXIST);

    const std::string folder = parentFolder(to);
    Fd dst;
    auto temp = createTempFile(folder, dst);
    if (!temp) return temp.status;
    const Fd held(::dup(dst.get()));  // keeps the temporary file locked until it has its name
    auto fail = [&](Status s) {
        dst.reset();
        ::unlink(temp.value.c_str());
        return s;
    };

    std::vector<char> buf(1 << 18);
    for (;;) {
        const ssize_t n = ::read(src.get(), buf.data(), buf.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return fail(Status::fromErrno(errno));
        }
        if (n == 0) break;
        if (Status s = writeAll(dst.get(), {buf.data(), static_cast<std::size_t>(n)}); !s)
            return fail(s);
    }
    // Keep permissions and times: the game and the user see the package as it was.
    ::fchmod(dst.get(), st.st_mode & 07777);
    const timespec times[2] = {st.st_atim, st.st_mtim};
    if (::futimens(dst.get(), times) != 0) return fail(Status::fromErrno(errno));
    if (::fsync(dst.get()) != 0) return fail(Status::fromErrno(errno));
    if (Status s = dst.close(); !s) return fail(s);

    if (Status s = renameNoReplace(temp.value, to); !s) return fail(s);
    if (Status s = fsyncFolder(folder); !s) {
        ::unlink(to.c_str());  // the copy is ours; the source still holds the package
        return s;
    }
    if (::unlink(from.c_str()) != 0) {
        // The source cannot go (read-only cache folder): undo, so nothing is duplicated.
        const int err = errno;
        ::unlink(to.c_str());
        fsyncFolder(folder);
        return Status::fromErrno(err);
    }
    fsyncFolder(parentFolder(from));
    return Status::success();
}

}  // namespace

Status PosixFileSystem::moveNoReplace(const std::string& from, const std::string& to) {
    struct stat st {};
    if (::lstat(from.c_str(), &st) != 0) return Status::fromErrno(errno);
    if (S_ISDIR(st.st_mode)) return Status::fromErrno(EISDIR);
    if (!S_ISREG(st.st_mode)) return Status::failure("Not a plain file", EINVAL);

    if (!forceCrossDevice_) {
        Status s = renameNoReplace(from, to);
        if (s.code != EXDEV) return s;
    }
    return copyAcross(from, to);
}

// The listing showed a plain file, so the lookup moveNoReplace makes first is left out: one
// rename per package. The copy across file systems opens the source without following a link
// and checks that it is a plain file, as before.
Status PosixFileSystem::moveListedFile(const std::string& from, const std::string& to) {
    if (!forceCrossDevice_) {
        std::size_t fromName = 0, toName = 0;
        const int fromFolder = heldFolderOf(from, fromName), toFolder = heldFolderOf(to, toName);
        if (fromFolder >= 0 && toFolder >= 0) {
            if (::renameat2(fromFolder, from.c_str() + fromName, toFolder, to.c_str() + toName,
                            RENAME_NOREPLACE) == 0)
                return Status::success();
            const int err = errno;
            if (err == EXDEV) return copyAcross(from, to);
            if (err != EINVAL && err != ENOSYS && err != ENOTSUP) return Status::fromErrno(err);
        }
        Status s = renameNoReplace(from, to);
        if (s.code != EXDEV) return s;
    }
    return copyAcross(from, to);
}

void PosixFileSystem::holdFolders(const std::vector<std::string>& folders) {
    releaseFolders();
    for (const std::string& folder : folders) {
        const int fd = ::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (fd >= 0) held_.emplace_back(folder, fd);  // a folder not held is reached by its path
    }
}

void PosixFileSystem::releaseFolders() {
    for (const auto& [folder, fd] : held_) ::close(fd);
    held_.clear();
}

int PosixFileSystem::heldFolderOf(const std::string& path, std::size_t& nameStart) const {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos || slash + 1 == path.size()) return -1;
    const std::string_view folder(path.data(), slash);
    for (const auto& [held, fd] : held_)
        if (held == folder) {
            nameStart = slash + 1;
            return fd;
        }
    return -1;
}

Status PosixFileSystem::linkReplace(const std::string& existing, const std::string& to,
                                    std::string_view expected) {
    if (::access(to.c_str(), W_OK) != 0 && (errno == EACCES || errno == EROFS))
        return Status::fromErrno(errno);
    Fd fd(::open(existing.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd) return Status::fromErrno(errno);
    struct stat st {
    }, old{};
    if (::fstat(fd.get(), &st) != 0) return Status::fromErrno(errno);
    if (!S_ISREG(st.st_mode)) return Status::failure("Not a plain file", EINVAL);
    const Status changed = Status::failure("Changed since it was read", ESTALE);
    if (static_cast<std::uint64_t>(st.st_size) != expected.size()) return changed;
    constexpr std::size_t kBlock = 1 << 16;
    const auto buf = std::make_unique_for_overwrite<char[]>(kBlock);
    for (std::size_t done = 0; done < expected.size();) {
        const ssize_t n = ::read(fd.get(), buf.get(), std::min(kBlock, expected.size() - done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return Status::fromErrno(errno);
        if (n == 0 || std::memcmp(buf.get(), expected.data() + done, std::size_t(n)) != 0)
            return changed;
        done += static_cast<std::size_t>(n);
    }
    const auto sameFile = [&](const struct stat& o) {
        return o.st_dev == st.st_dev && o.st_ino == st.st_ino;
    };
    // Already one file under both names (a run stopped before its new index was written):
    // rename(2) between two names of one file does nothing and would leave the temporary name.
    if (::lstat(to.c_str(), &old) == 0 && sameFile(old)) return Status::success();
    const std::string folder = parentFolder(to);
    std::string temp;
    if (Status s = linkUnderTempName(existing, folder, temp); !s) return s;
    // The name may have been given to another file since it was compared.
    struct stat linked {};
    if (::lstat(temp.c_str(), &linked) != 0 || !sameFile(linked)) {
        ::unlink(temp.c_str());
        return changed;
    }
    // Whoever wrote the file may not have flushed it; the backup is flushed like a written one.
    if (::fsync(fd.get()) != 0 && errno != EINVAL) {
        const int err = errno;
        ::unlink(temp.c_str());
        return Status::fromErrno(err);
    }
    if (::rename(temp.c_str(), to.c_str()) != 0) {
        const int err = errno;
        ::unlink(temp.c_str());
        return Status::fromErrno(err);
    }
    fsyncFolder(folder);
    return Status::success();
}

Status PosixFileSystem::renameReplace(const std::string& from, const std::string& to) {
    if (::rename(from.c_str(), to.c_str()) != 0) return Status::fromErrno(errno);
    return Status::success();
}

}  // namespace qv
