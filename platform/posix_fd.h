#pragma once
// Pieces the POSIX file system's source files share.
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <string>
#include <string_view>

#include "platform/filesystem.h"
#include "platform/result.h"

struct stat;

namespace qv {
// What fstat or lstat says of a file, as the identity a later look compares.
FileIdentity identityOfStat(const struct stat& st);
}  // namespace qv

namespace qv::posix {

// The hidden names writeAtomic and moveNoReplace write under, before the final rename.
inline constexpr const char* kTempPrefix = ".quorvel-tmp-";

// Closes a descriptor on every path out of a function.
class Fd final {
  public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    void reset(int fd = -1) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }
    // close(2) can report a late write error (NFS), so callers that wrote check it.
    Status close() {
        const int fd = fd_;
        fd_ = -1;
        if (fd >= 0 && ::close(fd) != 0 && errno != EINTR) return Status::fromErrno(errno);
        return Status::success();
    }

  private:
    int fd_;
};

// Appends what is left to read of `fd` to `data`; EFBIG once `data` would grow past `maxBytes`.
inline Status readToEnd(int fd, std::string& data,
                        std::size_t maxBytes = static_cast<std::size_t>(-1)) {
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            return Status::fromErrno(errno);
        }
        if (n == 0) return Status::success();
        const std::size_t count = static_cast<std::size_t>(n);
        if (count > maxBytes - std::min(maxBytes, data.size())) return Status::fromErrno(EFBIG);
        data.append(buf, count);
    }
}

// Calls `each(folder's fd, entry)` for every entry of `folder` but "." and "..", and says why
// a listing stopped short.
template <class Each>
inline Status readFolder(const std::string& folder, Each each) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return Status::fromErrno(errno);
    for (;;) {
        errno = 0;
        const dirent* e = ::readdir(dir);
        if (!e) {
            const int err = errno;
            ::closedir(dir);
            return err != 0 ? Status::fromErrno(err) : Status::success();
        }
        const std::string_view name(e->d_name);
        if (name != "." && name != "..") each(::dirfd(dir), *e);
    }
}

// Run by root in another user's folder (a player's program or game folder), what Quorvel creates
// there belongs to that user, as the files around it do: else the player's own next run could not
// replace its log or add a journal. `fd` is the new file or folder, open.
void giveToFolderOwner(int fd, const std::string& path);

// The lock every appender of a shared file holds for its append: an open file description's
// write lock on the file's first byte, which no reader or other lock kind meets. An append made
// in pieces under it is never split by another appender's. Not held where the file system has no
// such lock (held() false); the caller then appends in one write.
class AppendLock {
  public:
    explicit AppendLock(int fd) : fd_(fd), held_(onFirstByte(F_WRLCK, F_OFD_SETLKW)) {}
    ~AppendLock() {
        if (held_) (void)onFirstByte(F_UNLCK, F_OFD_SETLK);
    }
    AppendLock(const AppendLock&) = delete;
    AppendLock& operator=(const AppendLock&) = delete;
    bool held() const { return held_; }

  private:
    bool onFirstByte(short type, int command) const {
        struct flock lock {};
        lock.l_type = type;
        lock.l_whence = SEEK_SET;
        lock.l_len = 1;
        int rc;
        do {
            rc = ::fcntl(fd_, command, &lock);
        } while (rc != 0 && errno == EINTR);
        return rc == 0;
    }

    int fd_;
    bool held_;
};

// The open file `fd` as an OutFile that owns it: each write starts its way to the disk, close
// syncs.
std::unique_ptr<OutFile> outFile(int fd);

// The end of a file written through a shared mapping instead of a system call per write: what
// is copied in is the kernel's at once and outlives the process, as a write would. Room is
// allocated ahead a MiB at a time, so a full disk is told by the allocation, never by a fault
// on a copy; a process killed meanwhile leaves that room as zero bytes after what it wrote.
class MappedTail {
  public:
    // The tail of `fd` from its current position on; nullptr where its file system is not one
    // whose mapped writes are known to be kept (ext2/3/4, XFS, tmpfs) or room cannot be had.
    static std::unique_ptr<MappedTail> start(int fd);
    ~MappedTail();
    MappedTail(const MappedTail&) = delete;
    MappedTail& operator=(const MappedTail&) = delete;

    // Copies `data` in, its first byte last: a copy a kill cuts short leaves a line that starts
    // with a zero byte (or runs into the zeros), never a shorter record. False: no room could be
    // had; nothing was copied.
    bool write(std::string_view data);
    // Room for `bytes` more: false when it cannot be had.
    bool reserve(std::size_t bytes) { return room(bytes); }
    // Unmaps, cuts the file back to what was written and puts the file's position there.
    Status end();

  private:
    MappedTail(int fd, off_t at) : fd_(fd), end_(at) {}
    bool room(std::size_t bytes);

    int fd_;
    off_t end_;            // where the next copy goes
    char* map_ = nullptr;  // [mapStart_, mapStart_ + mapLength_) of the file
    off_t mapStart_ = 0;
    std::size_t mapLength_ = 0;
};

// Writes all of `data`, going on after interrupted and partial writes.
Status writeAll(int fd, std::string_view data);

// Makes the names in `folder` survive a crash; a file system that cannot is no failure.
Status fsyncFolder(const std::string& folder);

// Six random letters or digits: the end of a temporary name.
std::string randomSuffix();

// Gives the open file `fd` the owner, group and mode of the plain file `like`, as far as this
// user may; false, changing nothing, where `like` is no plain file.
bool takeOwnerAndMode(int fd, const std::string& like);

// Creates a new hidden file in `folder` under a name nobody else holds, locked (flock) for as
// long as `fd` or a duplicate of it is open, and returns its path.
Result<std::string> createTempFile(const std::string& folder, Fd& fd);

}  // namespace qv::posix
