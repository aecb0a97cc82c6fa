#pragma once

#include <functional>
#include <string>

#include "platform/filesystem.h"

namespace qv {

// Wraps another file system and makes the k-th counted operation fail with a chosen errno.
// Counted operations: everything except the existence tests and modifiedTime; each write of
// an OutFile counts as one operation too. Used by tests and the fault sweep.
class FaultyFileSystem final : public FileSystem {
public:
    explicit FaultyFileSystem(FileSystem& inner);

    // Fail the k-th counted operation (1-based) with `err`; 0 turns injection off.
    void failAt(long k, int err);
    // Fail every counted operation from the k-th on.
    void failFrom(long k, int err);
    long operationCount() const { return count_; }
    long failuresInjected() const { return injected_; }
    // Name of the operation that failed last ("moveNoReplace", "writeAtomic", ...).
    const std::string& lastFailedOperation() const { return lastFailed_; }

    bool isFile(const std::string& path) override;
    bool isFolder(const std::string& path) override;
    bool exists(const std::string& path) override;
    Result<std::string> readAll(const std::string& path) override;
    Status writeAtomic(const std::string& path, std::string_view data) override;
    Result<std::unique_ptr<OutFile>> createFile(const std::string& path) override;
    Status appendToFile(const std::string& path, std::string_view data) override;
    Status moveNoReplace(const std::string& from, const std::string& to) override;
    Status renameReplace(const std::string& from, const std::string& to) override;
    Status removeFile(const std::string& path) override;
    Status makeFolder(const std::string& path) override;
    Result<std::vector<FileInfo>> listFiles(const std::string& folder,
                                            const std::string& pattern) override;
    std::optional<std::int64_t> modifiedTime(const std::string& path) override;
    Status makeWritable(const std::string& path) override;

    // Internal: true (and counts) when the next operation must fail.
    bool shouldFail(const char* operation, int& err);

private:
    FileSystem& inner_;
    long count_ = 0;
    long failK_ = 0;
    bool failOnwards_ = false;
    int err_ = 0;
    long injected_ = 0;
    std::string lastFailed_;
};

}  // namespace qv
