#include "platform/posix_filesystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <vector>

#include "platform/ascii.h"
#include "platform/paths.h"
#include "platform/posix_fd.h"

namespace qv {

using posix::AppendLock;
using posix::Fd;
using posix::kTempPrefix;
using posix::readFolder;

namespace posix {

void giveToFolderOwner(int fd, const std::string& path) {
    if (::geteuid() != 0) return;
    struct stat folder {};
    if (::stat(parentFolder(path).c_str(), &folder) != 0 || folder.st_uid == 0) return;
    (void)::fchown(fd, folder.st_uid, folder.st_gid);
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
bool takeOwnerAndMode(int fd, const std::string& like) {
    struct stat st {};
    if (::stat(like.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    // Owner first: a change of owner clears the set-ID bits that the mode then puts back. Only
    // root may give a file away; anyone else keeps their own file with the old group if they can.
    if (::fchown(fd, st.st_uid, st.st_gid) != 0) (void)::fchown(fd, (uid_t)-1, st.st_gid);
    ::fchmod(fd, st.st_mode & 07777);
    return true;
}

Result<std::string> createTempFile(const std::string& folder, Fd& fd) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = folder + "/" + kTempPrefix + randomSuffix();
        const int f = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (f >= 0) {
            fd.reset(f);
            ::flock(f, LOCK_EX | LOCK_NB);  // new and unknown to others: cannot be busy
            return {std::move(name), Status::success()};
        }
        if (errno != EEXIST) return {{}, Status::fromErrno(errno)};
    }
    return {{}, Status::fromErrno(EEXIST)};
}

}  // namespace posix

using posix::createTempFile;
using posix::fsyncFolder;
using posix::giveToFolderOwner;
using posix::writeAll;

namespace {

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

class PosixOutFile final : public OutFile {
  public:
    // `newIn`: the folder of a file just created, synced after the file's first sync: one
    // commit of the file system's journal then takes the name and the data together.
    explicit PosixOutFile(int fd, std::string newIn = {}) : fd_(fd), newIn_(std::move(newIn)) {}
    // A destructor cannot report: whoever needs to know calls close() first.
    ~PosixOutFile() override { (void)close(); }

    // Each MiB written also starts its way to the disk, so a long log is not flushed all at once
    // by close(); a start per write would cost more than the writes. The range is the one just
    // written, where the file's position now ends (a log opened to append does not start at 0).
    // A file system that cannot start it early just leaves the work to close().
    Status write(std::string_view data) override {
        if (!fd_) return Status::fromErrno(EBADF);
        if (tail_) {
            if (tail_->write(data)) return Status::success();
            if (Status ended = endTail(); !ended.ok()) return ended;  // no room: written as usual
        }
        const Status written = writeAll(fd_.get(), data);
        if (written.ok() && (unstarted_ += static_cast<off_t>(data.size())) >= kStartEvery) {
            const off_t end = ::lseek(fd_.get(), 0, SEEK_CUR);
            if (end >= unstarted_)
                ::sync_file_range(fd_.get(), end - unstarted_, unstarted_, SYNC_FILE_RANGE_WRITE);
            unstarted_ = 0;
        }
        return written;
    }

    Status sync() override {
        if (!fd_) return Status::fromErrno(EBADF);
        if (::fdatasync(fd_.get()) != 0 && errno != EINVAL) return Status::fromErrno(errno);
        syncNewName();
        return Status::success();
    }

    Status close() override {
        if (!fd_) return Status::success();
        Status synced = endTail();
        if (::fsync(fd_.get()) != 0 && errno != EINVAL && synced.ok())
            synced = Status::fromErrno(errno);
        syncNewName();
        Status closed = fd_.close();
        return synced ? closed : synced;
    }

    bool writeThroughMapping() override {
        if (fd_ && !tail_) tail_ = posix::MappedTail::start(fd_.get());
        return tail_ != nullptr;
    }

    // Where the mapped room cannot grow, the writes go on as usual: room for them alone is asked.
    Status reserve(std::size_t bytes) override {
        if (!fd_) return Status::fromErrno(EBADF);
        if (tail_ && tail_->reserve(bytes)) return Status::success();
        if (Status ended = endTail(); !ended.ok()) return ended;
        const off_t end = ::lseek(fd_.get(), 0, SEEK_CUR);
        if (end < 0) return Status::fromErrno(errno);
        if (::fallocate(fd_.get(), FALLOC_FL_KEEP_SIZE, end, static_cast<off_t>(bytes)) == 0 ||
            errno == EOPNOTSUPP || errno == ENOSYS)
            return Status::success();
        return Status::fromErrno(errno);
    }

  private:
    // A folder that cannot be synced (or opened to be) still holds the file; its name then
    // waits for the system's own sync.
    void syncNewName() {
        if (newIn_.empty()) return;
        (void)fsyncFolder(newIn_);
        newIn_.clear();
    }

