#include "package/package_header.h"

#include <algorithm>
#include <cstdio>

#include "platform/filesystem.h"

namespace qv {

namespace {

// The smallest an entry of each table can be: a name (a one-byte length or an empty string, its
// NUL, 32-bit flags), an export (four compact indexes, two 32-bit numbers), an import (three
// compact indexes, one 32-bit number).
constexpr std::uint64_t kMinName = 5, kMinExport = 12, kMinImport = 7;
constexpr std::size_t kFixedHeader = 36;  // tag, versions, flags, six counts and offsets

std::uint32_t u32(std::string_view b, std::size_t at) {
    const auto c = [&](std::size_t i) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + i]));
    };
    return c(0) | c(1) << 8 | c(2) << 16 | c(3) << 24;
}

std::uint16_t u16(std::string_view b, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(b[at]) |
                                      static_cast<unsigned char>(b[at + 1]) << 8);
}

HeaderReading fault(HeaderFault f, std::string reason) {
    HeaderReading r;
    r.fault = f;
    r.reason = std::move(reason);
    return r;
}

// A table of `count` entries of at least `minSize` bytes each at `offset` fits in the file.
bool tableFits(std::uint32_t count, std::uint32_t offset, std::uint64_t minSize,
               std::uint64_t fileSize) {
    if (count == 0) return offset <= fileSize;
    return offset >= kFixedHeader && offset <= fileSize &&
           static_cast<std::uint64_t>(count) * minSize <= fileSize - offset;
}

}  // namespace

GuidText guidText(std::string_view b) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    GuidText guid;
    for (int i = 0; i < 4; ++i)
        for (std::uint32_t v = ::qv::u32(b, 4 * i), d = 0; d < 8; ++d, v >>= 4)
            guid.text[static_cast<std::size_t>(8 * i + 7 - d)] = kHex[v & 0xF];
    guid.known = true;
    return guid;
}

HeaderReading parsePackageHeader(std::string_view block, std::uint64_t fileSize) {
    if (block.size() < 4 || u32(block, 0) != kPackageTag)
        return fault(HeaderFault::NotPackage, "not a package");
    if (block.size() < kFixedHeader || fileSize < kFixedHeader)
        return fault(HeaderFault::CutShort, "cut short inside its header");
    HeaderReading r;
    PackageHeader& h = r.header;
    h.version = u16(block, 4), h.licensee = u16(block, 6), h.flags = u32(block, 8);
    h.nameCount = u32(block, 12), h.nameOffset = u32(block, 16);
    h.exportCount = u32(block, 20), h.exportOffset = u32(block, 24);
    h.importCount = u32(block, 28), h.importOffset = u32(block, 32);
    const struct {
        std::uint32_t count, offset;
        std::uint64_t min;
        const char* name;
    } tables[] = {{h.nameCount, h.nameOffset, kMinName, "name"},
                  {h.exportCount, h.exportOffset, kMinExport, "export"},
                  {h.importCount, h.importOffset, kMinImport, "import"}};
    for (const auto& t : tables)
        if (!tableFits(t.count, t.offset, t.min, fileSize))
            return fault(HeaderFault::CutShort,
                         std::string("its ") + t.name + " table lies beyond its end");
    if (h.version >= 68) {
        if (block.size() < kFixedHeader + 20 || fileSize < kFixedHeader + 20)
            return fault(HeaderFault::CutShort, "cut short inside its header");
        h.guid = guidText(block.substr(kFixedHeader, 16));
        h.generations = u32(block, kFixedHeader + 16);
        if (static_cast<std::uint64_t>(h.generations) * 8 > fileSize - (kFixedHeader + 20))
            return fault(HeaderFault::CutShort, "its generation table lies beyond its end");
        return r;
    }
    // Older packages: a heritage table of GUIDs, the last of which is the package's.
    if (block.size() < kFixedHeader + 8 || fileSize < kFixedHeader + 8)
        return fault(HeaderFault::CutShort, "cut short inside its header");
    h.generations = u32(block, kFixedHeader);
    const std::uint32_t heritage = u32(block, kFixedHeader + 4);
    if (h.generations == 0) return fault(HeaderFault::BadTable, "it has no GUID");
    if (!tableFits(h.generations, heritage, 16, fileSize))
        return fault(HeaderFault::CutShort, "its heritage table lies beyond its end");
    r.guidAt = heritage + 16ull * (h.generations - 1);
    if (r.guidAt + 16 <= block.size()) {
        h.guid = guidText(block.substr(r.guidAt, 16));
        r.guidAt = 0;
    }
    return r;
}

std::string_view packageNameOf(std::string_view fileName) {
    const std::size_t dot = fileName.rfind('.');
    return dot == std::string_view::npos ? fileName : fileName.substr(0, dot);
}

}  // namespace qv
