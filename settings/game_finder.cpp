#include "settings/game_finder.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <functional>
#include <unordered_set>

#include "platform/ascii.h"
#include "platform/filesystem.h"
#include "platform/paths.h"
#include "platform/textfile.h"
#include "platform/trace.h"
#include "settings/cache_index_format.h"
#include "settings/folder_listing.h"
#include "settings/game_cache.h"
#include "settings/launcher_files.h"
#include "settings/wine_registry.h"

namespace qv {

namespace {

// The game's key as its installer writes it, and its twin for 32-bit programs on 64-bit Windows
// (value Folder).
const std::vector<std::string> kGameKeys = {
    "HKEY_LOCAL_MACHINE\\Software\\Unreal Technology\\Installed Apps\\UnrealTournament",
    "HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\Unreal Technology\\Installed Apps\\"
    "UnrealTournament"};
// GOG's installer writes a key per game below these (value path).
const std::vector<std::string> kGogKeys = {
    "HKEY_LOCAL_MACHINE\\Software\\GOG.com\\Games",
    "HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\GOG.com\\Games"};

// The most that is read of a file another program keeps: a Wine registry of a well-used prefix
// runs to tens of MB, a cache index of 100,000 packages to about 6 MB; launchers' files are small.
constexpr std::size_t kRegistryCap = std::size_t{256} << 20;
constexpr std::size_t kLauncherFileCap = std::size_t{16} << 20;

// The packages of a cache: its plain files (not links) whose GUID has an entry line (a GUID,
// "=", the real name) in its index.
std::size_t countPackages(const std::string& text, const std::string& cacheDir, FileSystem& fs) {
    std::unordered_set<std::string> guids;
    for (const std::string& line : splitLines(text))
        if (line.size() > kRealNameStart && line[kGuidLength] == '=')
            guids.insert(upperAscii(std::string_view(line).substr(0, kGuidLength)));
    const Result<std::vector<FileInfo>> files = fs.listFiles(cacheDir, "*.*");
    std::size_t n = 0;
    for (const FileInfo& f : files.value)
        n += !f.link && f.name.find('.') == kGuidLength &&
             guids.count(upperAscii(f.name.substr(0, kGuidLength)));
    return n;
}

// The text of a REG_SZ or REG_EXPAND_SZ value, "" for any other.
std::string textValue(RegKey& key, const char* name) {
    const RegValue* v = key.find(name);
    if (!v || (v->type != REG_SZ_TYPE && v->type != REG_EXPAND_SZ_TYPE)) return {};
    return v->data.substr(0, v->data.find('\0'));
}

class Finder {
  public:
    Finder(const GameSearch& where, FileSystem& fs)
        : where_(where), fs_(fs), listings_(fs), home_(canonical(where.home)) {
        if (home_.empty()) home_ = where_.home;
        dataHomes_ = {joinPath(where_.home, ".local", "share")};
        if (!where_.dataHome.empty() && where_.dataHome != dataHomes_[0])
            dataHomes_.insert(dataHomes_.begin(), where_.dataHome);
        configHomes_ = {joinPath(where_.home, ".config")};
        if (!where_.configHome.empty() && where_.configHome != configHomes_[0])
            configHomes_.insert(configHomes_.begin(), where_.configHome);
        for (const std::string& perUser : perUserFolders(where_.home, false))
            if (std::string c = canonical(perUser); !c.empty()) perUser_.push_back(c);
    }

