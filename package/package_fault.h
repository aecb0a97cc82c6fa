#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qv {

// Why a package file is not whole, as precisely as the reader tells it. faultText() gives the
// words a player reads; headerFaultOf() the coarse kind.
enum class PackageFault : std::uint8_t {
    None,
    Unreadable,  // the file could not be opened or read: the system's text
    NotPackage,  // no package tag, or too short for one
    // The header and what it points to (parsePackageHeader).
    HeaderCutShort,
    NameTableBeyondEnd,
    ExportTableBeyondEnd,
    ImportTableBeyondEnd,
    GenerationTableBeyondEnd,
    HeritageTableBeyondEnd,
    NoGuid,  // an old package's heritage table is empty
    // The tables (PackageReader).
    NameTableOverCap,  // more entries, or more bytes, than PackageLimits allows
    ImportTableOverCap,
    ExportTableOverCap,
    TablesOverCap,  // the tables' bytes together
    NameTableCutShort,
    ImportTableCutShort,
    ExportTableCutShort,
    NameTableDamaged,  // a name of no length, or longer than PackageLimits allows
    ImportNameOutside,
    ImportOuterOutside,
    ExportNameOutside,
    ExportReferenceOutside,
    ExportExtentDamaged,  // a negative size or offset
    DataBeyondEnd,        // an export's data reaches past the end of the file
};

// The coarse kinds of fault, for callers that only tell a damaged file from an unreadable one.
enum class HeaderFault {
    None,
    Unreadable,  // the file could not be opened or read (reason: the system's text)
    NotPackage,  // no package tag, or too short for a header
    CutShort,    // a table, the GUID or an object lies beyond the end of the file
    BadTable,    // a table does not parse (a name or import that is not one), or is over a cap
};
HeaderFault headerFaultOf(PackageFault fault);

// What the words of some faults name.
struct FaultDetail {
    std::string_view systemText{};      // Unreadable: the system's own words
    std::string_view noun = "package";  // DataBeyondEnd: what the data is ("map", "texture")
    std::uint64_t bytesBeyond = 0;      // DataBeyondEnd: how far past the end it reaches
};

// The words a player reads for `fault`: "not a package", "its import table is cut short", "its
// map data ends 12 bytes beyond the end of the file"; "" for None.
std::string faultText(PackageFault fault, const FaultDetail& detail = {});

}  // namespace qv
