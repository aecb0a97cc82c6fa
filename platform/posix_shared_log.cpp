// The run log that two runs at once may write: each run's lines appended as one block when it
// closes the log, never emptied under a writer; meanwhile they wait in the run's side file.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <string>
#include <system_error>
#include <thread>

#include "platform/machine_lock.h"
#include "platform/posix_fd.h"
#include "platform/posix_filesystem.h"

namespace qv {

namespace {

bool flockNow(int fd, int operation) {
    int rc;
    do {
        rc = ::flock(fd, operation);
    } while (rc != 0 && errno == EINTR);
    return rc == 0;
}

// A run's lines go out as one block at the file's end when it closes (O_APPEND), so the lines of
// two runs at once never mix, and a reader finds each run from its first line to the next run's.
// Written as they came, the lines of a long run were split by a short run that ended in between.
// Until then they are written to the run's side file as they come (a killed run leaves them there
// for the next command on its cache); without one they are held in memory. The block is copied
// from the side file a piece at a time under the appenders' lock (AppendLock), so a run of
// 100,000 packages does not hold its 11 MB of lines; where that lock is missing, the side file is
// mapped for one write, which the kernel appends whole. The shared flock, or the machine lock
// where the file system has no flock, is held until close.
class SharedLogFile final : public OutFile {
  public:
    SharedLogFile(int fd, std::unique_ptr<MachineLock> machine, int side, std::string sidePath)
        : fd_(fd),
          file_(posix::outFile(fd)),
          machine_(std::move(machine)),
          side_(side),
          sidePath_(std::move(sidePath)) {}
    ~SharedLogFile() override { (void)close(); }

    // Empties the file while the run goes on, then shares the exclusive flock this run holds:
    // freeing a long log's blocks takes a while, and nothing is appended before close().
    // Another run that opens the log meanwhile waits for the shared lock, so its block comes
    // after the emptying.
    void emptyThenShare() {
        const auto empty = [this] {
            if (::ftruncate(fd_, 0) != 0) emptyError_ = errno;
            if (!flockNow(fd_, LOCK_SH) && emptyError_ == 0) emptyError_ = errno;
        };
        try {
            emptying_ = std::thread(empty);
        } catch (const std::system_error&) {
            empty();  // no thread to be had: emptied now
        }
    }
    Status write(std::string_view data) override {
        if (closed_) return Status::fromErrno(EBADF);
        if (side_) return posix::writeAll(side_.get(), data);
        block_.append(data);
        return Status::success();
    }
    // Nothing reaches the log before the run's block is whole.
    Status sync() override { return closed_ ? Status::fromErrno(EBADF) : Status::success(); }
    Status close() override {
        if (closed_) return Status::success();
        closed_ = true;
        if (emptying_.joinable()) emptying_.join();
        // An old log that could not be emptied gets no block: the side file keeps the lines.
        Status written = emptyError_ != 0 ? Status::fromErrno(emptyError_)
                         : side_          ? appendSideFile()
                                          : Status::success();
        if (!block_.empty() && written.ok()) written = file_->write(block_);
        std::string().swap(block_);
        const Status closed = file_->close();  // releases the flock
        machine_.reset();
        // A side file whose lines did not reach the log stays for the next command to add.
        if (side_ && written.ok() && closed.ok()) ::unlink(sidePath_.c_str());
        side_.reset();
        return written.ok() ? closed : written;
    }

  private:
    Status appendSideFile() {
        struct stat st {};
        if (::fstat(side_.get(), &st) != 0) return Status::fromErrno(errno);
        if (st.st_size == 0) return Status::success();
        const auto size = static_cast<std::size_t>(st.st_size);
        if (const posix::AppendLock lock(fd_); lock.held()) return copySideFile(size);
        void* map = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, side_.get(), 0);
        if (map == MAP_FAILED) {  // read back instead
            block_.resize(size);
            const ssize_t got = ::pread(side_.get(), block_.data(), size, 0);
            if (got < 0) return Status::fromErrno(errno);
            block_.resize(static_cast<std::size_t>(got));
            return Status::success();
        }
        const Status written = file_->write({static_cast<const char*>(map), size});
        ::munmap(map, size);
        return written;
    }

