#include "settings/program_files.h"

#include <cerrno>

#include "platform/filesystem.h"
#include "platform/paths.h"

namespace qv {

ProgramFiles programFiles(const ProgramFolderFacts& facts, FileSystem& fs) {
    ProgramFiles files;
    files.shippedSettingsFile = joinPath(facts.programFolder, kSettingsFileName);
    files.shippedNeverMoveFile = joinPath(facts.programFolder, kNeverMoveFileName);
    files.inProgramFolder = !facts.installed && facts.writable;
    if (files.inProgramFolder) {
        files.settingsFile = files.userSettingsFile = files.shippedSettingsFile;
        files.neverMoveFile = files.userNeverMoveFile = files.shippedNeverMoveFile;
        files.runLog = joinPath(facts.programFolder, kRunLogName);
        return files;
    }
    const std::string data = joinPath(facts.dataHome, "Quorvel");
    const std::string config = joinPath(facts.configHome, "Quorvel");
    files.userSettingsFile = joinPath(config, kSettingsFileName);
    files.userNeverMoveFile = joinPath(data, kNeverMoveFileName);
    files.runLog = joinPath(data, kRunLogName);
    files.settingsFile =
        fs.isFile(files.userSettingsFile) ? files.userSettingsFile : files.shippedSettingsFile;
    files.neverMoveFile =
        fs.isFile(files.userNeverMoveFile) ? files.userNeverMoveFile : files.shippedNeverMoveFile;
    return files;
}

ProgramFiles programFiles(const std::string& programFolder, FileSystem& fs) {
    return programFiles({.programFolder = programFolder,
                         .installed = fs.isFile(joinPath(programFolder, kInstalledMarkerName)),
                         .writable = folderIsWritable(programFolder),
                         .dataHome = userDataHome(),
                         .configHome = userConfigHome()},
                        fs);
}

Status makeUserCopy(const std::string& shipped, const std::string& user, FileSystem& fs) {
    if (shipped == user || fs.isFile(user)) return Status::success();
    if (Status s = makeFolders(fs, parentFolder(user)); !s) return s;
    Result<std::string> content = fs.readAll(shipped);
    if (!content) return content.status.code == ENOENT ? Status::success() : content.status;
    return fs.writeAtomic(user, content.value);
}

std::string parentFolder(const std::string& path) {
    const auto pos = path.rfind(kSep);
    if (pos == std::string::npos) return ".";
    if (pos == 0) return "/";
    return path.substr(0, pos);
}

Status makeFolders(FileSystem& fs, const std::string& folder) {
    if (folder.empty() || fs.isFolder(folder)) return Status::success();
    const std::string parent = parentFolder(folder);
    if (parent != folder)
        if (Status s = makeFolders(fs, parent); !s) return s;
    Status s = fs.makeFolder(folder);
    if (!s && s.code == EEXIST && fs.isFolder(folder)) return Status::success();
    return s;
}

}  // namespace qv
