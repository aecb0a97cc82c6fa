#pragma once

#include <string>
#include <vector>

#include "platform/paths.h"

namespace qv {

class FileSystem;
class FolderListings;

// The folders a Linux build of the game keeps the player's settings and cache in when its own
// folder holds none, most likely first: ~/.utpg (OldUnreal's builds) and ~/.loki/ut (the Loki
// port), the other way round for a build whose only program is System/ut-bin.
std::vector<std::string> perUserFolders(const std::string& home, bool lokiFirst);

// The Wine prefix a folder lies in (the nearest folder above holding system.reg beside
// drive_c or dosdevices), "" for none.
std::string winePrefixAbove(const std::string& folder, FileSystem& fs);

// A Windows path ("C:\\Games\\UT") of a Wine prefix as a Linux path, through the prefix's
// dosdevices links (drive_c for C: without them), each component in any letter case; "" when
// it is not there.
std::string pathInPrefix(const std::string& prefix, const std::string& windowsPath,
                         FolderListings& listings, FileSystem& fs);

// A game's cache folder and what is known of it.
struct GameCache {
    std::string folder;       // "" when no cache folder can be told
    bool holdsIndex = false;  // it holds cache.ini (which may still not be readable)
    bool unreadable = false;  // it is there but cannot be listed
};

// The cache folder a copy of the game fills: the one its own CachePath names (from the
// settings it reads; a drive letter through the dosdevices of `prefix`, a relative path below
// its System folder, each component in any letter case), when that holds cache.ini; else, for a
// Linux build only, the first per-user folder's Cache that holds one; else its own cache folder
// when that is there, holding no cache.ini yet (`holdsIndex` false); else none.
GameCache gameCache(const std::string& gameDir, const std::string& prefix, const std::string& home,
                    FolderListings& listings, FileSystem& fs);

// The game folder a path into it names: the folder above its System or System64 folder, else
// the folder itself, or for a file the folder it is in.
std::string gameFolderOf(const std::string& path, FileSystem& fs);

// A path a per-user folder (~/.utpg) names as the game's, and the file that names it: where a
// link in it leads, the "Base directory:" of a log, an absolute Paths= of its settings.
struct PerUserPointer {
    std::string path;
    std::string file;
};
// Those of its top, System, System64 and Logs folders.
std::vector<PerUserPointer> perUserPointers(const std::string& perUser, FolderListings& listings,
                                            FileSystem& fs);

// The folder whose System and System64 hold the settings a copy of the game reads.
struct PerUserSettings {
    std::string folder;
    std::string namedBy;  // for a per-user folder chosen over the game's own settings, the
                          // file of it that names the game folder; else ""
};
// The game folder; for a Linux build without settings of its own, the per-user folder
// (~/.utpg, ~/.loki/ut) that holds them; for one with settings of its own (a Windows copy it
// was unpacked over), the per-user folder whose links, logs or settings name this install.
PerUserSettings perUserSettings(const std::string& gameDir, FileSystem& fs,
                                const std::string& home = homeFolder());
// Its folder.
std::string settingsFolder(const std::string& gameDir, FileSystem& fs,
                           const std::string& home = homeFolder());

// The UnrealTournament.ini the game reads: the 64-bit builds' System64 one when it exists,
// else the one in System, in the folder above.
std::string usedGameIniPath(const std::string& gameDir, FileSystem& fs,
                            const std::string& home = homeFolder());
// The User.ini beside it, chosen the same way.
std::string usedUserIniPath(const std::string& gameDir, FileSystem& fs,
                            const std::string& home = homeFolder());

// The game's other UnrealTournament.ini: System's for System64's and the other way round; ""
// for a path of neither form.
std::string otherGameIniPath(const std::string& iniPath);

}  // namespace qv
