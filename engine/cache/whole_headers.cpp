// The header pass's table of whole cache files, which a run trusts by name and identity.
#include <algorithm>
#include <functional>

#include "engine/cache/package_facts.h"

namespace qv {

namespace {

std::uint64_t nameHash(std::string_view cacheFileName) {
    return std::hash<std::string_view>()(cacheFileName);
}

// A mix of the four numbers that tell a file (a rename changes none of them), a word at a time.
std::uint64_t identityHash(const FileIdentity& id) {
    std::uint64_t h = 0x9E3779B97F4A7C15ull;
    for (const std::uint64_t n :
         {id.device, id.inode, id.size, static_cast<std::uint64_t>(id.mtimeNs)}) {
        h = (h ^ n) * 0xFF51AFD7ED558CCDull;
        h ^= h >> 32;
    }
    return h;
}

}  // namespace

void WholeHeaders::add(std::string_view cacheFileName, const FileIdentity& id) {
    if (id.known()) files_.emplace_back(nameHash(cacheFileName), identityHash(id));
}

void WholeHeaders::seal() {
    std::sort(files_.begin(), files_.end());
    files_.shrink_to_fit();
    int bits = 1;  // two buckets at least, so a shift never takes all 64 bits
    while (bits < 30 && (std::size_t{1} << bits) < files_.size()) ++bits;
    shift_ = 64 - bits;
    const std::size_t buckets = std::size_t{1} << bits;
    starts_.assign(buckets + 1, static_cast<std::uint32_t>(files_.size()));
    // Filled from the end: each bucket starts at its first file, an empty one where the next
    // bucket starts.
    std::size_t next = files_.size();
    for (std::size_t b = buckets; b-- > 0;) {
        while (next > 0 && (files_[next - 1].first >> shift_) >= b) --next;
        starts_[b] = static_cast<std::uint32_t>(next);
    }
}

std::pair<const WholeHeaders::File*, const WholeHeaders::File*> WholeHeaders::candidates(
    std::uint64_t name) const {
    if (starts_.empty()) return {nullptr, nullptr};
    const std::size_t b = static_cast<std::size_t>(name >> shift_);
    return {files_.data() + starts_[b], files_.data() + starts_[b + 1]};
}

WholeHeaders::Seen WholeHeaders::seen(std::string_view cacheFileName,
                                      const FileIdentity& id) const {
    const std::uint64_t name = nameHash(cacheFileName);
    const std::uint64_t identity = id.known() ? identityHash(id) : 0;
    const auto [first, last] = candidates(name);
    Seen seen = Seen::Unknown;
    for (const File* f = first; f != last; ++f) {
        if (f->first != name) continue;
        if (id.known() && f->second == identity) return Seen::Same;
        seen = Seen::Changed;
    }
    return seen;
}

WholeHeaders::Known WholeHeaders::known(std::string_view cacheFileName) const {
    return knownByHash(nameHash(cacheFileName));
}

void WholeHeaders::known(const std::string_view* names, std::size_t count, Known* out) const {
    constexpr std::size_t kBatch = 32;
    std::uint64_t hashes[kBatch];
    for (std::size_t at = 0; at < count; at += kBatch) {
        const std::size_t n = std::min(kBatch, count - at);
        for (std::size_t i = 0; i < n; ++i) hashes[i] = nameHash(names[at + i]);
        if (!starts_.empty()) {
            // Each step's loads are all under way before the first is used.
            for (std::size_t i = 0; i < n; ++i)
                __builtin_prefetch(starts_.data() + (hashes[i] >> shift_));
            for (std::size_t i = 0; i < n; ++i)
                __builtin_prefetch(files_.data() + starts_[hashes[i] >> shift_]);
        }
        for (std::size_t i = 0; i < n; ++i) out[at + i] = knownByHash(hashes[i]);
    }
}

WholeHeaders::Known WholeHeaders::knownByHash(std::uint64_t name) const {
    const auto [first, last] = candidates(name);
    Known k;
    for (const File* f = first; f != last && k.files < 2; ++f) {
        if (f->first != name) continue;
        ++k.files;
        k.identity = f->second;
    }
    return k;
}

WholeHeaders::Seen WholeHeaders::seen(std::string_view cacheFileName, const Known& known,
                                      const FileIdentity& id) const {
    if (known.files > 1) return seen(cacheFileName, id);
    if (known.files == 0) return Seen::Unknown;
    return id.known() && identityHash(id) == known.identity ? Seen::Same : Seen::Changed;
}

bool WholeHeaders::knows(std::string_view cacheFileName) const {
    return seen(cacheFileName, {}) != Seen::Unknown;
}

bool WholeHeaders::wasWhole(std::string_view cacheFileName, const FileIdentity& id) const {
    return seen(cacheFileName, id) == Seen::Same;
}

}  // namespace qv
