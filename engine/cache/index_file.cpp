#include "engine/cache/index_file.h"

#include <algorithm>
#include <cerrno>

#include "platform/filesystem.h"
#include "platform/paths.h"

namespace qv {

Result<std::string> readCacheIndex(FileSystem& fs, const std::string& path) {
    Result<std::string> text = fs.readAll(path);
    const std::string_view t = text.value;
    const bool utf16 = t.starts_with("\xFF\xFE") || t.starts_with("\xFE\xFF") ||
                       (t.size() >= 2 && (t[0] == '\0' || t[1] == '\0'));
    if (text.ok() && utf16)
        return {{},
                Status::failure("it is UTF-16 text; the game reads and writes plain text, as "
                                "an editor saves it as ANSI",
                                EILSEQ)};
    return text;
}

std::string newIndexText(const std::vector<std::string>& keptLines) {
    std::string text = "[Cache]\r\n";
    for (const std::string& line : keptLines) {
        text += line;
        text += "\r\n";
    }
    return text;
}

std::vector<std::string> restoreLeftBackup(FileSystem& fs, const std::string& cacheDir) {
    const std::string left = joinPath(cacheDir, kLeftBackupName);
    if (!fs.isFile(left)) return {};
    const Result<std::string> old = fs.readAll(left);
    if (!old.ok()) return {};
    // cache.ini the same: the index was never replaced; cachebak.ini the same: it is the backup.
    for (const char* name : {"cache.ini", "cachebak.ini"}) {
        const Result<bool> same = fs.holdsExactly(joinPath(cacheDir, name), old.value);
        if (same.ok() && same.value) {
            if (!fs.changesNothing()) (void)fs.removeFile(left);
            return {};
        }
    }
    // A dry run says what the run would restore, and leaves it.
    const Status kept = fs.changesNothing()
                            ? Status::success()
                            : fs.renameReplace(left, joinPath(cacheDir, "cachebak.ini"));
    if (!kept.ok())
        return {joinPath(cacheDir, kLeftBackupName) +
                " holds CACHE.INI as it was before an interrupted run; it could not be made "
                "CACHEBAK.INI (" +
                kept.text + ")"};
    return {joinPath(cacheDir, "CACHEBAK.INI") +
            " was restored: it holds CACHE.INI as it was before an interrupted run"};
}

std::vector<std::string> removeLeftTempFiles(FileSystem& fs,
                                             const std::vector<std::string>& folders) {
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < folders.size(); ++i) {
        if (std::find(folders.begin(), folders.begin() + i, folders[i]) != folders.begin() + i)
            continue;  // the same folder twice (two types sharing one folder)
        for (std::string& line : restoreLeftBackup(fs, folders[i]))  // before the temporary files
            lines.push_back(std::move(line));
        const Result<std::vector<std::string>> removed = fs.removeLeftTempFiles(folders[i]);
        for (const std::string& name : removed.value)
            lines.push_back(joinPath(folders[i], name) +
                            " was left by an interrupted run and has been removed");
    }
    return lines;
}

}  // namespace qv
