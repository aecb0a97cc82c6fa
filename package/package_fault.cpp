#include "package/package_fault.h"

#include <array>

namespace qv {

namespace {

// Each fault's words, in the order of PackageFault; Unreadable's and DataBeyondEnd's are made
// from their detail.
constexpr std::array<std::string_view, 24> kWords{
    "",
    "",
    "not a package",
    "cut short inside its header",
    "its name table lies beyond its end",
    "its export table lies beyond its end",
    "its import table lies beyond its end",
    "its generation table lies beyond its end",
    "its heritage table lies beyond its end",
    "it has no GUID",
    "its name table is larger than any package's",
    "its import table is larger than any package's",
    "its export table is larger than any package's",
    "its tables are larger than any package's",
    "its name table is cut short",
    "its import table is cut short",
    "its export table is cut short",
    "its name table is damaged",
    "an import names no name of its table",
    "an import lies in no object of the package",
    "an export names no name of its table",
    "an export refers to no object of the package",
    "an export's extent is damaged",
    "",
};
static_assert(kWords.size() == static_cast<std::size_t>(PackageFault::DataBeyondEnd) + 1);

}  // namespace

HeaderFault headerFaultOf(PackageFault fault) {
    switch (fault) {
        case PackageFault::None:
            return HeaderFault::None;
        case PackageFault::Unreadable:
            return HeaderFault::Unreadable;
        case PackageFault::NotPackage:
            return HeaderFault::NotPackage;
        case PackageFault::HeaderCutShort:
        case PackageFault::NameTableBeyondEnd:
        case PackageFault::ExportTableBeyondEnd:
        case PackageFault::ImportTableBeyondEnd:
        case PackageFault::GenerationTableBeyondEnd:
        case PackageFault::HeritageTableBeyondEnd:
        case PackageFault::NameTableCutShort:
        case PackageFault::ImportTableCutShort:
        case PackageFault::ExportTableCutShort:
        case PackageFault::DataBeyondEnd:
            return HeaderFault::CutShort;
        default:
            return HeaderFault::BadTable;
    }
}

std::string faultText(PackageFault fault, const FaultDetail& detail) {
    if (fault == PackageFault::Unreadable) return std::string(detail.systemText);
    if (fault == PackageFault::DataBeyondEnd)
        return "its " + std::string(detail.noun) + " data ends " +
               std::to_string(detail.bytesBeyond) + (detail.bytesBeyond == 1 ? " byte" : " bytes") +
               " beyond the end of the file";
    const auto i = static_cast<std::size_t>(fault);
    return std::string(i < kWords.size() ? kWords[i] : std::string_view());
}

}  // namespace qv
