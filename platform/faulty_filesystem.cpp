#include "platform/faulty_filesystem.h"

namespace qv {

namespace {

// Counts each write and close of the wrapped file as one operation of the file system. The
// file system must outlive the file.
class FaultyOutFile final : public OutFile {
  public:
    FaultyOutFile(FaultyFileSystem& owner, std::unique_ptr<OutFile> inner)
        : owner_(owner), inner_(std::move(inner)) {}

    Status write(std::string_view data) override {
        int err = 0;
        if (owner_.shouldFail("OutFile::write", err)) return Status::fromErrno(err);
        return inner_->write(data);
    }

    Status close() override {
        int err = 0;
        if (owner_.shouldFail("OutFile::close", err)) return Status::fromErrno(err);
        return inner_->close();
    }

  private:
    FaultyFileSystem& owner_;
    std::unique_ptr<OutFile> inner_;
};

}  // namespace

FaultyFileSystem::FaultyFileSystem(FileSystem& inner) : inner_(inner) {}

void FaultyFileSystem::failAt(long k, int err) {
    failK_ = k;
    failOnwards_ = false;
    err_ = err;
}

void FaultyFileSystem::failFrom(long k, int err) {
    failK_ = k;
    failOnwards_ = true;
    err_ = err;
}

bool FaultyFileSystem::shouldFail(const char* operation, int& err) {
    ++count_;
    if (failK_ <= 0) return false;
    if (count_ != failK_ && !(failOnwards_ && count_ > failK_)) return false;
    err = err_;
    ++injected_;
    lastFailed_ = operation;
    return true;
}

bool FaultyFileSystem::isFile(const std::string& path) {
    return inner_.isFile(path);
}
bool FaultyFileSystem::isFolder(const std::string& path) {
    return inner_.isFolder(path);
}
bool FaultyFileSystem::exists(const std::string& path) {
    return inner_.exists(path);
}

std::optional<std::int64_t> FaultyFileSystem::modifiedTime(const std::string& path) {
    return inner_.modifiedTime(path);
}

Result<std::string> FaultyFileSystem::readAll(const std::string& path) {
    int err = 0;
    if (shouldFail("readAll", err)) return {{}, Status::fromErrno(err)};
    return inner_.readAll(path);
}

Status FaultyFileSystem::writeAtomic(const std::string& path, std::string_view data) {
    int err = 0;
    if (shouldFail("writeAtomic", err)) return Status::fromErrno(err);
    return inner_.writeAtomic(path, data);
}

Result<std::unique_ptr<OutFile>> FaultyFileSystem::createFile(const std::string& path) {
    int err = 0;
    if (shouldFail("createFile", err)) return {nullptr, Status::fromErrno(err)};
    auto r = inner_.createFile(path);
    if (!r) return r;
    return {std::make_unique<FaultyOutFile>(*this, std::move(r.value)), {}};
}

Status FaultyFileSystem::appendToFile(const std::string& path, std::string_view data) {
    int err = 0;
    if (shouldFail("appendToFile", err)) return Status::fromErrno(err);
    return inner_.appendToFile(path, data);
}

Status FaultyFileSystem::moveNoReplace(const std::string& from, const std::string& to) {
    int err = 0;
    if (shouldFail("moveNoReplace", err)) return Status::fromErrno(err);
    return inner_.moveNoReplace(from, to);
}

Status FaultyFileSystem::renameReplace(const std::string& from, const std::string& to) {
    int err = 0;
    if (shouldFail("renameReplace", err)) return Status::fromErrno(err);
    return inner_.renameReplace(from, to);
}

Status FaultyFileSystem::removeFile(const std::string& path) {
    int err = 0;
    if (shouldFail("removeFile", err)) return Status::fromErrno(err);
    return inner_.removeFile(path);
}

Status FaultyFileSystem::makeFolder(const std::string& path) {
    int err = 0;
    if (shouldFail("makeFolder", err)) return Status::fromErrno(err);
    return inner_.makeFolder(path);
}

Result<std::vector<FileInfo>> FaultyFileSystem::listFiles(const std::string& folder,
                                                          const std::string& pattern) {
    int err = 0;
    if (shouldFail("listFiles", err)) return {{}, Status::fromErrno(err)};
    return inner_.listFiles(folder, pattern);
}

Status FaultyFileSystem::makeWritable(const std::string& path) {
    int err = 0;
    if (shouldFail("makeWritable", err)) return Status::fromErrno(err);
    return inner_.makeWritable(path);
}

}  // namespace qv
