#include "troubleshooter/cache_info.h"

#include <algorithm>

#include "platform/ascii.h"
#include "platform/escaped_text.h"
#include "platform/paths.h"
#include "platform/textfile.h"
#include "settings/program_files.h"

namespace qv::troubleshooter {

namespace {

const std::string kRuleEquals(36, '=');
const std::string kRule(56, '-');

}  // namespace

std::vector<std::string> readCacheIni(FileSystem& fs, const std::string& path) {
    Result<std::string> text = fs.readAll(path);
    if (!text) return {"(cache.ini could not be read: " + text.status.text + ")"};
    return splitOwnLines(text.value);
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

std::vector<std::string> readLogLines(FileSystem& fs, const std::string& installPath,
                                      std::string* note) {
    if (installPath.empty()) return {};
    const std::string path = runLogPath(fs, installPath);
    const auto none = [&](const std::string& why) {
        if (note) *note = "(no log: " + path + " " + why + ")";
        return std::vector<std::string>{};
    };
    if (!fs.exists(path)) return none("does not exist");
    Result<std::string> text = fs.readAll(path);
    if (!text) return none("could not be read: " + text.status.text);
    if (text.value.empty()) return none("is empty");
    return splitLines(text.value);
}

std::vector<std::string> runsOnCache(const std::vector<std::string>& lines,
                                     const std::string& cacheFolder, std::size_t maxRuns,
                                     std::string& note) {
    const auto trimmed = [](std::string_view f) {
        while (f.size() > 1 && isSeparator(f.back())) f.remove_suffix(1);
        return f;
    };
    constexpr std::string_view kStart = "{{ Using ", kEnd = " as the CACHE directory }}";
    // Each run's first line, and whether it ran on this cache.
    std::vector<std::pair<std::size_t, bool>> runs;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view l = lines[i];
        if (l.starts_with(kStart) && l.ends_with(kEnd))
            runs.emplace_back(
                i, trimmed(l.substr(kStart.size(), l.size() - kStart.size() - kEnd.size())) ==
                       trimmed(cacheFolder));
    }
    std::size_t here = 0;
    for (const auto& r : runs) here += r.second;
    const std::size_t skipped = here > maxRuns ? here - maxRuns : 0;
    std::vector<std::string> out;
    std::size_t seen = 0;
    for (std::size_t r = 0; r < runs.size(); ++r) {
        if (!runs[r].second || seen++ < skipped) continue;
        const std::size_t end = r + 1 < runs.size() ? runs[r + 1].first : lines.size();
        out.insert(out.end(), lines.begin() + static_cast<std::ptrdiff_t>(runs[r].first),
                   lines.begin() + static_cast<std::ptrdiff_t>(end));
    }
    note.clear();
    const std::size_t elsewhere = runs.size() - here;
    const auto count = [](std::size_t n) {
        return std::to_string(n) + (n == 1 ? " run" : " runs");
    };
    if (here == 0)
        note = "(no run on " + cacheFolder + " in the log; " + count(elsewhere) +
               " on other cache folders left out)";
    else if (skipped > 0 || elsewhere > 0)
        note = "(the last " + std::to_string(here - skipped) + " of " + count(here) + " on " +
               cacheFolder + "; " + count(skipped + elsewhere) + " left out, " +
               std::to_string(elsewhere) + " of them on other cache folders)";
    return out;
}

std::string joinClean(const std::string& folder, const std::string& name) {
    std::string out = folder;
    while (!out.empty() && isSeparator(out.back())) out.pop_back();
    return out + kSep + name;
}

std::string homeRelative(const std::string& path, const std::string& home) {
    std::string base = home;
    while (!base.empty() && isSeparator(base.back())) base.pop_back();
    if (base.empty() || path.size() <= base.size() + 1 || path.compare(0, base.size(), base) != 0 ||
        !isSeparator(path[base.size()]))
        return path;
    return std::string("~").append(path, base.size());
}

std::string buildReport(const ReportInput& in) {
    std::string out;
    auto line = [&out](const std::string& text) {
        appendEscaped(out, text, EscapeForm::ControlBytes);
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
        if (!in.logNote.empty()) line(in.logNote);
        for (const auto& l : in.logLines) line(l);
        line(kRule);
    }
    line("*** END OF INFO ***");
    return out;
}

Status saveReport(FileSystem& fs, const std::string& folder, const std::string& text) {
    // Only the report's own name is replaced: on Linux "cacheinfo.txt" is another file.
    return fs.writeAtomic(joinClean(folder, kReportName), text);
}

}  // namespace qv::troubleshooter
