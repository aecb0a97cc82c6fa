// Preloaded (LD_PRELOAD) into a test program: flock(2) on a folder fails as it does on NFS
// mounts, so the cache lock takes its other way. Files lock as usual.
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>

extern "C" int flock(int fd, int operation) {
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        errno = EBADF;
        return -1;
    }
    return static_cast<int>(::syscall(SYS_flock, fd, operation));
}
