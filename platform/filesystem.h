#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"

namespace qv {

struct FileInfo {
    std::string name;        // bare name, no folder part
    std::uint64_t size = 0;  // bytes (of the file a link leads to)
    std::int64_t mtime = 0;  // seconds since the epoch
    bool link = false;       // the name is a symbolic link to a plain file
};

// What makes a file the one that was seen before: a file replaced, edited or swapped for another
// differs in at least one of these.
struct FileIdentity {
    std::uint64_t size = 0;
    std::int64_t mtimeNs = 0;  // modification time, nanoseconds since the epoch
    std::int64_t ctimeNs = 0;  // status change time (a rename sets it); not part of sameAs
    std::uint64_t device = 0, inode = 0;
    bool known() const { return inode != 0; }  // all 0: what was there could not be told
    bool sameAs(const FileIdentity& o) const {
        return size == o.size && mtimeNs == o.mtimeNs && device == o.device && inode == o.inode;
    }
};

// What a folder listing says an entry is, without following a link.
enum class EntryKind { File, Link, Folder, Other };

// A plain file open for reading in pieces (a package's header and tables). Its identity is the
// file's as it was opened: a read never follows a later rename or replacement.
class InFile {
  public:
    virtual ~InFile() = default;
    virtual const FileIdentity& identity() const = 0;
    // Reads up to `length` bytes at `offset` into `buffer`; fewer only at the end of the file.
    virtual Result<std::size_t> readAt(std::uint64_t offset, char* buffer, std::size_t length) = 0;
};

// An InFile over bytes held in memory (a file system without a faster way, the fuzz targets).
std::unique_ptr<InFile> memoryInFile(std::string data, FileIdentity identity = {});

// A file open for writing, line by line (the run log).
class OutFile {
  public:
    virtual ~OutFile() = default;
    virtual Status write(std::string_view data) = 0;  // writes and flushes to the OS
    virtual Status close() = 0;                       // fsync + close; idempotent
    virtual Status sync() = 0;                        // what was written reaches the disk
    // From here on each write is a copy into a shared mapping of the file's end, not a system
    // call: it outlives a killed process as a write does. A file the process leaves unclosed
    // may then end in zero bytes after what was written. False: writes go on as before.
    virtual bool writeThroughMapping() { return false; }
    // Sets room on the disk aside for the next `bytes` written, so that a full disk is told
    // before they are due. Success where a file system cannot set room aside: the write tells.
    virtual Status reserve(std::size_t bytes) {
        (void)bytes;
        return Status::success();
    }
};

// Every file operation of the engine and the settings layer goes through this interface, so
// tests can wrap it to inject failures. Nothing throws.
class FileSystem {
  public:
    virtual ~FileSystem() = default;

    // Existence: a plain file (folders do not count), a folder, anything of that name.
    virtual bool isFile(const std::string& path) = 0;
    virtual bool isFolder(const std::string& path) = 0;
    virtual bool exists(const std::string& path) = 0;
    // What `path` names when it is there but is no plain file, links followed: "a folder",
    // "a FIFO", "a device", "a socket"; empty for a plain file or nothing.
    virtual std::string_view otherKind(const std::string& path) {
        return isFolder(path) ? "a folder" : "";
    }

    virtual Result<std::string> readAll(const std::string& path) = 0;

    // readAll of a plain file that holds at most `maxBytes`, for files other programs keep (a
    // launcher's list, a Wine registry) where anything may lie: a FIFO, a device or another
    // file that is no plain file is refused (EINVAL) without waiting on it, a larger or still
    // growing one too (EFBIG).
    virtual Result<std::string> readPlainFile(const std::string& path, std::size_t maxBytes);

    // Writes a whole file under a temporary name in the same folder, flushes it and renames
    // it over `path`, so readers see either the old or the new file. The new file keeps the
    // owner, group and mode of the old one (set before any data goes in). A `path` that cannot
    // be replaced (read-only, immutable) is refused and stays as it is.
    virtual Status writeAtomic(const std::string& path, std::string_view data) = 0;
    // writeAtomic of a copy of another file: the new file takes the owner, group and mode of
    // `ownerOf` instead (a backup written as a copy stays the player's when root writes it).
    virtual Status writeAtomicLike(const std::string& path, std::string_view data,
                                   const std::string& ownerOf) {
        (void)ownerOf;
        return writeAtomic(path, data);
    }

    // Writes `data` as the file a caller names for output (a thumbnail, a picture): a plain file
    // already there is written in place, through a descriptor opened without following a link,
    // so a reader that made it and holds it open reads the new bytes; a missing name is created;
    // a link is replaced by a new file of the user's own, never followed for its contents or
    // mode. A folder, FIFO, device or socket is refused (EINVAL, saying which) and left as it is.
    // This default, for file systems without kinds of files, is writeAtomic.
    virtual Status writeOutput(const std::string& path, std::string_view data) {
        return writeAtomic(path, data);
    }

