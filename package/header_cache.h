#pragma once

// The whole-package check of one file at a time, with what each file said kept by its identity:
// a list scanned again reads only the files that changed.

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "package/limits.h"
#include "package/package_fault.h"
#include "package/package_header.h"
#include "package/package_reader.h"
#include "platform/filesystem.h"

namespace qv {

// A real name of a package type whose header is read: u, unr, utx, uax, umx.
bool isPackageFileName(std::string_view realName);

// What the header of a file said, kept by the file's device, inode, size and modification time
// so that a file read once is not read again while it stays the same file.
struct HeaderFacts {
    PackageFault fault = PackageFault::None;
    std::string reason;  // faultText(fault)
    GuidText guid;
    int version = -1;
};

class HeaderCache final {
  public:
    // `remember`: keep what was read (a list that is scanned again); a run reads each file once.
    // `limits`: what reading one file may cost.
    explicit HeaderCache(bool remember = true, const PackageLimits& limits = {})
        : reader_(limits), remember_(remember) {}
    // The facts of the plain file `path`: from the cache when its identity is known there, else
    // the package read whole (its header and tables, each export's extent checked; a few reads).
    // `needs`: the packages a whole package needs too. `identity`: the file's identity as it was
    // read or looked up (all 0 when it could not be). `noun`: what its data is, for a reason.
    HeaderFacts factsOf(FileSystem& fs, const std::string& path,
                        std::vector<std::string>* needs = nullptr, FileIdentity* identity = nullptr,
                        std::string_view noun = "package");
    // A new pass over files: those known before are looked up by identity first; within a first
    // pass nothing is, so no file costs a lookup on top of its read.
    void beginPass() { lookFirst_ = !known_.empty(); }
    // Within a first pass nothing is looked up before it is read.
    bool firstPass() const { return !lookFirst_; }
    // Keeps what another reader found in a file of this identity, as a read of its own would;
    // `read`: it was opened and read (not refused at its open), and counts as a read.
    void remember(const FileIdentity& id, const HeaderFacts& facts, bool read);
    std::size_t reads() const { return reads_; }
    std::size_t size() const { return known_.size(); }

    // Called with each package found whole as it is read, its file still open and its tables in
    // `reader`, so that what is inside can be read without reading its tables again (list
    // --facts). `noun` as factsOf was given it. The header pass may call it from two threads.
    using WholeRead = std::function<void(const std::string& path, std::string_view noun,
                                         InFile& file, const PackageReader& reader)>;
    void onWholeRead(WholeRead wholeRead) { wholeRead_ = std::move(wholeRead); }
    const WholeRead& wholeRead() const { return wholeRead_; }

  private:
    using Key = std::tuple<std::uint64_t, std::uint64_t, std::uint64_t, std::int64_t>;
    // Ordered: a cache's files come mostly in the order they were written, their inodes rising,
    // so each lookup walks the path the last one warmed (a hash table misses the cache each time).
    std::map<Key, HeaderFacts> known_;
    PackageReader reader_;
    std::size_t reads_ = 0;
    bool remember_ = true;
    bool lookFirst_ = false;
    WholeRead wholeRead_;
};

}  // namespace qv
