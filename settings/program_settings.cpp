#include "settings/program_settings.h"

#include <charconv>
#include <cmath>
#include <functional>
#include <string_view>
#include <vector>

#include "platform/ascii.h"
#include "platform/dialogs.h"
#include "platform/filesystem.h"
#include "platform/paths.h"
#include "settings/cls_registry.h"
#include "settings/game_finder.h"
#include "settings/mdl_ini.h"

namespace qv {

namespace {

// A whole decimal number or a decimal fraction, nothing else around it but blanks.
bool parseNumber(std::string_view text, double& out) {
    const std::string t(trimAscii(text));
    if (t.empty()) return false;
    for (char c : t)
        if (!((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.' || c == 'e' || c == 'E'))
            return false;  // keeps out "inf", "nan", hex and the like
    // from_chars reads the same in every locale (strtod wants the locale's decimal point).
    std::string_view digits = t;
    if (digits.size() > 1 && digits.front() == '+' && digits[1] != '-') digits.remove_prefix(1);
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), out);
    return ec == std::errc() && end == digits.data() + digits.size() && std::isfinite(out);
}

std::string truthText(bool b) {
    return b ? "True" : "False";
}

// Option buttons of one group: choosing one clears the others, as the controls do.
void setOption(bool& field, bool value, std::initializer_list<bool*> group) {
    if (value)
        for (bool* other : group) *other = false;
    field = value;
}

std::string chooseGameFolder(bool mustSelect, Dialogs& dialogs,
                             const std::vector<FoundGame>& found = {}) {
    std::vector<FolderPlace> places;
    for (const FoundGame& g : found) places.push_back({g.folder, placeName(g)});
    const std::string start = found.empty() ? std::string() : found.front().folder;
    for (;;) {
        std::string chosen =
            places.empty() ? dialogs.pickFolder("Choose the root UT folder:")
                           : dialogs.pickFolderAmong("Choose the root UT folder:", start, places);
        if (!chosen.empty() || !mustSelect) return chosen;
        dialogs.message(kProgramTitle, "You MUST select the root UT folder..");
    }
}

// What the first start says before the picker opens: how many copies were found, or that none
// was. The example is the first folder the search for copies looks in, never the per-user
// settings folder ~/.utpg, which is not a game folder.
std::string notFoundText(std::size_t found) {
    if (found == 0)
        return "Unreal Tournament not found.\r\n\r\nPlease click OK to select the main "
               "directory..\r\n(example - /home/you/.local/share/OldUnreal/UnrealTournament)";
    // Two lines of their own: the box does not wrap the choice in the middle.
    if (found == 1)
        return "Quorvel found 1 copy of Unreal Tournament.\r\nChoose it in the side bar, or "
               "another folder.";
    return "Quorvel found " + std::to_string(found) +
           " copies of Unreal Tournament.\r\nChoose one in the side bar, or another folder.";
}

}  // namespace

bool textToBool(const std::string& text, bool& ok) {
    const std::string_view t = trimAscii(text);
    ok = true;
    if (equalsNoCaseAscii(t, "True")) return true;
    if (equalsNoCaseAscii(t, "False")) return false;
    double n = 0;
    ok = parseNumber(t, n);
    return ok && n != 0;
}

int textToInt(const std::string& text, bool& ok) {
    const std::string t(trimAscii(text));
    ok = false;
    if (t.empty()) return 0;
    std::string_view digits = t;
    if (digits.size() > 1 && digits.front() == '+' && digits[1] != '-') digits.remove_prefix(1);
    int n = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), n);
    if (ec != std::errc() || end != digits.data() + digits.size()) return 0;
    ok = true;
    return n;
}

Options restoreOptions(clsRegistry& programKey, Options designed) {
    Options& o = designed;
    bool ok = false;
    const auto readOption = [&](const char* name, const char* def, bool& field,
                                std::initializer_list<bool*> group) {
        const bool b = textToBool(programKey.ReadEntry(name, def), ok);
        if (ok) setOption(field, b, group);
    };
    // A check box holds 0 (clear), 1 (checked) or 2 (grey); any other number is refused.
    const auto readCheck = [&](const char* name, int& field) {
        const int n = textToInt(programKey.ReadEntry(name, "0"), ok);
        if (ok && n >= 0 && n <= 2) field = n;
    };
    readOption("SelectAll", "True", o.SelectAll, {&o.SelectOnly});
    readOption("SelectOnly", "False", o.SelectOnly, {&o.SelectAll});
    readCheck("U", o.U);
    readCheck("UAX", o.UAX);
    readCheck("UMX", o.UMX);
    readCheck("UNR", o.UNR);
    readCheck("UTX", o.UTX);
    readOption("MoveNorm", "True", o.MoveNorm, {&o.MoveDir, &o.MoveDir2});
    readOption("MoveDir", "False", o.MoveDir, {&o.MoveNorm, &o.MoveDir2});
    o.MoveDirText = programKey.ReadEntry("MoveDirText", "");
    readOption("MoveDir2", "False", o.MoveDir2, {&o.MoveNorm, &o.MoveDir});
    o.MoveDir2Text = programKey.ReadEntry("MoveDir2Text", "");
    o.CacheDir = programKey.ReadEntry("CacheDir", "");
    return o;
}

