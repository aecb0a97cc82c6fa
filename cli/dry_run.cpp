#include "cli/dry_run.h"

#include <filesystem>
#include <sstream>
#include <utility>

#include "engine/run/dry_run.h"
#include "platform/filesystem.h"
#include "platform/line_writer.h"
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

// The lines of a command's report that `keep` picks, each with its line end.
template <class Keep>
std::string reportLines(const std::string& report, Keep&& keep) {
    std::istringstream lines(report);
    std::string kept;
    for (std::string line; std::getline(lines, line);)
        if (keep(line)) kept += line + '\n';
    return kept;
}

// One line for each planned move, deletion and folder made (but those of the run log at
// `runLog`, which go with the log); the moves and deletions counted.
std::pair<std::size_t, std::size_t> printPlannedSteps(const DryRunFileSystem& dry,
                                                      const std::string& runLog, LineWriter& out) {
    std::size_t moves = 0, deletions = 0;
    for (const PlannedStep& step : dry.plan()) {
        switch (step.kind) {
            case PlannedStep::Kind::Move:
                ++moves;
                out.line("would move ", Name{step.path}, " -> ", Name{step.destination});
                break;
            case PlannedStep::Kind::Delete:
                ++deletions;
                out.line("would delete ", Name{step.path});
                break;
            case PlannedStep::Kind::MakeFolder:
                // A destination's folders, and the type folders a tree or the types get.
                if (!liesUnder(runLog, step.path))
                    out.line("would create the folder ", Name{step.path});
                break;
        }
    }
    return {moves, deletions};
}

}  // namespace

int runDryRun(const Arguments& args, Environment& env) {
    RegistryCopy registry(env.registryPath, env.fs);
    LineWriter out(env.out), err(env.err);
    if (!registry.ok()) {
        err.line("quorvel-cli: no temporary folder for the dry run's copy of ",
                 Name{env.registryPath});
        return kExitFailed;
    }
    DryRunFileSystem dry(env.fs);
    std::ostringstream report, messages;
    Environment dryEnv{env.programFolder, registry.path(), report, messages, env.in, false, dry};
    Arguments a = args;
    a.yes = true;  // nothing is lost, so nothing needs asking
    const int code = runCommand(a, dryEnv);
    // The command's own output went through a LineWriter already: it is shown as it is.
    if (code == kExitUsage) {  // no game folder, say: there is nothing to plan
        err.text(Fixed{messages.str()});
        return code;
    }
    // Not all would go well: what the command would have said tells which and why. A purge's
    // question is shown in any case: it warns of installed packages that need the cache's.
    if (code != kExitOk) {
        err.line("quorvel-cli: the command would end with exit status ", code,
                 "; its report would read:");
        err.text(Fixed{report.str()}, Fixed{messages.str()});
    } else if (args.command == Command::Purge) {
        const std::string needs = reportLines(report.str(), [](const std::string& l) {
            return l.ends_with(", which only the cache holds");
        });
        if (!needs.empty()) err.text(Fixed{needs}, Fixed{messages.str()});
    }
    out.line("Dry run: nothing was changed.");
    const auto [moves, deletions] =
        printPlannedSteps(dry, programFiles(env.programFolder, env.fs).runLog, out);
    // Lines the run drops from the index without touching a file: its own summary of them.
    if (args.command == Command::Run && code == kExitOk)
        out.text(Fixed{reportLines(report.str(), [](const std::string& l) {
            return l.find(" would be removed") != std::string::npos;
        })});
    out.line(moves, Fixed{moves == 1 ? " file" : " files"}, " would be moved, ", deletions,
             Fixed{deletions == 1 ? " file" : " files"}, " would be deleted.");
    return code;
}

}  // namespace qv::cli
