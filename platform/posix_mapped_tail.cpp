// Writing the end of a file through a shared mapping (the run journal's landings).
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/mman.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "platform/posix_fd.h"

namespace qv::posix {

namespace {

constexpr std::size_t kRoom = 1 << 20;  // allocated and mapped at a time

// File systems whose allocated room takes a mapped write without a fault: a copy-on-write or
// network file system may need new blocks at the fault itself, and a full disk would then kill
// the process with SIGBUS between a move and its record.
bool keepsMappedWrites(int fd) {
    struct statfs fs {};
    if (::fstatfs(fd, &fs) != 0) return false;
    switch (static_cast<unsigned long>(fs.f_type)) {
        case EXT4_SUPER_MAGIC:  // also ext2 and ext3
        case XFS_SUPER_MAGIC:
        case TMPFS_MAGIC:
            return true;
        default:
            return false;
    }
}

}  // namespace

std::unique_ptr<MappedTail> MappedTail::start(int fd) {
    if (!keepsMappedWrites(fd)) return nullptr;
    const off_t at = ::lseek(fd, 0, SEEK_CUR);
    if (at < 0) return nullptr;
    std::unique_ptr<MappedTail> tail(new MappedTail(fd, at));
    if (!tail->room(1)) {
        (void)tail->end();
        return nullptr;
    }
    return tail;
}

MappedTail::~MappedTail() {
    if (map_) ::munmap(map_, mapLength_);
}

bool MappedTail::room(std::size_t bytes) {
    if (map_ && end_ + static_cast<off_t>(bytes) <= mapStart_ + static_cast<off_t>(mapLength_))
        return true;
    if (map_) {
        ::munmap(map_, mapLength_);
        map_ = nullptr;
        // The full MiB starts its way to the disk, as each MiB of a plain write does.
        (void)::sync_file_range(fd_, mapStart_, static_cast<off_t>(mapLength_),
                                SYNC_FILE_RANGE_WRITE);
    }
    const auto page = static_cast<off_t>(::sysconf(_SC_PAGESIZE));
    const off_t start = end_ - end_ % page;
    const std::size_t needed = static_cast<std::size_t>(end_ - start) + bytes;
    const std::size_t length = needed <= kRoom ? kRoom : (needed + page - 1) / page * page;
    // The room's blocks are the file's before the first copy: no copy can find the disk full.
    if (::fallocate(fd_, 0, start, static_cast<off_t>(length)) != 0) return false;
    void* map = ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, start);
    if (map == MAP_FAILED) return false;
    map_ = static_cast<char*>(map), mapStart_ = start, mapLength_ = length;
#ifdef MADV_POPULATE_WRITE
    // The room's pages made writable at once, rather than a fault at the first copy into each.
    (void)::madvise(map_, mapLength_, MADV_POPULATE_WRITE);
#endif
    return true;
}

bool MappedTail::write(std::string_view data) {
    if (data.empty()) return true;
    if (!room(data.size())) return false;
    char* at = map_ + (end_ - mapStart_);
    std::memcpy(at + 1, data.data() + 1, data.size() - 1);
    // The first byte goes in after the others, in the order the process runs: a kill between
    // them leaves a zero there.
    std::atomic_signal_fence(std::memory_order_seq_cst);
    at[0] = data[0];
    end_ += static_cast<off_t>(data.size());
    return true;
}

Status MappedTail::end() {
    if (map_) ::munmap(map_, mapLength_);
    map_ = nullptr;
    Status s = Status::success();
    if (::ftruncate(fd_, end_) != 0) s = Status::fromErrno(errno);
    if (::lseek(fd_, end_, SEEK_SET) < 0 && s.ok()) s = Status::fromErrno(errno);
    return s;
}

}  // namespace qv::posix
