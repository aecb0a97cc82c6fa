#pragma once

#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/filesystem.h"
#include "platform/textfile.h"

namespace qv {

struct PublicVariables;
class StatusSink;

// The run log (Quorvel.log, where programFiles puts it), open from StartRunLog to FinishRun.
struct RunLog {
    std::string path;
    std::unique_ptr<OutFile> file;  // null when the log could not be created, and once closed
    bool created = false;
    bool shared = false;  // another run had it open: this run's lines were added, not a new log
    std::string failure;  // the system's reason when it could not be created or written whole

    // Writes one line and its CR LF; a failed write is skipped (and remembered at close).
    void line(const std::string& text);
    // Flushes and closes; a write that failed on the way is remembered in `failure`.
    void close();
    // After close: the whole log reached the disk.
    bool written() const { return created && failure.empty(); }
    // After close: "<path> was created.", or why it was not, or that it was cut short.
    std::string statusLine() const;
};

// Creates (replacing) the log at `logPath`, and the folders above it when they are missing, and
// writes its header: the "{{ Using ... }}" line and an empty line. Where another run writes that
// log at the same time, it is not emptied: this run's lines are added after its lines, as one
// block at its end. Until then they go to `sidePath` as they come (sideLogOf the run's journal;
// "": none, the lines wait in memory), which a killed run leaves behind.
RunLog StartRunLog(const std::string& cacheDir, const std::string& logPath, FileSystem& fs,
                   const std::string& sidePath = {});

// The side file of a run's log beside its journal ("runs/7.log" for "runs/7.journal"); "" for
// no journal.
std::string sideLogOf(const std::string& journalPath);

// Adds to the open `log` the lines each killed run on `cacheDir` left in its side file (beside
// its journal in `journalFolder`, other than `ownJournal`), oldest run first, each as a block of
// its own that ends by saying the run was interrupted, and removes those side files. Only for a
// command that holds the cache's lock: no run on that cache can be writing one then.
void addLeftoverLogs(RunLog& log, FileSystem& fs, const std::string& journalFolder,
                     const std::string& cacheDir, const std::string& ownJournal);

// What FinishRun needs besides the log.
struct FinishRunInput {
    std::string cacheDir;
    const std::vector<std::string>& keptLines;
    const std::string& oldIndex;  // the bytes of cache.ini as the run read them
    // A stopped run: its "Stopped after N of M packages" line, and the cache files of the
    // packages it did not reach. Those stay with their lines and are not listed one by one.
    std::string stoppedText = {};
    const std::unordered_set<std::string>* notReached = nullptr;
    const std::unordered_map<std::string, std::string>* stayReasons = nullptr;  // RunRequest's
    // The cache files' extension: files "GUID.<ext>" that no line names are counted and told.
    std::string cacheExt = {};
};

// The not-moved report from the scan's entry table (entries whose cache file is still there),
// the replacement of the index (cachebak.ini and the new cache.ini), the end of the log and
// the closing lines of the status list. The entry table is cleared after the report.
struct [[nodiscard]] FinishOutcome {
    bool indexReplaced = false;  // with every line the game added meanwhile
    bool logWritten = false;
};
FinishOutcome FinishRun(const FinishRunInput& in, PublicVariables& pv, RunLog& log, FileSystem& fs,
                        StatusSink& status);

constexpr const char* kStatusNoteLine =
    "** NOTE ** - files not being moved is due to either the file not being selected or they "
    "already exist.";

}  // namespace qv
