#pragma once

#include <string>

namespace qv {

constexpr char kSep = '/';

// a + "/" + b, kept as formed (a doubled separator is harmless and kept).
std::string joinPath(const std::string& a, const std::string& b);

// a + "/" + b with one separator between them where `a` already ends in one: for paths that are
// shown to the user.
inline std::string joinShown(const std::string& a, const std::string& b) {
    if (!a.empty() && (a.back() == kSep || a.back() == '\\')) return a + b;
    return a + kSep + b;
}

// A backslash in a value from Quorvel.ini or typed by the user is a separator on Linux.
std::string toNativeSeparators(std::string path);

bool endsWithSeparator(const std::string& path);

// Removes one trailing separator ('/' or '\'), if there is one.
std::string removeOneTrailingSeparator(std::string path);

// The last component of a path.
std::string baseName(const std::string& path);

// The folder part of a path ("." for a bare name, "/" for a name in the root).
std::string parentFolder(const std::string& path);

// The running executable's full path (from /proc/self/exe), "" when the kernel does not tell.
std::string executablePath();

// The folder that holds the running executable (from /proc/self/exe), without a trailing
// separator.
std::string programFolder();

// The user's home folder ($HOME, else the password database).
std::string homeFolder();

// The base folders for the user's data and configuration: $XDG_DATA_HOME and $XDG_CONFIG_HOME
// when they hold an absolute path, else ~/.local/share and ~/.config.
std::string userDataHome();
std::string userConfigHome();
// The base folder of the user's caches: $XDG_CACHE_HOME when it holds an absolute path, else
// ~/.cache.
std::string userCacheHome();

// Whether this process may create and replace files in `folder` (access(2) with W_OK).
bool folderIsWritable(const std::string& folder);

// The process's working folder, "" when it cannot be told (removed meanwhile).
std::string workingFolder();

// The absolute path with every link, "." and ".." resolved (realpath(3)); "" for a path that
// does not exist or runs through a broken link.
std::string realPath(const std::string& path);

// Whether `path` itself is a symbolic link (it is not followed; a broken one counts).
bool isSymbolicLink(const std::string& path);

// Makes a new folder only this user can enter, named `prefix` and six random characters, in
// `inFolder`: its path, or "" when none could be made.
std::string makeScratchFolder(const std::string& inFolder, const std::string& prefix);

}  // namespace qv
