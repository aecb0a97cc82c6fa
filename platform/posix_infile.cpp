// Files opened for reads at offsets: the package reader's few small reads.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "platform/posix_fd.h"
#include "platform/posix_filesystem.h"

namespace qv {

namespace {

class PosixInFile final : public InFile {
  public:
    explicit PosixInFile(int fd) : fd_(fd) {}
    int fd() const { return fd_.get(); }
    void setIdentity(const FileIdentity& id) { id_ = id; }
    const FileIdentity& identity() const override { return id_; }
    Result<std::size_t> readAt(std::uint64_t offset, char* buffer, std::size_t length) override {
        std::size_t got = 0;
        while (got < length) {
            const ssize_t n = ::pread(fd_.get(), buffer + got, length - got,
                                      static_cast<off_t>(offset + got));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return {got, Status::fromErrno(errno)};
            if (n == 0) break;
            got += static_cast<std::size_t>(n);
        }
        return {got, {}};
    }

  private:
    posix::Fd fd_;
    FileIdentity id_;
};

class MemoryInFile final : public InFile {
  public:
    MemoryInFile(std::string data, FileIdentity id) : data_(std::move(data)), id_(id) {
        id_.size = data_.size();
    }
    const FileIdentity& identity() const override { return id_; }
    Result<std::size_t> readAt(std::uint64_t offset, char* buffer, std::size_t length) override {
        if (offset >= data_.size()) return {0, {}};
        const std::size_t n = std::min<std::uint64_t>(length, data_.size() - offset);
        std::memcpy(buffer, data_.data() + offset, n);
        return {n, {}};
    }

  private:
    std::string data_;
    FileIdentity id_;
};

}  // namespace

std::unique_ptr<InFile> memoryInFile(std::string data, FileIdentity identity) {
    return std::make_unique<MemoryInFile>(std::move(data), identity);
}

Result<std::unique_ptr<InFile>> FileSystem::openForReading(const std::string& path) {
    if (!isFile(path)) return {nullptr, Status::fromErrno(exists(path) ? EINVAL : ENOENT)};
    Result<std::string> data = readAll(path);
    if (!data) return {nullptr, data.status};
    return {memoryInFile(std::move(data.value)), {}};
}

Result<std::unique_ptr<InFile>> PosixFileSystem::openForReading(const std::string& path) {
    // No link is followed and a FIFO never blocks the open: only a plain file is read.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return {nullptr, Status::fromErrno(errno == ELOOP ? EINVAL : errno)};
    auto file = std::make_unique<PosixInFile>(fd);
    struct stat st {};
    if (::fstat(file->fd(), &st) != 0) return {nullptr, Status::fromErrno(errno)};
    if (!S_ISREG(st.st_mode)) return {nullptr, Status::fromErrno(EINVAL)};
    file->setIdentity(identityOfStat(st));
    return {std::move(file), {}};
}

}  // namespace qv
