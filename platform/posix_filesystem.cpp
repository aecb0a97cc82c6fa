#include "platform/posix_filesystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "platform/ascii.h"
#include "platform/posix_fd.h"

namespace qv {

using posix::Fd;
using posix::kTempPrefix;
using posix::readFolder;

namespace {

std::string parentFolder(const std::string& path) {
    const auto pos = path.rfind('/');
    if (pos == std::string::npos) return ".";
    if (pos == 0) return "/";
    return path.substr(0, pos);
}

Status writeAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return Status::fromErrno(errno);
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return Status::success();
}

Status fsyncFolder(const std::string& folder) {
    Fd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd) return Status::fromErrno(errno);
    // Some file systems cannot sync a folder at all; that is no failure of ours.
    if (::fsync(fd.get()) != 0 && errno != EINVAL && errno != ENOTSUP)
        return Status::fromErrno(errno);
    return Status::success();
}

// A wildcard match ('*' any run of bytes, '?' one byte) without regard to ASCII letter case;
// fnmatch's FNM_CASEFOLD would follow the locale.
bool matchesNoCase(std::string_view pattern, std::string_view name) {
    std::size_t p = 0, n = 0, starP = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() &&
            (pattern[p] == '?' || lowerAscii(pattern[p]) == lowerAscii(name[n]))) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

// Six random letters or digits: the end of a temporary name.
std::string randomSuffix() {
    static constexpr char kChars[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    thread_local std::mt19937 rng{std::random_device{}()};
    std::uniform_int_distribution<std::size_t> pick(0, sizeof(kChars) - 2);
    std::string suffix(6, ' ');
    for (char& c : suffix) c = kChars[pick(rng)];
    return suffix;
}

// Creates a new hidden file in `folder` under a name nobody else holds, and locks it (flock) for
// as long as `fd` or a duplicate of it is open: a temporary file nobody holds locked was left by
// a write that was cut short. The mode 0666 goes through the umask, as for any file the user
// creates.
Result<std::string> createTempFile(const std::string& folder, Fd& fd) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = folder + "/" + kTempPrefix + randomSuffix();
        const int f = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (f >= 0) {
            fd.reset(f);
            ::flock(f, LOCK_EX | LOCK_NB);  // new and unknown to others: cannot be busy
            return {std::move(name), {}};
        }
        if (errno != EEXIST) return {{}, Status::fromErrno(errno)};
    }
    return {{}, Status::fromErrno(EEXIST)};
}

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

class PosixOutFile final : public OutFile {
  public:
    explicit PosixOutFile(int fd) : fd_(fd) {}
    ~PosixOutFile() override { close(); }

    // Each write also starts its way to the disk, so a long log is not flushed all at once by
    // close(). A file system that cannot start it early just leaves the work to close().
    Status write(std::string_view data) override {
        if (!fd_) return Status::fromErrno(EBADF);
        const Status written = writeAll(fd_.get(), data);
        if (written.ok()) {
            ::sync_file_range(fd_.get(), written_, static_cast<off_t>(data.size()),
                              SYNC_FILE_RANGE_WRITE);
            written_ += static_cast<off_t>(data.size());
        }
        return written;
    }

    Status close() override {
        if (!fd_) return Status::success();
        Status synced = Status::success();
        if (::fsync(fd_.get()) != 0 && errno != EINVAL) synced = Status::fromErrno(errno);
        Status closed = fd_.close();
        return synced ? closed : synced;
    }

  private:
    Fd fd_;
    off_t written_ = 0;
};

}  // namespace

bool PosixFileSystem::isFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool PosixFileSystem::isFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool PosixFileSystem::exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

Result<std::string> PosixFileSystem::readAll(const std::string& path) {
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) return {{}, Status::fromErrno(errno)};
    std::string data;
    struct stat st {};
    if (::fstat(fd.get(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0)
        data.reserve(static_cast<std::size_t>(st.st_size));
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            return {{}, Status::fromErrno(errno)};
        }
        if (n == 0) break;
        data.append(buf, static_cast<std::size_t>(n));
    }
    return {std::move(data), {}};
}

