#include "engine/run/dry_run.h"

#include <cerrno>

#include "platform/paths.h"
#include "settings/program_files.h"

namespace qv {

namespace {

// The log a dry run would have written goes nowhere.
class DiscardedFile final : public OutFile {
  public:
    Status write(std::string_view) override { return Status::success(); }
    Status close() override { return Status::success(); }
    Status sync() override { return Status::success(); }
};

}  // namespace

const std::string& DryRunFileSystem::realOf(const std::string& p) const {
    const auto it = origin_.find(p);
    return it == origin_.end() ? p : it->second;
}

bool DryRunFileSystem::isFile(const std::string& p) {
    if (added_.count(p) || written_.count(p)) return true;
    return !gone_.count(p) && inner_.isFile(p);
}

bool DryRunFileSystem::isFolder(const std::string& p) {
    return folders_.count(p) || inner_.isFolder(p);
}

bool DryRunFileSystem::exists(const std::string& p) {
    if (added_.count(p) || folders_.count(p) || written_.count(p)) return true;
    return !gone_.count(p) && inner_.exists(p);
}

Result<std::string> DryRunFileSystem::readAll(const std::string& p) {
    if (const auto it = written_.find(p); it != written_.end())
        return {it->second, Status::success()};
    return inner_.readAll(p);
}

Result<bool> DryRunFileSystem::holdsExactly(const std::string& p, std::string_view expected) {
    if (const auto it = written_.find(p); it != written_.end())
        return {it->second == expected, Status::success()};
    return inner_.holdsExactly(p, expected);
}

Status DryRunFileSystem::writeAtomic(const std::string& p, std::string_view data) {
    written_[p] = std::string(data);
    return Status::success();
}

Status DryRunFileSystem::renameReplace(const std::string& from, const std::string& to) {
    if (const auto it = written_.find(from); it != written_.end()) {
        written_[to] = it->second;
        written_.erase(from);
    }
    return Status::success();
}

Result<std::unique_ptr<OutFile>> DryRunFileSystem::createFile(const std::string&) {
    return {std::make_unique<DiscardedFile>(), Status::success()};
}

Status DryRunFileSystem::moveNoReplace(const std::string& from, const std::string& to) {
    if (!exists(from)) return Status::fromErrno(ENOENT);
    // As the real move: only a plain file, never what a link leads to.
    if (!added_.count(from)) {
        const Result<FileIdentity> plain = inner_.identityOf(from);
        if (!plain.ok() && plain.status.code != ENOSYS)
            return isFolder(from) ? Status::fromErrno(EISDIR)
                                  : Status::failure("Not a plain file", EINVAL);
    }
    if (!isFile(from)) return Status::failure("Not a plain file", EINVAL);
    if (exists(to)) return Status::fromErrno(EEXIST);
    if (!isFolder(parentFolder(to))) return Status::fromErrno(ENOENT);
    plan_.push_back({PlannedStep::Kind::Move, from, to});
    origin_[to] = realOf(from);
    origin_.erase(from);
    gone_.insert(from);
    added_.erase(from);
    added_.insert(to);
    return Status::success();
}

Status DryRunFileSystem::removeFile(const std::string& p) {
    if (!exists(p)) return Status::fromErrno(ENOENT);
    plan_.push_back({PlannedStep::Kind::Delete, p, {}});
    gone_.insert(p);
    added_.erase(p);
    origin_.erase(p);
    written_.erase(p);
    return Status::success();
}

Status DryRunFileSystem::makeFolder(const std::string& p) {
    if (exists(p)) return Status::fromErrno(EEXIST);
    if (!isFolder(parentFolder(p))) return Status::fromErrno(ENOENT);
    plan_.push_back({PlannedStep::Kind::MakeFolder, p, {}});
    folders_.insert(p);
    return Status::success();
}

Result<bool> DryRunFileSystem::sameBytesInOtherFile(const std::string& a, const std::string& b) {
    // A file the plan put somewhere is compared where it really is.
    const bool goneA = gone_.count(a) && !added_.count(a),
               goneB = gone_.count(b) && !added_.count(b);
    if (goneA || goneB || realOf(a) == realOf(b)) return {false, Status::success()};
    return inner_.sameBytesInOtherFile(realOf(a), realOf(b));
}

Result<std::vector<FileInfo>> DryRunFileSystem::listFiles(const std::string& folder,
                                                          const std::string& pattern) {
    Result<std::vector<FileInfo>> listed = inner_.listFiles(folder, pattern);
    std::erase_if(listed.value,
                  [&](const FileInfo& f) { return gone_.count(joinPath(folder, f.name)) != 0; });
    return listed;
}

Result<std::vector<std::string>> DryRunFileSystem::removeLeftTempFiles(const std::string& folder) {
    std::vector<std::string> names;
    const Status listed = forEachEntry(folder, [&](std::string_view name, EntryKind kind) {
        if (kind == EntryKind::File && isLeftTempFileName(name)) names.emplace_back(name);
    });
    return {std::move(names), listed};
}

Status DryRunFileSystem::forEachEntry(
    const std::string& folder, const std::function<void(std::string_view, EntryKind)>& each) {
    return inner_.forEachEntry(folder, [&](std::string_view name, EntryKind kind) {
        if (!gone_.count(joinPath(folder, name))) each(name, kind);
    });
}

}  // namespace qv
