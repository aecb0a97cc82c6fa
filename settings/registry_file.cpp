#include "settings/registry_file.h"

#include <cerrno>
#include <cstdlib>
#include <memory>

#include "platform/filesystem.h"
#include "platform/locks.h"
#include "platform/paths.h"
#include "settings/program_files.h"
#include "settings/registry_text.h"

namespace qv {

namespace {

// The store as it is now; a missing file is an empty store that may be written.
Result<RegFileContent> readDocument(FileSystem& fs, const std::string& path) {
    // A FIFO or device would hold the read for ever, and a folder is no store.
    if (fs.exists(path) && !fs.isFile(path))
        return {{}, Status::failure("not a plain file", EINVAL)};
    Result<std::string> text = fs.readAll(path);
    if (!text) {
        if (text.status.code == ENOENT) return {{{}, true}, Status::success()};
        return {{}, text.status};
    }
    return {readRegistryFile(text.value), Status::success()};
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
    Result<RegFileContent> content = readDocument(fs, path);
    return {std::move(content.value.doc), content.status};
}

// The full name of a key as the store keeps it: a doubled or trailing backslash names the same
// key as the plain path, as in the system's registry; a path that begins with one is refused.
Result<std::string> keyName(std::int32_t rootKey, const std::string& keyPath) {
    if (keyPath.starts_with('\\'))
        return {{}, Status::failure("A key path cannot begin with a backslash.", EINVAL)};
    return {normalKeyName(fullKeyName(rootKey, keyPath)), Status::success()};
}

// A write refused so that a store that is there but cannot be read as one keeps what it holds.
Status leftAsItIs(const std::string& path, const std::string& why) {
    return Status::failure(path + " " + why + "; Quorvel left it as it is and saved nothing in it.",
                           kStoreNotWritten);
}

// The file a write replaces: a link's target, in the target's own folder, so the link stays.
Result<std::string> writeTarget(FileSystem& fs, const std::string& path) {
    if (Result<std::string> target = fs.canonicalPath(path)) return target;
    if (isSymbolicLink(path))
        return {{}, leftAsItIs(path, "is a link to a file that is not there")};
    return {path, Status::success()};
}

// One read-modify-write of the store under the exclusive lock.
template <class Change>
Status changeLocked(FileSystem& fs, const std::string& path, Change change) {
    if (Status s = makeFolders(fs, parentFolder(path)); !s) return s;
    const Result<std::string> target = writeTarget(fs, path);
    if (!target) return target.status;
    // A lock file of its own, as the store itself is replaced by rename on every write.
    LockFileHold lock;
    if (Status s = lock.acquire(target.value + ".lock"); !s) return s;
    // Temporary files of a write that was killed; a write still going on holds its own.
    (void)fs.removeLeftTempFiles(parentFolder(target.value));
    Result<RegFileContent> doc = readDocument(fs, target.value);
    if (!doc) return leftAsItIs(target.value, "could not be read (" + doc.status.text + ")");
    if (!doc.value.writable)
        return leftAsItIs(target.value,
                          "is not a REGEDIT4 text file (it may be UTF-16 text or other data)");
    change(doc.value.doc);
    return fs.writeAtomic(target.value, formatRegistryText(doc.value.doc));
}

}  // namespace

std::string defaultRegistryPath() {
    if (const char* p = std::getenv("QUORVEL_REGISTRY"); p && *p) return p;
    return joinPath(userConfigHome(), "Quorvel", "registry.reg");
}

std::shared_ptr<RegistryStore> openRegistryStore(const std::string& location, FileSystem* fs) {
    return std::make_shared<RegistryFile>(location, fs);
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
    if (!key) return {std::nullopt, Status::success()};
    RegValue* value = key->find(name);
    if (!value) return {std::nullopt, Status::success()};
    return {*value, Status::success()};
}

Result<bool> RegistryFile::keyExists(std::int32_t rootKey, const std::string& keyPath) const {
    const Result<std::string> named = keyName(rootKey, keyPath);
    if (!named) return {false, named.status};
    const std::string& full = named.value;
    if (Status s = checkNames(full, {}); !s) return {false, s};
    Result<RegDocument> doc = readStore(*fs_, path_);
    if (!doc) return {false, doc.status};
    return {doc.value.find(full) != nullptr, Status::success()};
}

Status RegistryFile::setValues(std::int32_t rootKey, const std::string& keyPath,
                               const std::vector<std::pair<std::string, RegValue>>& values) {
    const Result<std::string> named = keyName(rootKey, keyPath);
    if (!named) return named.status;
    const std::string& full = named.value;
    for (const auto& [name, value] : values)
        if (Status s = checkNames(full, name); !s) return s;
    return changeLocked(*fs_, path_, [&](RegDocument& doc) {
        RegKey& key = doc.ensure(full);
        for (const auto& [name, value] : values) {
            if (RegValue* existing = key.find(name))
                *existing = value;
            else
                key.values.emplace_back(name, value);
        }
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
