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

std::optional<CacheEntry> parseEntryLine(std::string_view line, const std::string& cacheExt) {
    // A blank line is no entry however long it is: the game ends its index with one.
    if (line.size() < kMinEntryLength || isBlankLine(line)) return std::nullopt;
    CacheEntry entry;
    entry.Guid = std::string(line.substr(0, kGuidLength));
    entry.CacheFileName = entry.Guid + "." + cacheExt;
    if (line.size() > kRealNameStart) entry.RealName = std::string(line.substr(kRealNameStart));
    return entry;
}

}  // namespace qv
