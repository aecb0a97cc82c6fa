#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/paths.h"
#include "settings/game_cache.h"

namespace qv {

class FileSystem;

// One copy of the game found on this machine.
struct FoundGame {
    std::string folder;              // the game's root folder, links resolved, no final separator
    std::string kind;                // what it is: "native install", "Wine prefix ~/.wine", ...
    std::string cacheDir;            // the cache folder the game fills (it holds cache.ini); ""
    std::size_t cachedPackages = 0;  // entry lines of that cache.ini
    bool cacheUnreadable = false;    // that cache.ini is there but cannot be read
    bool cacheFolderUnreadable = false;  // the cache folder is there but cannot be read
    std::string shortFolder;  // the folder as people write it: "~/..." in the home folder
    std::string winePrefix;   // the Wine prefix it was found through or lies in; ""
};

// "12 packages", "1 package", "cache.ini not readable" or "cache folder not readable";
// "no cache found" without a cache folder.
std::string packagesText(const FoundGame& game);
// The packages column of the listing: the count, or what could not be read.
std::string packagesColumn(const FoundGame& game);

// Where to look for the game.
struct GameSearch {
    std::string home;        // the user's home folder
    std::string winePrefix;  // $WINEPREFIX, "" when not set
    std::string systemRoot;  // put before /opt and /usr/local/games; "" on a real system
    std::string dataHome;    // $XDG_DATA_HOME; "" for ~/.local/share
    std::string configHome;  // $XDG_CONFIG_HOME; "" for ~/.config
};

// The user's home folder, $WINEPREFIX, $XDG_DATA_HOME and $XDG_CONFIG_HOME.
GameSearch gameSearchFromEnvironment();

// Every game folder found, each once, the most likely first: those whose cache holds the most
// packages, then in the order searched (native installs, Wine prefixes, Lutris, Bottles,
// Heroic, PlayOnLinux, Steam, the home folder, desktop entries, what the per-user folders
// point to). A folder counts only when it holds the game's files; a place that cannot be read,
// and a file that is not a plain file or is too large, are passed over. The per-user folders
// ~/.utpg and ~/.loki/ut are never offered as game folders.
std::vector<FoundGame> findGames(const GameSearch& where, FileSystem& fs);

// The cache folder of the copy of the game in `folder` (links resolved), told as findGames
// tells it: through the Wine prefix the search finds it in (a game on another drive letter of
// a prefix), else the prefix it lies in, if any.
GameCache copyCache(const std::string& folder, const GameSearch& where, FileSystem& fs);

// Whether `folder` holds one of the files only a copy of the game holds (its settings, its
// programs, its main code package), in any letter case.
bool holdsGameFiles(const std::string& folder, FileSystem& fs);

// How the picker names a copy: its kind, then on a second line its folder in short and its
// package count ("Wine prefix ~/.wine" / "~/.wine/drive_c/UT (5 packages)").
std::string placeName(const FoundGame& game);

// The library folders a Steam libraryfolders.vdf lists: every "path" value, and in the older
// form the text value of each numbered key of the top section.
std::vector<std::string> steamLibraryPaths(std::string_view vdf);

// The folder whose System and System64 hold the game's settings: the game folder, or for a
// Linux build without settings of its own the per-user folder (~/.utpg, ~/.loki/ut) that holds
// them.
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
