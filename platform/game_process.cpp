// A copy of the game, told from what a process shows of itself.
#include "platform/game_process.h"

#include "platform/ascii.h"
#include "platform/paths.h"
#include "platform/trace.h"

namespace qv {

namespace {

// The last part of a Unix or a Windows path.
std::string lastPart(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool isNativeGame(const std::string& base) {
    const std::string b = lowerAscii(base);
    return b.starts_with("ut-bin") || b == "unrealtournament" || b.starts_with("ucc-bin");
}

// The game's Windows programs, in any case, with or without ".exe" (a cmd prompt starts "ucc").
bool isGameExe(const std::string& base) {
    std::string b = lowerAscii(base);
    if (b.ends_with(".exe")) b.resize(b.size() - 4);
    return b == "unrealtournament" || b == "ucc";
}

bool isWineLike(const std::string& exeBase, const std::vector<std::string>& argv) {
    const std::string e = lowerAscii(exeBase);
    const std::string a = argv.empty() ? std::string() : lowerAscii(lastPart(argv[0]));
    for (const std::string& b : {e, a})
        if (b.starts_with("wine") || b.starts_with("proton")) return true;
    return a.ends_with(".exe");  // Wine shows the Windows program as argv[0]
}

// Whether `path` is one of `folders` or lies in one; letter case aside for a path Wine maps,
// whose file names the Windows program may spell in any case.
bool isUnder(const std::string& path, const std::vector<std::string>& folders, bool anyCase) {
    const std::string p = anyCase ? lowerAscii(path) : path;
    for (const std::string& folder : folders) {
        const std::string f = anyCase ? lowerAscii(folder) : folder;
        if (!f.empty() && p.starts_with(f) && (p.size() == f.size() || p[f.size()] == '/'))
            return true;
    }
    return false;
}

std::string environValue(const std::vector<std::string>& environment, const std::string& name) {
    for (const std::string& entry : environment)
        if (entry.starts_with(name + "=")) return entry.substr(name.size() + 1);
    return {};
}

// The Unix path a Windows path "C:\...\System\UnrealTournament.exe" names in the process's
// Wine prefix ($WINEPREFIX, else ~/.wine): the drive's link in dosdevices, then the rest.
// `inPrefix`: the drive is a folder inside the prefix (drive_c), where Windows programs spell
// names in any case; a drive onto the Linux tree (Z:) names Linux paths, which are exact.
std::string unixPathOf(const std::string& arg, const std::vector<std::string>& environment,
                       bool& inPrefix) {
    inPrefix = false;
    if (arg.starts_with('/')) return arg;
    if (arg.size() < 3 || !isAlphaAscii(arg[0]) || arg[1] != ':' ||
        (arg[2] != '\\' && arg[2] != '/'))
        return {};
    std::string prefix = environValue(environment, "WINEPREFIX");
    if (prefix.empty()) prefix = environValue(environment, "HOME") + "/.wine";
    std::string drive = realPath(prefix + "/dosdevices/" + lowerAscii(arg[0]) + ":");
    if (drive.empty() && (arg[0] == 'z' || arg[0] == 'Z')) drive = "/";  // Wine's default
    if (drive.empty()) return {};
    const std::string home = realPath(prefix);
    inPrefix = !home.empty() && drive.starts_with(home + "/");
    std::string rest = arg.substr(3);
    for (char& c : rest)
        if (c == '\\') c = '/';
    const std::string path = drive == "/" ? "/" + rest : drive + "/" + rest;
    // Through the links a prefix often has (drive_c/UT -> the real folder), as far as they exist.
    if (std::string c = realPath(path); !c.empty()) return c;
    if (std::string c = realPath(parentFolder(path)); !c.empty()) return c + "/" + baseName(path);
    return path;
}

}  // namespace

std::vector<std::string> foldersToCompare(const std::vector<std::string>& folders) {
    std::vector<std::string> wanted;
    for (const std::string& folder : folders) {
        if (folder.empty()) continue;
        wanted.push_back(removeOneTrailingSeparator(folder));
        if (const std::string c = realPath(folder); !c.empty()) wanted.push_back(c);
    }
    return wanted;
}

std::string gameProgramOf(ProcessLook& process, const std::vector<std::string>& folders) {
    std::string why;
    return gameProgramOf(process, folders, why);
}

std::string gameProgramOf(ProcessLook& process, const std::vector<std::string>& folders,
                          std::string& why) {
    const std::vector<std::string> argv = process.arguments();
    const std::string exe = process.executable();
    why = "exe " + exe + ", argv[0] " + (argv.empty() ? std::string("-") : argv[0]) + ": ";
    std::string name;
    bool tied = false;
    if (isNativeGame(lastPart(exe)))
        name = lastPart(exe);
    else if (!argv.empty() && isNativeGame(lastPart(argv[0])))
        name = lastPart(argv[0]);
    if (!name.empty()) {
        tied = isUnder(exe, folders, false) || (!argv.empty() && isUnder(argv[0], folders, false));
        if (tied) why += "the game, its program in the folder";
    } else if (isWineLike(lastPart(exe), argv)) {
        const std::vector<std::string> environment = process.environment();
        for (const std::string& arg : argv) {
            if (!isGameExe(lastPart(arg))) continue;
            name = lastPart(arg);
            bool inPrefix = false;
            const std::string path = unixPathOf(arg, environment, inPrefix);
            if (!tied && isUnder(path, folders, inPrefix))
                why += "the game under Wine, its command line naming " + path +
                       (inPrefix ? " (a drive in the prefix: any case)" : " (exactly)");
            tied = tied || isUnder(path, folders, inPrefix);
        }
    }
    if (name.empty()) {
        why += "not one of the game's programs";
        return {};
    }
    if (!tied && (tied = isUnder(process.workingFolder(), folders, false)))
        why += "the game (" + name + "), started in the folder";
    if (!tied && (tied = process.anyOpenFile(
                      [&](const std::string& file) { return isUnder(file, folders, false); })))
        why += "the game (" + name + "), a file in the folder open";
    if (!tied) why += "the game's program (" + name + "), but nothing ties it to this folder";
    return tied ? name : std::string();
}
std::string gameRunningText(const RunningGames& search) {
    std::string text;
    for (const GameProcess& p : search.found) {
        if (!text.empty()) text += ", ";
        text += p.name + " (process " + std::to_string(p.pid) + ")";
    }
    return text;
}

}  // namespace qv
