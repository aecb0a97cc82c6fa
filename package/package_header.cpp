#include "package/package_header.h"

#include <algorithm>
#include <cstdio>

#include "package/byte_reader.h"
#include "platform/filesystem.h"

namespace qv {

namespace {

constexpr std::size_t kFixedHeader = 36;  // tag, versions, flags, six counts and offsets

// A table of `count` entries of at least `minSize` bytes each at `offset` fits in the file.
bool tableFits(std::uint32_t count, std::uint32_t offset, std::uint64_t minSize,
               std::uint64_t fileSize) {
    if (count == 0) return offset <= fileSize;
    return offset >= kFixedHeader && offset <= fileSize &&
           static_cast<std::uint64_t>(count) * minSize <= fileSize - offset;
}

}  // namespace

std::array<PackageTableExtent, 3> tablesOf(const PackageHeader& h) {
    return {{{PackageTable::Name, h.nameCount, h.nameOffset},
             {PackageTable::Export, h.exportCount, h.exportOffset},
             {PackageTable::Import, h.importCount, h.importOffset}}};
}

PackageFault tableFault(PackageTable table, TableFault kind) {
    using F = PackageFault;
    static constexpr F kFaults[3][3] = {
        {F::NameTableBeyondEnd, F::NameTableOverCap, F::NameTableCutShort},
        {F::ExportTableBeyondEnd, F::ExportTableOverCap, F::ExportTableCutShort},
        {F::ImportTableBeyondEnd, F::ImportTableOverCap, F::ImportTableCutShort}};
    return kFaults[static_cast<int>(table)][static_cast<int>(kind)];
}

HeaderReading faultReading(PackageFault fault, const FaultDetail& detail) {
    HeaderReading r;
    r.fault = fault;
    r.reason = faultText(fault, detail);
    return r;
}

GuidText guidText(std::string_view b) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    GuidText guid;
    ByteCursor c(b);
    for (int i = 0; i < 4; ++i)
        for (std::uint32_t v = c.u32(), d = 0; d < 8; ++d, v >>= 4)
            guid.text[static_cast<std::size_t>(8 * i + 7 - d)] = kHex[v & 0xF];
    guid.known = true;
    return guid;
}

HeaderReading parsePackageHeader(std::string_view block, std::uint64_t fileSize) {
    ByteCursor c(block);
    if (c.u32() != kPackageTag || c.failed()) return faultReading(PackageFault::NotPackage);
    if (!c.has(kFixedHeader - 4) || fileSize < kFixedHeader)
        return faultReading(PackageFault::HeaderCutShort);
    HeaderReading r;
    PackageHeader& h = r.header;
    h.version = c.u16(), h.licensee = c.u16(), h.flags = c.u32();
    h.nameCount = c.u32(), h.nameOffset = c.u32();
    h.exportCount = c.u32(), h.exportOffset = c.u32();
    h.importCount = c.u32(), h.importOffset = c.u32();
    for (const PackageTableExtent& t : tablesOf(h))
        if (!tableFits(t.count, t.offset, entryBytes(t.table).least, fileSize))
            return faultReading(tableFault(t.table, TableFault::BeyondEnd));
    if (h.version >= 68) {
        if (!c.has(20) || fileSize < kFixedHeader + 20)
            return faultReading(PackageFault::HeaderCutShort);
        h.guid = guidText(c.bytes(16));
        h.generations = c.u32();
        if (static_cast<std::uint64_t>(h.generations) * 8 > fileSize - (kFixedHeader + 20))
            return faultReading(PackageFault::GenerationTableBeyondEnd);
        return r;
    }
    // Older packages: a heritage table of GUIDs, the last of which is the package's.
    if (!c.has(8) || fileSize < kFixedHeader + 8) return faultReading(PackageFault::HeaderCutShort);
    h.generations = c.u32();
    const std::uint32_t heritage = c.u32();
    if (h.generations == 0) return faultReading(PackageFault::NoGuid);
    if (!tableFits(h.generations, heritage, 16, fileSize))
        return faultReading(PackageFault::HeritageTableBeyondEnd);
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
