#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "settings/cache_index_format.h"

namespace qv {

class FileSystem;

// The cache extension as Quorvel.ini gives it, with or without its dot (the game's own ini
// writes ".uxx"): without the dot, as it follows the GUID and its dot in a file name.
std::string cacheExtension(std::string_view configured);

// For each of `wanted` (plain names) that `folder` does not hold as they are: the one plain
// file whose name equals it ignoring ASCII case. A cache copied from Windows, or used under
// Wine, finds its files whatever the case of their names. Names with no such file, or with
// more than one, are left out. One listing of the folder, only when a name is missing.
std::unordered_map<std::string, std::string> namesIgnoringCase(
    FileSystem& fs, const std::string& folder, const std::vector<std::string>& wanted);

constexpr const char* kMissingExtensionPrefix =
    "**ERROR** Missing file extension in cache.ini ---> ";

// One entry line of cache.ini, read by position: Guid = characters 1-32, character 33 not
// examined, RealName = the line from character 34 on. Nothing is trimmed.
struct CacheEntry {
    std::string Guid;
    std::string CacheFileName;  // Guid + "." + cache extension
    std::string RealName;

    bool missingExtension() const { return RealName.find('.') == std::string::npos; }
    // RealName, or the "**ERROR** ..." form for a missing extension.
    std::string displayName() const;
};

// nullopt for a line of 10 characters or fewer and for a blank line (spaces and tabs only):
// those are skipped. A line of 11 to 32 characters gives all of its characters as Guid and an
// empty RealName.
std::optional<CacheEntry> parseEntryLine(std::string_view line, const std::string& cacheExt);

// The same parts as views into `line`, without copies, by the same rules.
struct EntryView {
    std::string_view Guid;
    std::string_view RealName;
    bool missingExtension() const { return RealName.find('.') == std::string_view::npos; }
};
std::optional<EntryView> parseEntryView(std::string_view line);

}  // namespace qv
