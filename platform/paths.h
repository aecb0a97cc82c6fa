#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

// The separator paths are joined with: '/' on POSIX, a backslash on Windows (which takes '/'
// as well).
#if defined(_WIN32)
constexpr char kSep = '\\';
#else
constexpr char kSep = '/';
#endif

// Whether `c` separates the parts of a path on this system.
constexpr bool isSeparator(char c) {
    return c == kSep || c == '/';
}

// a, the separator and b, kept as formed (a doubled separator is harmless and kept).
std::string joinPath(std::string_view a, std::string_view b);
// Every part joined to the one before it as above.
template <class... More>
std::string joinPath(std::string_view a, std::string_view b, std::string_view c,
                     const More&... more) {
    std::string path = joinPath(joinPath(a, b), c);
    ((path = joinPath(path, std::string_view(more))), ...);
    return path;
}

// `folder` joined to a relative path the program names itself, written with '/' between its parts
// (".steam/root"): the separators in it made the system's.
std::string joinGenericPath(std::string_view folder, std::string_view generic);

// `path` with a leading "~" and separator standing for `home` ("~/Games" is home + "/Games"),
// as launchers' files write paths in the home folder; any other path as it is.
std::string withHomeExpanded(std::string path, const std::string& home);

// a, the separator and b, with one separator between them where `a` already ends in one (or in
// a backslash, a separator in a value the user gave): for paths that are shown to the user.
inline std::string joinShown(const std::string& a, const std::string& b) {
    if (!a.empty() && (isSeparator(a.back()) || a.back() == '\\')) return a + b;
    return a + kSep + b;
}

// Whether `path` lies in `folder`: it begins with `folder` and a separator.
bool liesUnder(std::string_view path, std::string_view folder);

// `path` with one separator at its end, added unless it ends in one already.
std::string withTrailingSeparator(std::string path);

// Whether `path` names its place from the root: on POSIX it begins with '/'; on Windows see
// isAbsoluteWindowsPath.
bool isAbsolutePath(std::string_view path);

// Whether `path` is absolute by the rules of Windows: a drive letter, ':' and a separator
// (C:\UT, c:/UT), or two separators first (a UNC path \\server\share, or \\?\C:\UT). C:UT and
// \UT depend on a working folder and are not.
bool isAbsoluteWindowsPath(std::string_view path);

// Where the last separator in `path` is, at or before `before`; npos when there is none.
std::size_t lastSeparator(std::string_view path, std::size_t before = std::string_view::npos);
// Where the first separator in `path` is, at or after `from`; npos when there is none.
std::size_t nextSeparator(std::string_view path, std::size_t from = 0);
// Where the first byte at or after `from` that is no separator is; npos when there is none.
std::size_t nextNonSeparator(std::string_view path, std::size_t from = 0);

// What follows the last separator (the whole path when it has none; "" when it ends in one).
std::string fileNameOf(std::string_view path);

// The path up to its last separator; the root stays the root ("/" for "/x") and a path without
// a separator stays as it is.
std::string parentPath(std::string_view path);

// The folders the system installs programs that are not its own into, where a game unpacked by
// hand is looked for (/usr/local/games and /opt on Linux).
std::vector<std::string> sharedProgramFolders();

// A backslash in a value from Quorvel.ini or typed by the user is a separator on Linux.
std::string toNativeSeparators(std::string path);

bool endsWithSeparator(const std::string& path);

// Removes one trailing separator ('/' or '\'), if there is one.
std::string removeOneTrailingSeparator(std::string path);

// The last component of a path.
std::string baseName(const std::string& path);

// The folder part of a path ("." for a bare name, "/" for a name in the root).
std::string parentFolder(const std::string& path);
// The same as a view into `path` (or of "."): no copy of a folder asked for many times.
std::string_view parentFolderView(std::string_view path);

// The running executable's full path (from /proc/self/exe), "" when the kernel does not tell.
std::string executablePath();

// The folder that holds the running executable (from /proc/self/exe), without a trailing
// separator.
std::string programFolder();

// The user's home folder ($HOME, else the password database).
std::string homeFolder();

// The value of the environment variable `name` when it holds an absolute path, else "" (as the
// XDG base folders count only then).
std::string absolutePathFromEnvironment(const char* name);

// The system's own folders, as the troubleshooter reports them: where its shared libraries are
// (/usr/lib on Linux), the folder it lives in (/ on Linux), and the folder for temporary files
// ($TMPDIR, else /tmp).
std::string systemLibraryFolder();
std::string systemFolder();
std::string temporaryFolder();

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

// The entry of `folder` a Windows program gets for `name` under Wine: `name` itself when
// something of that name is there, else the first entry whose name differs from it only in
// ASCII letter case; "" when there is neither or the folder cannot be read.
std::string entryNameAnyCase(const std::string& folder, const std::string& name);

// Whether `path` itself is a symbolic link (it is not followed; a broken one counts).
bool isSymbolicLink(const std::string& path);

// Makes a new folder only this user can enter, named `prefix` and six random characters, in
// `inFolder`: its path, or "" when none could be made.
std::string makeScratchFolder(const std::string& inFolder, const std::string& prefix);

}  // namespace qv
