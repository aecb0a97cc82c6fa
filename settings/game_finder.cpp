#include "settings/game_finder.h"

#include <algorithm>
#include <cstdlib>
#include <optional>

#include "platform/ascii.h"
#include "platform/filesystem.h"
#include "platform/paths.h"
#include "platform/textfile.h"
#include "settings/cache_index_format.h"
#include "settings/mdl_ini.h"
#include "settings/program_settings.h"
#include "settings/wine_registry.h"

namespace qv {

namespace {

// Files only a copy of the game holds: its settings, its programs, its main code package.
constexpr const char* kGameFiles[] = {"System/UnrealTournament.ini",
                                      "System64/UnrealTournament.ini",
                                      "System/UnrealTournament.exe",
                                      "System64/UnrealTournament.exe",
                                      "System/ut-bin",
                                      "System/ut-bin-x86",
                                      "System64/ut-bin",
                                      "System64/ut-bin-amd64",
                                      "System64/ut-bin-arm64",
                                      "System64/UnrealTournament",
                                      "System/Botpack.u"};
// The programs of the game's Linux builds.
constexpr const char* kNativePrograms[] = {"System/ut-bin",         "System/ut-bin-x86",
                                           "System64/ut-bin",       "System64/ut-bin-amd64",
                                           "System64/ut-bin-arm64", "System64/UnrealTournament"};

// The game's key as its installer writes it, and its twin for 32-bit programs on 64-bit Windows.
constexpr const char* kGameKeys[] = {
    "HKEY_LOCAL_MACHINE\\Software\\Unreal Technology\\Installed Apps\\UnrealTournament",
    "HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\Unreal Technology\\Installed Apps\\"
    "UnrealTournament"};

bool isDriveLetterPath(const std::string& p) {
    return p.size() >= 2 && p[1] == ':' && isAlphaAscii(p[0]);
}

// `rest` below `base`, each component matched without regard to case where the exact
// spelling is not there (Windows paths in a Wine prefix, and game folders unpacked in lower
// case, name folders and files in any case). "" when a component is not there.
std::string resolveNoCase(FileSystem& fs, std::string base, const std::string& rest) {
    std::size_t start = 0;
    while (start < rest.size()) {
        std::size_t end = rest.find('/', start);
        if (end == std::string::npos) end = rest.size();
        const std::string part = rest.substr(start, end - start);
        start = end + 1;
        if (part.empty() || part == ".") continue;
        if (fs.exists(base + "/" + part)) {
            base += "/" + part;
            continue;
        }
        Result<std::vector<std::string>> names = fs.listFolders(base);
        if (names && end == rest.size()) {
            Result<std::vector<FileInfo>> files = fs.listFiles(base, "*.*");
            if (files)
                for (const FileInfo& f : files.value) names.value.push_back(f.name);
        }
        if (!names) return {};
        auto hit = std::find_if(names.value.begin(), names.value.end(),
                                [&](const std::string& n) { return sameNameNoCase(n, part); });
        if (hit == names.value.end()) return {};
        base += "/" + *hit;
    }
    return base;
}

bool holdsFileNoCase(FileSystem& fs, const std::string& folder, const char* file) {
    if (fs.isFile(folder + "/" + file)) return true;
    const std::string found = resolveNoCase(fs, folder, file);
    return !found.empty() && fs.isFile(found);
}

bool isNativeBuild(FileSystem& fs, const std::string& folder) {
    return std::any_of(std::begin(kNativePrograms), std::end(kNativePrograms),
                       [&](const char* f) { return holdsFileNoCase(fs, folder, f); });
}

// Entry lines of a cache index: a GUID, "=", the real name.
std::size_t countEntries(const std::string& text) {
    std::size_t n = 0;
    for (const std::string& line : splitLines(text))
        if (line.size() > kRealNameStart && line[kGuidLength] == '=') ++n;
    return n;
}

// What a Lutris game's file names under "game:": the Wine prefix and the program.
struct LutrisGame {
    std::string prefix;
    std::string exe;
};

// The YAML Lutris writes: "game:" at the start of a line, then indented "key: value" lines;
// values may be quoted, and "~/" stands for the home folder.
LutrisGame lutrisGame(std::string_view yaml, const std::string& home) {
    LutrisGame game;
    bool inGame = false;
    for (std::string_view line : splitLineViews(yaml)) {
        if (line.empty() || line.front() == '#') continue;
        if (line.front() != ' ' && line.front() != '\t') {
            inGame = line.starts_with("game:");
            continue;
        }
        const std::size_t colon = line.find(':');
        if (!inGame || colon == line.npos) continue;
        std::string_view key = line.substr(0, colon), value = line.substr(colon + 1);
        while (!key.empty() && (key.front() == ' ' || key.front() == '\t')) key.remove_prefix(1);
        while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
            value.remove_prefix(1);
        while (!value.empty() && (value.back() == ' ' || value.back() == '\t'))
            value.remove_suffix(1);
        if (value.size() >= 2 && (value.front() == '\'' || value.front() == '"') &&
            value.back() == value.front())
            value = value.substr(1, value.size() - 2);
        std::string path(value);
        if (path.starts_with("~/")) path = home + path.substr(1);
        if (key == "prefix") game.prefix = path;
        if (key == "exe") game.exe = path;
    }
    return game;
}

class Finder {
  public:
    Finder(const GameSearch& where, FileSystem& fs) : where_(where), fs_(fs) {
        const Result<std::string> home = fs_.canonicalPath(where_.home);
        home_ = home ? home.value : where_.home;
    }

