#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "platform/filesystem.h"

namespace qv {

struct PlacementContext;
struct RunPlan;

// The folder of the run journals: "runs" beside the run log.
std::string journalFolder(const std::string& runLogPath);

// How many journals are kept; the oldest go when a new one is started.
constexpr std::size_t kJournalsKept = 20;

// The journal of one run, a text file of one record a line (names kept as their bytes, with
// backslash, tab, CR, LF and the zero byte escaped; every folder absolute, its links resolved):
//   S <tab> kind <tab> start (ns) <tab> cache folder <tab> cache extension   the run's start
//   C <tab> folder                             a folder the run made (parents first)
//   D <tab> index line                         a line the run drops: its cache file is missing
//   F <tab> number <tab> folder                a destination folder, numbered from 0
//   P <tab> index line <tab> folder number     a package the run will move: its cache file is
//                                              the line's GUID + "." + the extension, its
//                                              destination its real name in the folder
//   M <tab> P number <tab> size <tab> mtime <tab> ctime <tab> device <tab> inode
//                                              what landed where P said (all 0: not known)
//   R <tab> index line <tab> installed path   a cache copy about to be removed: the same bytes
//                                              are installed there (undo copies them back)
//   E <tab> packages moved                     the run's end
//   U <tab> time                               undone (appended by the undo)
//   K <tab> landings found                     a killed run's landings were looked for on the
//                                              disk, those found recorded by M records just
//                                              before (appended by the next run or the undo)
// The journal is created exclusively under the next free number, and every P record reaches the
// disk before the first move, so a killed run's journal names every package that may have moved.
// Each M record is the kernel's before the next move begins (a killed process loses none):
// copied into a shared mapping of the file's end where the file system allows, else written.
// A killed run's journal may end in zero bytes, which readers take for its end. The records are
// synced to the disk at the run's end, and the file cut to its records.
class RunJournal {
  public:
    // Starts a journal of `kind` ("run" or "purge") in `folder`, creating the folder, and removes
    // the oldest journals beyond kJournalsKept. A journal that cannot be written says why. On a
    // file system that changes nothing (a dry run) no journal is started, and none is needed.
    RunJournal(FileSystem& fs, const std::string& folder, const std::string& cacheDir,
               const std::string& cacheExt, std::string_view kind = "run");
    ~RunJournal();
    RunJournal(const RunJournal&) = delete;
    RunJournal& operator=(const RunJournal&) = delete;

    // Everything so far reached the journal (or none is kept: a dry run).
    bool ok() const { return (file_ != nullptr || dryRun_) && failure_.empty(); }
    const std::string& path() const { return path_; }
    // The status-list and log line of a journal that could not be written after the run began
    // (empty when none, and when it only stopped the run: stopLine said so).
    std::string failureLine() const;
    // Why the run stops: the journal cannot hold the landing of the next move.
    std::string stopLine() const {
        return "The journal " + path_ + " cannot hold the record of another move (" + failure_ +
               "); the run stops here";
    }
    // What the run's refusal says when the journal cannot be written before the first move.
    std::string refusalText() const {
        return "The journal " + path_ + " cannot be written (" + failure_ +
               "), so this run could not be undone; nothing was moved.";
    }

    // Records the folders the run made for its destinations.
    void madeFolders(const std::vector<std::string>& folders);
    // Records every package the plan moves, numbered in index order from 0, and syncs them to
    // the disk: after this, ok() tells whether the run can be undone.
    void planMoves(const RunPlan& plan, const PlacementContext& place);
    // The planned package (its number among the moves) whose move comes next, with room on the
    // disk set aside for its landing. False when the journal cannot hold that: the run must stop
    // before the move, so that every package it moved stays recorded.
    bool expect(std::size_t move);
    // After the move of the expected package to `destination`: the identity of what landed
    // there (all 0: not known).
    void landed(const std::string& destination, const FileIdentity& identity);
    // Before the cache copy of `line` is removed because `installed` holds the same bytes.
    void removingSpare(std::string_view line, const std::string& installed);
    // The run's end: the last records, synced, and the file closed.
    void finish(std::size_t moved);
    // A run that does not go ahead: the journal is removed, so none is left empty.
    void discard();

  private:
    // Buffers `record`; the buffer is written when full, when `writeNow` and when `syncNow` (then
    // synced to the disk too).
    void put(std::string_view record, bool syncNow, bool writeNow = false);

