#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

// What a Lutris game's file names under "game:": the Wine prefix and the program.
struct LutrisGame {
    std::string prefix;
    std::string exe;
};

// The YAML Lutris writes: "game:" at the start of a line, then indented "key: value" lines;
// values may be quoted, and "~/" stands for `home`.
LutrisGame lutrisGame(std::string_view yaml, const std::string& home);

// Every text value of a JSON document whose key is `key`, at any depth, unescaped (\uXXXX with
// surrogate pairs as UTF-8): Heroic's "install_path" and "winePrefix".
std::vector<std::string> jsonTextValues(std::string_view json, std::string_view key);

// The paths a desktop entry's [Desktop Entry] group names: its Path= folder, and each word of
// its Exec= line that is an absolute path, alone or after "NAME=" (env WINEPREFIX=/...).
std::vector<std::string> desktopEntryPaths(std::string_view entry);

// The paths a log of the game names as its program's folder ("Init: Base directory: /...").
std::vector<std::string> logBaseFolders(std::string_view log);

// The library folders a Steam libraryfolders.vdf lists: every "path" value, and in the older
// form the text value of each numbered key of the top section.
std::vector<std::string> steamLibraryPaths(std::string_view vdf);

// The programs a Bottles bottle's bottle.yml lists under External_Programs: their "path"
// values (absolute paths).
std::vector<std::string> bottleProgramPaths(std::string_view yaml);

// The value of a top-level "key: value" line of a YAML file (Bottles' data.yml), unquoted; ""
// when there is none.
std::string yamlTopValue(std::string_view yaml, std::string_view key);

// A game added to Steam by the player (a non-Steam game).
struct SteamShortcut {
    std::string name;         // AppName
    std::string exe;          // Exe, without its quotes
    std::string startDir;     // StartDir, without its quotes
    std::uint32_t appId = 0;  // its id, which names its Proton prefix (see steamShortcutId)
};

// The id Steam gives a shortcut stored without one (older files): the CRC-32 of its Exe as
// the file holds it (quotes and all) followed by its AppName, with the top bit set. Its Proton
// prefix is steamapps/compatdata/<this number>.
std::uint32_t steamShortcutId(std::string_view exeAsStored, std::string_view appName);

// The shortcuts of a Steam userdata/*/config/shortcuts.vdf (binary VDF), each with its id (the
// stored one, else steamShortcutId). A file cut short or damaged gives the shortcuts read before
// the damage, and one whose fields were all read whole when only closing bytes are missing.
std::vector<SteamShortcut> steamShortcuts(std::string_view vdf);

}  // namespace qv
