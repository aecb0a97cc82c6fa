#pragma once

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

}  // namespace qv