    FileSystem& fs_;
    std::string path_;
    std::string cacheExt_;
    std::unique_ptr<OutFile> file_;
    bool dryRun_ = false;
    std::string failure_;
    bool lostLanding_ = false;     // a landing's record could not be written
    bool refusedLanding_ = false;  // expect() found no room: the run stopped before the move
    std::string pending_;
    std::size_t pendingRecords_ = 0;
    std::vector<std::string> folders_;         // the F records written, as the plan names them
    std::vector<std::uint64_t> destinations_;  // a hash of each P record's destination
    std::size_t expected_ = SIZE_MAX;          // the P record the next landing belongs to
    std::string record_;                       // the M record being formed
};

// `path` absolute, with its links, "." and ".." resolved where it exists.
std::string resolvedFolder(FileSystem& fs, const std::string& path);

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
    std::size_t changes = 0;  // D and C records: lines dropped, folders made
    std::size_t dropped = 0;  // D records: lines whose cache file was gone
    bool finished = false;    // the E record: the run was not killed
    bool undone = false;
    // A K record, or every destination looked at now: no landing is unrecorded.
    bool settled = false;
    std::vector<std::string> folders;
    std::vector<std::string> madeFolders;   // made by the run, parents first
    std::vector<std::string> droppedLines;  // of packages missing from the cache
    // Cache copies removed as spare: the line and the installed file with the same bytes.
    std::vector<std::pair<std::string, std::string>> spares;
    std::vector<JournalEntry> entries;
    // Entries found landed without their M record (a kill between a move and its record), and
    // whether that look was made now, what it found not yet in the journal.
    std::vector<std::size_t> recovered;
    bool lookedNow = false;

    std::int64_t startedSeconds() const { return startedNs / 1000000000; }
    std::string cacheFileOf(const JournalEntry& e) const;    // the full path
    std::string destinationOf(const JournalEntry& e) const;  // the full path
};

// The journals of `folder`, newest first; `withEntries`: each one's packages too.
std::vector<JournalRecord> readJournals(FileSystem& fs, const std::string& folder,
                                        bool withEntries = false);

// Reads one journal file; false when it cannot be read or is no journal.
bool readJournal(FileSystem& fs, const std::string& path, JournalRecord& out, bool withEntries);
// The same, reading a large journal only at its ends: its start record, its end and whether it
// was undone; it counts nothing (planned, moved, changes and spares stay 0).
bool readJournalEnds(FileSystem& fs, const std::string& path, JournalRecord& out);

// The cache file a spare copy (r.spares) was removed from, when its line is sound; "" otherwise.
std::string spareCachePath(const JournalRecord& r, const std::string& line);
// The spare copies an undo puts back: their cache name free, their installed twin still there.
std::vector<std::size_t> sparesToCopyBack(const JournalRecord& r, FileSystem& fs);
// Copies spare `i` back from its installed twin, never over a file in its place.
Status copySpareBack(const JournalRecord& r, std::size_t i, FileSystem& fs);

// The lines whose packages the last run on `cacheDir` (its journal in `folder`, other than
// `skipPath`, not undone) recorded as landed.
// A killed last run's landings it could not record are looked for first, recorded in its
// journal (unless `record` is false: a listing writes nothing), and named in `recovered` (when
// given).
std::unordered_set<std::string> linesMovedByLastRun(FileSystem& fs, const std::string& folder,
                                                    const std::string& cacheDir,
                                                    const std::string& skipPath,
                                                    std::vector<std::string>* recovered = nullptr,
                                                    bool record = true);

// A killed run (`r` read whole, not settled) may have died between a move and its record. The
// package then sits at its destination, changed since the run began, and either its cache file
// is gone and the header there gives the line's GUID, or (a copy not yet removed) both hold the
// same bytes. Each such entry is marked landed with what is there now, counted in `r.moved` and
// named in `r.recovered`; `r.settled` tells whether every destination could be looked at.
// Returns true when it looked: the journal does not say yet what it found.
bool lookForUnrecordedLandings(FileSystem& fs, JournalRecord& r);
// After a look made now: appends the M records of `r.recovered` and, when `r.settled`, the K
// record, so that the journal holds what the look found. Nothing on a file system that changes
// nothing.
Status recordLandingsFound(FileSystem& fs, const JournalRecord& r);
// "<destination> landed in run <id>, cut short before it recorded the move: ..."
std::string recoveredLandingLine(const JournalRecord& r, std::size_t entry);

// Appends the undo's mark to a journal.
Status markUndone(FileSystem& fs, const std::string& journalPath);

}  // namespace qv
