#pragma once

// One whole run as the main window makes it: scan, check every row, prepare, ProcessCache.
// Shared by the crash child (which dies somewhere inside it) and the crash test (which
// finishes the job afterwards with the same steps).

#include <string>

#include "engine/engine_context.h"
#include "engine/public_variables.h"
#include "engine/run.h"
#include "engine/scan.h"

namespace qv::crash {

struct RunSetup {
    std::string programFolder;  // Quorvel.ini, Quorvel.log
    std::string gameDir;        // ends in '/', as start-up leaves it
    std::string cacheDir;       // empty: the game's own cache folder from Quorvel.ini
};

struct RunReport {
    RunOutcome outcome = RunOutcome::NoIndex;
    std::size_t rows = 0;
    bool prepared = false;
};

inline RunReport runEverything(const RunSetup& setup, FileSystem& fs, Dialogs& dialogs,
                               StatusSink& status) {
    RunReport report;
    PublicVariables pv;
    pv.ProgramFolder = setup.programFolder;
    pv.GameDir = setup.gameDir;
    EngineContext ctx{fs, dialogs};

    ScanState state;
    state.lblCacheDir = setup.cacheDir;
    ScanCache(pv, state, ctx);
    if (state.indexMissing) return report;
    report.rows = state.rows.size();

    RunRequest request;
    request.options = state.options;
    request.lblCacheDir = state.lblCacheDir;
    for (FileRow& row : state.rows) {
        row.checked = true;  // "check all"
        request.checkedTexts.push_back(row.text);
    }
    report.prepared = PrepareRun(request.options, ctx);
    if (!report.prepared) return report;
    report.outcome = ProcessCache(pv, request, ctx, status).outcome;
    return report;
}

}  // namespace qv::crash