void saveOptions(clsRegistry& programKey, const Options& o,
                 const std::vector<std::pair<std::string, std::string>>& more) {
    clsRegistry::Entries entries = {{"SelectAll", truthText(o.SelectAll)},
                                    {"SelectOnly", truthText(o.SelectOnly)},
                                    {"U", std::to_string(o.U)},
                                    {"UAX", std::to_string(o.UAX)},
                                    {"UMX", std::to_string(o.UMX)},
                                    {"UNR", std::to_string(o.UNR)},
                                    {"UTX", std::to_string(o.UTX)},
                                    {"MoveNorm", truthText(o.MoveNorm)},
                                    {"MoveDir", truthText(o.MoveDir)},
                                    {"MoveDirText", o.MoveDirText},
                                    {"MoveDir2", truthText(o.MoveDir2)},
                                    {"MoveDir2Text", o.MoveDir2Text},
                                    {"CacheDir", o.CacheDir}};
    entries.insert(entries.end(), more.begin(), more.end());
    // One replacement of the store: closing the window writes it once, not once per option.
    programKey.WriteEntries(entries);
}

bool ensureInstallPath(clsRegistry& programKey, const std::string& programFolder) {
    return !programKey.ReadEntry("InstallPath", "").empty() ||
           programKey.WriteEntry("InstallPath", programFolder);
}

namespace {

// A folder without the game's files (the home folder after a stray Enter or two) is taken only
// when the user says so, No the default.
bool takenAsGameFolder(const std::string& chosen, Dialogs& dialogs, FileSystem& fs) {
    return holdsGameFiles(chosen, fs) ||
           dialogs.askYesNoDefaultNo(kProgramTitle,
                                     chosen +
                                         " holds none of Unreal Tournament's files "
                                         "(System/UnrealTournament.ini, its programs)."
                                         "\r\n\r\nUse it as the game's folder anyway?");
}

}  // namespace

bool SetGameFolder(bool mustSelect, clsRegistry& gameKey, Dialogs& dialogs, FileSystem* fs) {
    FileSystem& files = fs ? *fs : realFileSystem();
    std::string chosen;
    do {
        chosen = chooseGameFolder(mustSelect, dialogs);
        if (chosen.empty()) return false;
    } while (!takenAsGameFolder(chosen, dialogs, files));
    gameKey.WriteEntry("Folder", chosen + kSep);
    return true;
}

std::string findGameDir(clsRegistry& gameKey, Dialogs& dialogs, std::string* cacheDirOut,
                        const std::function<std::vector<FoundGame>()>& findCopies,
                        clsRegistry* programKey, FileSystem* fs) {
    std::string gameDir = gameKey.ReadEntry("Folder", "");
    if (!gameDir.empty()) {
        gameDir = withTrailingSeparator(std::move(gameDir));
        return gameDir;
    }
    FileSystem& files = fs ? *fs : realFileSystem();
    const std::vector<FoundGame> found = findCopies ? findCopies() : std::vector<FoundGame>();
    dialogs.message(kProgramTitle, notFoundText(found.size()));
    std::string chosen;
    for (;;) {
        chosen = chooseGameFolder(true, dialogs, found);
        if (takenAsGameFolder(chosen, dialogs, files)) break;
    }
    gameKey.WriteEntry("Folder", chosen + kSep);
    gameDir = gameKey.ReadEntry("Folder", "");
    // A store that could not be written must not leave the program without its game folder.
    if (gameDir.empty()) gameDir = chosen + kSep;
    gameDir = withTrailingSeparator(std::move(gameDir));
    if (cacheDirOut) *cacheDirOut = gameDir + "cache";
    // A game found with its cache folder: that folder, not one formed from the game folder.
    const Result<std::string> picked = files.canonicalPath(chosen);
    for (const FoundGame& g : found) {
        if (!picked || g.folder != picked.value || g.cacheDir.empty()) continue;
        if (cacheDirOut) *cacheDirOut = g.cacheDir;
        if (programKey) programKey->WriteEntry("CacheDir", g.cacheDir);
    }
    return gameDir;
}

std::string gameIniPath(const std::string& gameDir) {
    return joinPath(gameDir, "System", "UnrealTournament.ini");
}

std::string userIniPath(const std::string& gameDir) {
    return joinPath(gameDir, "System", "User.ini");
}

std::string readPlayerName(const std::string& userIni, FileSystem* fs) {
    return INIGetSettingString("DefaultPlayer", "Name", userIni, "", nullptr, fs);
}

}  // namespace qv
