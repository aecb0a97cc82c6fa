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

// Whether `path` is one of `folders` or lies in one, as the kernel spells it.
bool isUnder(const std::string& path, const std::vector<std::string>& folders) {
    for (const std::string& folder : folders)
        if (!folder.empty() && (path == folder || liesUnder(path, folder))) return true;
    return false;
}

std::string environValue(const std::vector<std::string>& environment, const std::string& name) {
    for (const std::string& entry : environment)
        if (entry.starts_with(name + "=")) return entry.substr(name.size() + 1);
    return {};
}

// The Linux file Wine opens for a Windows path "D:\...\System\UnrealTournament.exe" in the
// process's prefix ($WINEPREFIX, else ~/.wine): the drive's link in dosdevices, then each part
// below it as Wine looks it up, the exact name where there is one, else a name of the folder
// that differs from it only in letter case. "." and ".." are taken away first, as Windows
// does. A Unix path (the process's own view of a native program) is taken as it is; "" for a
// path Wine would not map (no drive, a drive the prefix lacks).
std::string unixPathOf(std::string arg, const std::vector<std::string>& environment) {
    if (isAbsolutePath(arg)) return arg;
    // The forms of a path that skip Windows' own normalising: \\?\D:\... and \??\D:\...
    if (arg.size() > 4 && (arg[0] == '\\' || arg[0] == '/') && (arg[1] == '\\' || arg[1] == '?') &&
        arg[2] == '?' && (arg[3] == '\\' || arg[3] == '/'))
        arg.erase(0, 4);
    if (arg.size() < 3 || !isAlphaAscii(arg[0]) || arg[1] != ':' ||
        (arg[2] != '\\' && arg[2] != '/'))
        return {};
    std::string prefix = environValue(environment, "WINEPREFIX");
    if (prefix.empty()) prefix = joinPath(environValue(environment, "HOME"), ".wine");
    std::string drive = joinPath(prefix, "dosdevices", std::string{lowerAscii(arg[0]), ':'});
    if (realPath(drive).empty()) {
        if (lowerAscii(arg[0]) != 'z') return {};
        drive.clear();  // Wine's default Z: is the root
    }
    std::vector<std::string> parts;
    for (std::size_t from = 3; from <= arg.size();) {
        std::size_t to = arg.find_first_of("\\/", from);
        if (to == std::string::npos) to = arg.size();
        const std::string part = arg.substr(from, to - from);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        from = to + 1;
    }
    std::string path = drive;
    bool found = true;  // every part so far is there: look the next one up
    for (const std::string& part : parts) {
        const std::string folder = path.empty() ? std::string(1, kSep) : path;
        std::string name = found ? entryNameAnyCase(folder, part) : std::string();
        found = !name.empty();
        path = joinShown(folder, found ? name : part);
    }
    // Through the links a prefix often has (drive_c/UT -> the real folder), as far as they exist.
    if (std::string c = realPath(path); !c.empty()) return c;
    if (std::string c = realPath(parentPath(path)); !c.empty())
        return joinShown(c, fileNameOf(path));
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
        tied = isUnder(exe, folders) || (!argv.empty() && isUnder(argv[0], folders));
        if (tied) why += "the game, its program in the folder";
    } else if (isWineLike(lastPart(exe), argv)) {
        const std::vector<std::string> environment = process.environment();
        for (const std::string& arg : argv) {
            if (!isGameExe(lastPart(arg))) continue;
            name = lastPart(arg);
            const std::string path = unixPathOf(arg, environment);
            if (!tied && isUnder(path, folders))
                why += "the game under Wine, its command line naming " + path;
            tied = tied || isUnder(path, folders);
        }
    }
    if (name.empty()) {
        why += "not one of the game's programs";
        return {};
    }
    if (!tied && (tied = isUnder(process.workingFolder(), folders)))
        why += "the game (" + name + "), started in the folder";
    if (!tied && (tied = process.anyOpenFile(
                      [&](const std::string& file) { return isUnder(file, folders); })))
        why += "the game (" + name + "), a file in the folder open or mapped";
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