    std::vector<FoundGame> run(std::vector<std::string>* notes) {
        const std::string& h = where_.home;
        for (const std::string& data : dataHomes_)
            consider(joinPath(data, "OldUnreal", "UnrealTournament"), "native install");
        consider(joinPath(h, ".local", "games", "ut"), "native install");
        // Any folder there that holds the game: /opt/UnrealTournament, /usr/local/games/ut...
        for (const std::string& top : sharedProgramFolders())
            eachFolder(where_.systemRoot + top,
                       [&](const std::string& d) { consider(d, "native install"); });
        winePrefix(joinPath(h, ".wine"), "Wine prefix");
        if (!where_.winePrefix.empty()) winePrefix(where_.winePrefix, "Wine prefix");
        for (const std::string& data : dataHomes_)
            eachFolder(joinPath(data, "wineprefixes"),
                       [&](const std::string& p) { winePrefix(p, "Wine prefix"); });
        // Prefixes players name themselves (WINEPREFIX=~/.wine-ut99), and CrossOver's bottles.
        if (const auto* entries = listings_.entries(h))
            for (const FolderListings::Entry& e : *entries)
                if (e.name.starts_with(".wine")) winePrefix(joinPath(h, e.name), "Wine prefix");
        eachFolder(joinPath(h, ".cxoffice"),
                   [&](const std::string& p) { winePrefix(p, "CrossOver bottle"); });
        lutris();
        bottles(joinGenericPath(h, ".var/app/com.usebottles.bottles/data/bottles"));
        for (const std::string& data : dataHomes_) bottles(joinPath(data, "bottles"));
        heroic();
        eachFolder(joinPath(h, ".PlayOnLinux", "wineprefix"),
                   [&](const std::string& p) { winePrefix(p, "PlayOnLinux prefix"); });
        for (const std::string& data : dataHomes_) steamRoot(joinPath(data, "Steam"));
        for (const char* steam :
             {".steam/steam", ".steam/root", ".var/app/com.valvesoftware.Steam/.local/share/Steam",
              ".var/app/com.valvesoftware.Steam/data/Steam",
              "snap/steam/common/.local/share/Steam"})
            steamRoot(joinGenericPath(h, steam));
        // A build unpacked by hand: in the home folder, where a desktop entry starts it, or
        // where the per-user folders it fills point to.
        eachFolder(h, [&](const std::string& d) { consider(d, kindOf(d, "game folder")); });
        for (const std::string& d : dataHomes_) desktopEntries(joinPath(d, "applications"), 0);
        perUserPointers();

        std::stable_sort(found_.begin(), found_.end(), [](const FoundGame& a, const FoundGame& b) {
            if (a.cacheDir.empty() != b.cacheDir.empty()) return b.cacheDir.empty();
            return a.cachedPackages > b.cachedPackages;
        });
        if (notes) *notes = std::move(notes_);
        return std::move(found_);
    }

  private:
    std::string canonical(const std::string& path) {
        const Result<std::string> r = fs_.canonicalPath(path);
        return r ? r.value : std::string();
    }

    template <typename Visit>
    void eachFolder(const std::string& folder, Visit visit) {
        for (const std::string& name : listings_.folders(folder)) visit(joinPath(folder, name));
        if (const Status* failed = unreadable(folder))
            note(shownAsGiven(folder) + " could not be read (" + failed->text +
                 "): the games in it were not looked for");
    }

    // Why `folder` is there but cannot be listed; nullptr when it was listed or is not there.
    const Status* unreadable(const std::string& folder) {
        if (listings_.entries(folder)) return nullptr;
        const Status* failed = listings_.listingFailure(folder);
        return failed && failed->code != ENOENT && failed->code != ENOTDIR ? failed : nullptr;
    }

    // A launcher's file; one that is there but cannot be read is named in a note.
    Result<std::string> readLauncherFile(const std::string& path) {
        Result<std::string> text = fs_.readPlainFile(path, kLauncherFileCap);
        if (!text && text.status.code != ENOENT && text.status.code != ENOTDIR)
            note(shownAsGiven(path) + " was passed over (" +
                 unreadableWhy(text.status, kLauncherFileCap) + ")");
        return text;
    }

    // "~/..." for a path in the home folder, as people write it.
    std::string shown(const std::string& path) {
        const std::string c = canonical(path);
        const std::string& p = c.empty() ? path : c;
        if (!home_.empty() && liesUnder(p, home_)) return "~" + p.substr(home_.size());
        return p;
    }

    // "~/..." for a path in the home folder, its links kept (a file's own name is what counts).
    std::string shownAsGiven(const std::string& path) {
        if (liesUnder(path, where_.home)) return "~" + path.substr(where_.home.size());
        return path;
    }

    // "native install" for a Linux build, else `other`.
    std::string kindOf(const std::string& folder, const std::string& other) {
        return listings_.holdsNativeProgram(folder) ? "native install" : other;
    }

