#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/filesystem.h"

namespace qv {

struct PlacementContext;

// The folder of the run journals: "runs" beside the run log.
std::string journalFolder(const std::string& runLogPath);

// How many journals are kept; the oldest go when a new one is started.
constexpr std::size_t kJournalsKept = 20;

// The journal of one run, a text file of one record a line (names kept as their bytes, with
// backslash, tab, CR and LF escaped):
//   S <tab> kind <tab> start (ns) <tab> cache folder <tab> cache extension   the run's start
//   F <tab> number <tab> folder                a destination folder, numbered from 0
//   P <tab> index line <tab> folder number     a package the run will move: its cache file is
//                                              the line's GUID + "." + the extension, its
//                                              destination the folder + "/" + its real name
//   M <tab> P number <tab> size <tab> mtime <tab> ctime <tab> device <tab> inode
//                                              what landed where P said (all 0: not known)
//   E <tab> packages moved                     the run's end
//   U <tab> time                               undone (appended by the undo)
// Every P record reaches the disk before the first move, so a killed run's journal names every
// package that may have moved. M records go to the system in chunks as the run goes (a killed
// process loses at most the last chunk) and to the disk at the run's end.
class RunJournal {
  public:
    // Starts a journal of `kind` ("run" or "purge") in `folder`, creating the folder, and removes
    // the oldest journals beyond kJournalsKept. A journal that cannot be written says why. On a
    // file system that changes nothing (a dry run) no journal is started.
    RunJournal(FileSystem& fs, const std::string& folder, const std::string& cacheDir,
               const std::string& cacheExt, std::string_view kind = "run");
    ~RunJournal();
    RunJournal(const RunJournal&) = delete;
    RunJournal& operator=(const RunJournal&) = delete;

    bool ok() const { return file_ != nullptr && failure_.empty(); }
    const std::string& path() const { return path_; }
    // The status-list and log line of a journal that could not be written (empty when none).
    std::string failureLine() const;

    // Records every package of `lines` the run will move (the selected ones with a destination)
    // and syncs them to the disk before any moves.
    void planRun(const std::vector<std::string_view>& lines, const std::vector<bool>& selected,
                 const PlacementContext& place);
    // After a move to `destination`: the identity of what landed there (all 0: not known).
    void landed(const std::string& destination, const FileIdentity& identity);
    // The run's end: the last records, synced, and the file closed.
    void finish(std::size_t moved);

  private:
    void put(std::string_view record, bool syncNow);

    FileSystem& fs_;
    std::string path_;
    std::string cacheExt_;
    std::unique_ptr<OutFile> file_;
    std::string failure_;
    std::string pending_;
    std::size_t pendingRecords_ = 0;
    std::vector<std::string> folders_;    // the F records written
    std::vector<std::uint64_t> planned_;  // a hash of each P record's destination
    std::size_t cursor_ = 0;              // the P record the next move is looked for from
};

// One package of a journal.
struct JournalEntry {
    std::string line;
    std::uint32_t folder = 0;  // of its destination, in JournalRecord::folders
    bool landed = false;       // an M record gave what landed
    FileIdentity identity;
};

// A journal as history shows it; `entries` and `folders` only when read whole.
struct JournalRecord {
    std::string id;    // the journal's number, as the user names it
    std::string path;  // the journal file
    std::string kind;  // "run" or "purge"
    std::int64_t startedNs = 0;
    std::string cacheDir, cacheExt;
    std::size_t planned = 0;  // P records
    std::size_t moved = 0;    // M records (a purge: packages deleted)
    bool finished = false;    // the E record: the run was not killed
    bool undone = false;
    std::vector<std::string> folders;
    std::vector<JournalEntry> entries;

    std::int64_t startedSeconds() const { return startedNs / 1000000000; }
    std::string cacheFileOf(const JournalEntry& e) const;    // the full path
    std::string destinationOf(const JournalEntry& e) const;  // the full path
};

// The journals of `folder`, newest first; `withEntries`: each one's packages too.
std::vector<JournalRecord> readJournals(FileSystem& fs, const std::string& folder,
                                        bool withEntries = false);

// Reads one journal file; false when it cannot be read or is no journal.
bool readJournal(FileSystem& fs, const std::string& path, JournalRecord& out, bool withEntries);

// Appends the undo's mark to a journal.
Status markUndone(FileSystem& fs, const std::string& journalPath);

}  // namespace qv