// When `path` is a symbolic link, the link itself is replaced by a plain file: the temporary
// file must live in the folder of the name that is renamed over, and following the link
// could write outside the folder the caller named.
Status PosixFileSystem::writeAtomic(const std::string& path, std::string_view data) {
    // A file the user made read-only is refused, as a write into it would be: the rename would
    // otherwise replace it whatever its mode.
    if (::access(path.c_str(), W_OK) != 0 && (errno == EACCES || errno == EROFS))
        return Status::fromErrno(errno);
    const std::string folder = parentFolder(path);
    Fd fd;
    auto temp = createTempFile(folder, fd);
    if (!temp) return temp.status;
    const Fd held(::dup(fd.get()));  // keeps the temporary file locked until it has its name
    auto fail = [&](Status s) {
        fd.reset();
        ::unlink(temp.value.c_str());
        return s;
    };
    if (Status s = writeAll(fd.get(), data); !s) return fail(s);
    // The new file keeps the permissions of the one it replaces.
    struct stat old {};
    if (::stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode))
        ::fchmod(fd.get(), old.st_mode & 07777);
    if (::fsync(fd.get()) != 0) return fail(Status::fromErrno(errno));
    if (Status s = fd.close(); !s) return fail(s);
    if (::rename(temp.value.c_str(), path.c_str()) != 0) return fail(Status::fromErrno(errno));
    // The new content is in place; the folder sync only makes the new name survive a crash.
    fsyncFolder(folder);
    return Status::success();
}

// A link under the name is replaced by a new file, never followed: the data would otherwise land
// in whatever file the link points to.
Result<std::unique_ptr<OutFile>> PosixFileSystem::createFile(const std::string& path) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0 && errno == ELOOP && ::unlink(path.c_str()) == 0)
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0) return {nullptr, Status::fromErrno(errno)};
    return {std::make_unique<PosixOutFile>(fd), {}};
}

Status PosixFileSystem::appendToFile(const std::string& path, std::string_view data) {
    Fd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666));
    if (!fd) return Status::fromErrno(errno);
    if (Status s = writeAll(fd.get(), data); !s) return s;
    return fd.close();
}

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

Status PosixFileSystem::removeFile(const std::string& path) {
    if (::unlink(path.c_str()) != 0) return Status::fromErrno(errno);
    return Status::success();
}

Status PosixFileSystem::makeFolder(const std::string& path) {
    if (::mkdir(path.c_str(), 0777) != 0) return Status::fromErrno(errno);
    return Status::success();
}

Result<std::vector<FileInfo>> PosixFileSystem::listFiles(const std::string& folder,
                                                         const std::string& pattern) {
    std::vector<FileInfo> files;
    // Patterns match without regard to letter case and "*.*" matches every name, dotted or
    // not, as the game's own tools list files.
    const bool all = pattern == "*.*" || pattern == "*";
    const Status s = readFolder(folder, [&](int fd, const dirent& e) {
        if (e.d_name[0] == '.') return;
        if (!all && !matchesNoCase(pattern, e.d_name)) return;
        struct stat st {};
        // A link to a plain file counts as one; a dangling link or a folder does not.
        if (::fstatat(fd, e.d_name, &st, 0) != 0 || !S_ISREG(st.st_mode)) return;
        files.push_back({e.d_name, static_cast<std::uint64_t>(st.st_size),
                         static_cast<std::int64_t>(st.st_mtim.tv_sec)});
    });
    if (!s.ok()) return {{}, s};
    return {std::move(files), {}};
}

