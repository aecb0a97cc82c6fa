#pragma once

#include <cstddef>
#include <functional>
#include <future>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

class FileSystem;

// What one listing of the cache folder tells the run.
struct CacheListing {
    // Per index line: selected, and its cache file (GUID + "." + extension) listed as a plain
    // file. Those moves need no lookup of their own.
    std::vector<bool> listedAsFile;
    // Per index line: selected, and its cache file listed as something else (a link, a folder).
    std::vector<bool> listedAsOther;
    // Per index line: selected, and another selected line has its GUID in any letter case.
    std::vector<bool> sharedGuid;
    // The whole folder was read and held no temporary file left by an interrupted write, so
    // the clean-up need not read it again.
    bool noLeftovers = false;
    bool read = false;   // the whole folder was read
    bool ahead = false;  // by a listing made while the index was read
};

// The cache files of a listing of the cache folder made before the index was read: the run
// lists the folder on another thread meanwhile (readCacheFolderAhead).
struct CacheFolderNames {
    std::string guids;        // the GUID of each file named GUID.extension, one after another
    std::vector<bool> plain;  // per GUID: a plain file, not a link, folder or other
    bool leftovers = false;   // a temporary file left by an interrupted write is there
    bool read = false;        // the whole folder was read
};

// Lists `cacheDir` for planRun: its files named by a GUID and `cacheExt`, room made for about
// `expected` of them.
CacheFolderNames readCacheFolderAhead(const std::string& cacheDir, const std::string& cacheExt,
                                      FileSystem& fs, std::size_t expected = 0);

// readCacheFolderAhead on another thread, while this one reads the index; an invalid future
// where no thread could be had (the plan then lists the folder itself). The thread reads
// `cacheDir`, `cacheExt` and `fs` until the future is ready: they must outlive it.
std::future<CacheFolderNames> listCacheFolderAhead(const std::string& cacheDir,
                                                   const std::string& cacheExt, FileSystem& fs,
                                                   std::size_t expected);

// The listing of the cache folder for the selected `lines`: made here, or taken from `ahead`
// (a listing read ahead) once the table of the lines is made. The table holds line numbers
// only; the names stay in the lines.
CacheListing listCacheFolder(const std::vector<std::string_view>& lines,
                             const std::vector<bool>& selected, const std::string& cacheDir,
                             const std::string& cacheExt, FileSystem& fs,
                             const std::function<CacheFolderNames()>& ahead);

}  // namespace qv
