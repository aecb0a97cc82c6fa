#include "settings/game_finder.h"

#include <algorithm>
#include <cstdlib>

#include "platform/filesystem.h"
#include "platform/paths.h"
#include "platform/textfile.h"
#include "settings/mdlINI.h"
#include "settings/program_settings.h"
#include "settings/registry_text.h"

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
                                      "System/Botpack.u"};
// The programs of the game's Linux builds.
constexpr const char* kNativePrograms[] = {"System/ut-bin", "System/ut-bin-x86", "System64/ut-bin",
                                           "System64/ut-bin-amd64", "System64/ut-bin-arm64"};

// The game's key as its installer writes it, and its twin for 32-bit programs on 64-bit Windows.
constexpr const char* kGameKeys[] = {
    "HKEY_LOCAL_MACHINE\\Software\\Unreal Technology\\Installed Apps\\UnrealTournament",
    "HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\Unreal Technology\\Installed Apps\\"
    "UnrealTournament"};

char lowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool isDriveLetterPath(const std::string& p) {
    return p.size() >= 2 && p[1] == ':' && lowerAscii(p[0]) >= 'a' && lowerAscii(p[0]) <= 'z';
}

// Entry lines of a cache index: a 32-character GUID, "=", the real name.
std::size_t countEntries(const std::string& text) {
    std::size_t n = 0;
    for (const std::string& line : splitLines(text))
        if (line.size() > 33 && line[32] == '=') ++n;
    return n;
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
        const std::string sys = where_.systemRoot;
        consider(sys + "/usr/local/games/ut", "native install", true);
        for (const std::string& name : folders(sys + "/opt"))
            if (name.size() >= 2 && lowerAscii(name[0]) == 'u' && lowerAscii(name[1]) == 't')
                consider(sys + "/opt/" + name, "native install", true);

        winePrefix(h + "/.wine", "Wine prefix");
        if (!where_.winePrefix.empty()) winePrefix(where_.winePrefix, "Wine prefix");
        for (const std::string& name : folders(h + "/.local/share/wineprefixes"))
            winePrefix(h + "/.local/share/wineprefixes/" + name, "Wine prefix");
        for (const std::string& name : folders(h + "/Games"))
            winePrefix(h + "/Games/" + name, "Lutris prefix");

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

    // "~/..." for a path in the home folder, as people write it.
    std::string shown(const std::string& path) {
        const std::string p = canonical(path).empty() ? path : canonical(path);
        if (!home_.empty() && p.starts_with(home_ + "/")) return "~" + p.substr(home_.size());
        return p;
    }

    // `rest` below `base`, each component matched without regard to case where the exact
    // spelling is not there (Windows paths in a Wine prefix name folders in any case).
    std::string resolveNoCase(std::string base, const std::string& rest) {
        std::size_t start = 0;
        while (start < rest.size()) {
            std::size_t end = rest.find('/', start);
            if (end == std::string::npos) end = rest.size();
            const std::string part = rest.substr(start, end - start);
            start = end + 1;
            if (part.empty() || part == ".") continue;
            if (fs_.exists(base + "/" + part)) {
                base += "/" + part;
                continue;
            }
            const std::vector<std::string> names = folders(base);
            auto hit = std::find_if(names.begin(), names.end(),
                                    [&](const std::string& n) { return sameNameNoCase(n, part); });
            if (hit == names.end()) return {};
            base += "/" + *hit;
        }
        return base;
    }

    // A Windows path of a prefix as a Linux path, through its dosdevices links.
    std::string linuxPath(const std::string& prefix, const std::string& windowsPath) {
        if (!isDriveLetterPath(windowsPath)) return {};
        const char letter = lowerAscii(windowsPath[0]);
        std::string drive = prefix + "/dosdevices/" + letter + ":";
        if (!fs_.isFolder(drive) && letter == 'c') drive = prefix + "/drive_c";
        if (!fs_.isFolder(drive)) return {};
        return resolveNoCase(drive, toNativeSeparators(windowsPath.substr(2)));
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
            if (path.front() != '/') path = ini.substr(0, ini.rfind('/')) + "/" + path;
        }
        if (path.empty() || !fs_.isFile(path + "/cache.ini")) return {};
        return canonical(path);
    }

    void consider(const std::string& candidate, const std::string& kind, bool native,
                  const std::string& prefix = {}) {
        const std::string folder = canonical(candidate);
        if (folder.empty() || !fs_.isFolder(folder)) return;  // missing, or a broken link
        if (std::none_of(std::begin(kGameFiles), std::end(kGameFiles),
                         [&](const char* f) { return fs_.isFile(folder + "/" + f); }))
            return;
        for (const FoundGame& g : found_)
            if (g.folder == folder) return;
        FoundGame game{folder, kind, ownCacheDir(folder, prefix), 0};
        if (game.cacheDir.empty() && native && fs_.isFile(where_.home + "/.utpg/Cache/cache.ini"))
            game.cacheDir = canonical(where_.home + "/.utpg/Cache");
        if (!game.cacheDir.empty()) {
            const Result<std::string> index = fs_.readAll(game.cacheDir + "/cache.ini");
            if (index) game.cachedPackages = countEntries(index.value);
        }
        found_.push_back(std::move(game));
    }

    // The game's folder as the prefix's registry names it (system.reg, plain and Wow6432Node).
    void winePrefix(const std::string& prefix, const std::string& what) {
        const Result<std::string> text = fs_.readAll(prefix + "/system.reg");
        if (!text) return;
        RegDocument doc = parseWineRegistryText(text.value);
        for (const char* keyName : kGameKeys) {
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
        for (const char* vdf : {"/steamapps/libraryfolders.vdf", "/config/libraryfolders.vdf"}) {
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
            consider(lib + "/steamapps/common/Unreal Tournament", "Steam library " + shown(lib),
                     false);
            const std::string compat = lib + "/steamapps/compatdata";
            for (const std::string& app : folders(compat))
                winePrefix(compat + "/" + app + "/pfx", "Proton prefix");
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
    bool expectKey = true, pathKey = false;
    for (std::size_t i = 0; i < vdf.size(); ++i) {
        if (vdf[i] == '{' || vdf[i] == '}') expectKey = true;
        if (vdf[i] != '"') continue;
        std::string text;
        for (++i; i < vdf.size() && vdf[i] != '"'; ++i) {
            if (vdf[i] == '\\' && i + 1 < vdf.size()) ++i;
            text += vdf[i];
        }
        if (!expectKey && pathKey && !text.empty()) paths.push_back(text);
        if (expectKey) pathKey = sameNameNoCase(text, "path");
        expectKey = !expectKey;
    }
    return paths;
}

std::string settingsFolder(const std::string& gameDir, FileSystem& fs, const std::string& home) {
    const auto holds = [&fs](const std::string& dir) {
        return fs.isFile(dir + "/System64/UnrealTournament.ini") ||
               fs.isFile(dir + "/System/UnrealTournament.ini");
    };
    if (holds(gameDir) || home.empty()) return gameDir;
    const bool native = std::any_of(std::begin(kNativePrograms), std::end(kNativePrograms),
                                    [&](const char* f) { return fs.isFile(gameDir + "/" + f); });
    return native && holds(home + "/.utpg") ? home + "/.utpg" : gameDir;
}

std::string usedGameIniPath(const std::string& gameDir, FileSystem& fs, const std::string& home) {
    const std::string dir = settingsFolder(gameDir, fs, home);
    const std::string ini64 = dir + "/System64" + "/UnrealTournament.ini";
    return fs.isFile(ini64) ? ini64 : gameIniPath(dir);
}

std::string usedUserIniPath(const std::string& gameDir, FileSystem& fs, const std::string& home) {
    const std::string dir = settingsFolder(gameDir, fs, home);
    const std::string ini64 = dir + "/System64" + "/User.ini";
    return fs.isFile(ini64) ? ini64 : userIniPath(dir);
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
