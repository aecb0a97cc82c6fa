// What every file system shares: the interface's defaults and the in-memory file.
#include "platform/filesystem.h"

#include <algorithm>
#include <cstring>

#include "platform/paths.h"

namespace qv {

namespace {

class MemoryInFile final : public InFile {
  public:
    MemoryInFile(std::string data, FileIdentity id) : data_(std::move(data)), id_(id) {
        id_.size = data_.size();
    }
    const FileIdentity& identity() const override { return id_; }
    Result<std::size_t> readAt(std::uint64_t offset, char* buffer, std::size_t length) override {
        if (offset >= data_.size()) return {0, Status::success()};
        const std::size_t n = std::min<std::uint64_t>(length, data_.size() - offset);
        std::memcpy(buffer, data_.data() + offset, n);
        return {n, Status::success()};
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
    return {memoryInFile(std::move(data.value)), Status::success()};
}

Result<std::string> FileSystem::readPlainFile(const std::string& path, std::size_t maxBytes) {
    if (!isFile(path)) return {{}, Status::fromErrno(exists(path) ? EINVAL : ENOENT)};
    Result<std::string> text = readAll(path);
    if (text && text.value.size() > maxBytes) return {{}, Status::fromErrno(EFBIG)};
    return text;
}

std::vector<std::int64_t> FileSystem::modifiedTimesIn(const std::string& folder,
                                                      const std::vector<std::string>& names,
                                                      std::vector<bool>* plainFiles) {
    if (plainFiles) plainFiles->clear();  // not told here
    std::vector<std::int64_t> times(names.size(), kNoTime);
    for (std::size_t i = 0; i < names.size(); ++i)
        if (const std::optional<std::int64_t> t = modifiedTime(folder + "/" + names[i]))
            times[i] = *t;
    return times;
}

std::string userNamedFile(FileSystem& fs, const std::string& path) {
    if (!fs.isFile(path)) return path;  // isFile follows links; openForReading does not
    Result<std::string> file = fs.canonicalPath(path);
    return file.ok() ? file.value : path;
}

Result<std::vector<std::string>> plainFileNames(FileSystem& fs, const std::string& folder) {
    std::vector<std::string> names;
    const Status listed = fs.forEachEntry(folder, [&](std::string_view name, EntryKind kind) {
        if (name.empty() || name[0] == '.') return;
        // A link counts where it leads to a plain file, as in listFiles.
        if (kind == EntryKind::File ||
            (kind == EntryKind::Link && fs.isFile(joinPath(folder, std::string(name)))))
            names.emplace_back(name);
    });
    if (listed.ok()) return {std::move(names), Status::success()};
    if (listed.code != ENOSYS) return {{}, listed};
    Result<std::vector<FileInfo>> files = fs.listFiles(folder, "*.*");
    if (!files.ok()) return {{}, files.status};
    for (FileInfo& f : files.value) names.push_back(std::move(f.name));
    return {std::move(names), Status::success()};
}

Result<std::vector<std::string>> FileSystem::listFolders(const std::string&) {
    return {{}, Status::fromErrno(ENOSYS)};
}

Result<std::string> FileSystem::canonicalPath(const std::string&) {
    return {{}, Status::fromErrno(ENOSYS)};
}

}  // namespace qv
