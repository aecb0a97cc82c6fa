#include "settings/registry_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/filesystem.h"
#include "platform/paths.h"
#include "settings/program_files.h"
#include "settings/registry_text.h"

namespace qv {

namespace {

// Holds flock() on the store's side lock file for the length of one call. The lock is on a
// file of its own because the store itself is replaced by rename on every write.
class StoreLock final {
  public:
    StoreLock() = default;
    ~StoreLock() {
        if (fd_ >= 0) ::close(fd_);  // closing releases the lock
    }
    StoreLock(const StoreLock&) = delete;
    StoreLock& operator=(const StoreLock&) = delete;

    Status acquire(const std::string& storePath) {
        const std::string lockPath = storePath + ".lock";
        fd_ = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        // A lock file that cannot be created (read-only folder) can still be locked when it is
        // there; flock needs no write access.
        if (fd_ < 0 && (errno == EACCES || errno == EROFS))
            fd_ = ::open(lockPath.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0) return Status::fromErrno(errno);
        while (::flock(fd_, LOCK_EX) != 0) {
            if (errno != EINTR) return Status::fromErrno(errno);
        }
        return Status::success();
    }

  private:
    int fd_ = -1;
};

// The store as it is now; a missing file is an empty store.
Result<RegDocument> readDocument(FileSystem& fs, const std::string& path) {
    Result<std::string> text = fs.readAll(path);
    if (!text) {
        if (text.status.code == ENOENT) return {};
        return {{}, text.status};
    }
    return {parseRegistryText(text.value), {}};
}

// A key name that the file cannot hold on one line or a hive it does not know.
Status checkNames(const std::string& fullName, const std::string& valueName) {
    if (fullName.empty()) return Status::failure("The handle is invalid.", EBADF);
    const std::string_view breaks("\r\n\0", 3);
    if (fullName.find_first_of(breaks) != std::string::npos ||
        valueName.find_first_of(breaks) != std::string::npos)
        return Status::fromErrno(EINVAL);
    return Status::success();
}

// A reader takes no lock and creates nothing: writers replace the store by rename, so a read
// always sees a whole file, also in a folder the user cannot write.
Result<RegDocument> readStore(FileSystem& fs, const std::string& path) {
    return readDocument(fs, path);
}

// The full name of a key as the store keeps it: a doubled or trailing backslash names the same
// key as the plain path, as in the system's registry; a path that begins with one is refused.
Result<std::string> keyName(std::int32_t rootKey, const std::string& keyPath) {
    if (keyPath.starts_with('\\'))
        return {{}, Status::failure("A key path cannot begin with a backslash.", EINVAL)};
    return {normalKeyName(fullKeyName(rootKey, keyPath)), {}};
}

// One read-modify-write of the store under the exclusive lock.
template <class Change>
Status changeLocked(FileSystem& fs, const std::string& path, Change change) {
    if (Status s = makeFolders(fs, parentFolder(path)); !s) return s;
    StoreLock lock;
    if (Status s = lock.acquire(path); !s) return s;
    Result<RegDocument> doc = readDocument(fs, path);
    // A store that cannot be read is never overwritten: its values would be lost.
    if (!doc) return doc.status;
    change(doc.value);
    return fs.writeAtomic(path, formatRegistryText(doc.value));
}

}  // namespace

std::string defaultRegistryPath() {
    if (const char* p = std::getenv("QUORVEL_REGISTRY"); p && *p) return p;
    return userConfigHome() + "/Quorvel/registry.reg";
}

std::string hiveName(std::int32_t rootKey) {
    switch (static_cast<std::uint32_t>(rootKey)) {
        case 0x80000000u:
            return "HKEY_CLASSES_ROOT";
        case 0x80000001u:
            return "HKEY_CURRENT_USER";
        case 0x80000002u:
            return "HKEY_LOCAL_MACHINE";
        case 0x80000003u:
            return "HKEY_USERS";
        case 0x80000004u:
            return "HKEY_PERFORMANCE_DATA";
        case 0x80000005u:
            return "HKEY_CURRENT_CONFIG";
        case 0x80000006u:
            return "HKEY_DYN_DATA";
        default:
            return {};
    }
}

RegistryFile::RegistryFile(std::string path, FileSystem* fs)
    : path_(std::move(path)), fs_(fs ? fs : &realFileSystem()) {}

Result<std::optional<RegValue>> RegistryFile::getValue(std::int32_t rootKey,
                                                       const std::string& keyPath,
                                                       const std::string& name) const {
    const Result<std::string> named = keyName(rootKey, keyPath);
    if (!named) return {std::nullopt, named.status};
    const std::string& full = named.value;
    if (Status s = checkNames(full, name); !s) return {std::nullopt, s};
    Result<RegDocument> doc = readStore(*fs_, path_);
    if (!doc) return {std::nullopt, doc.status};
    RegKey* key = doc.value.find(full);
    if (!key) return {};
    RegValue* value = key->find(name);
    if (!value) return {};
    return {*value, {}};
}

Result<bool> RegistryFile::keyExists(std::int32_t rootKey, const std::string& keyPath) const {
    const Result<std::string> named = keyName(rootKey, keyPath);
    if (!named) return {false, named.status};
    const std::string& full = named.value;
    if (Status s = checkNames(full, {}); !s) return {false, s};
    Result<RegDocument> doc = readStore(*fs_, path_);
    if (!doc) return {false, doc.status};
    return {doc.value.find(full) != nullptr, {}};
}

Status RegistryFile::setValue(std::int32_t rootKey, const std::string& keyPath,
                              const std::string& name, const RegValue& value) {
    const Result<std::string> named = keyName(rootKey, keyPath);
    if (!named) return named.status;
    const std::string& full = named.value;
    if (Status s = checkNames(full, name); !s) return s;
    return changeLocked(*fs_, path_, [&](RegDocument& doc) {
        RegKey& key = doc.ensure(full);
        if (RegValue* existing = key.find(name))
            *existing = value;
        else
            key.values.emplace_back(name, value);
    });
}

Status RegistryFile::createKey(std::int32_t rootKey, const std::string& keyPath) {
    const Result<std::string> named = keyName(rootKey, keyPath);
    if (!named) return named.status;
    const std::string& full = named.value;
    if (Status s = checkNames(full, {}); !s) return s;
    return changeLocked(*fs_, path_, [&](RegDocument& doc) { doc.ensure(full); });
}

}  // namespace qv