    Status endTail() {
        if (!tail_) return Status::success();
        const Status ended = tail_->end();
        tail_.reset();
        return ended;
    }

    static constexpr off_t kStartEvery = 1 << 20;
    Fd fd_;
    off_t unstarted_ = 0;  // bytes written since the last start
    std::unique_ptr<posix::MappedTail> tail_;
    std::string newIn_;  // the folder whose new name the next sync syncs
};

}  // namespace

std::unique_ptr<OutFile> posix::outFile(int fd) {
    return std::make_unique<PosixOutFile>(fd);
}

bool PosixFileSystem::isFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool PosixFileSystem::isFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string_view PosixFileSystem::otherKind(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode)) return "";
    if (S_ISDIR(st.st_mode)) return "a folder";
    if (S_ISFIFO(st.st_mode)) return "a FIFO";
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) return "a device";
    return S_ISSOCK(st.st_mode) ? "a socket" : "something other than a plain file";
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
    if (Status s = posix::readToEnd(fd.get(), data); !s) return {{}, std::move(s)};
    return {std::move(data), Status::success()};
}

namespace {

// Whatever stops `path` from being replaced by a rename: its folder not writable, the file
// read-only, immutable or append-only (chattr +i, +a), or another user's in a sticky folder.
// A missing file is no obstacle.
Status replaceObstacle(const std::string& path) {
    const std::string folder = parentFolder(path);
    if (::access(folder.c_str(), W_OK | X_OK) != 0) return Status::fromErrno(errno);
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return Status::success();
    if (S_ISREG(st.st_mode)) {
        // A file the user made read-only is refused, as a write into it would be: the rename
        // would otherwise replace it whatever its mode.
        if (::access(path.c_str(), W_OK) != 0 && errno != ENOENT) return Status::fromErrno(errno);
        Fd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        int flags = 0;
        if (fd && ::ioctl(fd.get(), FS_IOC_GETFLAGS, &flags) == 0 &&
            (flags & (FS_IMMUTABLE_FL | FS_APPEND_FL)) != 0)
            return Status::fromErrno(EPERM);
    }
    struct stat dir {};
    const uid_t me = ::geteuid();
    if (me != 0 && ::stat(folder.c_str(), &dir) == 0 && (dir.st_mode & S_ISVTX) &&
        st.st_uid != me && dir.st_uid != me)
        return Status::fromErrno(EPERM);
    return Status::success();
}

// Writes `data` into a new temporary file beside `path` that already has the owner, group and
// mode of `ownerOf` (the file it will replace, or the one it copies), and flushes it. Where that
// file is missing, root's new file goes to the folder's owner, as every file root creates does.
// `held` keeps it locked until it has its name. On failure nothing is left behind.
Result<std::string> writeTempBeside(const std::string& path, std::string_view data, Fd& held,
                                    const std::string& ownerOf) {
    Fd fd;
    auto temp = createTempFile(parentFolder(path), fd);
    if (!temp) return temp;
    held.reset(::dup(fd.get()));
    const auto fail = [&](Status s) -> Result<std::string> {
        fd.reset();
        ::unlink(temp.value.c_str());
        return {{}, std::move(s)};
    };
    if (!posix::takeOwnerAndMode(fd.get(), ownerOf)) giveToFolderOwner(fd.get(), path);
    if (Status s = writeAll(fd.get(), data); !s) return fail(s);
    if (::fsync(fd.get()) != 0) return fail(Status::fromErrno(errno));
    if (Status s = fd.close(); !s) return fail(s);
    return temp;
}

}  // namespace

// When `path` is a symbolic link, the link itself is replaced by a plain file: the temporary
// file must live in the folder of the name that is renamed over, and following the link
// could write outside the folder the caller named.
Status PosixFileSystem::writeAtomic(const std::string& path, std::string_view data) {
    return writeAtomicLike(path, data, path);
}

Status PosixFileSystem::writeAtomicLike(const std::string& path, std::string_view data,
                                        const std::string& ownerOf) {
    if (Status s = replaceObstacle(path); !s) return s;
    Fd held;
    const Result<std::string> temp = writeTempBeside(path, data, held, ownerOf);
    if (!temp) return temp.status;
    if (::rename(temp.value.c_str(), path.c_str()) != 0) {
        const int err = errno;
        ::unlink(temp.value.c_str());
        return Status::fromErrno(err);
    }
    // The new content is in place; the folder sync only makes the new name survive a crash, and
    // the write is no less done when it fails.
    (void)fsyncFolder(parentFolder(path));
    return Status::success();
}