    // `prefix`: the Wine prefix whose drive letters the game's CachePath may use; "" to look
    // for one above the folder.
    void consider(const std::string& candidate, const std::string& kind,
                  const std::string& prefix = {}) {
        const auto passed = [&](const std::string& why) {
            trace::line(trace::Category::Finder, candidate + " (" + kind + "): " + why);
        };
        if (candidate.empty()) return;
        if (!listings_.holdsGameFiles(candidate)) {
            if (const Status* failed = unreadable(candidate))
                return passed("passed over: cannot be read (" + failed->text + ")");
            return passed("passed over: no game files");
        }
        const std::string folder = canonical(candidate);
        // Missing, or a broken link.
        if (folder.empty() || !fs_.isFolder(folder)) return passed("passed over: no folder");
        // The per-user folders hold settings and a cache, never the game: the install is
        // found through what they point to.
        if (std::find(perUser_.begin(), perUser_.end(), folder) != perUser_.end())
            return passed("passed over: a per-user folder");
        for (const FoundGame& g : found_)
            if (g.folder == folder) return passed("found already");
        passed("a game");
        FoundGame game;
        game.folder = folder;
        game.kind = kind;
        game.winePrefix = prefix.empty() ? winePrefixAbove(folder, fs_) : prefix;
        const GameCache cache = gameCache(folder, game.winePrefix, where_.home, listings_, fs_);
        if (cache.holdsIndex || cache.unreadable) game.cacheDir = cache.folder;
        game.cacheFolderUnreadable = cache.unreadable;
        game.shortFolder = shown(folder);
        if (cache.holdsIndex) game.cacheNote = perUserCacheNote(folder, cache.folder);
        if (cache.holdsIndex) {
            const Result<std::string> index =
                fs_.readPlainFile(joinPath(game.cacheDir, "cache.ini"), kRegistryCap);
            if (index)
                game.cachedPackages = countPackages(index.value, game.cacheDir, fs_);
            else
                game.cacheUnreadable = true;
        }
        found_.push_back(std::move(game));
    }

    // The game's folder as the prefix's registry names it: the game's own key (plain and
    // Wow6432Node) and GOG's keys.
    // Then the copies put there without a key (copied, unpacked): see unkeyedCopies.
    void winePrefix(const std::string& prefix, const std::string& what) {
        // A prefix is known by its system.reg, whatever lies under that name: one that cannot
        // be read is still a prefix, and its drive_c is still looked through.
        if (!listings_.holdsEntry(prefix, "system.reg")) return;
        const std::string real = canonical(prefix);
        if (std::find(prefixes_.begin(), prefixes_.end(), real) != prefixes_.end()) return;
        prefixes_.push_back(real);
        const std::string kind = what + " " + shown(prefix);
        const std::string reg = joinPath(shown(prefix), "system.reg");
        const Result<std::string> text =
            fs_.readPlainFile(joinPath(prefix, "system.reg"), kRegistryCap);
        if (!text) {
            note(reg + " could not be read (" + unreadableWhy(text.status, kRegistryCap) +
                 "): its keys were not looked at; the copies in its drive_c are looked for");
        } else if (text.value.starts_with("\xff\xfe") || text.value.starts_with("\xfe\xff")) {
            // Wine reads its registry as 8-bit text only: a UTF-16 one (saved by an editor)
            // names no folder Wine knows of.
            note(reg + " is UTF-16 text, which Wine does not read: its keys were not looked at");
        } else {
            registryCopies(text.value, prefix, kind);
        }
        unkeyedCopies(prefix, kind);
    }

    // What a player should hear of: on standard error, and in the trace where it happened.
    void note(const std::string& text) {
        if (std::find(notes_.begin(), notes_.end(), text) != notes_.end()) return;  // said once
        trace::line(trace::Category::Finder, text);
        notes_.push_back(text);
    }

    // Why a file another program keeps was not read, in a few words; `cap`: the most read of it.
    static std::string unreadableWhy(const Status& status, std::size_t cap) {
        if (status.code == EINVAL) return "not a plain file";
        if (status.code == EFBIG) return "larger than " + std::to_string(cap >> 20) + " MiB";
        return status.text;
    }

