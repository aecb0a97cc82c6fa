#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "package/package_info.h"

namespace qv {
struct PublicVariables;
}

namespace qv::cli {

// The entry of a cached package named by its GUID or its real name (any letter case, with or
// without its extension); the first of several.
std::optional<std::size_t> findCachedPackage(const PublicVariables& pv, std::string_view name);

// info's text: one "Field: value" line each, names escaped as list escapes them.
void printInfoText(const PackageInfo& info, std::string_view name, std::ostream& out);
// info --json.
void printInfoJson(const PackageInfo& info, std::string_view name, std::ostream& out);

}  // namespace qv::cli
