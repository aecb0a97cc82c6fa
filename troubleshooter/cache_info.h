#pragma once

#include <string>
#include <vector>

#include "platform/filesystem.h"
#include "platform/result.h"

namespace qv::troubleshooter {

// The file name of the report in the user's home folder.
constexpr const char* kReportName = "CacheInfo.txt";

// Every line of cache.ini, empty lines too (CR LF, CR or LF end a line; the last line needs
// none). A file that cannot be read gives one entry saying so.
std::vector<std::string> readCacheIni(FileSystem& fs, const std::string& path);

// The bare names of the plain files of the cache folder (no folders, no hidden files), in
// byte order. A folder that cannot be listed gives one entry saying so.
std::vector<std::string> listCacheFolder(FileSystem& fs, const std::string& folder);

// Where Quorvel installed in `installPath` writes its run log; empty when the path is empty.
std::string runLogPath(FileSystem& fs, const std::string& installPath);

// The lines of the run log of Quorvel installed in `installPath`; none when the path is empty or
// the log is missing, unreadable or empty, and then `note` (when given) says which, for the
// report: "(no log: <path> does not exist)" and the like.
std::vector<std::string> readLogLines(FileSystem& fs, const std::string& installPath,
                                      std::string* note = nullptr);

// The run log is shared by every cache folder a user runs Quorvel on: the lines of the runs on
// `cacheFolder` only (each run begins "{{ Using <folder> as the CACHE directory }}"), at most the
// last `maxRuns` of them. `note` says what was left out ("" when nothing was).
constexpr std::size_t kReportRuns = 5;
std::vector<std::string> runsOnCache(const std::vector<std::string>& lines,
                                     const std::string& cacheFolder, std::size_t maxRuns,
                                     std::string& note);

// `folder` + "/" + `name` without a doubled separator, whatever `folder` ends in.
std::string joinClean(const std::string& folder, const std::string& name);

// `path` as the user knows it: "~/..." when it lies under `home`.
std::string homeRelative(const std::string& path, const std::string& home);

// Everything the report prints, as 8-bit text.
struct ReportInput {
    std::string winVersion;
    std::string utRegDir;     // the text the game-folder box shows
    std::string cacheRegDir;  // the text the cache-folder box shows
    std::string installPath;
    std::string logFolder;  // where the log was read; empty: installPath
    std::vector<std::string> cacheIniLines;
    std::string cacheFolder;
    std::vector<std::string> cacheDirNames;
    std::vector<std::string> logLines;
    std::string logNote;  // why there are no log lines, or which were left out
};

// The report's text, every line ending in CR LF; control bytes in a line are escaped
// (EscapeForm::ControlBytes), so that a name holding a line feed still takes one line.
std::string buildReport(const ReportInput& in);

// Writes the report as `folder`/CacheInfo.txt, replacing it atomically; a file whose name
// differs only in letter case is another file and stays as it is.
Status saveReport(FileSystem& fs, const std::string& folder, const std::string& text);

}  // namespace qv::troubleshooter