Status PosixFileSystem::forEachEntry(
    const std::string& folder, const std::function<void(std::string_view, EntryKind)>& entry) {
    return readFolder(folder, [&](int fd, const dirent& e) {
        unsigned char type = e.d_type;
        if (type == DT_UNKNOWN) {
            // Some file systems keep no kinds in their folders: ask for this one.
            struct stat st {};
            if (::fstatat(fd, e.d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) return;
            type = S_ISREG(st.st_mode)   ? DT_REG
                   : S_ISLNK(st.st_mode) ? DT_LNK
                   : S_ISDIR(st.st_mode) ? DT_DIR
                                         : DT_UNKNOWN;
        }
        entry(e.d_name, type == DT_REG   ? EntryKind::File
                        : type == DT_LNK ? EntryKind::Link
                        : type == DT_DIR ? EntryKind::Folder
                                         : EntryKind::Other);
    });
}

std::optional<std::int64_t> PosixFileSystem::modifiedTime(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return static_cast<std::int64_t>(st.st_mtim.tv_sec);
}

std::vector<std::int64_t> PosixFileSystem::modifiedTimesIn(const std::string& folder,
                                                           const std::vector<std::string>& names) {
    std::vector<std::int64_t> times(names.size(), kNoTime);
    const Fd dir(::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    std::string path;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string& name = names[i];
        struct stat st {};
        // A name with a separator is looked up as the joined path, as modifiedTime would: an
        // absolute one would otherwise leave the folder behind.
        const bool plain = dir && !name.empty() && name.find('/') == std::string::npos;
        if (!plain) path.assign(folder).append("/").append(name);
        if ((plain ? ::fstatat(dir.get(), name.c_str(), &st, 0) : ::stat(path.c_str(), &st)) == 0)
            times[i] = static_cast<std::int64_t>(st.st_mtim.tv_sec);
    }
    return times;
}

Status PosixFileSystem::canReplace(const std::string& path) {
    for (const std::string& p : {path, parentFolder(path)})
        if (::access(p.c_str(), W_OK) != 0 && (errno == EACCES || errno == EROFS))
            return Status::fromErrno(errno);
    return Status::success();
}

Status PosixFileSystem::makeWritable(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return Status::fromErrno(errno);
    if (st.st_mode & S_IWUSR) return Status::success();
    if (::chmod(path.c_str(), (st.st_mode & 07777) | S_IWUSR) != 0) return Status::fromErrno(errno);
    return Status::success();
}

Result<std::vector<std::string>> PosixFileSystem::listFolders(const std::string& folder) {
    std::vector<std::string> names;
    const Status s = readFolder(folder, [&](int fd, const dirent& e) {
        if (e.d_name[0] == '.') return;
        struct stat st {};
        // A link to a folder counts as one; a dangling link does not.
        if (::fstatat(fd, e.d_name, &st, 0) != 0 || !S_ISDIR(st.st_mode)) return;
        names.emplace_back(e.d_name);
    });
    if (!s.ok()) return {{}, s};
    std::sort(names.begin(), names.end());
    return {std::move(names), {}};
}

Result<std::string> PosixFileSystem::canonicalPath(const std::string& path) {
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (!resolved) return {{}, Status::fromErrno(errno)};
    std::string out = resolved;
    std::free(resolved);
    return {std::move(out), {}};
}

std::vector<std::int64_t> FileSystem::modifiedTimesIn(const std::string& folder,
                                                      const std::vector<std::string>& names) {
    std::vector<std::int64_t> times(names.size(), kNoTime);
    for (std::size_t i = 0; i < names.size(); ++i)
        if (const std::optional<std::int64_t> t = modifiedTime(folder + "/" + names[i]))
            times[i] = *t;
    return times;
}

Result<std::vector<std::string>> FileSystem::listFolders(const std::string&) {
    return {{}, Status::fromErrno(ENOSYS)};
}

Result<std::string> FileSystem::canonicalPath(const std::string&) {
    return {{}, Status::fromErrno(ENOSYS)};
}

FileSystem& realFileSystem() {
    static PosixFileSystem fs;
    return fs;
}

}  // namespace qv
