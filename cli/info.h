#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "package/package_info.h"

namespace qv {
struct PublicVariables;
}

namespace qv::cli {

// The entries of the cached packages named by a GUID or a real name (any letter case): those
// the GUID or the whole name names, else every one whose name without its extension it is (a .u
// and a .utx may share one).
std::vector<std::size_t> findCachedPackages(const PublicVariables& pv, std::string_view name);

// info's text: one "Field: value" line each, names escaped as list escapes them.
void printInfoText(const PackageInfo& info, std::string_view name, std::ostream& out);
// info --json.
void printInfoJson(const PackageInfo& info, std::string_view name, std::ostream& out);

}  // namespace qv::cli
