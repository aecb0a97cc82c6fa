#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "package/limits.h"
#include "package/package_header.h"
#include "platform/result.h"

namespace qv {

// An import: the class's package and name, the object it lies in, its own name.
struct PackageImport {
    std::int32_t classPackage = 0, className = 0;  // name indexes
    std::int32_t outer = 0;                        // object reference (0: top level)
    std::int32_t name = 0;                         // name index
};

// An export: its class, its parent class and the object it lies in (object references: 0 none,
// n > 0 export n - 1, n < 0 import -n - 1), its name, flags and the extent of its data.
struct PackageExport {
    std::int32_t classRef = 0, superRef = 0, outer = 0;
    std::int32_t name = 0;
    std::uint32_t flags = 0;
    std::int64_t size = 0, offset = 0;
};

// Reads a package whole: the header, the name, import and export tables, and checks that every
// export's data lies inside the file and every reference points inside its table. A download cut
// anywhere that matters (a table or an object) is damaged; bytes past all of them are not.
// Reads are few: the first block (the header, and in a small package its tables), then the
// table regions, each once; the objects' bytes are never read. One reader serves many files in
// turn and keeps its buffers.
class PackageReader final {
  public:
    explicit PackageReader(const PackageLimits& limits = {}) : limits_(limits) {}
    const PackageLimits& limits() const { return limits_; }

    // `noun` names the data in a reason: "its map data ends 1 byte beyond the end of the file".
    HeaderReading read(InFile& file, std::string_view noun = "package");

    // What the last whole read found (empty after a failed one).
    const PackageHeader& header() const { return header_; }
    const std::vector<std::string_view>& names() const { return names_; }
    const std::vector<PackageImport>& imports() const { return imports_; }
    const std::vector<PackageExport>& exports() const { return exports_; }
    std::string_view name(std::int32_t index) const;
    // The name of the object a reference points at ("" for none).
    std::string_view objectName(std::int32_t ref) const;
    // The class name of the object a reference points at ("" for none).
    std::string_view className(std::int32_t ref) const;

    // The packages this one needs: its top-level imports of class "Package", in table order,
    // each once whatever its letter case.
    std::vector<std::string> neededPackages() const;

    std::size_t reads() const { return reads_; }
    // The file's bytes [offset, offset + length) when the last read holds them already (a small
    // package's objects lie in its first block), else an empty view.
    std::string_view heldBytes(std::uint64_t offset, std::uint64_t length) const;

  private:
    // A piece of the file as read. Its buffer keeps its size from file to file, so a read costs
    // no fill of memory it is about to overwrite.
    struct Chunk {
        std::uint64_t start = 0;
        std::string buffer;
        std::size_t length = 0;
        std::string_view bytes() const { return {buffer.data(), length}; }
    };
    Chunk& nextChunk();
    // The chunk that holds `offset` (or ends there) and goes on furthest; nullptr for none.
    Chunk* chunkAt(std::uint64_t offset);
    // Reads on from the end of `chunk` up to the file's offset `end`, into the same bytes.
    Status extendChunk(InFile& file, Chunk& chunk, std::uint64_t end);
    // The tables of the package whose header is header_.
    HeaderReading readTables(InFile& file, std::string_view noun);
    Status readChunk(InFile& file, std::uint64_t start, std::uint64_t length, Chunk& into);
    std::string_view bytesFrom(std::uint64_t offset) const;
    HeaderReading parseNames(InFile& file, std::uint64_t fileSize);
    // Where the name table likely ends, reckoned from the names the first block holds.
    std::uint64_t namesEnd() const;
    HeaderReading parseImports(std::uint64_t fileSize);
    HeaderReading parseExports(std::uint64_t fileSize);
    HeaderReading checkReferences(std::uint64_t fileSize, std::string_view noun) const;
    void clear();

    PackageLimits limits_;
    PackageHeader header_;
    std::vector<Chunk> chunks_;  // chunks_[0]: the first block; used_ of them hold this file's
    std::size_t used_ = 0;
    std::vector<std::string_view> names_;
    std::vector<PackageImport> imports_;
    std::vector<PackageExport> exports_;
    std::size_t reads_ = 0;
};

// The data a package of this real name holds, for a reason: "map", "texture", "sound", "music",
// "code", else "package".
std::string_view packageDataNoun(std::string_view realName);

}  // namespace qv