    std::vector<FoundGame> run() {
        const std::string& h = where_.home;
        for (const char* native : {"/.local/share/OldUnreal/UnrealTournament", "/.local/games/ut"})
            consider(h + native, "native install", true);
        // Any folder there that holds the game: /opt/UnrealTournament, /usr/local/games/ut...
        for (const char* top : {"/usr/local/games", "/opt"}) {
            const std::string dir = where_.systemRoot + top;
            for (const std::string& name : folders(dir))
                consider(dir + "/" + name, "native install", true);
        }

        winePrefix(h + "/.wine", "Wine prefix");
        if (!where_.winePrefix.empty()) winePrefix(where_.winePrefix, "Wine prefix");
        eachFolder(h + "/.local/share/wineprefixes",
                   [&](const std::string& pfx) { winePrefix(pfx, "Wine prefix"); });
        lutris();
        eachFolder(h + "/.var/app/com.usebottles.bottles/data/bottles/bottles",
                   [&](const std::string& pfx) { winePrefix(pfx, "Bottles bottle"); });
        eachFolder(h + "/.local/share/bottles/bottles",
                   [&](const std::string& pfx) { winePrefix(pfx, "Bottles bottle"); });
        eachFolder(h + "/Games/Heroic",
                   [&](const std::string& dir) { consider(dir, "Heroic game " + shown(dir)); });
        // Heroic keeps a prefix per game, in Prefixes or in Prefixes/default.
        eachFolder(h + "/Games/Heroic/Prefixes", [&](const std::string& pfx) {
            if (!fs_.isFile(pfx + "/system.reg"))
                eachFolder(pfx, [&](const std::string& p) { winePrefix(p, "Heroic prefix"); });
            winePrefix(pfx, "Heroic prefix");
        });
        eachFolder(h + "/.PlayOnLinux/wineprefix",
                   [&](const std::string& pfx) { winePrefix(pfx, "PlayOnLinux prefix"); });

        for (const char* steam : {"/.local/share/Steam", "/.steam/steam",
                                  "/.var/app/com.valvesoftware.Steam/.local/share/Steam",
                                  "/.var/app/com.valvesoftware.Steam/data/Steam"})
            steamRoot(h + steam);

        // The native game's per-user folder, when no install found above keeps its cache there.
        const std::string utpgCache = canonical(h + "/.utpg/Cache");
        const bool taken = std::any_of(found_.begin(), found_.end(), [&](const FoundGame& g) {
            return !utpgCache.empty() && g.cacheDir == utpgCache;
        });
        if (!taken) consider(h + "/.utpg", "per-user folder of the native game", false);

        std::stable_sort(found_.begin(), found_.end(), [](const FoundGame& a, const FoundGame& b) {
            if (a.cacheDir.empty() != b.cacheDir.empty()) return b.cacheDir.empty();
            return a.cachedPackages > b.cachedPackages;
        });
        return std::move(found_);
    }

