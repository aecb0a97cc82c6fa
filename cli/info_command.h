#pragma once

#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "engine/cache/package_facts.h"
#include "package/header_cache.h"
#include "package/package_contents.h"

namespace qv::cli {

// A package file info shows, and the name it goes by.
struct NamedPackage {
    std::string path, name;
    std::string shownPath = {};  // the path as the user typed it, when it is not path itself
};

// info's output for the packages a name found (several when a .u and a .utx share it): the
// facts of each, then, with --picture, the picture of the first that has one as PNG, into the
// file named or, for "-", standard output (the facts then go to standard error).
int showPackages(const std::vector<NamedPackage>& packages, const Arguments& a, Environment& env);

// The facts of the cache's whole maps for list --facts, read while the header pass has each
// map open with its tables read (they are read once), and for a map the pass did not read (known
// from before) on its own.
class MapFacts {
  public:
    // For the header pass's HeaderCache::onWholeRead; safe on its two threads.
    HeaderCache::WholeRead keeper();
    // Each entry's facts when it is a whole map (no pictures), by entry.
    std::vector<PackageContents> byEntry(const PublicVariables& pv, const PlacementContext& place,
                                         const std::vector<PackageFacts>& facts, FileSystem& fs);

  private:
    std::mutex mutex_;
    std::unordered_map<std::string, PackageContents> read_;  // by the path the pass read
};

}  // namespace qv::cli
