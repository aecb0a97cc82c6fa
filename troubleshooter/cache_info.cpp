#include "troubleshooter/cache_info.h"

#include <algorithm>

#include "platform/ascii.h"
#include "platform/paths.h"
#include "platform/textfile.h"
#include "settings/program_files.h"

namespace qv::troubleshooter {

namespace {

const std::string kRuleEquals(36, '=');
const std::string kRule(56, '-');

std::string lowerCase(std::string s) {
    return lowerAscii(s);
}

}  // namespace

std::vector<std::string> readCacheIni(FileSystem& fs, const std::string& path) {
    Result<std::string> text = fs.readAll(path);
    if (!text) return {"(cache.ini could not be read: " + text.status.text + ")"};
    return splitLines(text.value);
}

std::vector<std::string> listCacheFolder(FileSystem& fs, const std::string& folder) {
    Result<std::vector<FileInfo>> files = fs.listFiles(folder, "*.*");
    if (!files) return {"(the cache folder could not be listed: " + files.status.text + ")"};
    std::vector<std::string> names;
    names.reserve(files.value.size());
    for (const FileInfo& f : files.value) names.push_back(f.name);
    std::sort(names.begin(), names.end());
    return names;
}

std::string runLogPath(FileSystem& fs, const std::string& installPath) {
    if (installPath.empty()) return {};
    return programFiles(installPath, fs).runLog;
}

std::vector<std::string> readLogLines(FileSystem& fs, const std::string& installPath) {
    if (installPath.empty()) return {};
    Result<std::string> text = fs.readAll(runLogPath(fs, installPath));
    if (!text) return {};
    return splitLines(text.value);
}

std::string buildReport(const ReportInput& in) {
    std::string out;
    auto line = [&out](const std::string& text) {
        out += text;
        out += "\r\n";
    };
    line("Quorvel Troubleshooter Info");
    line(kRuleEquals);
    line("");
    line("<Windows Version>: " + in.winVersion);
    line(kRule);
    line("<UT Reg Dir>: " + in.utRegDir);
    line(kRule);
    line("<Quorvel Reg Dir>: " + in.cacheRegDir);
    line(kRule);
    line("<Quorvel InstallPath>: " + in.installPath);
    line(kRule);
    line("<Cache.INI Contents>:    ");
    for (const auto& l : in.cacheIniLines) line(l);
    line(kRule);
    line("<Cache Directory listing of " + in.cacheFolder + ">:");
    for (const auto& n : in.cacheDirNames) line(n);
    line(kRule);
    if (!in.installPath.empty()) {
        line("<Quorvel.LOG from " + (in.logFolder.empty() ? in.installPath : in.logFolder) + ">");
        for (const auto& l : in.logLines) line(l);
        line(kRule);
    }
    line("*** END OF INFO ***");
    return out;
}

Status saveReport(FileSystem& fs, const std::string& folder, const std::string& text) {
    // The report under its own name is replaced by the atomic write; a copy under another
    // letter case would leave the user two reports to choose from.
    if (Result<std::vector<FileInfo>> files = fs.listFiles(folder, "*.*"); files) {
        const std::string wanted = lowerCase(kReportName);
        for (const FileInfo& f : files.value) {
            if (f.name == kReportName || lowerCase(f.name) != wanted) continue;
            const std::string old = joinPath(folder, f.name);
            if (Status s = fs.removeFile(old); !s)
                return Status::failure(old + " could not be deleted: " + s.text, s.code);
        }
    }
    return fs.writeAtomic(joinPath(folder, kReportName), text);
}

}  // namespace qv::troubleshooter
