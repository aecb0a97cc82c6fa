#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "settings/program_settings.h"

namespace qv {

struct PublicVariables;
struct EngineContext;

// One row of the file list.
struct FileRow {
    std::string text;        // display name (the bytes of cache.ini; decoded only for display)
    std::string date;        // "Date" column; empty when the cache file cannot be found
    bool neverMove = false;  // "Never Move?" column shows "True"
    bool checked = false;
    std::size_t entry = 0;  // position in the entry table (0-based)
};

// What ScanCache takes from and gives back to its caller besides PublicVariables.
struct ScanState {
    Options options;                          // selection options read (select all, types)
    std::string cacheDir;                     // in/out: the cache folder in use
    std::string purgeDaysText;                // out: the game's PurgeCacheDays as written
    std::vector<FileRow> rows;                // out; callers clear it before a scan
    std::vector<std::string> neverMoveNames;  // out: the never-move list as loaded
    std::string statusText;     // out: third status-bar panel ("Found N files to process")
    bool indexMissing = false;  // out: the "Critical file missing!" case
    bool indexRead = false;     // out: cache.ini was read and listed
    bool readOnly = false;      // in: never rewrite cache.ini (the repair only in memory)
};

// The scan: paths, index reading, dates, selection, never-move marks, duplicates, the count,
// then (once per program run) the missing-extension repair with its fresh scan.
void ScanCache(PublicVariables& pv, ScanState& state, EngineContext& ctx);

// How many checked rows a run would move: a safe real name and a plain cache file (not a link,
// a folder or nothing), as the run's plan asks; at most one read of the cache folder.
// `plainFiles`: the scan's finding for each entry that its cache file is a plain file of exactly
// its name; the folder is read only for the rows it does not vouch for.
std::size_t countToProcess(const std::vector<FileRow>& rows, const PublicVariables& pv,
                           const std::string& cacheDir, FileSystem& fs,
                           const std::vector<bool>* plainFiles = nullptr);
// Whether the selection options check a row of this text (all files, or its type's box).
bool selectedByOptions(const Options& options, const std::string& text);
// "Found N files to process", the status text of that count.
std::string filesToProcessText(std::size_t count);

// Unchecks every row whose text occurs twice in exactly the same spelling, and every row equal
// to such a text ignoring case. Linear time.
void UncheckDuplicates(std::vector<FileRow>& rows);

// Unchecks and marks "True" every row whose text equals a name ignoring case. Linear time.
void MarkNeverMoveItems(std::vector<FileRow>& rows, const std::vector<std::string>& names);

// The index with ".unr" added to every line without a "." that holds a map prefix, with CR LF
// line ends; `lineLeftUnrepaired` is set when another line lacks its extension.
std::string indexWithMapExtensions(const std::string& index, bool& lineLeftUnrepaired);

// Adds ".unr" to index lines without a "." that hold a map prefix and replaces cache.ini
// atomically, all under the cache's lock; shows one of the two messages; sets MapFixDone; scans
// again. Returns false when the index could not be repaired or the cache is busy (cache.ini
// untouched, no message).
bool FixMissingMapExtensions(const std::string& cacheDir, PublicVariables& pv, ScanState& state,
                             EngineContext& ctx);

// The "Date" cell: the local time as strftime's "%x" (short date) + " " + "%X" (long time) in
// the process's LC_TIME locale; the time is left out when it is exactly midnight.
std::string formatFileDate(std::int64_t mtime);

// The locale's short date ("%x") and time ("%X") of a moment; the status bar shows the day in
// the same form as the file list.
std::string formatLocalDate(std::int64_t when);
std::string formatLocalTime(std::int64_t when);

// The package type test of the scan: does the upper-cased end of `text` match?
bool endsWithType(const std::string& text, const char* upperSuffix);

}  // namespace qv
