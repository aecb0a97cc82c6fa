#include "platform/paths.h"

#include <algorithm>

#include "platform/ascii.h"

namespace qv {

namespace {

// How many bytes of `path` name its root ("/" on POSIX; "C:\", or the two separators of a UNC
// path, on Windows); 0 for a relative path.
std::size_t rootLength(std::string_view path) {
#if defined(_WIN32)
    if (path.size() >= 3 && path[1] == ':' && isSeparator(path[2])) return 3;
    if (path.size() >= 2 && isSeparator(path[0]) && isSeparator(path[1])) return 2;
    return !path.empty() && isSeparator(path[0]) ? 1 : 0;
#else
    return isAbsolutePath(path) ? 1 : 0;
#endif
}

}  // namespace

std::string joinPath(std::string_view a, std::string_view b) {
    std::string path;
    path.reserve(a.size() + 1 + b.size());
    path.append(a).push_back(kSep);
    return path.append(b);
}

std::string joinPath(std::string_view a, std::string_view b, std::string_view c) {
    std::string path = joinPath(a, b);
    path.push_back(kSep);
    return path.append(c);
}

std::string joinGenericPath(std::string_view folder, std::string_view generic) {
    std::string path = joinPath(folder, generic);
    std::replace(path.begin() + static_cast<std::ptrdiff_t>(folder.size()), path.end(), '/', kSep);
    return path;
}

std::string withHomeExpanded(std::string path, const std::string& home) {
    if (path.size() >= 2 && path[0] == '~' && isSeparator(path[1])) path.replace(0, 1, home);
    return path;
}

bool liesUnder(std::string_view path, std::string_view folder) {
    return path.size() > folder.size() && path.starts_with(folder) &&
           isSeparator(path[folder.size()]);
}

std::string withTrailingSeparator(std::string path) {
    if (path.empty() || !isSeparator(path.back())) path.push_back(kSep);
    return path;
}

bool isAbsoluteWindowsPath(std::string_view path) {
    const auto separates = [](char c) { return c == '\\' || c == '/'; };
    if (path.size() >= 3 && isAlphaAscii(path[0]) && path[1] == ':' && separates(path[2]))
        return true;
    return path.size() >= 2 && separates(path[0]) && separates(path[1]);
}

bool isAbsolutePath(std::string_view path) {
#if defined(_WIN32)
    return isAbsoluteWindowsPath(path);
#else
    return !path.empty() && path.front() == kSep;
#endif
}

std::size_t lastSeparator(std::string_view path, std::size_t before) {
    if (path.empty()) return std::string_view::npos;
    for (std::size_t i = std::min(before, path.size() - 1) + 1; i-- > 0;)
        if (isSeparator(path[i])) return i;
    return std::string_view::npos;
}

std::size_t nextSeparator(std::string_view path, std::size_t from) {
    for (std::size_t i = from; i < path.size(); ++i)
        if (isSeparator(path[i])) return i;
    return std::string_view::npos;
}

std::size_t nextNonSeparator(std::string_view path, std::size_t from) {
    for (std::size_t i = from; i < path.size(); ++i)
        if (!isSeparator(path[i])) return i;
    return std::string_view::npos;
}

std::string fileNameOf(std::string_view path) {
    const std::size_t slash = lastSeparator(path);
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string parentPath(std::string_view path) {
    const std::size_t slash = lastSeparator(path);
    if (slash == std::string_view::npos) return std::string(path);
    return std::string(path.substr(0, std::max(slash, rootLength(path))));
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

// Only the system's separators count here: on Linux a backslash is an ordinary byte of a name.
std::string baseName(const std::string& path) {
    std::string p = path;
    if (p.size() > 1 && isSeparator(p.back())) p.pop_back();
    return fileNameOf(p);
}

std::string_view parentFolderView(std::string_view path) {
    const auto pos = lastSeparator(path);
    if (pos == std::string_view::npos) return ".";
    return path.substr(0, std::max(pos, rootLength(path)));
}

std::string parentFolder(const std::string& path) {
    return std::string(parentFolderView(path));
}

std::string programFolder() {
    const std::string exe = executablePath();
    return exe.empty() ? "." : parentFolder(exe);
}

}  // namespace qv
