#include "engine/run_index.h"

#include <algorithm>

#include "platform/filesystem.h"

namespace qv {

std::string newIndexText(const std::vector<std::string>& keptLines) {
    std::string text = "[Cache]\r\n";
    for (const std::string& line : keptLines) {
        text += line;
        text += "\r\n";
    }
    return text;
}

std::vector<std::string> removeLeftTempFiles(FileSystem& fs,
                                             const std::vector<std::string>& folders) {
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < folders.size(); ++i) {
        if (std::find(folders.begin(), folders.begin() + i, folders[i]) != folders.begin() + i)
            continue;  // the same folder twice (two types sharing one folder)
        const Result<std::vector<std::string>> removed = fs.removeLeftTempFiles(folders[i]);
        for (const std::string& name : removed.value)
            lines.push_back(folders[i] + "/" + name +
                            " was left by an interrupted run and has been removed");
    }
    return lines;
}

IndexReplacement replaceCacheIndex(FileSystem& fs, const std::string& cacheDir,
                                   const std::string& oldIndex, const std::string& newIndex) {
    IndexReplacement r;
    const std::string indexPath = cacheDir + "/cache.ini", backupPath = cacheDir + "/cachebak.ini";
    // The old index is still on disk: while it holds the bytes read, it becomes the backup by a
    // second name, so its megabytes are neither written nor flushed again.
    const bool linked = fs.linkReplace(indexPath, backupPath, oldIndex).ok();
    r.backup = linked ? Status::success() : fs.writeAtomic(backupPath, oldIndex);
    r.index = fs.writeAtomic(indexPath, newIndex);
    // An index left in place would share its file with the backup, and a later write into it
    // would change both: the backup becomes a copy of its own.
    if (linked && !r.index.ok()) r.backup = fs.writeAtomic(backupPath, oldIndex);
    return r;
}

std::vector<std::string> IndexReplacement::report(const std::string& cacheDir) const {
    if (!index.ok()) return {"CACHE.INI could not be replaced (" + index.text + ")"};
    const std::string created = "A new CACHE.INI was created in " + cacheDir;
    if (!backup.ok())
        return {cacheDir + "/CACHEBAK.INI could not be replaced (" + backup.text +
                    "); the previous backup stays",
                created};
    return {cacheDir + "/CACHE.INI was renamed to CACHEBAK.INI", created};
}

}  // namespace qv