  private:
    std::string canonical(const std::string& path) {
        const Result<std::string> r = fs_.canonicalPath(path);
        return r ? r.value : std::string();
    }

    std::vector<std::string> folders(const std::string& folder) {
        Result<std::vector<std::string>> r = fs_.listFolders(folder);
        return r ? std::move(r.value) : std::vector<std::string>();
    }

    template <typename Visit>
    void eachFolder(const std::string& folder, Visit visit) {
        for (const std::string& name : folders(folder)) visit(folder + "/" + name);
    }

    // "~/..." for a path in the home folder, as people write it.
    std::string shown(const std::string& path) {
        const std::string p = canonical(path).empty() ? path : canonical(path);
        if (!home_.empty() && p.starts_with(home_ + "/")) return "~" + p.substr(home_.size());
        return p;
    }

    // A Windows path of a prefix as a Linux path, through its dosdevices links.
    std::string linuxPath(const std::string& prefix, const std::string& windowsPath) {
        if (!isDriveLetterPath(windowsPath)) return {};
        const char letter = lowerAscii(windowsPath[0]);
        std::string drive = prefix + "/dosdevices/" + letter + ":";
        if (!fs_.isFolder(drive) && letter == 'c') drive = prefix + "/drive_c";
        if (!fs_.isFolder(drive)) return {};
        return resolveNoCase(fs_, drive, toNativeSeparators(windowsPath.substr(2)));
    }

    // The cache folder the game's own CachePath names (from its System folder), when it holds
    // cache.ini.
    std::string ownCacheDir(const std::string& gameDir, const std::string& prefix) {
        const std::string ini = usedGameIniPath(gameDir, fs_, where_.home);
        std::string path = INIGetSettingString("Core.System", "CachePath", ini, "", nullptr, &fs_);
        if (path.empty()) path = "../Cache";  // the game's own default
        if (!prefix.empty() && isDriveLetterPath(path)) {
            path = linuxPath(prefix, path);
        } else {
            path = toNativeSeparators(path);
            if (path.front() != '/') path = resolveNoCase(fs_, ini.substr(0, ini.rfind('/')), path);
        }
        if (path.empty() || !fs_.isFile(path + "/cache.ini")) return {};
        return canonical(path);
    }

    // `native`: whether a game whose own cache folder is missing keeps its cache in ~/.utpg;
    // unset, a folder holding a Linux build's program does.
    void consider(const std::string& candidate, const std::string& kind,
                  std::optional<bool> native = std::nullopt, const std::string& prefix = {}) {
        const std::string folder = canonical(candidate);
        if (folder.empty() || !fs_.isFolder(folder)) return;  // missing, or a broken link
        for (const FoundGame& g : found_)
            if (g.folder == folder) return;
        if (!holdsGameFiles(folder, fs_)) return;
        FoundGame game;
        game.folder = folder;
        game.kind = kind;
        game.cacheDir = ownCacheDir(folder, prefix);
        if (game.cacheDir.empty() && native.value_or(isNativeBuild(fs_, folder)) &&
            fs_.isFile(where_.home + "/.utpg/Cache/cache.ini"))
            game.cacheDir = canonical(where_.home + "/.utpg/Cache");
        game.shortFolder = shown(folder);
        if (!game.cacheDir.empty()) {
            const Result<std::string> index = fs_.readAll(game.cacheDir + "/cache.ini");
            if (index)
                game.cachedPackages = countEntries(index.value);
            else
                game.cacheUnreadable = true;
        }
        found_.push_back(std::move(game));
    }

    // Lutris: its games' prefixes and folders in ~/Games, and those its games' files name.
    void lutris() {
        const std::string& h = where_.home;
        eachFolder(h + "/Games", [&](const std::string& dir) {
            winePrefix(dir, "Lutris prefix");
            consider(dir, "Lutris game " + shown(dir));  // a native build, or GOG files
        });
        for (const char* games : {"/.config/lutris/games", "/.local/share/lutris/games"}) {
            Result<std::vector<FileInfo>> files = fs_.listFiles(h + games, "*.yml");
            if (!files) continue;
            for (const FileInfo& file : files.value) {
                const Result<std::string> text = fs_.readAll(h + games + "/" + file.name);
                if (!text) continue;
                LutrisGame game = lutrisGame(text.value, h);
                // A program named relative to the prefix, as Lutris allows.
                if (!game.exe.empty() && game.exe.front() != '/' && !game.prefix.empty())
                    game.exe = game.prefix + "/" + game.exe;
                if (!game.prefix.empty()) winePrefix(game.prefix, "Lutris prefix");
                // The program's folder is System or System64; the game's is the one above.
                const std::string exeFolder = game.exe.substr(0, game.exe.rfind('/'));
                const std::string name = exeFolder.substr(exeFolder.rfind('/') + 1);
                if (sameNameNoCase(name, "System") || sameNameNoCase(name, "System64"))
                    consider(exeFolder.substr(0, exeFolder.rfind('/')),
                             "Lutris game " + shown(exeFolder + "/.."));
            }
        }
    }