    Status copySideFile(std::size_t size) {
        constexpr std::size_t kPiece = std::size_t{1} << 18;
        std::string piece(std::min(size, kPiece), '\0');
        for (std::size_t at = 0; at < size;) {
            const ssize_t got = ::pread(side_.get(), piece.data(), std::min(size - at, kPiece),
                                        static_cast<off_t>(at));
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) return Status::fromErrno(errno);
            if (got == 0) break;  // cut short since the look at its size
            if (Status s = file_->write({piece.data(), static_cast<std::size_t>(got)}); !s)
                return s;
            at += static_cast<std::size_t>(got);
        }
        return Status::success();
    }

    int fd_;  // file_'s, for the appenders' lock
    std::unique_ptr<OutFile> file_;
    std::unique_ptr<MachineLock> machine_;
    posix::Fd side_;
    std::string sidePath_;
    std::string block_;
    bool closed_ = false;
    std::thread emptying_;
    int emptyError_ = 0;  // set by emptying_ before it ends
};

// Opens `path` for appending (a link of that name is replaced, never written through).
int openForAppend(const std::string& path) {
    constexpr int kFlags = O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
    int fd = ::open(path.c_str(), kFlags, 0666);
    if (fd < 0 && errno == ELOOP && ::unlink(path.c_str()) == 0)
        fd = ::open(path.c_str(), kFlags | O_EXCL, 0666);
    return fd;
}

}  // namespace

Result<std::unique_ptr<OutFile>> PosixFileSystem::openSharedLog(const std::string& path,
                                                                const std::string& sidePath,
                                                                bool& alone) {
    posix::Fd fd(openForAppend(path));
    if (!fd) return {nullptr, Status::fromErrno(errno)};
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) return {nullptr, Status::fromErrno(errno)};
    if (!S_ISREG(st.st_mode)) return {nullptr, Status::failure("not a plain file", EINVAL)};
    posix::giveToFolderOwner(fd.get(), path);
    // Every writer holds a shared lock; only one that can take it alone empties the file.
    std::unique_ptr<MachineLock> machine;
    bool exclusive = false;
    if (flockNow(fd.get(), LOCK_EX | LOCK_NB)) {
        alone = exclusive = true;
    } else if (errno == EWOULDBLOCK) {
        alone = false;
        if (!flockNow(fd.get(), LOCK_SH)) return {nullptr, Status::fromErrno(errno)};
    } else {
        // No flock here (NFS): the runs of this machine meet at its lock instead.
        machine = std::make_unique<MachineLock>(st.st_dev, st.st_ino, st.st_uid, false);
        alone = machine->state() != MachineLock::State::Busy;
        if (machine->state() != MachineLock::State::Held) machine.reset();
    }
    // Under the machine lock the file is emptied at once; under the exclusive flock, while the
    // run goes on (emptyThenShare).
    if (alone && !exclusive && ::ftruncate(fd.get(), 0) != 0)
        return {nullptr, Status::fromErrno(errno)};
    const int raw = ::dup(fd.get());
    if (raw < 0) return {nullptr, Status::fromErrno(errno)};
    // The side file is the run's own (named after its journal): one left by another is none of
    // its lines, and a side file that cannot be made leaves the lines in memory.
    int side = -1;
    if (!sidePath.empty()) {
        side = ::open(sidePath.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (side >= 0) posix::giveToFolderOwner(side, sidePath);
    }
    auto log = std::make_unique<SharedLogFile>(raw, std::move(machine), side, sidePath);
    if (exclusive) log->emptyThenShare();
    return {std::move(log), Status::success()};
}

}  // namespace qv