    // Creates or replaces `path` and returns it open for writing. A link of that name is
    // replaced by the new file, never written through.
    virtual Result<std::unique_ptr<OutFile>> createFile(const std::string& path) = 0;

    // Appends `data` and syncs it to the disk before the file is closed.
    virtual Status appendToFile(const std::string& path, std::string_view data) = 0;

    // Creates `path` only when nothing of that name exists (EEXIST otherwise, a link included)
    // and returns it open for writing: two writers can never take one name. The new name is
    // synced with its folder by the file's first sync (or its close).
    virtual Result<std::unique_ptr<OutFile>> createNewFile(const std::string& path) {
        if (exists(path)) return {nullptr, Status::fromErrno(EEXIST)};
        return createFile(path);
    }

    // Removes the folder `path` when it is empty (ENOTEMPTY otherwise); never its contents.
    virtual Status removeEmptyFolder(const std::string& path) {
        (void)path;
        return Status::fromErrno(ENOSYS);
    }

    // Opens the run log `path` for a run that writes it while others may too (two runs on two
    // caches): what the run writes is appended as one block when it closes the file, so the
    // runs' lines never mix, and the file is emptied first only when no other
    // writer has it open (then `alone` is true). Held under a shared lock until closed. Until
    // then the lines are written as they come to `sidePath`, a new file of the run's own
    // ("": held in memory), which is removed once they reached the log; a killed run leaves it.
    // Here, and for file systems that do not say otherwise: createFile, alone, no side file.
    virtual Result<std::unique_ptr<OutFile>> openSharedLog(const std::string& path,
                                                           const std::string& sidePath,
                                                           bool& alone) {
        (void)sidePath;
        alone = true;
        return createFile(path);
    }

    // Moves a file, never replacing an existing one. Same file system: a rename that refuses
    // to replace. Across file systems: copy to a temporary name in the destination folder,
    // flush, rename without replacing, then delete the source. On failure the source stays
    // and no partial file is left behind.
    virtual Status moveNoReplace(const std::string& from, const std::string& to) = 0;

    // Opens the plain file `path` for reads at offsets; a link, folder, FIFO or device is refused
    // (EINVAL), whatever it leads to. This default reads the whole file through readAll.
    virtual Result<std::unique_ptr<InFile>> openForReading(const std::string& path);

    // rename(2): replaces `to` when it exists. Same file system only.
    virtual Status renameReplace(const std::string& from, const std::string& to) = 0;

    virtual Status removeFile(const std::string& path) = 0;
    virtual Status makeFolder(const std::string& path) = 0;  // one level

    // Plain files of `folder` whose name matches a pattern such as "*.tmp" or "*.*"
    // ("*.*" matches every name). Letter case is ignored in the match. Hidden files (a leading
    // dot) are not listed; a link to a plain file is listed with the size of that file.
    virtual Result<std::vector<FileInfo>> listFiles(const std::string& folder,
                                                    const std::string& pattern) = 0;

    virtual std::optional<std::int64_t> modifiedTime(const std::string& path) = 0;

    // modifiedTime of each of `names` in `folder`, in order, kNoTime where a name cannot be
    // looked up. Where it can, the folder is looked up once rather than once per name.
    // `plainFiles`, when given and filled (it may stay empty: not told), says for each name
    // whether it is a plain file of exactly that name, not a link, as the same lookup found.
    static constexpr std::int64_t kNoTime = INT64_MIN;
    virtual std::vector<std::int64_t> modifiedTimesIn(const std::string& folder,
                                                      const std::vector<std::string>& names,
                                                      std::vector<bool>* plainFiles);

    // Calls `entry` once for each name in `folder` (hidden ones included) with its kind as the
    // folder itself records it: one read of the folder, no lookup per name where the file
    // system keeps the kinds. A link is a Link, never followed. ENOSYS where not provided.
    virtual Status forEachEntry(const std::string& folder,
                                const std::function<void(std::string_view, EntryKind)>& entry) {
        (void)folder;
        (void)entry;
        return Status::fromErrno(ENOSYS);
    }

    // moveNoReplace for a `from` that a listing of its folder (forEachEntry) has just shown as a
    // plain file: the move skips its own lookup of the type. Everything else is as for
    // moveNoReplace, which is what a file system without a faster way does. `landed`, when given,
    // receives the identity of what the move put at `to` (left as it is when it cannot be told).
    virtual Status moveListedFile(const std::string& from, const std::string& to,
                                  FileIdentity* landed = nullptr) {
        const Status moved = moveNoReplace(from, to);
        if (moved.ok() && landed)
            if (const Result<FileIdentity> id = identityOf(to); id.ok()) *landed = id.value;
        return moved;
    }

