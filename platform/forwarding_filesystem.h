#pragma once

#include "platform/filesystem.h"

namespace qv {

// Passes every operation to another file system; a wrapper overrides only what it changes.
class ForwardingFileSystem : public FileSystem {
  public:
    explicit ForwardingFileSystem(FileSystem& inner) : inner_(inner) {}

    bool isFile(const std::string& p) override { return inner_.isFile(p); }
    bool isFolder(const std::string& p) override { return inner_.isFolder(p); }
    std::string_view otherKind(const std::string& p) override { return inner_.otherKind(p); }
    bool exists(const std::string& p) override { return inner_.exists(p); }
    Result<std::string> readAll(const std::string& p) override { return inner_.readAll(p); }
    Result<std::unique_ptr<InFile>> openForReading(const std::string& p) override {
        return inner_.openForReading(p);
    }
    Result<std::string> readPlainFile(const std::string& p, std::size_t max) override {
        return inner_.readPlainFile(p, max);
    }
    Status writeAtomic(const std::string& p, std::string_view d) override {
        return inner_.writeAtomic(p, d);
    }
    Status writeOutput(const std::string& p, std::string_view d) override {
        return inner_.writeOutput(p, d);
    }
    Result<std::unique_ptr<OutFile>> createFile(const std::string& p) override {
        return inner_.createFile(p);
    }
    Status appendToFile(const std::string& p, std::string_view d) override {
        return inner_.appendToFile(p, d);
    }
    Result<std::unique_ptr<OutFile>> createNewFile(const std::string& p) override {
        return inner_.createNewFile(p);
    }
    Status removeEmptyFolder(const std::string& p) override { return inner_.removeEmptyFolder(p); }
    Status moveNoReplace(const std::string& f, const std::string& t) override {
        return inner_.moveNoReplace(f, t);
    }
    Status renameReplace(const std::string& f, const std::string& t) override {
        return inner_.renameReplace(f, t);
    }
    Result<std::string> exchangeAtomic(const std::string& p, std::string_view d,
                                       const std::string* x = nullptr) override {
        return inner_.exchangeAtomic(p, d, x);
    }
    Status moveListedFile(const std::string& f, const std::string& t,
                          FileIdentity* landed = nullptr) override {
        return inner_.moveListedFile(f, t, landed);
    }
    Result<FileIdentity> identityOf(const std::string& p) override { return inner_.identityOf(p); }
    Result<bool> openForWriting(const std::string& p) override { return inner_.openForWriting(p); }
    void holdFolders(const std::vector<std::string>& f) override { inner_.holdFolders(f); }
    void releaseFolders() override { inner_.releaseFolders(); }
    Status removeFile(const std::string& p) override { return inner_.removeFile(p); }
    Status makeFolder(const std::string& p) override { return inner_.makeFolder(p); }
    Result<std::vector<FileInfo>> listFiles(const std::string& f, const std::string& p) override {
        return inner_.listFiles(f, p);
    }
    std::optional<std::int64_t> modifiedTime(const std::string& p) override {
        return inner_.modifiedTime(p);
    }
    std::vector<std::int64_t> modifiedTimesIn(const std::string& f,
                                              const std::vector<std::string>& n,
                                              std::vector<bool>* plain) override {
        return inner_.modifiedTimesIn(f, n, plain);
    }
    Status makeWritable(const std::string& p) override { return inner_.makeWritable(p); }
    Status canReplace(const std::string& p) override { return inner_.canReplace(p); }
    Result<std::vector<std::string>> listFolders(const std::string& f) override {
        return inner_.listFolders(f);
    }
    Result<std::string> canonicalPath(const std::string& p) override {
        return inner_.canonicalPath(p);
    }
    Result<std::vector<std::string>> removeLeftTempFiles(const std::string& f) override {
        return inner_.removeLeftTempFiles(f);
    }
    Status linkReplacing(const std::string& p, const std::string& n) override {
        return inner_.linkReplacing(p, n);
    }
    Result<bool> holdsExactly(const std::string& p, std::string_view x) override {
        return inner_.holdsExactly(p, x);
    }
    Result<bool> sameBytesInOtherFile(const std::string& a, const std::string& b) override {
        return inner_.sameBytesInOtherFile(a, b);
    }
    Status forEachEntry(const std::string& f,
                        const std::function<void(std::string_view, EntryKind)>& e) override {
        return inner_.forEachEntry(f, e);
    }

  protected:
    FileSystem& inner_;
};

}  // namespace qv
