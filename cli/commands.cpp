#include "cli/commands.h"

#include <array>
#include <atomic>
#include <climits>
#include <cstdlib>
#include <optional>

#include "cli/dry_run.h"
#include "cli/find_game.h"
#include "cli/info.h"
#include "cli/info_command.h"
#include "cli/json_output.h"
#include "cli/terminal_dialogs.h"
#include "cli/undo_report.h"
#include "engine/cache/package_facts.h"
#include "engine/cache/scan.h"
#include "engine/engine_context.h"
#include "engine/maintenance/maintenance.h"
#include "engine/maintenance/package_check.h"
#include "engine/public_variables.h"
#include "engine/run/list_plan.h"
#include "engine/run/run.h"
#include "engine/run/undo.h"
#include "package/package_info.h"
#include "platform/filesystem.h"
#include "platform/game_process.h"
#include "platform/line_writer.h"
#include "platform/paths.h"
#include "platform/system.h"
#include "settings/cls_registry.h"
#include "settings/game_finder.h"
#include "settings/mdl_ini.h"
#include "settings/program_files.h"
#include "settings/program_settings.h"

namespace qv::cli {

namespace {

constexpr char kProg[] = "quorvel-cli: ";

// Prints the engine's status-list lines as they come, each one a Name: a line may carry a name a
// server chose. A run's sink says which cache it processes before the first line: a run refused
// before its first line never says it began.
class StreamSink final : public StatusSink {
  public:
    explicit StreamSink(std::ostream& out, std::optional<std::string> runCacheDir = std::nullopt)
        : out_(out), runCacheDir_(std::move(runCacheDir)) {}
    void addLine(const std::string& line) override {
        if (runCacheDir_) {
            out_.line("Cache Directory = ", Name{*runCacheDir_});
            out_.line("Processing files...");
            runCacheDir_.reset();
        }
        out_.line(Name{line});
    }

