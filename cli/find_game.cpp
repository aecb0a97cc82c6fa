#include "cli/find_game.h"

#include <cstdlib>
#include <ctime>
#include <optional>

#include "cli/json_output.h"
#include "cli/terminal_dialogs.h"
#include "platform/filesystem.h"
#include "platform/line_writer.h"
#include "platform/paths.h"
#include "platform/textfile.h"
#include "settings/cls_registry.h"
#include "settings/game_finder.h"
#include "settings/mdl_ini.h"
#include "settings/program_files.h"

namespace qv::cli {

namespace {

constexpr char kProg[] = "quorvel-cli: ";

// How long set-game-dir --found follows the order find-game listed rather than the order found
// again (a download between the two can swap copies whose caches hold about as many packages).
constexpr std::time_t kListingKeptSeconds = 30 * 60;
constexpr std::string_view kListingHead = "quorvel find-game listing ";

// The listing's file: beside the registry store.
std::string listingFile(const Environment& env) {
    return joinPath(parentFolder(env.registryPath), "found-games.txt");
}

// Keeps the folders listed, in order, with the time, for set-game-dir --found; says so on
// standard error when it cannot (--found then counts the copies found again).
void keepListing(const std::vector<FoundGame>& games, Environment& env) {
    std::string text = std::string(kListingHead) + std::to_string(std::time(nullptr)) + "\n";
    for (const FoundGame& g : games) {
        if (g.folder.find('\n') != std::string::npos) return;
        text += g.folder + "\n";
    }
    // The folder with its parents: a fresh home may have no ~/.config yet.
    Status kept = makeFolders(env.fs, parentFolder(env.registryPath));
    if (kept) kept = env.fs.writeAtomic(listingFile(env), text);
    if (!kept)
        LineWriter(env.err).line(kProg, "note: the listing was not kept in ",
                                 Name{listingFile(env)}, " (", Name{kept.text},
                                 "); set-game-dir --found will count the copies found again");
}

// The folders find-game listed, in order, when it listed them within the last half hour.
std::optional<std::vector<std::string>> recentListing(Environment& env) {
    const Result<std::string> text = env.fs.readPlainFile(listingFile(env), std::size_t{1} << 20);
    if (!text || !text.value.starts_with(kListingHead)) return std::nullopt;
    std::vector<std::string> lines = splitLines(text.value);
    const std::time_t when = std::strtoll(lines[0].c_str() + kListingHead.size(), nullptr, 10);
    const std::time_t now = std::time(nullptr);
    if (when > now || now - when > kListingKeptSeconds) return std::nullopt;
    lines.erase(lines.begin());
    while (!lines.empty() && lines.back().empty()) lines.pop_back();
    return lines;
}

std::string settingsFile(const Environment& env) {
    return programFiles(env.programFolder, env.fs).settingsFile;
}

}  // namespace

int findGameCommand(const Arguments& a, Environment& env) {
    std::vector<std::string> notes;
    const std::vector<FoundGame> games = findGames(gameSearchFromEnvironment(), env.fs, &notes);
    LineWriter out(env.out), err(env.err);
    // A note names a Wine prefix or a game's folder: a Name, like the folders listed.
    for (const std::string& note : notes) err.line(kProg, "note: ", Name{note});
    for (std::size_t i = 0; i < games.size(); ++i)
        if (!games[i].cacheNote.empty())
            err.line(kProg, "note: ", i + 1, " (", Name{games[i].shortFolder},
                     "): ", Name{games[i].cacheNote});
    keepListing(games, env);
    if (a.json) printGamesJson(games, env.out);  // an empty list too, for scripts
    if (games.empty()) {
        err.line(kProg, "no Unreal Tournament found (see quorvel-cli --help for where it ",
                 "looks); set it with: quorvel-cli set-game-dir DIR");
        for (const char* perUser : {".utpg", ".loki/ut"})
            if (env.fs.isFolder(joinGenericPath(homeFolder(), perUser)))
                err.line(kProg, Fixed{joinGenericPath("~", perUser)},
                         " holds a native game's settings, but no ",
                         "install of it was found: give set-game-dir the folder you unpacked ",
                         "the game in");
        return kExitFailed;
    }
    if (a.json) return kExitOk;
    // Each line four fields: the names escaped keep their tabs and line ends out of the row.
    for (const FoundGame& g : games)
        out.line(Name{g.folder}, '\t', Name{g.kind}, '\t',
                 g.cacheDir.empty() ? Fixed{"-"} : Fixed{}, Name{g.cacheDir}, '\t',
                 Fixed{packagesColumn(g)});
    return kExitOk;
}

namespace {

// Stores the game folder and the cache folder in use; false with an error on stderr when the
// store could not be written.
bool storeGame(Environment& env, Dialogs& dialogs, const std::string& folder,
               const std::string& cacheDir) {
    (void)dialogs;  // the failure is said once, with its reason, below
    clsRegistry game = clsRegistry::gameKey(nullptr, env.registryPath);
    clsRegistry program = clsRegistry::programKey(nullptr, env.registryPath);
    LineWriter err(env.err);
    if (!game.WriteEntry("Folder", folder)) {
        err.line(kProg, "the game folder was not stored in ", Name{env.registryPath}, " (",
                 Name{game.lastWriteStatus().text}, ")");
        return false;
    }
    if (program.WriteEntry("CacheDir", cacheDir)) return true;
    err.line(kProg, "the cache folder was not stored in ", Name{env.registryPath}, " (",
             Name{program.lastWriteStatus().text}, "); the game folder was");
    return false;
}

// Stores the N-th game found: its folder, and its cache folder as the one in use ("" lets the
// next scan form it from the game folder).
int setFoundGameCommand(const Arguments& a, Environment& env, TerminalDialogs& dialogs) {
    const std::vector<FoundGame> games = findGames(gameSearchFromEnvironment(), env.fs);
    // The N-th of the listing find-game showed, when it showed one a short while ago.
    const std::optional<std::vector<std::string>> seen = recentListing(env);
    const std::size_t n = static_cast<std::size_t>(a.found);
    LineWriter out(env.out), err(env.err);
    if (n > (seen ? seen->size() : games.size())) {
        err.line(kProg, "find-game lists ", seen ? seen->size() : games.size(), " game(s), not ",
                 a.found);
        return kExitUsage;
    }
    if (!seen)
        err.line(kProg, "note: no listing of find-game from the last half hour; ", a.found,
                 " is counted in the order the copies are found now");
    const FoundGame* chosen = seen ? nullptr : &games[n - 1];
    for (const FoundGame& g : games)
        if (seen && g.folder == (*seen)[n - 1]) chosen = &g;
    if (!chosen) {
        err.line(kProg, "the game find-game listed as ", a.found, " (", Name{(*seen)[n - 1]},
                 ") is not found any more; run find-game again");
        return kExitFailed;
    }
    const FoundGame& g = *chosen;
    const std::string folder = g.folder + kSep;
    if (!storeGame(env, dialogs, folder, g.cacheDir)) return kExitFailed;
    out.line("Unreal Tournament folder set to ", Name{folder}, " (", Name{g.kind}, ")");
    if (g.cacheDir.empty())
        out.line("Cache folder set to the game's own");
    else
        out.line("Cache folder set to ", Name{g.cacheDir});
    return kExitOk;
}

}  // namespace

int setGameDirCommand(const Arguments& a, Environment& env, TerminalDialogs& dialogs) {
    if (a.found) return setFoundGameCommand(a, env, dialogs);
    std::string dir = toNativeSeparators(a.value);
    const std::string resolved = realPath(dir);
    LineWriter out(env.out), err(env.err);
    if (resolved.empty() || !env.fs.isFolder(resolved)) {
        err.line(kProg, Name{a.value}, " is not a folder");
        return kExitUsage;
    }
    std::string folder = resolved;
    if (!endsWithSeparator(folder)) folder += kSep;
    // The game's own cache goes with it, found as find-game finds it: a cache folder kept from
    // another copy would send that copy's packages into this one's folders.
    const GameCache cache = copyCache(resolved, gameSearchFromEnvironment(), env.fs);
    if (!storeGame(env, dialogs, folder, cache.folder)) return kExitFailed;
    out.line("Unreal Tournament folder set to ", Name{folder});
    if (cache.folder.empty())
        out.line("No cache folder stored: none could be told for this copy (the folder its ",
                 "CachePath names is not there, or is on a drive letter of no Wine prefix ",
                 "found); the next scan looks in ", Name{folder},
                 Name{toNativeSeparators(INIGetSettingString("Dirs", "CachePath", settingsFile(env),
                                                             "", nullptr, &env.fs))});
    else
        out.line("Cache folder set to ", Name{cache.folder},
                 Fixed{cache.unreadable   ? " (it cannot be read)"
                       : cache.holdsIndex ? ""
                                          : " (it holds no cache.ini yet)"});
    if (!holdsGameFiles(resolved, env.fs))
        err.line(kProg, "note: ", Name{folder},
                 " holds none of the game's files (System/UnrealTournament.ini, its programs); ",
                 "is it the Unreal Tournament folder?");
    return kExitOk;
}

}  // namespace qv::cli
