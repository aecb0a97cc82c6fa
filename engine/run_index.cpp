#include "engine/run_index.h"

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

namespace {

Status writeFlushed(FileSystem& fs, const std::string& path, const std::string& data) {
    Result<std::unique_ptr<OutFile>> created = fs.createFile(path);
    if (!created.ok()) return created.status;
    Status written = created.value->write(data);
    Status closed = created.value->close();  // flushes to the disk
    if (!written.ok()) return written;
    return closed;
}

}  // namespace

Status replaceCacheIndex(FileSystem& fs, const std::string& cacheDir, const std::string& oldIndex,
                         const std::string& newIndex) {
    const std::string temp = cacheDir + "/" + kNewIndexTempName;
    const std::string index = cacheDir + "/cache.ini";
    const std::string backup = cacheDir + "/cachebak.ini";

    Status st = writeFlushed(fs, temp, newIndex);
    if (st.ok()) st = fs.writeAtomic(backup, oldIndex);
    if (st.ok()) st = fs.renameReplace(temp, index);
    if (!st.ok() && fs.exists(temp)) (void)fs.removeFile(temp);
    return st;
}

}  // namespace qv
