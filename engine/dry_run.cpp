#include "engine/dry_run.h"

#include <cerrno>

#include "settings/program_files.h"

namespace qv {

namespace {

// The log a dry run would have written goes nowhere.
class DiscardedFile final : public OutFile {
  public:
    Status write(std::string_view) override { return {}; }
    Status close() override { return {}; }
};

}  // namespace

bool DryRunFileSystem::isFile(const std::string& p) {
    if (added_.count(p)) return true;
    return !gone_.count(p) && inner_.isFile(p);
}

bool DryRunFileSystem::isFolder(const std::string& p) {
    return folders_.count(p) || inner_.isFolder(p);
}

bool DryRunFileSystem::exists(const std::string& p) {
    if (added_.count(p) || folders_.count(p)) return true;
    return !gone_.count(p) && inner_.exists(p);
}

Result<std::unique_ptr<OutFile>> DryRunFileSystem::createFile(const std::string&) {
    return {std::make_unique<DiscardedFile>(), {}};
}

Status DryRunFileSystem::moveNoReplace(const std::string& from, const std::string& to) {
    if (!exists(from)) return Status::fromErrno(ENOENT);
    if (!isFile(from)) return Status::failure("not a plain file", EINVAL);
    if (exists(to)) return Status::fromErrno(EEXIST);
    if (!isFolder(parentFolder(to))) return Status::fromErrno(ENOENT);
    plan_.push_back({PlannedStep::Kind::Move, from, to});
    gone_.insert(from);
    added_.erase(from);
    added_.insert(to);
    return {};
}

Status DryRunFileSystem::removeFile(const std::string& p) {
    if (!exists(p)) return Status::fromErrno(ENOENT);
    plan_.push_back({PlannedStep::Kind::Delete, p, {}});
    gone_.insert(p);
    added_.erase(p);
    return {};
}

Status DryRunFileSystem::makeFolder(const std::string& p) {
    if (exists(p)) return Status::fromErrno(EEXIST);
    if (!isFolder(parentFolder(p))) return Status::fromErrno(ENOENT);
    plan_.push_back({PlannedStep::Kind::MakeFolder, p, {}});
    folders_.insert(p);
    return {};
}

Result<bool> DryRunFileSystem::sameBytesInOtherFile(const std::string& a, const std::string& b) {
    // A file the plan puts there holds other bytes than a file still to move, as far as known.
    if (added_.count(a) || added_.count(b) || gone_.count(a) || gone_.count(b)) return {false, {}};
    return inner_.sameBytesInOtherFile(a, b);
}

Result<std::vector<FileInfo>> DryRunFileSystem::listFiles(const std::string& folder,
                                                          const std::string& pattern) {
    Result<std::vector<FileInfo>> listed = inner_.listFiles(folder, pattern);
    std::erase_if(listed.value,
                  [&](const FileInfo& f) { return gone_.count(folder + "/" + f.name) != 0; });
    return listed;
}

Status DryRunFileSystem::forEachEntry(
    const std::string& folder, const std::function<void(std::string_view, EntryKind)>& each) {
    return inner_.forEachEntry(folder, [&](std::string_view name, EntryKind kind) {
        if (!gone_.count(folder + "/" + std::string(name))) each(name, kind);
    });
}

}  // namespace qv
