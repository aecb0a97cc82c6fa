// Reading files that other programs keep, where a FIFO, a device or a huge file may lie.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix_fd.h"
#include "platform/posix_filesystem.h"

namespace qv {

Result<std::string> PosixFileSystem::readPlainFile(const std::string& path, std::size_t maxBytes) {
    // O_NONBLOCK: opening a FIFO nobody writes to returns at once instead of waiting for a
    // writer; the type is then told from the open file, so nothing can be swapped in between.
    posix::Fd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd) return {{}, Status::fromErrno(errno)};
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) return {{}, Status::fromErrno(errno)};
    if (!S_ISREG(st.st_mode)) return {{}, Status::fromErrno(EINVAL)};
    if (static_cast<std::uint64_t>(st.st_size) > maxBytes) return {{}, Status::fromErrno(EFBIG)};
    std::string data;
    data.reserve(static_cast<std::size_t>(st.st_size));
    // A file growing while it is read stops being read past the cap.
    if (Status s = posix::readToEnd(fd.get(), data, maxBytes); !s) return {{}, std::move(s)};
    return {std::move(data), Status::success()};
}

}  // namespace qv
