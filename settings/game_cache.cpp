#include "settings/game_cache.h"

#include <algorithm>

#include "platform/ascii.h"
#include "platform/filesystem.h"
#include "platform/paths.h"
#include "platform/textfile.h"
#include "settings/folder_listing.h"
#include "settings/launcher_files.h"
#include "settings/mdl_ini.h"
#include "settings/registry_text.h"

namespace qv {

namespace {

// The most that is read of a per-user folder's log or settings.
constexpr std::size_t kPerUserFileCap = std::size_t{16} << 20;

bool isDriveLetterPath(const std::string& p) {
    return p.size() >= 2 && p[1] == ':' && isAlphaAscii(p[0]);
}

std::string canonical(FileSystem& fs, const std::string& path) {
    const Result<std::string> r = fs.canonicalPath(path);
    return r ? r.value : path;
}

}  // namespace

std::string pathInPrefix(const std::string& prefix, const std::string& windowsPath,
                         FolderListings& listings, FileSystem& fs) {
    if (prefix.empty() || !isDriveLetterPath(windowsPath)) return {};
    const char letter = lowerAscii(windowsPath[0]);
    std::string drive = joinPath(prefix, "dosdevices", std::string{letter, ':'});
    if (!fs.isFolder(drive) && letter == 'c') drive = joinPath(prefix, "drive_c");
    if (!fs.isFolder(drive)) return {};
    return listings.resolveNoCase(drive, toNativeSeparators(windowsPath.substr(2)));
}

std::vector<std::string> perUserFolders(const std::string& home, bool lokiFirst) {
    if (home.empty()) return {};
    if (lokiFirst) return {joinPath(home, ".loki", "ut"), joinPath(home, ".utpg")};
    return {joinPath(home, ".utpg"), joinPath(home, ".loki", "ut")};
}

std::string winePrefixAbove(const std::string& folder, FileSystem& fs) {
    std::string dir = canonical(fs, folder);
    while (dir.size() > 1) {
        dir = parentPath(dir);
        if (fs.exists(joinPath(dir, "system.reg")) &&
            (fs.isFolder(joinPath(dir, "drive_c")) || fs.isFolder(joinPath(dir, "dosdevices"))))
            return dir;
    }
    return {};
}

GameCache gameCache(const std::string& gameDir, const std::string& prefix, const std::string& home,
                    FolderListings& listings, FileSystem& fs) {
    const std::string ini = usedGameIniPath(gameDir, fs, home);
    // Only a plain file is read: a FIFO there would never end.
    std::string path = fs.isFile(ini)
                           ? INIGetSettingString("Core.System", "CachePath", ini, "", nullptr, &fs)
                           : "";
    if (path.empty()) path = "../Cache";  // the game's own default
    if (isDriveLetterPath(path)) {
        path = pathInPrefix(prefix, path, listings, fs);
    } else {
        path = toNativeSeparators(path);
        if (!isAbsolutePath(path))
            path = listings.resolveNoCase(ini.substr(0, lastSeparator(ini)), path);
    }
    GameCache own;
    if (!path.empty() && fs.isFolder(path)) {
        own.folder = canonical(fs, path);
        // Listed, a cache.ini that cannot be looked up or is no plain file still counts: its
        // reading says what is wrong with it.
        const std::vector<FolderListings::Entry>* entries = listings.entries(own.folder);
        own.unreadable = !entries;
        own.holdsIndex = fs.isFile(joinPath(own.folder, "cache.ini")) ||
                         (entries && std::any_of(entries->begin(), entries->end(),
                                                 [](const FolderListings::Entry& e) {
                                                     return e.name == "cache.ini";
                                                 }));
    }
    if (own.holdsIndex || own.unreadable) return own;
    bool lokiOnly = false;
    if (listings.holdsNativeProgram(gameDir, &lokiOnly))
        for (const std::string& perUser : perUserFolders(home, lokiOnly))
            if (fs.isFile(joinPath(perUser, "Cache", "cache.ini")))
                return {canonical(fs, joinPath(perUser, "Cache")), true, false};
    return own;
}

std::string gameFolderOf(const std::string& path, FileSystem& fs) {
    std::size_t end = path.size();
    while (end > 1) {
        const std::size_t slash = lastSeparator(path, end - 1);
        if (slash == std::string::npos) break;
        const std::string_view part = std::string_view(path).substr(slash + 1, end - slash - 1);
        if (sameNameNoCase(part, "System") || sameNameNoCase(part, "System64"))
            return parentPath(std::string_view(path).substr(0, end));
        end = slash;
    }
    return fs.isFolder(path) ? path : parentFolder(path);
}

std::vector<PerUserPointer> perUserPointers(const std::string& perUser, FolderListings& listings,
                                            FileSystem& fs) {
    std::vector<PerUserPointer> found;
    for (const char* sub : {"", "System", "System64", "Logs"}) {
        const std::string dir = *sub ? joinPath(perUser, sub) : perUser;
        const auto* entries = listings.entries(dir);
        if (!entries) continue;
        for (const FolderListings::Entry& e : *entries) {
            const std::string path = joinPath(dir, e.name);
            if (e.kind == EntryKind::Link) {
                if (const Result<std::string> target = fs.canonicalPath(path))
                    found.push_back({target.value, path});
                continue;
            }
            const bool log = e.name.ends_with(".log"), ini = e.name.ends_with(".ini");
            if (e.kind != EntryKind::File || (!log && !ini)) continue;
            const Result<std::string> text = fs.readPlainFile(path, kPerUserFileCap);
            if (!text) continue;
            for (std::string& p : logBaseFolders(text.value)) found.push_back({std::move(p), path});
            if (!ini) continue;
            // Paths=/home/.../System/*.u: the first "=" an absolute path follows.
            for (std::string_view line : splitLineViews(text.value)) {
                if (!line.starts_with("Paths")) continue;
                std::size_t eq = line.find('=');
                while (eq != line.npos && !isAbsolutePath(line.substr(eq + 1)))
                    eq = line.find('=', eq + 1);
                if (eq != line.npos) found.push_back({std::string(line.substr(eq + 1)), path});
            }
        }
    }
    return found;
}

PerUserSettings perUserSettings(const std::string& gameDir, FileSystem& fs,
                                const std::string& home) {
    FolderListings listings(fs);
    const auto holds = [&](const std::string& dir) {
        return listings.holdsFileNoCase(dir, joinPath("System64", "UnrealTournament.ini")) ||
               listings.holdsFileNoCase(dir, joinPath("System", "UnrealTournament.ini"));
    };
    bool lokiOnly = false;
    if (home.empty() || !listings.holdsNativeProgram(gameDir, &lokiOnly)) return {gameDir, {}};
    // Settings of its own may be a Windows copy's the Linux build was unpacked over: the
    // per-user ones are in use when they name this install.
    const bool own = holds(gameDir);
    const std::string game = canonical(fs, gameDir);
    for (const std::string& perUser : perUserFolders(home, lokiOnly)) {
        if (!holds(perUser)) continue;
        if (!own) return {perUser, {}};
        for (const PerUserPointer& p : perUserPointers(perUser, listings, fs))
            if (canonical(fs, gameFolderOf(p.path, fs)) == game) return {perUser, p.file};
    }
    return {gameDir, {}};
}

std::string settingsFolder(const std::string& gameDir, FileSystem& fs, const std::string& home) {
    return perUserSettings(gameDir, fs, home).folder;
}

namespace {

// `file` of the System64 folder when it is there, else of System, each spelled in any case;
// GameDir, System and `file` joined when neither is there.
std::string usedSettingsFile(const std::string& gameDir, FileSystem& fs, const std::string& home,
                             const std::string& file) {
    std::string dir = settingsFolder(gameDir, fs, home);
    // GameDir ends in a separator: the paths shown to the user get one, not two.
    if (dir.size() > 1 && isSeparator(dir.back())) dir.pop_back();
    FolderListings listings(fs);
    for (const char* system : {"System64", "System"}) {
        const std::string path = listings.resolveNoCase(dir, joinPath(system, file));
        if (!path.empty() && fs.isFile(path)) return path;
    }
    return joinPath(dir, "System", file);
}

}  // namespace

std::string usedGameIniPath(const std::string& gameDir, FileSystem& fs, const std::string& home) {
    return usedSettingsFile(gameDir, fs, home, "UnrealTournament.ini");
}

std::string usedUserIniPath(const std::string& gameDir, FileSystem& fs, const std::string& home) {
    return usedSettingsFile(gameDir, fs, home, "User.ini");
}

std::string otherGameIniPath(const std::string& iniPath) {
    const std::string ini32 = kSep + joinPath("System", "UnrealTournament.ini");
    const std::string ini64 = kSep + joinPath("System64", "UnrealTournament.ini");
    if (iniPath.ends_with(ini64)) return iniPath.substr(0, iniPath.size() - ini64.size()) + ini32;
    if (iniPath.ends_with(ini32)) return iniPath.substr(0, iniPath.size() - ini32.size()) + ini64;
    return {};
}

}  // namespace qv
