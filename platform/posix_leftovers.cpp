// The clean-up after a write cut short, and the comparisons of a file with bytes or another file.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <cstring>
#include <memory>
#include <vector>

#include "platform/ascii.h"
#include "platform/posix_fd.h"
#include "platform/posix_filesystem.h"

namespace qv {

using posix::Fd;
using posix::kTempPrefix;
using posix::readFolder;

bool isLeftTempFileName(std::string_view name) {
    const std::string_view prefix = kTempPrefix;
    if (name.size() != prefix.size() + 6 || !name.starts_with(prefix)) return false;
    for (char c : name.substr(prefix.size()))
        if (!isAlphaAscii(c) && !isDigitAscii(c)) return false;
    return true;
}

Result<std::vector<std::string>> PosixFileSystem::removeLeftTempFiles(const std::string& folder) {
    std::vector<std::string> names;
    const Status s = readFolder(folder, [&](int, const dirent& e) {
        if (isLeftTempFileName(e.d_name)) names.emplace_back(e.d_name);
    });
    if (!s.ok()) return {{}, s};
    std::vector<std::string> removed;
    for (const std::string& name : names) {
        const std::string path = folder + "/" + name;
        Fd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat st {};
        // A plain file whose writer is gone: a running write holds its lock.
        if (!fd || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) ||
            ::flock(fd.get(), LOCK_EX | LOCK_NB) != 0)
            continue;
        if (::unlink(path.c_str()) == 0) removed.push_back(name);
    }
    return {std::move(removed), Status::success()};
}

Result<bool> PosixFileSystem::holdsExactly(const std::string& path, std::string_view expected) {
    Fd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!fd) return {false, Status::fromErrno(errno)};
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) return {false, Status::fromErrno(errno)};
    if (!S_ISREG(st.st_mode) || static_cast<std::uint64_t>(st.st_size) != expected.size())
        return {false, Status::success()};
    constexpr std::size_t kBlock = 1 << 16;
    const auto buf = std::make_unique_for_overwrite<char[]>(kBlock);
    for (std::size_t done = 0;;) {
        const ssize_t n = ::read(fd.get(), buf.get(), kBlock);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return {false, Status::fromErrno(errno)};
        if (n == 0) return {done == expected.size(), Status::success()};
        const auto got = static_cast<std::size_t>(n);
        if (done + got > expected.size() ||
            std::memcmp(buf.get(), expected.data() + done, got) != 0)
            return {false, Status::success()};
        done += got;
    }
}

Result<bool> PosixFileSystem::sameBytesInOtherFile(const std::string& a, const std::string& b) {
    Fd fa(::open(a.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!fa) return {false, Status::fromErrno(errno)};
    // Never anything but a plain file: a FIFO or device opened for reading could block for
    // ever, and a link leads out of the folder.
    Fd fb(::open(b.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fb) return {false, errno == ELOOP ? Status::success() : Status::fromErrno(errno)};
    struct stat sa {
    }, sb{};
    if (::fstat(fa.get(), &sa) != 0 || ::fstat(fb.get(), &sb) != 0)
        return {false, Status::fromErrno(errno)};
    // The same file reached by a link is no second copy.
    if (!S_ISREG(sa.st_mode) || !S_ISREG(sb.st_mode) || sa.st_size != sb.st_size ||
        (sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino))
        return {false, Status::success()};
    // Left uninitialised: most comparisons end in the first block, and zeroing both buffers
    // cost more than reading them. The first read is one page: two versions of a package
    // differ in their header's GUID, and a small first read keeps the kernel from reading
    // ahead far into both files.
    constexpr std::size_t kFirstBlock = 1 << 12, kBlock = 1 << 16;
    const auto bufA = std::make_unique_for_overwrite<char[]>(kBlock);
    const auto bufB = std::make_unique_for_overwrite<char[]>(kBlock);
    for (std::size_t block = kFirstBlock;; block = kBlock) {
        const ssize_t n = ::read(fa.get(), bufA.get(), block);
        if (n < 0) {
            if (errno == EINTR) continue;
            return {false, Status::fromErrno(errno)};
        }
        if (n == 0) return {true, Status::success()};
        std::size_t got = 0;
        while (got < static_cast<std::size_t>(n)) {
            const ssize_t m = ::read(fb.get(), bufB.get() + got, static_cast<std::size_t>(n) - got);
            if (m < 0 && errno == EINTR) continue;
            if (m < 0) return {false, Status::fromErrno(errno)};
            if (m == 0) return {false, Status::success()};  // b got shorter meanwhile
            got += static_cast<std::size_t>(m);
        }
        if (std::memcmp(bufA.get(), bufB.get(), got) != 0) return {false, Status::success()};
    }
}

}  // namespace qv
