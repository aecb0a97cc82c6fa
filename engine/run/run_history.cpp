// The runs and purges the journals hold, one line each for the history the window and the
// command line show.
#include <charconv>
#include <ctime>
#include <optional>
#include <string_view>

#include "engine/engine_context.h"
#include "engine/run/run_journal.h"
#include "engine/run/undo.h"
#include "platform/system.h"
#include "settings/program_files.h"

namespace qv {

std::string timeText(std::int64_t seconds) {
    char text[32] = "";
    if (const std::optional<std::tm> local = localTime(seconds))
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &*local);
    return text;
}

namespace {

// An undo that did not finish appends "B <tab> time <tab> count put back" to the journal's end;
// other readers of the journal pass over the record.
constexpr std::string_view kPartlyUndone = "B\t";
// The marks are the journal's last records: the block at its end holds them.
constexpr std::size_t kTailBlock = 64 * 1024;

// What the undos that did not finish put back, from the marks at the end of the journal.
std::size_t partlyBack(FileSystem& fs, const std::string& path) {
    Result<std::unique_ptr<InFile>> file = fs.openForReading(path);
    if (!file.ok()) return 0;
    const std::uint64_t size = file.value->identity().size;
    const std::uint64_t from = size > kTailBlock ? size - kTailBlock : 0;
    std::string tail(size - from, '\0');
    const Result<std::size_t> got = file.value->readAt(from, tail.data(), tail.size());
    if (!got.ok()) return 0;
    tail.resize(got.value);
    std::size_t back = 0;
    for (std::size_t at = tail.find(kPartlyUndone); at != std::string::npos;
         at = tail.find(kPartlyUndone, at + 1)) {
        const std::size_t end = tail.find('\n', at);
        const std::size_t count = tail.rfind('\t', end);
        if ((at > 0 && tail[at - 1] != '\n') || end == std::string::npos || count <= at + 1)
            continue;
        std::size_t n = 0;
        if (std::from_chars(tail.data() + count + 1, tail.data() + end, n).ec == std::errc())
            back += n;
    }
    return back;
}

}  // namespace

Status markPartlyUndone(FileSystem& fs, const std::string& journalPath, std::size_t back) {
    // A journal cut inside a record (a kill, a full disk): the mark starts a line of its own.
    const Result<std::string> text = fs.readAll(journalPath);
    const bool cut = text.ok() && !text.value.empty() && text.value.back() != '\n';
    return fs.appendToFile(journalPath, (cut ? "\n" : "") + std::string(kPartlyUndone) +
                                            std::to_string(std::time(nullptr)) + "\t" +
                                            std::to_string(back) + "\n");
}

std::vector<HistoryEntry> RunHistory(const std::string& programFolder, FileSystem& fs) {
    std::vector<HistoryEntry> history;
    const std::string folder = journalFolder(programFiles(programFolder, fs).runLog);
    for (const JournalRecord& r : readJournals(fs, folder)) {
        // A killed run not looked into since: what landed before its record counts as moved.
        JournalRecord whole;
        const bool looked = !r.finished && !r.settled && r.kind == "run" &&
                            readJournal(fs, r.path, whole, true) &&
                            lookForUnrecordedLandings(fs, whole);
        const JournalRecord& counted = looked ? whole : r;
        const bool purge = r.kind == "purge";
        history.push_back({r.id, r.startedSeconds(), r.cacheDir, purge, counted.moved,
                           counted.spares.size(), r.dropped, r.finished, r.undone,
                           purge || r.undone ? std::size_t{0} : partlyBack(fs, r.path)});
    }
    return history;
}

std::string historyLine(const HistoryEntry& e) {
    std::string what;
    if (e.purge) {
        what = "purge, " + counted(e.moved, "cache file", "cache files") +
               " deleted (cannot be undone)";
    } else {
        // A journal without its end may lack landings (a full disk): it says what it holds.
        // A run whose only work was dropping lines says that, not "0 packages moved".
        what = "run";
        if (e.moved > 0 || !e.finished || (e.removed == 0 && e.dropped == 0))
            what += ", " + counted(e.moved, "package", "packages") +
                    (e.finished ? " moved" : " recorded as moved, journal cut short");
        if (e.removed > 0)
            what += ", " + counted(e.removed, "cache copy", "cache copies") +
                    " removed (already installed)";
        if (e.dropped > 0)
            what += ", " + counted(e.dropped, "index line", "index lines") +
                    " without a cache file dropped";
        if (e.undone)
            what += ", undone";
        else if (e.partlyBack > 0)
            what += ", partly undone (" + std::to_string(e.partlyBack) + " put back)";
    }
    return timeText(e.started) + "  " + e.id + "  " + what + "  " + e.cacheDir;
}

}  // namespace qv