    void registryCopies(const std::string& text, const std::string& prefix,
                        const std::string& kind) {
        RegDocument doc = parseWineRegistryText(text, kGameKeys, kGogKeys);
        for (RegKey& key : doc.keys) {
            const bool gog = std::none_of(kGameKeys.begin(), kGameKeys.end(),
                                          [&](auto& k) { return sameNameNoCase(k, key.name); });
            const std::string windowsPath = textValue(key, gog ? "path" : "Folder");
            const std::string path = pathInPrefix(prefix, windowsPath, listings_, fs_);
            if (!path.empty()) consider(path, kind, prefix);
        }
    }

    void unkeyedCopies(const std::string& prefix, const std::string& kind);
    // Calls `visit` with each folder below `base` that `pattern` names (see kUnkeyedFolders).
    void eachMatch(const std::string& base, std::string_view pattern,
                   const std::function<void(const std::string&)>& visit);
    void windowsSteam(const std::string& steam, const std::string& prefix, const std::string& kind);
    std::string perUserCacheNote(const std::string& folder, const std::string& cacheDir);
    void bottles(const std::string& data);
    void bottle(const std::string& bottle);
    void steamShortcuts(const std::string& root);
    void lutris();
    void heroic();
    void heroicPrefix(const std::string& prefix);
    void steamRoot(const std::string& root);
    void desktopEntries(const std::string& folder, int depth);
    void perUserPointers();

