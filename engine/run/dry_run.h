#pragma once

#include <cerrno>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/forwarding_filesystem.h"

namespace qv {

// One change a dry run found the engine would make to a file.
struct PlannedStep {
    enum class Kind { Move, Delete, MakeFolder };
    Kind kind;
    std::string path;         // the file moved or deleted, or the folder made
    std::string destination;  // Move: where it would go
};

// A file system for a dry run: the engine runs its own operations with their own selection and
// placement rules over it, and it reads the real files but changes none. Moves, deletions and
// new folders are recorded as the plan and remembered, so later steps see them as done (a
// second package of one name meets the first one's destination). Whole files written (the
// index a repair rewrites, the backup) are kept in memory and read back from there, so later
// steps see the repaired index; logs and journals are dropped.
class DryRunFileSystem final : public ForwardingFileSystem {
  public:
    explicit DryRunFileSystem(FileSystem& real) : ForwardingFileSystem(real) {}

    const std::vector<PlannedStep>& plan() const { return plan_; }
    bool changesNothing() const override { return true; }

    bool isFile(const std::string& p) override;
    bool isFolder(const std::string& p) override;
    bool exists(const std::string& p) override;
    Result<std::string> readAll(const std::string& p) override;
    Result<bool> holdsExactly(const std::string& p, std::string_view expected) override;
    Status writeAtomic(const std::string& p, std::string_view data) override;
    Status writeOutput(const std::string& p, std::string_view data) override {
        return writeAtomic(p, data);
    }
    Result<std::unique_ptr<OutFile>> createFile(const std::string& p) override;
    Result<std::unique_ptr<OutFile>> createNewFile(const std::string& p) override {
        return createFile(p);
    }
    Status appendToFile(const std::string&, std::string_view) override { return Status::success(); }
    Status moveNoReplace(const std::string& from, const std::string& to) override;
    Status renameReplace(const std::string& from, const std::string& to) override;
    Status removeEmptyFolder(const std::string&) override { return Status::success(); }
    // No second name is given: a link would change the real folder.
    Status linkReplacing(const std::string&, const std::string&) override {
        return Status::fromErrno(ENOSYS);
    }
    // No exchange here: the index is then "written" through writeAtomic, which is dropped.
    Result<std::string> exchangeAtomic(const std::string&, std::string_view,
                                       const std::string* = nullptr) override {
        return {{}, Status::fromErrno(ENOSYS)};
    }
    Status moveListedFile(const std::string& from, const std::string& to,
                          FileIdentity* = nullptr) override {
        return moveNoReplace(from, to);
    }
    void holdFolders(const std::vector<std::string>&) override {}
    void releaseFolders() override {}
    Status removeFile(const std::string& p) override;
    Status makeFolder(const std::string& p) override;
    Status makeWritable(const std::string&) override { return Status::success(); }
    // What an interrupted write left is named, as the run would remove it, and stays.
    Result<std::vector<std::string>> removeLeftTempFiles(const std::string& folder) override;
    Result<bool> sameBytesInOtherFile(const std::string& a, const std::string& b) override;
    // Listings leave out what the plan moved or deleted.
    Result<std::vector<FileInfo>> listFiles(const std::string& folder,
                                            const std::string& pattern) override;
    Status forEachEntry(const std::string& folder,
                        const std::function<void(std::string_view, EntryKind)>& each) override;

  private:
    // The real file a path stands for: where a planned move took it from.
    const std::string& realOf(const std::string& p) const;

    std::vector<PlannedStep> plan_;
    std::set<std::string> gone_, added_, folders_;
    std::map<std::string, std::string> origin_;   // moved-to path -> the real file
    std::map<std::string, std::string> written_;  // whole files written, by path
};

}  // namespace qv
