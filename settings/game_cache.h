#pragma once

#include <string>
#include <vector>

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

}  // namespace qv
