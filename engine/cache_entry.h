#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qv {

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
