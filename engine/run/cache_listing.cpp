// The run's listing of the cache folder: one read of it, made while the index is read or after.
#include "engine/run/cache_listing.h"

#include <cstdint>
#include <cstring>
#include <new>
#include <system_error>

#include "engine/cache/cache_entry.h"
#include "engine/cache/index_file.h"
#include "platform/ascii.h"
#include "platform/filesystem.h"

namespace qv {

namespace {

// The hash of a GUID's 32 characters, eight at a time, in any letter case.
std::uint64_t hashOfGuid(std::string_view guid) {
    std::uint64_t h = 0;
    for (std::size_t i = 0; i + 8 <= guid.size(); i += 8) {
        std::uint64_t word;
        std::memcpy(&word, guid.data() + i, sizeof word);
        word |= 0x2020202020202020ull;  // ASCII letters as lower case (and a few others alike)
        h = (h ^ word) * 0x9E3779B97F4A7C15ull;
        h ^= h >> 29;
    }
    return h;
}

// The cache file name `name` stands for a GUID: "GUID.extension", with the extension as the
// index's lines give it. Another spelling is found by its own name (cacheFilesInOtherCase), so
// that the move takes the name on disk.
bool isGuidFileName(std::string_view name, const std::string& cacheExt) {
    return name.size() == kGuidLength + 1 + cacheExt.size() && name[kGuidLength] == '.' &&
           name.substr(kGuidLength + 1) == cacheExt;
}

bool isLeftover(std::string_view name) {
    return name.size() > 0 && name[0] == '.' &&
           (isLeftTempFileName(name) || name == kLeftBackupName);
}

}  // namespace

CacheListing listCacheFolder(const std::vector<std::string_view>& lines,
                             const std::vector<bool>& selected, const std::string& cacheDir,
                             const std::string& cacheExt, FileSystem& fs,
                             const std::function<CacheFolderNames()>& ahead) {
    constexpr std::size_t kGuid = kGuidLength;
    CacheListing result;
    result.listedAsFile.assign(lines.size(), false);
    result.listedAsOther.assign(lines.size(), false);
    result.sharedGuid.assign(lines.size(), false);
    std::size_t count = 0;
    for (std::size_t i = 0; i < lines.size(); ++i)
        if (selected[i] && lines[i].size() > kGuid) ++count;
    if (count == 0) {
        result.read = true;
        return result;
    }
    std::size_t size = 16;
    while (size < 2 * count) size *= 2;
    std::vector<std::uint32_t> table(size, 0);  // line number + 1; 0 is an empty slot
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (!selected[i] || lines[i].size() <= kGuid) continue;
        const std::string_view guid = lines[i].substr(0, kGuid);
        std::size_t slot = hashOfGuid(guid) & (size - 1);
        for (; table[slot] != 0; slot = (slot + 1) & (size - 1)) {
            const std::size_t earlier = table[slot] - 1;
            if (equalsNoCaseAscii(lines[earlier].substr(0, kGuid), guid))
                result.sharedGuid[earlier] = result.sharedGuid[i] = true;
        }
        table[slot] = static_cast<std::uint32_t>(i + 1);
    }
    const auto found = [&](std::string_view guid, bool plain) {
        for (std::size_t slot = hashOfGuid(guid) & (size - 1); table[slot] != 0;
             slot = (slot + 1) & (size - 1)) {
            const std::size_t i = table[slot] - 1;
            if (lines[i].substr(0, kGuid) != guid) continue;
            (plain ? result.listedAsFile : result.listedAsOther)[i] = true;
        }
    };
    bool leftovers = false, read = false;
    if (CacheFolderNames listed = ahead ? ahead() : CacheFolderNames{}; listed.read) {
        for (std::size_t k = 0; k < listed.plain.size(); ++k)
            found(std::string_view(listed.guids).substr(k * kGuid, kGuid), listed.plain[k]);
        leftovers = listed.leftovers, read = result.ahead = true;
    } else {
        read = fs.forEachEntry(cacheDir, [&](std::string_view name, EntryKind kind) {
                     leftovers = leftovers || isLeftover(name);
                     if (isGuidFileName(name, cacheExt))
                         found(name.substr(0, kGuid), kind == EntryKind::File);
                 }).ok();
    }
    if (!read) {  // a listing cut short proves nothing
        result.listedAsFile.assign(lines.size(), false);
        result.listedAsOther.assign(lines.size(), false);
        return result;
    }
    result.noLeftovers = !leftovers;
    result.read = true;
    return result;
}

CacheFolderNames readCacheFolderAhead(const std::string& cacheDir, const std::string& cacheExt,
                                      FileSystem& fs, std::size_t expected) {
    CacheFolderNames names;
    names.guids.reserve(expected * kGuidLength);
    names.plain.reserve(expected);
    names.read = fs.forEachEntry(cacheDir, [&](std::string_view name, EntryKind kind) {
                       names.leftovers = names.leftovers || isLeftover(name);
                       if (!isGuidFileName(name, cacheExt)) return;
                       names.guids.append(name.substr(0, kGuidLength));
                       names.plain.push_back(kind == EntryKind::File);
                   }).ok();
    if (!names.read) names = {};
    return names;
}

std::future<CacheFolderNames> listCacheFolderAhead(const std::string& cacheDir,
                                                   const std::string& cacheExt, FileSystem& fs,
                                                   std::size_t expected) {
    try {
        return std::async(std::launch::async, [&cacheDir, &cacheExt, &fs, expected] {
            try {
                return readCacheFolderAhead(cacheDir, cacheExt, fs, expected);
            } catch (const std::bad_alloc&) {
                return CacheFolderNames{};  // not read: the plan lists the folder
            }
        });
    } catch (const std::system_error&) {
        return {};
    }
}

}  // namespace qv
