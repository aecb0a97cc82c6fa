#include "engine/run_log.h"

#include "engine/engine_context.h"
#include "engine/public_variables.h"
#include "engine/run_index.h"

namespace qv {

void RunLog::line(const std::string& text) {
    if (file) (void)file->write(text + "\r\n");
}

void RunLog::close() {
    if (file) (void)file->close();
    file.reset();
}

RunLog StartRunLog(const std::string& cacheDir, const std::string& programFolder, FileSystem& fs) {
    RunLog log;
    log.path = programFolder + "/Quorvel.log";
    Result<std::unique_ptr<OutFile>> created = fs.createFile(log.path);
    if (created.ok()) {
        log.file = std::move(created.value);
    } else {
        log.failure = created.status.text;
    }
    log.line("{{ Using " + cacheDir + " as the CACHE directory }}");
    log.line("");
    return log;
}

bool FinishRun(const FinishRunInput& in, const PublicVariables& pv, RunLog& log, FileSystem& fs,
               StatusSink& status) {
    // Packages still in the cache, in the order of the last scan.
    for (std::size_t k = 0; k < pv.EntryCount(); ++k) {
        if (!fs.isFile(in.cacheDir + "/" + pv.CacheFileNames[k])) continue;
        const std::string text = pv.CacheFileNames[k] + " {" + pv.RealNames[k] + "} was not moved.";
        log.line(text);
        status.addLine(text);
    }

    // The index is replaced before anything claims that it was.
    const Status replaced =
        replaceCacheIndex(fs, in.cacheDir, in.oldIndex, newIndexText(in.keptLines, in.lineEnd));

    const std::string renamedText = in.cacheDir + "/CACHE.INI was renamed to CACHEBAK.INI";
    const std::string createdText = "A new CACHE.INI was created in " + in.cacheDir;
    const std::string failedText = "CACHE.INI could not be replaced (" + replaced.text + ")";

    status.addLine(log.file ? log.path + " was created."
                            : log.path + " could not be created (" + log.failure + ")");
    status.addLine(replaced.ok() ? renamedText : failedText);

    if (replaced.ok()) {
        log.line(renamedText);
        log.line(createdText);
    } else {
        log.line(failedText);
    }
    log.line("");
    log.line("NOTE - files not being moved is due to either the file");
    log.line("       not being selected or they already exist.");
    log.line("");
    log.close();

    if (replaced.ok()) status.addLine(createdText);
    status.addLine("");
    status.addLine(kStatusNoteLine);
    status.addLine("");
    status.addLine(std::string(102, '~'));
    status.addLine("");
    return replaced.ok();
}

}  // namespace qv
