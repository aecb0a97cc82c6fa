#include "cli/dry_run.h"

#include <filesystem>
#include <sstream>

#include "engine/run/dry_run.h"
#include "platform/escaped_text.h"
#include "platform/filesystem.h"
#include "platform/paths.h"
#include "settings/program_files.h"

namespace qv::cli {

namespace {

// A private folder holding a copy of the registry file, removed with this object.
class RegistryCopy final {
  public:
    RegistryCopy(const std::string& original, FileSystem& fs) {
        std::error_code noTemp;
        const std::filesystem::path temp = std::filesystem::temp_directory_path(noTemp);
        if (noTemp) return;
        folder_ = makeScratchFolder(temp.string(), "quorvel-dry-run.");
        if (folder_.empty()) return;
        path_ = joinPath(folder_, "registry.reg");
        const Result<std::string> content = fs.readAll(original);
        if (content.ok()) (void)fs.writeAtomic(path_, content.value);
    }
    ~RegistryCopy() {
        std::error_code ignored;
        if (!folder_.empty()) std::filesystem::remove_all(folder_, ignored);
    }
    RegistryCopy(const RegistryCopy&) = delete;
    RegistryCopy& operator=(const RegistryCopy&) = delete;
    bool ok() const { return !path_.empty(); }
    const std::string& path() const { return path_; }

  private:
    std::string folder_, path_;
};

}  // namespace

int runDryRun(const Arguments& args, Environment& env) {
    RegistryCopy registry(env.registryPath, env.fs);
    if (!registry.ok()) {
        env.err << "quorvel-cli: no temporary folder for the dry run's copy of " << env.registryPath
                << '\n';
        return kExitFailed;
    }
    DryRunFileSystem dry(env.fs);
    std::ostringstream report, messages;
    Environment dryEnv{env.programFolder, registry.path(), report, messages, env.in, false, dry};
    Arguments a = args;
    a.yes = true;  // nothing is lost, so nothing needs asking
    const int code = runCommand(a, dryEnv);
    if (code == kExitUsage) {  // no game folder, say: there is nothing to plan
        env.err << messages.str();
        return code;
    }
    // Not all would go well: what the command would have said tells which and why. A purge's
    // question is shown in any case: it warns of installed packages that need the cache's.
    if (code != kExitOk) {
        env.err << "quorvel-cli: the command would end with exit status " << code
                << "; its report would read:\n"
                << report.str() << messages.str();
    } else if (args.command == Command::Purge) {
        std::istringstream lines(report.str());
        std::string needs;
        for (std::string line; std::getline(lines, line);)
            if (line.ends_with(", which only the cache holds")) needs += line + '\n';
        if (!needs.empty()) env.err << needs << messages.str();
    }

    // Every folder the run makes, but those of the run log (which go with the log).
    const std::string runLog = programFiles(env.programFolder, env.fs).runLog;
    const auto holdsMove = [&runLog](const std::string& folder) {
        return !liesUnder(runLog, folder);
    };
    std::size_t moves = 0, deletions = 0;
    env.out << "Dry run: nothing was changed.\n";
    for (const PlannedStep& step : dry.plan()) {
        switch (step.kind) {
            case PlannedStep::Kind::Move:
                ++moves;
                env.out << "would move " << escapedField(step.path) << " -> "
                        << escapedField(step.destination) << '\n';
                break;
            case PlannedStep::Kind::Delete:
                ++deletions;
                env.out << "would delete " << escapedField(step.path) << '\n';
                break;
            case PlannedStep::Kind::MakeFolder:
                // A destination's folders, and the type folders a tree or the types get.
                if (holdsMove(step.path))
                    env.out << "would create the folder " << escapedField(step.path) << '\n';
                break;
        }
    }
    env.out << moves << (moves == 1 ? " file" : " files") << " would be moved, " << deletions
            << (deletions == 1 ? " file" : " files") << " would be deleted.\n";
    return code;
}

}  // namespace qv::cli
