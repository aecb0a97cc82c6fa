#pragma once

#include <optional>
#include <string>

#include "package/package_contents.h"
#include "package/package_header.h"
#include "platform/filesystem.h"

namespace qv {

// A package file as a player is told about it: whole or damaged (and why), its version and size,
// and what it holds.
struct PackageInfo {
    std::string path;
    HeaderReading reading;  // fault and reason; the header when whole
    FileIdentity identity;
    PackageContents contents;
    std::size_t reads = 0;  // the tables' and the objects' reads
};

// Reads the package file `path`: its tables whole, then, when whole, its contents, each within
// `limits`.
PackageInfo readPackageInfo(FileSystem& fs, const std::string& path,
                            const ContentOptions& options = {}, const PackageLimits& limits = {});

// Makes a PNG file of a picture. The engine writes none itself; media/ has one over libpng.
class PngEncoder {
  public:
    virtual ~PngEncoder() = default;
    virtual std::optional<std::string> encode(const Picture& picture) = 0;
};

}  // namespace qv
