#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "package/package_fault.h"

namespace qv {

class InFile;

// The tag an Unreal package begins with, little-endian.
constexpr std::uint32_t kPackageTag = 0x9E2A83C1;
// The one block the header pass reads: the fixed header and, from version 68 on, the GUID and
// the generation count.
constexpr std::size_t kHeaderBlock = 64;

// A header's GUID in place, without a string of its own per package: 32 characters, or none.
struct GuidText {
    std::array<char, 32> text{};
    bool known = false;
    void set(std::string_view guid) {
        known = guid.size() == text.size();
        if (known) std::copy(guid.begin(), guid.end(), text.begin());
    }
    std::string_view view() const {
        return known ? std::string_view(text.data(), text.size()) : std::string_view();
    }
};

struct PackageHeader {
    std::uint16_t version = 0, licensee = 0;
    std::uint32_t flags = 0;
    std::uint32_t nameCount = 0, nameOffset = 0;
    std::uint32_t exportCount = 0, exportOffset = 0;
    std::uint32_t importCount = 0, importOffset = 0;
    std::uint32_t generations = 0;  // version 68 on; the heritage count before
    GuidText guid;                  // 32 upper-case hex digits, the game's cache file name
};

// The tables a header points to.
enum class PackageTable : std::uint8_t { Name, Export, Import };

// One of them as the header gives it: its count of entries and where they begin.
struct PackageTableExtent {
    PackageTable table = PackageTable::Name;
    std::uint32_t count = 0, offset = 0;
};

// The header's tables in the order it lists them: names, exports, imports.
std::array<PackageTableExtent, 3> tablesOf(const PackageHeader& header);

// The bytes an entry of a table takes at least (a name: a one-byte length or an empty string, its
// NUL, 32-bit flags; an export: four compact indexes, two 32-bit numbers; an import: three
// compact indexes, one 32-bit number) and at most (an export: five compact indexes, two 32-bit
// numbers; an import: three five-byte indexes, 4 bytes; a name: a first guess, real ones average
// under 20).
struct EntryBytes {
    std::uint64_t least, most;
};
constexpr EntryBytes entryBytes(PackageTable table) {
    switch (table) {
        case PackageTable::Name:
            return {5, 32};
        case PackageTable::Export:
            return {12, 33};
        default:
            return {7, 19};
    }
}

// A table's own fault of each kind: "its import table lies beyond its end", "... is larger than
// any package's", "... is cut short".
enum class TableFault : std::uint8_t { BeyondEnd, OverCap, CutShort };
PackageFault tableFault(PackageTable table, TableFault kind);

struct HeaderReading {
    PackageFault fault = PackageFault::None;
    // For a player, faultText(fault): "not a package", "its import table lies beyond its end".
    std::string reason;
    PackageHeader header;
    // An old package's GUID lies in its heritage table, outside the block: its offset, 0 when the
    // GUID is known already.
    std::uint64_t guidAt = 0;
    bool ok() const { return fault == PackageFault::None; }
    HeaderFault kind() const { return headerFaultOf(fault); }
};

// A reading that failed with `fault`, its reason in the fault's words.
HeaderReading faultReading(PackageFault fault, const FaultDetail& detail = {});

// Reads and checks the header in the first bytes (up to kHeaderBlock) of a file of `fileSize`
// bytes: every count and offset is checked against the file's size before anything it points to
// is read. A package older than version 68 keeps its GUID outside the block (guidAt).
HeaderReading parsePackageHeader(std::string_view block, std::uint64_t fileSize);

// The GUID as the game names its cache file: four little-endian 32-bit numbers, each "%08X".
GuidText guidText(std::string_view sixteenBytes);

// The package name a file name gives ("CTF-Face.unr" -> "CTF-Face").
std::string_view packageNameOf(std::string_view fileName);

}  // namespace qv
