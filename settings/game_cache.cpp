#include "settings/game_cache.h"

#include <algorithm>

#include "platform/ascii.h"
#include "platform/filesystem.h"
#include "platform/paths.h"
#include "settings/folder_listing.h"
#include "settings/game_finder.h"
#include "settings/mdl_ini.h"

namespace qv {

namespace {

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
    std::string drive = prefix + "/dosdevices/" + letter + ":";
    if (!fs.isFolder(drive) && letter == 'c') drive = prefix + "/drive_c";
    if (!fs.isFolder(drive)) return {};
    return listings.resolveNoCase(drive, toNativeSeparators(windowsPath.substr(2)));
}

std::vector<std::string> perUserFolders(const std::string& home, bool lokiFirst) {
    if (home.empty()) return {};
    if (lokiFirst) return {home + "/.loki/ut", home + "/.utpg"};
    return {home + "/.utpg", home + "/.loki/ut"};
}

std::string winePrefixAbove(const std::string& folder, FileSystem& fs) {
    std::string dir = canonical(fs, folder);
    while (dir.size() > 1) {
        dir = dir.substr(0, std::max<std::size_t>(dir.rfind('/'), 1));
        if (fs.isFile(dir + "/system.reg") &&
            (fs.isFolder(dir + "/drive_c") || fs.isFolder(dir + "/dosdevices")))
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
        if (path.front() != '/') path = listings.resolveNoCase(ini.substr(0, ini.rfind('/')), path);
    }
    GameCache own;
    if (!path.empty() && fs.isFolder(path)) {
        own.folder = canonical(fs, path);
        // Listed, a cache.ini that cannot be looked up or is no plain file still counts: its
        // reading says what is wrong with it.
        const std::vector<FolderListings::Entry>* entries = listings.entries(own.folder);
        own.unreadable = !entries;
        own.holdsIndex = fs.isFile(own.folder + "/cache.ini") ||
                         (entries && std::any_of(entries->begin(), entries->end(),
                                                 [](const FolderListings::Entry& e) {
                                                     return e.name == "cache.ini";
                                                 }));
    }
    if (own.holdsIndex || own.unreadable) return own;
    bool lokiOnly = false;
    if (listings.holdsNativeProgram(gameDir, &lokiOnly))
        for (const std::string& perUser : perUserFolders(home, lokiOnly))
            if (fs.isFile(perUser + "/Cache/cache.ini"))
                return {canonical(fs, perUser + "/Cache"), true, false};
    return own;
}

}  // namespace qv