    // The game's folder as the prefix's registry names it (system.reg, plain and Wow6432Node).
    void winePrefix(const std::string& prefix, const std::string& what) {
        const Result<std::string> text = fs_.readAll(prefix + "/system.reg");
        if (!text) return;
        static const std::vector<std::string> keys(std::begin(kGameKeys), std::end(kGameKeys));
        RegDocument doc = parseWineRegistryText(text.value, keys);
        for (const std::string& keyName : keys) {
            RegKey* key = doc.find(keyName);
            const RegValue* folder = key ? key->find("Folder") : nullptr;
            if (!folder || (folder->type != REG_SZ_TYPE && folder->type != REG_EXPAND_SZ_TYPE))
                continue;
            const std::string windowsPath = folder->data.substr(0, folder->data.find('\0'));
            const std::string path = linuxPath(prefix, windowsPath);
            if (!path.empty()) consider(path, what + " " + shown(prefix), false, prefix);
        }
    }

    void steamRoot(const std::string& root) {
        if (canonical(root).empty()) return;
        std::vector<std::string> libraries{root};
        for (const char* vdf : {"/steamapps/libraryfolders.vdf", "/SteamApps/libraryfolders.vdf",
                                "/config/libraryfolders.vdf"}) {
            const Result<std::string> text = fs_.readAll(root + vdf);
            if (!text) continue;
            for (std::string& path : steamLibraryPaths(text.value)) libraries.push_back(path);
        }
        for (const std::string& library : libraries) {
            const std::string lib = canonical(library);
            if (lib.empty() ||
                std::find(libraries_.begin(), libraries_.end(), lib) != libraries_.end())
                continue;
            libraries_.push_back(lib);
            // Older libraries spell the folder SteamApps.
            const std::string apps = resolveNoCase(fs_, lib, "steamapps");
            if (apps.empty()) continue;
            consider(resolveNoCase(fs_, apps, "common/Unreal Tournament"),
                     "Steam library " + shown(lib), false);
            eachFolder(resolveNoCase(fs_, apps, "compatdata"),
                       [&](const std::string& app) { winePrefix(app + "/pfx", "Proton prefix"); });
        }
    }