  private:
    LineWriter out_;
    std::optional<std::string> runCacheDir_;
};

std::string settingsFile(const Environment& env) {
    return programFiles(env.programFolder, env.fs).settingsFile;
}

// The game folder from the registry and the program files beside the program; false with an
// error on stderr (and exitCode set) when either is missing.
bool loadGame(Environment& env, Dialogs& dialogs, PublicVariables& pv, int& exitCode) {
    LineWriter err(env.err);
    if (!env.fs.isFile(settingsFile(env))) {
        err.line(kProg, "A critical file (Quorvel.ini) is missing...please re-install the ",
                 "program. (looked for ", Name{settingsFile(env)}, ")");
        exitCode = kExitUsage;
        return false;
    }
    clsRegistry game = clsRegistry::gameKey(&dialogs, env.registryPath);
    std::string dir = game.ReadEntry("Folder", "");
    if (dir.empty()) {
        err.line(kProg, "no Unreal Tournament folder is set in ", Name{env.registryPath});
        err.line("Set it with: quorvel-cli set-game-dir DIR");
        exitCode = kExitUsage;
        return false;
    }
    if (!endsWithSeparator(dir)) dir += kSep;
    if (!env.fs.isFolder(dir)) {
        err.line(kProg, "the Unreal Tournament folder ", Name{dir}, " does not exist");
        err.line("Set it with: quorvel-cli set-game-dir DIR");
        exitCode = kExitUsage;
        return false;
    }
    pv.ProgramFolder = env.programFolder;
    pv.GameDir = dir;
    return true;
}

// The stored choices with the command line's options laid over them.
Options chosenOptions(const Arguments& a, Environment& env, Dialogs& dialogs) {
    clsRegistry program = clsRegistry::programKey(&dialogs, env.registryPath);
    Options o = restoreOptions(program);
    if (a.selectAll) {
        o.SelectAll = *a.selectAll;
        o.SelectOnly = !*a.selectAll;
        if (!*a.selectAll) {
            o.U = a.onlyU;
            o.UAX = a.onlyUAX;
            o.UMX = a.onlyUMX;
            o.UNR = a.onlyUNR;
            o.UTX = a.onlyUTX;
        }
    }
    if (a.target) {
        o.MoveNorm = *a.target == Arguments::Target::Types;
        o.MoveDir = *a.target == Arguments::Target::Folder;
        o.MoveDir2 = *a.target == Arguments::Target::Tree;
        if (o.MoveDir) o.MoveDirText = a.targetDir;
        if (o.MoveDir2) o.MoveDir2Text = a.targetDir;
    }
    if (a.cacheDir) o.CacheDir = removeOneTrailingSeparator(*a.cacheDir);
    return o;
}

// The cache folder `list` and `run` use: --cache, the stored one, or the game's own.
std::string cacheFolderInUse(const Arguments& a, Environment& env, Dialogs& dialogs,
                             const PublicVariables& pv) {
    const std::string cacheDir = chosenOptions(a, env, dialogs).CacheDir;
    if (!cacheDir.empty()) return cacheDir;
    return joinShown(pv.GameDir,
                     toNativeSeparators(INIGetSettingString("Dirs", "CachePath", settingsFile(env),
                                                            "", &dialogs, &env.fs)));
}

int scanInto(const Arguments& a, Environment& env, Dialogs& dialogs, PublicVariables& pv,
             ScanState& state) {
    int code = kExitOk;
    if (!loadGame(env, dialogs, pv, code)) return code;
    state.options = chosenOptions(a, env, dialogs);
    state.cacheDir = state.options.CacheDir;
    EngineContext ctx{env.fs, dialogs};
    if (a.evenIfGameRuns) ctx.whenGameRuns = WhenGameRuns::GoOn;
    ScanCache(pv, state, ctx);
    // Say which cache is read when none was stored (set-game-dir could tell none).
    if (state.options.CacheDir.empty())
        LineWriter(env.err).line(kProg, "note: no cache folder is stored for this game, so ",
                                 Name{state.cacheDir},
                                 " is used (the game folder and the CachePath of Quorvel.ini)");
    // A missing or unreadable index: the scan has said so on stderr.
    if (!state.indexRead) return kExitFailed;
    return kExitOk;
}

// info: a package file by its path, else the cached packages of that name or GUID.
int infoCommand(const Arguments& a, Environment& env, Dialogs& dialogs) {
    std::vector<NamedPackage> packages;
    const std::string path = userNamedFile(env.fs, a.value);
    if (const std::string_view kind = env.fs.otherKind(path); !kind.empty()) {
        LineWriter(env.err).line(kProg, Name{a.value}, " is ", Fixed{kind}, ", not a package file");
        return kExitFailed;
    }
    if (env.fs.isFile(path)) {
        // Shown as the user named it: a link followed for reading, not in the text.
        packages.push_back({path, std::string(packageNameOf(fileNameOf(a.value))), a.value});
        return showPackages(packages, a, env);
    }
    PublicVariables pv;
    ScanState state;
    state.readOnly = true;
    if (int code = scanInto(a, env, dialogs, pv, state); code != kExitOk) return code;
    const std::vector<std::size_t> found = findCachedPackages(pv, a.value);
    if (found.empty()) {
        LineWriter(env.err).line(kProg, "no file and no cached package is named ", Name{a.value});
        return kExitFailed;
    }
    const PlacementContext place = listingPlacement(pv, state.cacheDir, state.options, env.fs);
    for (const std::size_t k : found) {
        const std::string& file = pv.CacheFileNames[k];
        packages.push_back(
            {joinPath(place.cacheDir, file.substr(0, file.find('.'))) + "." + place.cacheExt,
             pv.RealNames[k]});
    }
    return showPackages(packages, a, env);
}

// The header pass and the plan of a run over the scanned rows: each row checked as the run acts on
// it, and the status text its count. `whole`: the files the pass found whole, for the run.
ListPlan plannedRows(const PublicVariables& pv, ScanState& state, FileSystem& fs,
                     std::vector<PackageFacts>& facts, WholeHeaders* whole = nullptr,
                     MapFacts* maps = nullptr) {
    const PlacementContext place = listingPlacement(pv, state.cacheDir, state.options, fs);
    HeaderCache headers;
    if (maps) headers.onWholeRead(maps->keeper());
    WholeHeaders found;
    if (!whole) whole = &found;
    examineEntries(pv, place, facts, headers, fs, {}, nullptr, whole);
    ListPlan plan = planRows(state.rows, pv, state.options, place, facts, whole, fs, &headers);
    state.statusText = filesToProcessText(plan.toProcess);
    return plan;
}

int listCommand(const Arguments& a, Environment& env, Dialogs& dialogs) {
    PublicVariables pv;
    ScanState state;
    state.readOnly = true;  // a listing only reads: the index is shown as it stands
    if (int code = scanInto(a, env, dialogs, pv, state); code != kExitOk) return code;
    // The rows are checked, counted and explained by the plan the run makes.
    std::vector<PackageFacts> facts;
    MapFacts mapFacts;
    const ListPlan plan =
        plannedRows(pv, state, env.fs, facts, nullptr, a.facts ? &mapFacts : nullptr);
    std::vector<PackageContents> maps;
    if (a.facts)
        maps = mapFacts.byEntry(pv, listingPlacement(pv, state.cacheDir, state.options, env.fs),
                                facts, env.fs);
    // Whether the game runs: a field of the JSON, and a line on standard error (standard output
    // holds the listing alone).
    EngineContext ctx{env.fs, dialogs};
    const std::vector<std::string> folders{pv.GameDir, state.cacheDir};
    const RunningGames running = findRunningGame(folders, ctx.procRoot, -1, ctx.uid);
    if (const std::string line = gameRunningLine(ctx, running, folders); !line.empty())
        LineWriter(env.err).line(kProg, Name{line});
    if (a.json) {
        printListJson(state, pv, plan, env.out, &facts, a.facts ? &maps : nullptr, &running);
        return kExitOk;
    }
    LineWriter out(env.out);
    for (const FileRow& row : state.rows) {
        out.text(Fixed{row.checked ? "[x]" : "[ ]"}, '\t', Name{row.text}, '\t', Fixed{row.date},
                 '\t', Fixed{row.neverMove ? "True" : ""});
        if (a.facts && row.entry < maps.size() && maps[row.entry].kind == ContentKind::Map) {
            const PackageContents& m = maps[row.entry];
            out.text('\t', Name{m.title}, '\t', Name{m.author}, '\t', Name{playersText(m.players)});
        }
        // Why the run leaves it: a package's own words (a damage reason) are escaped as names.
        if (row.entry < plan.entries.size() && !plan.entries[row.entry].reason.empty())
            out.text('\t', Name{plan.entries[row.entry].reason});
        out.line();
    }
    out.line(Fixed{state.statusText});
    return kExitOk;
}

int runCommandRun(const Arguments& a, Environment& env, Dialogs& dialogs) {
    PublicVariables pv;
    ScanState state;
    if (int code = scanInto(a, env, dialogs, pv, state); code != kExitOk) return code;
    // The rows `list` checks: the run acts on exactly those, trusting the headers found whole.
    std::vector<PackageFacts> facts;
    WholeHeaders whole;
    (void)plannedRows(pv, state, env.fs, facts, &whole);
    LineWriter out(env.out), err(env.err);
    out.line(Fixed{state.statusText});

    EngineContext ctx{env.fs, dialogs};
    if (a.evenIfGameRuns) ctx.whenGameRuns = WhenGameRuns::GoOn;
    RunRequest request;
    request.options = state.options;
    if (!PrepareRun(request.options, ctx)) return kExitFailed;  // the reason is on stderr
    // As the window's start does: the troubleshooter finds the run log through InstallPath.
    // No dialogs: the failure is said once, with what it means, below.
    clsRegistry programKey = clsRegistry::programKey(nullptr, env.registryPath);
    const bool installPathStored = ensureInstallPath(programKey, env.programFolder);
    if (!installPathStored)
        err.line(kProg, "the program folder (InstallPath, by which Quorvel Troubleshooter ",
                 "finds the run log) could not be stored in ", Name{env.registryPath}, " (",
                 Name{programKey.lastWriteStatus().text}, "); the run goes on");
    request.cacheDir = state.cacheDir;
    request.wholeHeaders = &whole;
    for (const FileRow& row : state.rows)
        if (row.checked) request.checkedEntries.push_back(row.entry);

    StreamSink sink(env.out, request.cacheDir);
    const StopOnSignals signals(env.stopOnSignals);
    ctx.stop = signals.flag();
    RunResult result = ProcessCache(pv, request, ctx, sink);
    out.flush();
    switch (result.outcome) {
        case RunOutcome::Completed: {
            if (!result.stopped && !result.nothingToDo) out.line("Done processing files");
            // A settings store that could not be written is a part not done.
            const int code = runExitStatus(result);
            return code == kExitOk && !installPathStored ? kExitPartial : code;
        }
        case RunOutcome::NoIndex:
            err.line(kProg, "there is no cache.ini in ", Name{request.cacheDir},
                     "; nothing was done");
            return kExitFailed;
        case RunOutcome::Busy:
        case RunOutcome::GameRunning:
        case RunOutcome::IndexUnreadable:
        case RunOutcome::Refused:
        case RunOutcome::NotDone:
            return kExitFailed;  // the message is on stderr
    }
    return kExitFailed;
}

int purgeCommand(const Arguments& a, Environment& env, TerminalDialogs& dialogs) {
    PublicVariables pv;
    int code = kExitOk;
    if (!loadGame(env, dialogs, pv, code)) return code;
    const std::string cacheDir = cacheFolderInUse(a, env, dialogs, pv);
    const StopOnSignals signals(env.stopOnSignals);
    EngineContext ctx{env.fs, dialogs, signals.flag()};
    if (a.evenIfGameRuns) ctx.whenGameRuns = WhenGameRuns::GoOn;
    StreamSink sink(env.out);
    PurgeResult result;
    const PurgeOutcome outcome = PurgeCache(pv, ctx, sink, cacheDir, &result);
    // Other outcomes have said why on stderr.
    if (outcome == PurgeOutcome::NoIndex)
        LineWriter(env.err).line(kProg, "there is no cache.ini in ", Name{cacheDir},
                                 "; nothing to purge");
    return purgeExitStatus(outcome, result);
}

int deleteTmpCommand(Environment& env, Dialogs& dialogs) {
    PublicVariables pv;
    int code = kExitOk;
    if (!loadGame(env, dialogs, pv, code)) return code;
    EngineContext ctx{env.fs, dialogs};
    std::size_t deleted = 0;
    const bool all = DeleteCacheTmpFiles(pv, ctx, &deleted);
    return deleteTmpExitStatus(all, deleted);
}

int purgeDaysCommand(const Arguments& a, Environment& env, Dialogs& dialogs) {
    PublicVariables pv;
    int code = kExitOk;
    if (!loadGame(env, dialogs, pv, code)) return code;
    pv.GameIniPath = usedGameIniPath(pv.GameDir, env.fs);
    pv.UserIniPath = usedUserIniPath(pv.GameDir, env.fs);
    LineWriter err(env.err);
    if (!env.fs.isFile(pv.GameIniPath)) {
        err.line(kProg, Name{pv.GameIniPath}, " does not exist; nothing was written");
        return kExitFailed;
    }
    const std::string other = otherGameIniPath(pv.GameIniPath);
    const bool both = env.fs.isFile(other);
    EngineContext ctx{env.fs, dialogs};
    if (!SetPurgeInterval(a.value, pv, ctx)) {
        err.line(kProg, "PurgeCacheDays could not be written to ", Name{pv.GameIniPath},
                 Fixed{both ? " and " : ""}, Name{both ? other : ""});
        return kExitFailed;
    }
    LineWriter(env.out).line("PurgeCacheDays=", Name{a.value}, " written to ", Name{pv.GameIniPath},
                             Fixed{both ? " and " : ""}, Name{both ? other : ""});
    return kExitOk;
}

int undoCommand(const Arguments& a, Environment& env, Dialogs& dialogs) {
    // Without a run ID the undo takes the last run on the cache folder in use.
    UndoRequest request{env.programFolder, a.runId, a.dryRun, {}};
    if (a.runId.empty()) {
        PublicVariables pv;
        if (int code = kExitOk; !loadGame(env, dialogs, pv, code)) return code;
        request.cacheDir = cacheFolderInUse(a, env, dialogs, pv);
    }
    // Ctrl+C, SIGTERM and SIGHUP stop the undo after the package under way, as they stop a run.
    const StopOnSignals signals(env.stopOnSignals && !a.dryRun);
    EngineContext ctx{env.fs, dialogs, signals.flag()};
    if (a.evenIfGameRuns) ctx.whenGameRuns = WhenGameRuns::GoOn;
    StreamSink sink(env.out);
    const UndoResult r = UndoRun(request, ctx, sink);
    return undoReport(a, request.cacheDir, r, env);
}

int checkCommand(const Arguments& a, Environment& env, Dialogs& dialogs) {
    PublicVariables pv;
    int code = kExitOk;
    if (!loadGame(env, dialogs, pv, code)) return code;
    const Options o = chosenOptions(a, env, dialogs);
    const Result<CheckPlaces> places = checkPlacesFor(pv, o.CacheDir, env.fs);
    LineWriter out(env.out), err(env.err);
    if (!places) {
        err.line(kProg, "Quorvel.ini could not be read (", Name{places.status.text}, ")");
        return kExitFailed;
    }
    if (a.restore)
        for (const std::string& line : restoreLeftBackupLocked(places.value.cacheDir, env.fs))
            out.line(Name{line});
    const CheckReport report = checkPackages(places.value, env.fs);
    if (!report.indexRead)
        err.line(kProg, "cache.ini could not be read (", Name{report.indexFailure}, ")");
    // The needs found nowhere, grouped by the package needed.
    const std::vector<MissingPackage> missing = groupMissing(report.missing);
    for (const MissingPackage& g : missing)
        for (const std::string& by : g.neededBy) out.line(Name{missingNeedLine({by, g.name})});
    for (const std::string& u : report.unreadable) out.line(Name{u});
    for (const LinelessFile& f : report.lineless) out.line(Name{linelessLine(f)});
    const std::size_t lineless = report.lineless.size();
    out.line("Checked ", Fixed{counted(report.packages, "package", "packages")}, ": ",
             Fixed{missingCountText(missing.size(), report.missing.size())}, ", ", lineless,
             Fixed{lineless == 1 ? " cache file" : " cache files"}, " without a line");
    if (!a.restore) return report.indexRead ? kExitOk : kExitFailed;
    const RestoreResult restored =
        restoreIndexLines(places.value.cacheDir, report.lineless, env.fs, dialogs);
    for (const std::string& line : restored.restored) out.line("Line put back: ", Name{line});
    if (!restored.status.ok()) {
        err.line(kProg, "no line was put back (", Name{restored.status.text}, ")");
        return kExitFailed;
    }
    return kExitOk;
}

int historyCommand(Environment& env) {
    const std::vector<HistoryEntry> history = RunHistory(env.programFolder, env.fs);
    LineWriter out(env.out);
    if (history.empty()) out.line("No runs recorded yet.");
    for (const HistoryEntry& e : history) out.line(Name{historyLine(e)});
    return kExitOk;
}

}  // namespace

int runCommand(const Arguments& a, Environment& env) {
    TerminalDialogs dialogs(env.err, env.in, env.interactive, a.yes);
    switch (a.command) {
        case Command::Help:
            LineWriter(env.out).text(Fixed{a.helpText.empty() ? usageText() : a.helpText});
            return kExitOk;
        case Command::List:
            return listCommand(a, env, dialogs);
        case Command::Run:
            return runCommandRun(a, env, dialogs);
        case Command::Purge:
            return purgeCommand(a, env, dialogs);
        case Command::DeleteTmp:
            return deleteTmpCommand(env, dialogs);
        case Command::PurgeDays:
            return purgeDaysCommand(a, env, dialogs);
        case Command::SetGameDir:
            return setGameDirCommand(a, env, dialogs);
        case Command::FindGame:
            return findGameCommand(a, env);
        case Command::Undo:
            return undoCommand(a, env, dialogs);
        case Command::History:
            return historyCommand(env);
        case Command::Check:
            return checkCommand(a, env, dialogs);
        case Command::Info:
            return infoCommand(a, env, dialogs);
    }
    return kExitUsage;
}

int runMain(const std::vector<std::string>& words, Environment& env) {
    LineWriter err(env.err);
    if (words.empty()) {
        err.text(Fixed{usageText()});
        return kExitUsage;
    }
    ParseResult parsed = parseArguments(words);
    if (!parsed.ok()) {
        err.line(kProg, Message{parsed.error});
        err.line("Try 'quorvel-cli --help'.");
        return kExitUsage;
    }
    // The undo lists what it would move back itself.
    const bool planned = parsed.args.dryRun && parsed.args.command != Command::Undo;
    const int code = planned ? runDryRun(parsed.args, env) : runCommand(parsed.args, env);
    LineWriter(env.out).flush();
    if (env.out) return code;
    const Command c = parsed.args.command;
    const bool onlyPrints = c == Command::Help || c == Command::List || c == Command::FindGame ||
                            c == Command::History ||
                            (c == Command::Info && parsed.args.picturePath.empty());
    return withOutputFailed(code, !onlyPrints);
}

}  // namespace qv::cli