Result<std::string> PosixFileSystem::exchangeAtomic(const std::string& path, std::string_view data,
                                                    const std::string* expected) {
    if (Status s = replaceObstacle(path); !s) return {{}, s};
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return {{}, Status::fromErrno(errno)};
    if (!S_ISREG(st.st_mode)) return {{}, Status::failure("Not a plain file", EINVAL)};
    Fd held;
    Result<std::string> temp = writeTempBeside(path, data, held, path);
    if (!temp) return temp;
    // The flush above is the slow part: whoever else writes `path` (the game takes no lock) most
    // likely did so meanwhile, so it is compared once more right before the exchange.
    std::function<Result<bool>()> unchanged;
    if (expected) unchanged = [&] { return holdsExactly(path, *expected); };
    return exchangeIfUnchanged(path, temp.value, unchanged);
}

// A link under the name is replaced by a new file, never followed: the data would otherwise land
// in whatever file the link points to.
Result<std::unique_ptr<OutFile>> PosixFileSystem::createFile(const std::string& path) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0 && errno == ELOOP && ::unlink(path.c_str()) == 0)
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0) return {nullptr, Status::fromErrno(errno)};
    giveToFolderOwner(fd, path);
    return {std::make_unique<PosixOutFile>(fd), Status::success()};
}

Result<std::unique_ptr<OutFile>> PosixFileSystem::createNewFile(const std::string& path) {
    // Open to read as well: a shared mapping of its end (writeThroughMapping) needs it.
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0) return {nullptr, Status::fromErrno(errno)};
    giveToFolderOwner(fd, path);
    // The new name reaches the disk with the file's first sync: a record synced is never in a
    // file a crash leaves without a name.
    return {std::make_unique<PosixOutFile>(fd, parentFolder(path)), Status::success()};
}

Status PosixFileSystem::removeEmptyFolder(const std::string& path) {
    if (::rmdir(path.c_str()) != 0) return Status::fromErrno(errno);
    return Status::success();
}

Status PosixFileSystem::appendToFile(const std::string& path, std::string_view data) {
    Fd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666));
    if (!fd) return Status::fromErrno(errno);
    giveToFolderOwner(fd.get(), path);
    {
        const AppendLock lock(fd.get());  // a shared log's block appended in pieces waits for it
        if (Status s = writeAll(fd.get(), data); !s) return s;
    }
    if (::fsync(fd.get()) != 0 && errno != EINVAL) return Status::fromErrno(errno);
    return fd.close();
}

Status PosixFileSystem::removeFile(const std::string& path) {
    if (::unlink(path.c_str()) != 0) return Status::fromErrno(errno);
    return Status::success();
}

Status PosixFileSystem::makeFolder(const std::string& path) {
    if (::mkdir(path.c_str(), 0777) != 0) return Status::fromErrno(errno);
    const Fd made(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (made) giveToFolderOwner(made.get(), path);
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
        const bool link =
            e.d_type == DT_LNK ||
            (e.d_type == DT_UNKNOWN && ::fstatat(fd, e.d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
             S_ISLNK(st.st_mode));
        if (::fstatat(fd, e.d_name, &st, 0) != 0 || !S_ISREG(st.st_mode)) return;
        files.push_back({e.d_name, static_cast<std::uint64_t>(st.st_size),
                         static_cast<std::int64_t>(st.st_mtim.tv_sec), link});
    });
    if (!s.ok()) return {{}, s};
    return {std::move(files), Status::success()};
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
                                                           const std::vector<std::string>& names,
                                                           std::vector<bool>* plainFiles) {
    std::vector<std::int64_t> times(names.size(), kNoTime);
    if (plainFiles) plainFiles->assign(names.size(), false);
    const Fd dir(::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    std::string path;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string& name = names[i];
        struct stat st {};
        // A name with a separator is looked up as the joined path, as modifiedTime would: an
        // absolute one would otherwise leave the folder behind.
        const bool inFolder = dir && !name.empty() && name.find('/') == std::string::npos;
        if (!inFolder) {
            path.assign(folder).append("/").append(name);
            if (::stat(path.c_str(), &st) == 0)
                times[i] = static_cast<std::int64_t>(st.st_mtim.tv_sec);
            continue;
        }
        // The name itself first: a plain file is told by the same lookup; a link's date is
        // that of what it names, as modifiedTime gives it.
        if (::fstatat(dir.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        const bool link = S_ISLNK(st.st_mode);
        if (link && ::fstatat(dir.get(), name.c_str(), &st, 0) != 0) continue;
        times[i] = static_cast<std::int64_t>(st.st_mtim.tv_sec);
        if (plainFiles) (*plainFiles)[i] = !link && S_ISREG(st.st_mode);
    }
    return times;
}

Status PosixFileSystem::canReplace(const std::string& path) {
    return replaceObstacle(path);
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
    return {std::move(names), Status::success()};
}

Result<std::string> PosixFileSystem::canonicalPath(const std::string& path) {
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (!resolved) return {{}, Status::fromErrno(errno)};
    std::string out = resolved;
    std::free(resolved);
    return {std::move(out), Status::success()};
}

FileSystem& realFileSystem() {
    static PosixFileSystem fs;
    return fs;
}

}  // namespace qv
