// Moving files: renames that never replace, the copy across file systems, the folders a run
// holds open.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/paths.h"
#include "platform/posix_fd.h"
#include "platform/posix_filesystem.h"

namespace qv {

using posix::createTempFile;
using posix::Fd;
using posix::fsyncFolder;
using posix::writeAll;

namespace {

bool unsupported(int err) {
    return err == EINVAL || err == ENOSYS || err == ENOTSUP || err == EOPNOTSUPP;
}

// Where neither RENAME_NOREPLACE nor hard links exist (some FUSE and SMB mounts): the name `to`
// is taken first by creating it exclusively, then `from` is renamed over that empty file of our
// own. A crash in between leaves an empty file, never a package's bytes, under `to`.
Status renameOverOwnPlaceholder(const std::string& from, const std::string& to) {
    Fd placeholder(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!placeholder) return Status::fromErrno(errno);
    placeholder.reset();
    if (::rename(from.c_str(), to.c_str()) != 0) {
        const int err = errno;
        ::unlink(to.c_str());
        return Status::fromErrno(err);
    }
    return Status::success();
}

// Gives `from` the name `to` unless `to` exists. Falls back to link + unlink where the file
// system lacks RENAME_NOREPLACE, and to a placeholder where it lacks links too; reports EXDEV
// when the two are on different file systems.
Status renameNoReplace(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return Status::success();
    const int err = errno;
    if (!unsupported(err)) return Status::fromErrno(err);
    if (::link(from.c_str(), to.c_str()) != 0) {
        const int linkErr = errno;
        if (linkErr == EPERM || unsupported(linkErr)) return renameOverOwnPlaceholder(from, to);
        return Status::fromErrno(linkErr);
    }
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
    // Keep owner, permissions and times: the game and the user see the package as it was.
    if (::fchown(dst.get(), st.st_uid, st.st_gid) != 0) (void)::fchown(dst.get(), -1, st.st_gid);
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
        (void)fsyncFolder(folder);  // the failure to report is the source's, whatever this says
        return Status::fromErrno(err);
    }
    // The package is at `to`, synced with its folder: a failed sync of the source's folder can
    // at worst bring the source back after a crash (a copy twice), never lose the package.
    (void)fsyncFolder(parentFolder(from));
    return Status::success();
}

}  // namespace

FileIdentity identityOfStat(const struct stat& st) {
    const auto ns = [](const timespec& t) {
        return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
    };
    return {static_cast<std::uint64_t>(st.st_size), ns(st.st_mtim), ns(st.st_ctim),
            static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

namespace {

// Only a plain file moves: a link could lead anywhere, a folder is no package.
Status plainSource(const std::string& from) {
    struct stat st {};
    if (::lstat(from.c_str(), &st) != 0) return Status::fromErrno(errno);
    if (S_ISDIR(st.st_mode)) return Status::fromErrno(EISDIR);
    if (!S_ISREG(st.st_mode)) return Status::failure("Not a plain file", EINVAL);
    return Status::success();
}

}  // namespace

Status moveByCopy(const std::string& from, const std::string& to) {
    if (Status s = plainSource(from); !s) return s;
    return copyAcross(from, to);
}

Status PosixFileSystem::moveNoReplace(const std::string& from, const std::string& to) {
    if (Status s = plainSource(from); !s) return s;
    Status s = renameNoReplace(from, to);
    if (s.code != EXDEV) return s;
    return copyAcross(from, to);
}

// The listing showed a plain file, so the lookup moveNoReplace makes first is left out: one
// rename per package. Something else may have been put under the name since the listing, so
// what landed is checked after the rename (one fstatat) and put back when it is no plain file.
// The copy across file systems opens the source without following a link and checks it.
Status PosixFileSystem::moveListedFile(const std::string& from, const std::string& to,
                                       FileIdentity* landed) {
    std::size_t fromName = 0, toName = 0;
    const int fromFolder = heldFolderOf(from, fromName), toFolder = heldFolderOf(to, toName);
    const int fromAt = fromFolder >= 0 ? fromFolder : AT_FDCWD;
    const int toAt = toFolder >= 0 ? toFolder : AT_FDCWD;
    const char* fromRel = fromFolder >= 0 ? from.c_str() + fromName : from.c_str();
    const char* toRel = toFolder >= 0 ? to.c_str() + toName : to.c_str();
    Status s = Status::success();
    if (::renameat2(fromAt, fromRel, toAt, toRel, RENAME_NOREPLACE) != 0) {
        const int err = errno;
        if (!unsupported(err) && err != EXDEV) return Status::fromErrno(err);
        s = err == EXDEV ? Status::fromErrno(EXDEV) : renameNoReplace(from, to);
        if (s.code == EXDEV) s = copyAcross(from, to);
        if (!s) return s;
    }
    // The one lookup after the move tells both that a plain file landed and which one it is.
    struct stat st {};
    if (::fstatat(toAt, toRel, &st, AT_SYMLINK_NOFOLLOW) != 0) return s;
    if (!S_ISREG(st.st_mode)) {
        // Put back without replacing anything; the cache keeps it under its own name.
        (void)renameNoReplace(to, from);
        return Status::failure(S_ISDIR(st.st_mode) ? "Is a directory" : "Not a plain file",
                               S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
    }
    if (landed) *landed = identityOfStat(st);
    return s;
}

Result<FileIdentity> PosixFileSystem::identityOf(const std::string& path) {
    std::size_t name = 0;
    const int folder = heldFolderOf(path, name);
    struct stat st {};
    const int rc = folder >= 0 ? ::fstatat(folder, path.c_str() + name, &st, AT_SYMLINK_NOFOLLOW)
                               : ::lstat(path.c_str(), &st);
    if (rc != 0) return {{}, Status::fromErrno(errno)};
    if (!S_ISREG(st.st_mode)) return {{}, Status::failure("Not a plain file", EINVAL)};
    return {identityOfStat(st), Status::success()};
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

Status PosixFileSystem::renameReplace(const std::string& from, const std::string& to) {
    if (::rename(from.c_str(), to.c_str()) != 0) return Status::fromErrno(errno);
    return Status::success();
}

}  // namespace qv
