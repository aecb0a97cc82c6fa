#include "engine/cache/cache_entry.h"

#include <algorithm>

#include "platform/ascii.h"
#include "platform/filesystem.h"

namespace qv {

namespace {
constexpr std::size_t kMinEntryLength = 11;  // shorter lines ("[Cache]", blanks) are skipped
}  // namespace

std::string cacheExtension(std::string_view configured) {
    if (!configured.empty() && configured.front() == '.') configured.remove_prefix(1);
    return std::string(configured);
}

std::unordered_map<std::string, std::string> namesIgnoringCase(
    FileSystem& fs, const std::string& folder, const std::vector<std::string>& wanted) {
    std::unordered_map<std::string, std::string> found;
    if (wanted.empty()) return found;
    // Folded name -> the wanted names of that fold; then the files seen for each fold.
    std::unordered_map<std::string, std::vector<const std::string*>> byFold;
    for (const std::string& name : wanted) byFold[lowerAscii(name)].push_back(&name);
    std::unordered_map<std::string, std::vector<std::string>> seen;
    const Status read = fs.forEachEntry(folder, [&](std::string_view name, EntryKind kind) {
        if (kind != EntryKind::File) return;
        const std::string folded = lowerAscii(name);
        if (byFold.count(folded)) seen[folded].emplace_back(name);
    });
    if (!read.ok()) return found;
    for (const auto& [folded, names] : seen) {
        for (const std::string* want : byFold[folded]) {
            // The exact name is there: nothing to resolve. Two others: no telling which.
            if (std::find(names.begin(), names.end(), *want) != names.end()) continue;
            if (names.size() == 1) found.emplace(*want, names.front());
        }
    }
    return found;
}

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
