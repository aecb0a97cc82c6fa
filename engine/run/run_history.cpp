// The runs and purges the journals hold, one line each for the history the window and the
// command line show.
#include <ctime>
#include <optional>

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

std::vector<HistoryEntry> RunHistory(const std::string& programFolder, FileSystem& fs) {
    std::vector<HistoryEntry> history;
    const std::string folder = journalFolder(programFiles(programFolder, fs).runLog);
    for (const JournalRecord& r : readJournals(fs, folder)) {
        // A killed run not looked into since: what landed before its record counts as moved.
        JournalRecord whole;
        const bool looked = !r.finished && !r.settled && r.kind == "run" &&
                            readJournal(fs, r.path, whole, true) &&
                            lookForUnrecordedLandings(fs, whole);
        history.push_back({r.id, r.startedSeconds(), r.cacheDir, r.kind == "purge",
                           looked ? whole.moved : r.moved, r.finished, r.undone});
    }
    return history;
}

std::string historyLine(const HistoryEntry& e) {
    std::string what;
    if (e.purge) {
        what = "purge, " + counted(e.moved, "package", "packages") + " deleted (cannot be undone)";
    } else {
        // A journal without its end may lack landings (a full disk): it says what it holds.
        what = "run, " + counted(e.moved, "package", "packages") +
               (e.finished ? " moved" : " recorded as moved, journal cut short");
        what += e.undone ? ", undone" : "";
    }
    return timeText(e.started) + "  " + e.id + "  " + what + "  " + e.cacheDir;
}

}  // namespace qv
