#include "engine/cache_entry.h"

#include "platform/ascii.h"

namespace qv {

namespace {
constexpr std::size_t kMinEntryLength = 11;  // shorter lines ("[Cache]", blanks) are skipped
constexpr std::size_t kGuidLength = 32;
constexpr std::size_t kRealNameStart = 33;  // after the GUID and the '=' (never examined)
}  // namespace

std::string CacheEntry::displayName() const {
    if (!missingExtension()) return RealName;
    return std::string(kMissingExtensionPrefix) + RealName;
}

std::optional<EntryView> parseEntryView(std::string_view line) {
    // A blank line is no entry however long it is: the game ends its index with one.
    if (line.size() < kMinEntryLength || isBlankLine(line)) return std::nullopt;
    EntryView entry;
    entry.Guid = line.substr(0, kGuidLength);
    if (line.size() > kRealNameStart) entry.RealName = line.substr(kRealNameStart);
    return entry;
}

std::optional<CacheEntry> parseEntryLine(std::string_view line, const std::string& cacheExt) {
    const std::optional<EntryView> view = parseEntryView(line);
    if (!view) return std::nullopt;
    CacheEntry entry;
    entry.Guid = std::string(view->Guid);
    entry.CacheFileName.reserve(entry.Guid.size() + 1 + cacheExt.size());
    entry.CacheFileName.append(entry.Guid).append(".").append(cacheExt);
    entry.RealName = std::string(view->RealName);
    return entry;
}

}  // namespace qv
