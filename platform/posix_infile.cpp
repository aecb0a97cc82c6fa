// Files opened for reads at offsets: the package reader's few small reads.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstring>

#include "platform/posix_fd.h"
#include "platform/posix_filesystem.h"

namespace qv {

namespace {

// fstat of an open file by its own call: the C library's fstat asks fstatat for an empty path,
// which costs this kernel a path lookup per file, as much as the header's read.
int fstatOpen(int fd, struct stat& st) {
#ifdef SYS_fstat
    return static_cast<int>(::syscall(SYS_fstat, fd, &st));
#else
    return ::fstat(fd, &st);
#endif
}

class PosixInFile final : public InFile {
  public:
    explicit PosixInFile(int fd) : fd_(fd) {}
    int fd() const { return fd_.get(); }
    void setIdentity(const FileIdentity& id) { id_ = id; }
    const FileIdentity& identity() const override { return id_; }
    Result<std::size_t> readAt(std::uint64_t offset, char* buffer, std::size_t length) override {
        std::size_t got = 0;
        while (got < length) {
            const ssize_t n =
                ::pread(fd_.get(), buffer + got, length - got, static_cast<off_t>(offset + got));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return {got, Status::fromErrno(errno)};
            if (n == 0) break;
            got += static_cast<std::size_t>(n);
        }
        return {got, Status::success()};
    }

  private:
    posix::Fd fd_;
    FileIdentity id_;
};

}  // namespace

Result<std::unique_ptr<InFile>> PosixFileSystem::openForReading(const std::string& path) {
    // No link is followed and a FIFO never blocks the open: only a plain file is read. A file in
    // a held folder is opened from it. A header read is no use of the package: its access time
    // stays as it was where the system lets us (our own files), which also spares a write of
    // the inode per package.
    std::size_t name = 0;
    const int folder = heldFolderOf(path, name);
    const int at = folder >= 0 ? folder : AT_FDCWD;
    const char* relative = folder >= 0 ? path.c_str() + name : path.c_str();
    constexpr int kFlags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    int fd = ::openat(at, relative, kFlags | O_NOATIME);
    if (fd < 0 && errno == EPERM) fd = ::openat(at, relative, kFlags);
    if (fd < 0) return {nullptr, Status::fromErrno(errno == ELOOP ? EINVAL : errno)};
    auto file = std::make_unique<PosixInFile>(fd);
    struct stat st {};
    if (fstatOpen(file->fd(), st) != 0) return {nullptr, Status::fromErrno(errno)};
    if (!S_ISREG(st.st_mode)) return {nullptr, Status::fromErrno(EINVAL)};
    file->setIdentity(identityOfStat(st));
    return {std::move(file), Status::success()};
}

}  // namespace qv
