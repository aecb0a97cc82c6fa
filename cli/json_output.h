#pragma once

#include <ostream>
#include <vector>

namespace qv {
struct PublicVariables;
struct ScanState;
struct FoundGame;
struct PackageFacts;
struct PackageContents;
struct ListPlan;
struct RunningGames;
}  // namespace qv

namespace qv::cli {

// list --json: {"cache_folder", "to_process", "game_running", "packages": [{"name", "name_base64",
// "guid", "type", "date", "checked", "never_move", "action", "reason"}]}: "action" is what the run
// does with the row's line ("move", "remove", "drop", "keep"), "reason" why it keeps it (or "no
// file" for a line it drops). Bytes that are not UTF-8 are shown as U+FFFD in the texts;
// "name_base64" holds the name's exact bytes. With `facts` (by entry) each row also carries
// "state", "damage" (why it is damaged), "header_guid", "version" (null when unknown) and
// "installed" ("", "same version", "other version"; a case twin or namesake the run keeps shows
// "other version"). With `maps` (by entry, list --facts) each map's row also carries "title",
// "author" and "players". "to_process": the plan's count of "Found N files to process".
// "game_running": null when the game is not running (or `running` is not given), else each copy
// of it found using the game or cache folder: [{"program", "process_id"}].
void printListJson(const ScanState& state, const PublicVariables& pv, const ListPlan& plan,
                   std::ostream& out, const std::vector<PackageFacts>* facts = nullptr,
                   const std::vector<PackageContents>* maps = nullptr,
                   const RunningGames* running = nullptr);

// find-game --json: {"games": [{"folder", "folder_base64", "kind", "cache_folder" (null for
// none), "cache_folder_base64", "packages" (null when its cache cannot be read)}]}. The _base64
// fields hold the exact bytes of the names, which "folder" and "cache_folder" show with U+FFFD
// where they are not UTF-8.
void printGamesJson(const std::vector<FoundGame>& games, std::ostream& out);

}  // namespace qv::cli
