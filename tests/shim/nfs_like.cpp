// Preloaded (LD_PRELOAD) into a test program to refuse what NFS mounts refuse: flock(2) on a
// folder always; on a file under the folder QV_SHIM_NO_FILE_FLOCK names (a mount without locks)
// with ENOLCK, "No locks available" (other files lock as usual); with QV_SHIM_NO_RENAME_FLAGS set,
// renameat2 with flags (no RENAME_EXCHANGE, no RENAME_NOREPLACE); with QV_SHIM_NO_LINK set, hard
// links, as FUSE mounts often do.
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int flock(int fd, int operation) {
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        errno = EBADF;
        return -1;
    }
    if (const char* noLocks = std::getenv("QV_SHIM_NO_FILE_FLOCK"); noLocks && *noLocks) {
        char path[4096];
        const std::string link = "/proc/self/fd/" + std::to_string(fd);
        const ssize_t n = ::readlink(link.c_str(), path, sizeof path - 1);
        if (n > 0 && std::string_view(path, static_cast<std::size_t>(n)).starts_with(noLocks)) {
            errno = ENOLCK;
            return -1;
        }
    }
    return static_cast<int>(::syscall(SYS_flock, fd, operation));
}

extern "C" int renameat2(int fromDir, const char* from, int toDir, const char* to,
                         unsigned int flags) {
    if (flags != 0 && std::getenv("QV_SHIM_NO_RENAME_FLAGS")) {
        errno = EINVAL;
        return -1;
    }
    return static_cast<int>(::syscall(SYS_renameat2, fromDir, from, toDir, to, flags));
}

extern "C" int link(const char* from, const char* to) {
    if (std::getenv("QV_SHIM_NO_LINK")) {
        errno = EPERM;
        return -1;
    }
    return static_cast<int>(::syscall(SYS_link, from, to));
}
