#include "platform/paths.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace qv {

std::string joinPath(const std::string& a, const std::string& b) {
    return a + kSep + b;
}

std::string toNativeSeparators(std::string path) {
    std::replace(path.begin(), path.end(), '\\', kSep);
    return path;
}

bool endsWithSeparator(const std::string& path) {
    return !path.empty() && (path.back() == '/' || path.back() == '\\');
}

std::string removeOneTrailingSeparator(std::string path) {
    if (endsWithSeparator(path)) path.pop_back();
    return path;
}

// Only '/' separates here: on Linux a backslash is an ordinary byte of a file name.
std::string baseName(const std::string& path) {
    std::string p = path;
    if (p.size() > 1 && p.back() == kSep) p.pop_back();
    const auto pos = p.rfind(kSep);
    if (pos == std::string::npos) return p;
    return p.substr(pos + 1);
}

std::string parentFolder(const std::string& path) {
    const auto pos = path.rfind(kSep);
    if (pos == std::string::npos) return ".";
    if (pos == 0) return "/";
    return path.substr(0, pos);
}

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

std::string programFolder() {
    const std::string exe = executablePath();
    return exe.empty() ? "." : parentFolder(exe);
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

namespace {

// A relative XDG path is to be ignored, as the base directory rules say.
std::string xdgFolder(const char* variable, const char* fallbackUnderHome) {
    if (const char* x = std::getenv(variable); x && *x == '/') return x;
    return homeFolder() + fallbackUnderHome;
}

}  // namespace

std::string userDataHome() {
    return xdgFolder("XDG_DATA_HOME", "/.local/share");
}

std::string userConfigHome() {
    return xdgFolder("XDG_CONFIG_HOME", "/.config");
}

bool folderIsWritable(const std::string& folder) {
    return ::access(folder.c_str(), W_OK) == 0;
}

}  // namespace qv
