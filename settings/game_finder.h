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
    std::size_t cachedPackages = 0;  // its cache files that have a line in cache.ini
    bool cacheUnreadable = false;    // that cache.ini is there but cannot be read
    bool cacheFolderUnreadable = false;  // the cache folder is there but cannot be read
    std::string shortFolder;  // the folder as people write it: "~/..." in the home folder
    std::string winePrefix;   // the Wine prefix it was found through or lies in; ""
    std::string cacheNote;    // why the cache is not the one the folder's own settings name; ""
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
// packages, then in the order searched (native installs, Wine prefixes, CrossOver, Lutris,
// Bottles, Heroic, PlayOnLinux, Steam and its shortcuts, the home folder, desktop entries, what
// the per-user folders point to). In each prefix, the folders its registry names, then the
// copies put into its drive_c without a key (one level down where games are put). A folder
// counts only when it holds the game's files; a place that cannot be read, and a file that is
// not a plain file or is too large, are passed over. The per-user folders ~/.utpg and
// ~/.loki/ut are never offered as game folders.
// `notes` gets what was passed over that a player should hear of (a registry Wine does not read).
std::vector<FoundGame> findGames(const GameSearch& where, FileSystem& fs,
                                 std::vector<std::string>* notes = nullptr);

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

}  // namespace qv
