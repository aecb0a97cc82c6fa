// Finding a running copy of the game through /proc.
#include "platform/game_process.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <optional>
#include <sstream>

#include "platform/ascii.h"
#include "platform/paths.h"
#include "platform/trace.h"

namespace qv {

namespace {

// The text of a /proc file; what could be read of it when the process ends meanwhile.
std::string readText(const std::string& path) {
    std::string text;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return text;
    char buf[4096];
    for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0 && text.size() < (1u << 20);)
        text.append(buf, static_cast<std::size_t>(n));
    ::close(fd);
    return text;
}

// The target of a link of /proc ("" when it cannot be read), without the " (deleted)" the
// kernel adds for a file that was removed.
std::string linkTarget(const std::string& path) {
    char buf[PATH_MAX];
    const ssize_t n = ::readlink(path.c_str(), buf, sizeof buf - 1);
    if (n <= 0) return {};
    std::string target(buf, static_cast<std::size_t>(n));
    constexpr std::string_view kDeleted = " (deleted)";
    if (target.ends_with(kDeleted)) target.resize(target.size() - kDeleted.size());
    return target;
}

std::vector<std::string> splitNul(const std::string& text) {
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, '\0'))
        if (!part.empty()) parts.push_back(part);
    return parts;
}

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

std::string environValue(const std::vector<std::string>& environ, const std::string& name) {
    for (const std::string& entry : environ)
        if (entry.starts_with(name + "=")) return entry.substr(name.size() + 1);
    return {};
}

std::string canonical(const std::string& path) {
    char buf[PATH_MAX];
    return ::realpath(path.c_str(), buf) ? std::string(buf) : std::string();
}

// The Unix path a Windows path "C:\...\System\UnrealTournament.exe" names in the process's
// Wine prefix ($WINEPREFIX, else ~/.wine): the drive's link in dosdevices, then the rest.
// `inPrefix`: the drive is a folder inside the prefix (drive_c), where Windows programs spell
// names in any case; a drive onto the Linux tree (Z:) names Linux paths, which are exact.
std::string unixPathOf(const std::string& arg, const std::vector<std::string>& environ,
                       bool& inPrefix) {
    inPrefix = false;
    if (arg.starts_with('/')) return arg;
    if (arg.size() < 3 || !isAlphaAscii(arg[0]) || arg[1] != ':' ||
        (arg[2] != '\\' && arg[2] != '/'))
        return {};
    std::string prefix = environValue(environ, "WINEPREFIX");
    if (prefix.empty()) prefix = environValue(environ, "HOME") + "/.wine";
    std::string drive = canonical(prefix + "/dosdevices/" + lowerAscii(arg[0]) + ":");
    if (drive.empty() && (arg[0] == 'z' || arg[0] == 'Z')) drive = "/";  // Wine's default
    if (drive.empty()) return {};
    const std::string home = canonical(prefix);
    inPrefix = !home.empty() && drive.starts_with(home + "/");
    std::string rest = arg.substr(3);
    for (char& c : rest)
        if (c == '\\') c = '/';
    const std::string path = drive == "/" ? "/" + rest : drive + "/" + rest;
    // Through the links a prefix often has (drive_c/UT -> the real folder), as far as they exist.
    if (std::string c = canonical(path); !c.empty()) return c;
    if (std::string c = canonical(parentFolder(path)); !c.empty()) return c + "/" + baseName(path);
    return path;
}

std::optional<int> ownerOf(const std::string& procDir) {
    std::istringstream status(readText(procDir + "/status"));
    for (std::string line; std::getline(status, line);)
        if (line.starts_with("Uid:")) return std::atoi(line.c_str() + 4);
    struct stat st {};
    if (::stat(procDir.c_str(), &st) == 0) return static_cast<int>(st.st_uid);
    return std::nullopt;
}

bool anyOpenFileUnder(const std::string& procDir, const std::vector<std::string>& folders) {
    DIR* dir = ::opendir((procDir + "/fd").c_str());
    if (!dir) return false;
    bool found = false;
    while (const dirent* e = ::readdir(dir)) {
        if (e->d_name[0] == '.') continue;
        if (isUnder(linkTarget(procDir + "/fd/" + e->d_name), folders, false)) {
            found = true;
            break;
        }
    }
    ::closedir(dir);
    return found;
}

// The game's program name when the process in `procDir` is a copy of the game that uses one
// of `folders`; "" otherwise. `why` (for the trace): the reasoning, in a few words.
std::string gameIn(const std::string& procDir, const std::vector<std::string>& folders,
                   std::string& why) {
    const std::vector<std::string> argv = splitNul(readText(procDir + "/cmdline"));
    const std::string exe = linkTarget(procDir + "/exe");
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
        const std::vector<std::string> environ = splitNul(readText(procDir + "/environ"));
        for (const std::string& arg : argv) {
            if (!isGameExe(lastPart(arg))) continue;
            name = lastPart(arg);
            bool inPrefix = false;
            const std::string path = unixPathOf(arg, environ, inPrefix);
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
    if (!tied && (tied = isUnder(linkTarget(procDir + "/cwd"), folders, false)))
        why += "the game (" + name + "), started in the folder";
    if (!tied && (tied = anyOpenFileUnder(procDir, folders)))
        why += "the game (" + name + "), a file in the folder open";
    if (!tied) why += "the game's program (" + name + "), but nothing ties it to this folder";
    return tied ? name : std::string();
}

}  // namespace

RunningGames findRunningGame(const std::vector<std::string>& folders, const std::string& procRoot,
                             int selfPid, int uid) {
    if (selfPid < 0) selfPid = static_cast<int>(::getpid());
    if (uid < 0) uid = static_cast<int>(::geteuid());
    RunningGames search;
    search.othersUnseen = uid != 0;
    std::vector<std::string> wanted;
    for (const std::string& folder : folders) {
        if (folder.empty()) continue;
        wanted.push_back(removeOneTrailingSeparator(folder));
        if (const std::string c = canonical(folder); !c.empty()) wanted.push_back(c);
    }
    DIR* dir = ::opendir(procRoot.c_str());
    if (!dir) return search;
    while (const dirent* e = ::readdir(dir)) {
        const std::string pidText = e->d_name;
        if (pidText.empty() || pidText.find_first_not_of("0123456789") != std::string::npos)
            continue;
        const int pid = std::atoi(pidText.c_str());
        const std::string procDir = procRoot + "/" + pidText;
        if (pid == selfPid) continue;
        if (uid != 0 && ownerOf(procDir) != uid) continue;
        std::string why;
        std::string name = gameIn(procDir, wanted, why);
        trace::line(trace::Category::Game, "process " + pidText + " (" + why + ")");
        if (!name.empty()) search.found.push_back({std::move(name), pid});
    }
    ::closedir(dir);
    return search;
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