    // Writes `data` as the new `path` and swaps it with the old file in one step: a temporary file
    // in the same folder, with the old file's owner, group and mode, is flushed and exchanged
    // with `path`, so `path` always names a whole file. When `expected` is given, `path` is read
    // once more right before the exchange and nothing is exchanged (ESTALE) unless it still holds
    // exactly that; a file another writer put there in the instant between that check and the
    // exchange is put back at once (ESTALE too). Returns the hidden temporary name that now holds
    // the old file, which the caller compares, then renames or removes; an empty name where the
    // old file could be neither exchanged nor linked and is gone. ENOSYS where the file system
    // cannot do this (the caller then writes a copy), ENOENT when `path` is missing.
    virtual Result<std::string> exchangeAtomic(const std::string& path, std::string_view data,
                                               const std::string* expected = nullptr) {
        (void)path;
        (void)data;
        (void)expected;
        return {{}, Status::fromErrno(ENOSYS)};
    }

    // Holds `folders` open until releaseFolders(), so that moveListedFile between two of them
    // looks up only the two names, not the folders' paths each time. A move keeps to the folders
    // as they were when held. Doing nothing is a valid implementation.
    virtual void holdFolders(const std::vector<std::string>& folders) { (void)folders; }
    virtual void releaseFolders() {}

    // True when openForReading and the reads of its files may run on two threads at once, with
    // nothing else of this file system changing meanwhile (the header pass reads on two).
    virtual bool readsInParallel() const { return false; }

    // True when forEachEntry may run on another thread while this one reads and looks up files
    // (nothing written meanwhile): the run lists the cache folder while it reads the index.
    virtual bool listsWhileReading() const { return false; }

    // True for a file system that only plans (a dry run): nothing written to it is kept, so
    // records of what was done (the run journals) are not started at all.
    virtual bool changesNothing() const { return false; }

    // The identity of the plain file `path` (a link is not followed; EINVAL for anything that
    // is not a plain file, ENOENT when nothing is there). A path in a held folder is looked up from
    // the held folder.
    virtual Result<FileIdentity> identityOf(const std::string& path) {
        (void)path;
        return {{}, Status::fromErrno(ENOSYS)};
    }

    // Whether a program holds the plain file `path` open for writing (the game writing cache.ini
    // in place). ENOSYS where this cannot be told; the caller then waits for the file to stay the
    // same for a while instead.
    virtual Result<bool> openForWriting(const std::string& path) {
        (void)path;
        return {false, Status::fromErrno(ENOSYS)};
    }

    // Lifts read-only (adds the owner's write permission).
    virtual Status makeWritable(const std::string& path) = 0;

    // Whether writeAtomic could replace `path`: the folder writable, the file neither read-only,
    // immutable nor append-only, and not another user's in a sticky folder. Asked before work
    // whose end is that replacement.
    virtual Status canReplace(const std::string& path) = 0;

    // Names of the folders in `folder` (links to folders included, hidden ones not), sorted.
    // A file system that cannot list folders says so with ENOSYS.
    virtual Result<std::vector<std::string>> listFolders(const std::string& folder);

    // The absolute path with every link, "." and ".." resolved (realpath(3)); fails for a
    // path that does not exist or runs through a broken link.
    virtual Result<std::string> canonicalPath(const std::string& path);

    // Removes the hidden temporary files (".quorvel-tmp-" and six letters or digits, the names
    // writeAtomic and moveNoReplace write under) that a write cut short left in `folder`; a
    // write still running keeps its file. Returns the names removed.
    virtual Result<std::vector<std::string>> removeLeftTempFiles(const std::string& folder) = 0;

    // Gives the file `path` the second name `name` in the same folder, in place of any file of
    // that name: both names then stand for one file. ENOSYS where the file system has no such
    // links.
    virtual Status linkReplacing(const std::string& path, const std::string& name) {
        (void)path;
        (void)name;
        return Status::fromErrno(ENOSYS);
    }

    // True when the plain file `path` holds exactly `expected`, compared as it is read.
    virtual Result<bool> holdsExactly(const std::string& path, std::string_view expected) {
        const Result<std::string> text = readAll(path);
        return {text.ok() && text.value == expected, text.status};
    }

    // True when `b` holds exactly the bytes of the plain file `a` and is another file, not `a`
    // itself reached through a link.
    virtual Result<bool> sameBytesInOtherFile(const std::string& a, const std::string& b) = 0;
};

// Whether `name` is one of the hidden temporary names removeLeftTempFiles looks for.
bool isLeftTempFileName(std::string_view name);

// The real file system (POSIX).
// The path to read a file by that the user named (on a command line, from a file manager): a
// link to a plain file is followed to the file, since the user chose it. Files found in folders
// (the cache's) are opened as they are, links refused.
std::string userNamedFile(FileSystem& fs, const std::string& path);

// The names listFiles(folder, "*.*") gives, from one listing of the folder's names: only a link
// is looked up, so a folder of many files costs no lookup of each.
Result<std::vector<std::string>> plainFileNames(FileSystem& fs, const std::string& folder);

FileSystem& realFileSystem();

}  // namespace qv