    const GameSearch& where_;
    FileSystem& fs_;
    std::string home_;
    std::vector<FoundGame> found_;
    std::vector<std::string> libraries_;
};

}  // namespace

GameSearch gameSearchFromEnvironment() {
    GameSearch where;
    where.home = homeFolder();
    if (const char* prefix = std::getenv("WINEPREFIX")) where.winePrefix = prefix;
    return where;
}

std::vector<FoundGame> findGames(const GameSearch& where, FileSystem& fs) {
    if (where.home.empty()) return {};
    return Finder(where, fs).run();
}

std::vector<std::string> steamLibraryPaths(std::string_view vdf) {
    // Keys and values are quoted texts (with \\ and \" escapes); a brace opens or closes a
    // section, after which a key comes next.
    std::vector<std::string> paths;
    bool expectKey = true;
    std::string key;
    int depth = 0;
    for (std::size_t i = 0; i < vdf.size(); ++i) {
        if (vdf[i] == '{' || vdf[i] == '}') {
            depth += vdf[i] == '{' ? 1 : -1;
            expectKey = true;
        }
        if (vdf[i] != '"') continue;
        std::string text;
        for (++i; i < vdf.size() && vdf[i] != '"'; ++i) {
            if (vdf[i] == '\\' && i + 1 < vdf.size()) ++i;
            text += vdf[i];
        }
        if (expectKey) {
            key = std::move(text);
        } else if (!text.empty()) {
            const bool numbered = !key.empty() && std::all_of(key.begin(), key.end(), [](char c) {
                return c >= '0' && c <= '9';
            });
            if (sameNameNoCase(key, "path") || (numbered && depth == 1)) paths.push_back(text);
        }
        expectKey = !expectKey;
    }
    return paths;
}

bool holdsGameFiles(const std::string& folder, FileSystem& fs) {
    return !folder.empty() &&
           std::any_of(std::begin(kGameFiles), std::end(kGameFiles),
                       [&](const char* f) { return holdsFileNoCase(fs, folder, f); });
}

std::string placeName(const FoundGame& game) {
    return game.kind + "\n" + game.shortFolder + " (" + packagesText(game) + ")";
}

std::string packagesText(const FoundGame& game) {
    if (game.cacheUnreadable) return "cache.ini not readable";
    if (game.cacheDir.empty()) return "no cache found";
    const std::size_t n = game.cachedPackages;
    return std::to_string(n) + (n == 1 ? " package" : " packages");
}

std::string packagesColumn(const FoundGame& game) {
    return game.cacheUnreadable ? "cache.ini not readable" : std::to_string(game.cachedPackages);
}

std::string settingsFolder(const std::string& gameDir, FileSystem& fs, const std::string& home) {
    const auto holds = [&fs](const std::string& dir) {
        return holdsFileNoCase(fs, dir, "System64/UnrealTournament.ini") ||
               holdsFileNoCase(fs, dir, "System/UnrealTournament.ini");
    };
    if (holds(gameDir) || home.empty()) return gameDir;
    return isNativeBuild(fs, gameDir) && holds(home + "/.utpg") ? home + "/.utpg" : gameDir;
}

namespace {

// `file` of the System64 folder when it is there, else of System, each spelled in any case;
// GameDir + "/System/" + file when neither is there.
std::string usedSettingsFile(const std::string& gameDir, FileSystem& fs, const std::string& home,
                             const std::string& file) {
    std::string dir = settingsFolder(gameDir, fs, home);
    // GameDir ends in a separator: the paths shown to the user get one, not two.
    if (dir.size() > 1 && dir.back() == kSep) dir.pop_back();
    for (const char* system : {"System64/", "System/"}) {
        const std::string path = resolveNoCase(fs, dir, system + file);
        if (!path.empty() && fs.isFile(path)) return path;
    }
    return dir + "/System/" + file;
}

}  // namespace

std::string usedGameIniPath(const std::string& gameDir, FileSystem& fs, const std::string& home) {
    return usedSettingsFile(gameDir, fs, home, "UnrealTournament.ini");
}

std::string usedUserIniPath(const std::string& gameDir, FileSystem& fs, const std::string& home) {
    return usedSettingsFile(gameDir, fs, home, "User.ini");
}

std::string otherGameIniPath(const std::string& iniPath) {
    const std::string ini32 = "/System/UnrealTournament.ini";
    const std::string ini64 = "/System64/UnrealTournament.ini";
    if (iniPath.ends_with(ini64)) return iniPath.substr(0, iniPath.size() - ini64.size()) + ini32;
    if (iniPath.ends_with(ini32)) return iniPath.substr(0, iniPath.size() - ini32.size()) + ini64;
    return {};
}

}  // namespace qv

namespace qv {

std::string gameCacheFolder(const std::string& gameDir, FileSystem& fs, const std::string& home) {
    const std::string ini = usedGameIniPath(gameDir, fs, home);
    std::string path =
        toNativeSeparators(INIGetSettingString("Core.System", "CachePath", ini, "", nullptr, &fs));
    if (path.empty()) path = "../Cache";  // the game's own default
    if (path.front() != '/') path = ini.substr(0, ini.rfind('/')) + "/" + path;
    std::string found;
    if (fs.isFile(path + "/cache.ini"))
        found = path;
    else if (fs.isFile(home + "/.utpg/Cache/cache.ini"))
        found = home + "/.utpg/Cache";  // a native game keeps its cache in the player's home
    if (found.empty()) return {};
    const Result<std::string> canonical = fs.canonicalPath(found);
    return canonical.ok() ? canonical.value : found;
}

}  // namespace qv
