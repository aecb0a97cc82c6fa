// Where the program, the user's files and the folders of the system are, on a POSIX system.
#include <dirent.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <vector>

#include "platform/ascii.h"
#include "platform/paths.h"

namespace qv {

std::string executablePath() {
    std::vector<char> buf(4096);
    for (;;) {
        const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
        if (n <= 0) return {};
        if (static_cast<std::size_t>(n) < buf.size()) {
            std::string exe(buf.data(), static_cast<std::size_t>(n));
            // The kernel marks a replaced or removed executable this way.
            const std::string deleted = " (deleted)";
            if (exe.size() > deleted.size() && exe.ends_with(deleted))
                exe.erase(exe.size() - deleted.size());
            return exe;
        }
        buf.resize(buf.size() * 2);
    }
}

std::string homeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buf(size > 0 ? static_cast<std::size_t>(size) : 16384);
    passwd pw{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &pw, buf.data(), buf.size(), &found) == 0 && found &&
        found->pw_dir)
        return found->pw_dir;
    return {};
}

std::string absolutePathFromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    return value && isAbsolutePath(value) ? value : "";
}

namespace {

// A relative XDG path is to be ignored, as the base directory rules say.
std::string xdgFolder(const char* variable, const char* fallbackUnderHome) {
    if (std::string x = absolutePathFromEnvironment(variable); !x.empty()) return x;
    return homeFolder() + fallbackUnderHome;
}

}  // namespace

std::vector<std::string> sharedProgramFolders() {
    return {"/usr/local/games", "/opt"};
}

std::string systemLibraryFolder() {
    return "/usr/lib";
}

std::string systemFolder() {
    return "/";
}

std::string temporaryFolder() {
    const char* dir = std::getenv("TMPDIR");
    return dir && *dir ? dir : "/tmp";
}

std::string userDataHome() {
    return xdgFolder("XDG_DATA_HOME", "/.local/share");
}

std::string userConfigHome() {
    return xdgFolder("XDG_CONFIG_HOME", "/.config");
}

std::string userCacheHome() {
    return xdgFolder("XDG_CACHE_HOME", "/.cache");
}

bool folderIsWritable(const std::string& folder) {
    return ::access(folder.c_str(), W_OK) == 0;
}

std::string workingFolder() {
    std::vector<char> buf(PATH_MAX);
    return ::getcwd(buf.data(), buf.size()) ? std::string(buf.data()) : std::string();
}

std::string realPath(const std::string& path) {
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (!resolved) return {};
    std::string out = resolved;
    std::free(resolved);
    return out;
}

std::string entryNameAnyCase(const std::string& folder, const std::string& name) {
    struct stat st {};
    if (::lstat(joinPath(folder, name).c_str(), &st) == 0) return name;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return {};
    std::string found;
    while (const dirent* e = ::readdir(dir))
        if (equalsNoCaseAscii(e->d_name, name)) {
            found = e->d_name;
            break;
        }
    ::closedir(dir);
    return found;
}

bool isSymbolicLink(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

std::string makeScratchFolder(const std::string& inFolder, const std::string& prefix) {
    std::string pattern = joinShown(inFolder, prefix + "XXXXXX");
    return ::mkdtemp(pattern.data()) ? pattern : std::string();
}

}  // namespace qv
