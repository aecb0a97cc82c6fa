#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace qv {

class clsRegistry;
class Dialogs;
class FileSystem;
struct FoundGame;

constexpr const char* kProgramTitle = "Quorvel";
constexpr int kVersionMajor = 3;
constexpr int kVersionMinor = 0;

// The user's choices: the Options tab's and the cache folder in use. Defaults are the designed
// states of the controls.
struct Options {
    bool SelectAll = true;
    bool SelectOnly = false;
    int U = 0, UAX = 0, UMX = 0, UNR = 0, UTX = 0;  // check box values: 0 clear, 1 checked
    bool MoveNorm = true;
    bool MoveDir = false;
    std::string MoveDirText;
    bool MoveDir2 = false;
    std::string MoveDir2Text;
    std::string CacheDir;  // the cache folder in use
};

// "True" or "False" in any case, or a number (non-zero is true). nullopt-like: returns false in
// `ok` when the text cannot be converted.
bool textToBool(const std::string& text, bool& ok);
int textToInt(const std::string& text, bool& ok);

// Reads the option values in table order (SelectAll .. CacheDir), each with its default; a
// text that cannot be converted leaves the field as it is in `designed`.
Options restoreOptions(clsRegistry& programKey, Options designed = Options{});
// Writes every option value in table order: "True" or "False", decimal, text; then each of
// `more` (further entries of the same key): all in one write of the store.
void saveOptions(clsRegistry& programKey, const Options& options,
                 const std::vector<std::pair<std::string, std::string>>& more = {});

// Start-up: InstallPath written with `programFolder` when missing or empty. False when it was
// missing and could not be written (programKey.lastWriteStatus() says why).
bool ensureInstallPath(clsRegistry& programKey, const std::string& programFolder);

// The picker loop: "Choose the root UT folder:"; on cancel with mustSelect the message
// "You MUST select the root UT folder.." and again. A folder without the game's files is asked
// about as at the first start (No: the picker again). Stores chosen and a separator as Folder.
// Returns true when a folder was stored.
bool SetGameFolder(bool mustSelect, clsRegistry& gameKey, Dialogs& dialogs,
                   FileSystem* fs = nullptr);

// Start-up steps 1-3 of finding the game folder: returns GameDir ending in a separator.
// `cacheDirOut` receives GameDir + "cache" when the folder had to be asked for.
// Without a stored folder, `findCopies` (when given) looks for the game first; the message
// says how many copies it found, and the picker opens at the best one with every one in its
// side bar. When the user chooses one of them, its cache folder goes to `cacheDirOut` and
// is stored as CacheDir in `programKey`. A chosen folder without the game's files is asked
// about before it is stored.
std::string findGameDir(clsRegistry& gameKey, Dialogs& dialogs, std::string* cacheDirOut,
                        const std::function<std::vector<FoundGame>()>& findCopies = {},
                        clsRegistry* programKey = nullptr, FileSystem* fs = nullptr);

// The paths formed from a game folder (GameDir as held, possibly ending in a separator):
// GameDir, System and UnrealTournament.ini (User.ini) joined.
std::string gameIniPath(const std::string& gameDir);
std::string userIniPath(const std::string& gameDir);

// Player name: [DefaultPlayer] Name of User.ini, "" when missing.
std::string readPlayerName(const std::string& userIni, FileSystem* fs = nullptr);

}  // namespace qv