    const GameSearch& where_;
    FileSystem& fs_;
    FolderListings listings_;
    std::string home_;
    std::vector<std::string> dataHomes_, configHomes_, perUser_;
    std::vector<FoundGame> found_;
    std::vector<std::string> libraries_, steamRoots_, prefixes_, notes_;
};

// Where games are put in a prefix without a key (copied from another computer, unpacked from an
// archive, or by an installer whose key was not kept), below drive_c: parts between '/', and a
// part ending in '*' stands for every folder whose name begins with what comes before it, in
// any letter case. One level down where people and installers put games, never deeper.
constexpr const char* kUnkeyedFolders[] = {
    "*",                                  // straight into drive_c
    "Program Files*/*",                   // both views of the programs' folder
    "GOG Games/*",                        // GOG's offline installers
    "Games/*",                            // Heroic's and many players' choice
    "Program Files*/GOG Galaxy/Games/*",  // GOG Galaxy
    "Program Files*/Epic Games/*",        // the Epic Games Launcher
    "Program Files*/Epic/*",
    "users/*/Games/*",  // a Windows user's own games folder
};

void Finder::unkeyedCopies(const std::string& prefix, const std::string& kind) {
    const std::string drive = listings_.resolveNoCase(prefix, "drive_c");
    if (drive.empty()) return;
    for (const char* pattern : kUnkeyedFolders)
        eachMatch(drive, pattern, [&](const std::string& d) { consider(d, kind, prefix); });
    // Windows Steam installed in the prefix, and the libraries it keeps on the prefix's drives.
    eachMatch(drive, "Program Files*/Steam",
              [&](const std::string& steam) { windowsSteam(steam, prefix, kind); });
}

void Finder::eachMatch(const std::string& base, std::string_view pattern,
                       const std::function<void(const std::string&)>& visit) {
    const std::size_t cut = pattern.find('/');  // not a path: the table's own separator
    const std::string_view part = pattern.substr(0, cut);
    const std::string_view rest =
        cut == pattern.npos ? std::string_view() : pattern.substr(cut + 1);
    const auto next = [&](const std::string& dir) {
        if (rest.empty())
            visit(dir);
        else
            eachMatch(dir, rest, visit);
    };
    if (!part.ends_with('*')) {
        if (const std::string dir = listings_.resolveNoCase(base, std::string(part)); !dir.empty())
            next(dir);
        return;
    }
    const std::string_view start = part.substr(0, part.size() - 1);
    for (const std::string& name : listings_.folders(base))
        if (name.size() >= start.size() && sameNameNoCase(name.substr(0, start.size()), start))
            next(joinPath(base, name));
}

// Steam for Windows in a prefix: its own library and those its libraryfolders.vdf names, by
// Windows paths on the prefix's drives.
void Finder::windowsSteam(const std::string& steam, const std::string& prefix,
                          const std::string& kind) {
    std::vector<std::string> libraries{steam};
    for (const char* vdf : {"steamapps/libraryfolders.vdf", "config/libraryfolders.vdf"}) {
        const std::string file = listings_.resolveNoCase(steam, vdf);
        if (file.empty()) continue;
        const Result<std::string> text = readLauncherFile(file);
        if (!text) continue;
        for (const std::string& path : steamLibraryPaths(text.value))
            if (std::string lib = pathInPrefix(prefix, path, listings_, fs_); !lib.empty())
                libraries.push_back(std::move(lib));
    }
    for (const std::string& library : libraries) {
        const std::string apps = listings_.resolveNoCase(library, "steamapps");
        if (!apps.empty())
            consider(listings_.resolveNoCase(apps, joinPath("common", "Unreal Tournament")),
                     "Steam in " + kind, prefix);
    }
}

// Why a native build's cache is its per-user folder's though the folder has settings of its
// own; "" when it is not.
std::string Finder::perUserCacheNote(const std::string& folder, const std::string& cacheDir) {
    if (!listings_.holdsNativeProgram(folder)) return {};
    const PerUserSettings settings = perUserSettings(folder, fs_, where_.home);
    if (settings.namedBy.empty()) return {};
    return "the Linux program is there and " + shown(settings.namedBy) +
           " names this folder as the game's, so the game reads the settings in " +
           shown(settings.folder) + " and fills " + shown(cacheDir) +
           ", not the cache the folder's own settings name";
}

// Bottles: the bottles in its library and in the custom one its data.yml names.
void Finder::bottles(const std::string& data) {
    eachFolder(joinPath(data, "bottles"), [&](const std::string& b) { bottle(b); });
    const Result<std::string> yml = readLauncherFile(joinPath(data, "data.yml"));
    if (!yml) return;
    std::string custom = yamlTopValue(yml.value, "custom_bottles_path");
    custom = withHomeExpanded(std::move(custom), where_.home);
    if (isAbsolutePath(custom)) eachFolder(custom, [&](const std::string& b) { bottle(b); });
}

// A bottle: the prefix, and the programs its bottle.yml lists (which may lie outside it).
void Finder::bottle(const std::string& bottle) {
    winePrefix(bottle, "Bottles bottle");
    const Result<std::string> yml = readLauncherFile(joinPath(bottle, "bottle.yml"));
    if (!yml) return;
    for (const std::string& path : bottleProgramPaths(yml.value))
        consider(gameFolderOf(path, fs_), "Bottles bottle " + shown(bottle), bottle);
}

// The games a player added to Steam (Steam Deck players add the game so), each found through
// its program or its start folder, with the Proton prefix Steam made for it.
void Finder::steamShortcuts(const std::string& root) {
    eachFolder(joinPath(root, "userdata"), [&](const std::string& user) {
        const Result<std::string> vdf = readLauncherFile(joinPath(user, "config", "shortcuts.vdf"));
        if (!vdf) return;
        for (const SteamShortcut& s : qv::steamShortcuts(vdf.value)) {
            std::string prefix;
            if (s.appId != 0)
                prefix = listings_.resolveNoCase(
                    root, joinPath("steamapps", "compatdata", std::to_string(s.appId), "pfx"));
            for (const std::string& path : {s.exe, s.startDir}) {
                const std::string dir = isAbsolutePath(path) ? gameFolderOf(path, fs_) : "";
                if (!listings_.holdsGameFiles(dir)) continue;
                consider(dir, "Steam shortcut " + (s.name.empty() ? shown(dir) : s.name), prefix);
                break;
            }
        }
    });
}

// Lutris: the prefixes and folders its games' files name, and its folders in ~/Games.
void Finder::lutris() {
    const std::string& h = where_.home;
    std::vector<std::string> named;  // the folders Lutris's files name, as written
    std::vector<std::string> gameFiles;
    for (const std::string& c : configHomes_) gameFiles.push_back(joinPath(c, "lutris", "games"));
    for (const std::string& d : dataHomes_) gameFiles.push_back(joinPath(d, "lutris", "games"));
    gameFiles.push_back(joinGenericPath(h, ".var/app/net.lutris.Lutris/config/lutris/games"));
    gameFiles.push_back(joinGenericPath(h, ".var/app/net.lutris.Lutris/data/lutris/games"));
    for (const std::string& games : gameFiles) {
        for (const std::string& name : listings_.filesEndingIn(games, ".yml")) {
            const Result<std::string> text = readLauncherFile(joinPath(games, name));
            if (!text) continue;
            LutrisGame game = lutrisGame(text.value, h);
            // A program named relative to the prefix, as Lutris allows.
            if (!game.exe.empty() && !isAbsolutePath(game.exe) && !game.prefix.empty())
                game.exe = joinPath(game.prefix, game.exe);
            if (!game.prefix.empty()) {
                named.push_back(game.prefix);
                winePrefix(game.prefix, "Lutris prefix");
            }
            // The program's folder is System or System64; the game's is the one above.
            const std::string exeFolder = game.exe.substr(0, lastSeparator(game.exe));
            const std::string folderName = fileNameOf(exeFolder);
            if (sameNameNoCase(folderName, "System") || sameNameNoCase(folderName, "System64")) {
                const std::string dir = exeFolder.substr(0, lastSeparator(exeFolder));
                named.push_back(dir);
                consider(dir, "Lutris game " + shown(dir));
            }
        }
    }
    // ~/Games is Lutris's folder, but players unpack games there by hand too: a folder is
    // Lutris's when one of its files names it or it is a Wine prefix, as Lutris makes them.
    eachFolder(joinPath(h, "Games"), [&](const std::string& dir) {
        winePrefix(dir, "Lutris prefix");
        const bool lutrisMade = listings_.holdsEntry(dir, "system.reg") ||
                                std::find(named.begin(), named.end(), dir) != named.end();
        consider(dir, lutrisMade ? "Lutris game " + shown(dir) : kindOf(dir, "game folder"));
    });
}

// Heroic: its GOG games' folders and the prefixes its settings name (also in its Flatpak's
// folder), its default folder ~/Games/Heroic and the prefixes there.
void Finder::heroic() {
    const std::string& h = where_.home;
    std::vector<std::string> roots;
    for (const std::string& config : configHomes_) roots.push_back(joinPath(config, "heroic"));
    roots.push_back(joinGenericPath(h, ".var/app/com.heroicgameslauncher.hgl/config/heroic"));
    for (const std::string& root : roots) {
        if (const Result<std::string> installed =
                readLauncherFile(joinPath(root, "gog_store", "installed.json")))
            for (const std::string& path : jsonTextValues(installed.value, "install_path"))
                consider(path, "Heroic game " + shown(path));
        if (const Result<std::string> config = readLauncherFile(joinPath(root, "config.json"))) {
            for (const std::string& pfx : jsonTextValues(config.value, "winePrefix"))
                heroicPrefix(pfx);
            for (const std::string& dir : jsonTextValues(config.value, "defaultInstallPath"))
                eachFolder(dir,
                           [&](const std::string& d) { consider(d, "Heroic game " + shown(d)); });
        }
        const std::string configs = joinPath(root, "GamesConfig");
        for (const std::string& name : listings_.filesEndingIn(configs, ".json"))
            if (const Result<std::string> game = readLauncherFile(joinPath(configs, name)))
                for (const std::string& pfx : jsonTextValues(game.value, "winePrefix"))
                    heroicPrefix(pfx);
    }
    eachFolder(joinPath(h, "Games", "Heroic"),
               [&](const std::string& dir) { consider(dir, "Heroic game " + shown(dir)); });
    heroicPrefix(joinPath(h, "Games", "Heroic", "Prefixes"));
}

// Heroic keeps a prefix per game, in its prefix folder or in a folder within (default); for
// Proton the prefix is the pfx folder in it.
void Finder::heroicPrefix(const std::string& prefix) {
    const auto prefixOrProton = [&](const std::string& p) {
        winePrefix(p, "Heroic prefix");
        winePrefix(joinPath(p, "pfx"), "Heroic prefix");
        return listings_.holdsEntry(p, "system.reg") ||
               listings_.holdsEntry(joinPath(p, "pfx"), "system.reg");
    };
    if (prefixOrProton(prefix)) return;
    eachFolder(prefix, [&](const std::string& pfx) {
        if (!prefixOrProton(pfx)) eachFolder(pfx, prefixOrProton);
    });
}

void Finder::steamRoot(const std::string& root) {
    const std::string real = canonical(root);
    if (real.empty() ||
        std::find(steamRoots_.begin(), steamRoots_.end(), real) != steamRoots_.end())
        return;
    steamRoots_.push_back(real);
    std::vector<std::string> libraries{root};
    for (const char* vdf : {"steamapps/libraryfolders.vdf", "SteamApps/libraryfolders.vdf",
                            "config/libraryfolders.vdf"}) {
        const Result<std::string> text = readLauncherFile(joinGenericPath(root, vdf));
        if (!text) continue;
        for (std::string& path : steamLibraryPaths(text.value)) libraries.push_back(path);
    }
    for (const std::string& library : libraries) {
        const std::string lib = canonical(library);
        if (lib.empty() || std::find(libraries_.begin(), libraries_.end(), lib) != libraries_.end())
            continue;
        libraries_.push_back(lib);
        // Older libraries spell the folder SteamApps.
        const std::string apps = listings_.resolveNoCase(lib, "steamapps");
        if (apps.empty()) continue;
        consider(listings_.resolveNoCase(apps, joinPath("common", "Unreal Tournament")),
                 "Steam library " + shown(lib));
        eachFolder(listings_.resolveNoCase(apps, "compatdata"),
                   [&](const std::string& a) { winePrefix(joinPath(a, "pfx"), "Proton prefix"); });
    }
    steamShortcuts(root);
}

// The folders desktop entries start programs in or from (wine's own lie some folders down).
void Finder::desktopEntries(const std::string& folder, int depth) {
    for (const std::string& name : listings_.filesEndingIn(folder, ".desktop")) {
        const Result<std::string> text = readLauncherFile(joinPath(folder, name));
        if (!text) continue;
        for (const std::string& path : desktopEntryPaths(text.value)) {
            const std::string dir = gameFolderOf(path, fs_);
            consider(dir, kindOf(dir, "desktop entry " + name));
        }
    }
    if (depth < 4)
        eachFolder(folder, [&](const std::string& sub) { desktopEntries(sub, depth + 1); });
}

// What the per-user folders point to: links into the install, the game's logs ("Base
// directory: ..."), and absolute paths in its settings (Paths=/home/.../System/*.u).
void Finder::perUserPointers() {
    for (const std::string& perUser : perUser_)
        for (const PerUserPointer& p : qv::perUserPointers(perUser, listings_, fs_)) {
            const std::string game = gameFolderOf(p.path, fs_);
            consider(game, kindOf(game, "game folder"));
        }
}

}  // namespace

GameSearch gameSearchFromEnvironment() {
    GameSearch where;
    where.home = homeFolder();
    if (const char* prefix = std::getenv("WINEPREFIX")) where.winePrefix = prefix;
    where.dataHome = absolutePathFromEnvironment("XDG_DATA_HOME");
    where.configHome = absolutePathFromEnvironment("XDG_CONFIG_HOME");
    return where;
}

std::vector<FoundGame> findGames(const GameSearch& where, FileSystem& fs,
                                 std::vector<std::string>* notes) {
    if (where.home.empty()) return {};
    return Finder(where, fs).run(notes);
}

GameCache copyCache(const std::string& folder, const GameSearch& where, FileSystem& fs) {
    std::string prefix;
    for (const FoundGame& g : findGames(where, fs))
        if (g.folder == folder) prefix = g.winePrefix;
    if (prefix.empty()) prefix = winePrefixAbove(folder, fs);
    FolderListings listings(fs);
    return gameCache(folder, prefix, where.home, listings, fs);
}

bool holdsGameFiles(const std::string& folder, FileSystem& fs) {
    FolderListings listings(fs);
    return listings.holdsGameFiles(folder);
}

std::string placeName(const FoundGame& game) {
    return game.kind + "\n" + game.shortFolder + " (" + packagesText(game) + ")";
}

std::string packagesText(const FoundGame& game) {
    if (game.cacheDir.empty()) return "no cache found";
    if (game.cacheFolderUnreadable || game.cacheUnreadable) return packagesColumn(game);
    const std::size_t n = game.cachedPackages;
    return std::to_string(n) + (n == 1 ? " package" : " packages");
}

std::string packagesColumn(const FoundGame& game) {
    if (game.cacheFolderUnreadable) return "cache folder not readable";
    return game.cacheUnreadable ? "cache.ini not readable" : std::to_string(game.cachedPackages);
}

}  // namespace qv
