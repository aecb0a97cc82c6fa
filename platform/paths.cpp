#include "platform/paths.h"

#include <algorithm>

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

std::string programFolder() {
    const std::string exe = executablePath();
    return exe.empty() ? "." : parentFolder(exe);
}

}  // namespace qv
