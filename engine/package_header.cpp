#include "engine/package_header.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <unordered_set>

#include "platform/ascii.h"
#include "platform/filesystem.h"

namespace qv {

namespace {

// The smallest an entry of each table can be: a name (a one-byte length or an empty string, its
// NUL, 32-bit flags), an export (four compact indexes, two 32-bit numbers), an import (three
// compact indexes, one 32-bit number). The largest import: three five-byte indexes and 4 bytes.
constexpr std::uint64_t kMinName = 5, kMinExport = 12, kMinImport = 7, kMaxImport = 19;
constexpr std::size_t kFixedHeader = 36;  // tag, versions, flags, six counts and offsets

std::uint32_t u32(std::string_view b, std::size_t at) {
    const auto c = [&](std::size_t i) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + i]));
    };
    return c(0) | c(1) << 8 | c(2) << 16 | c(3) << 24;
}

std::uint16_t u16(std::string_view b, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(b[at]) |
                                      static_cast<unsigned char>(b[at + 1]) << 8);
}

HeaderReading fault(HeaderFault f, std::string reason) {
    HeaderReading r;
    r.fault = f;
    r.reason = std::move(reason);
    return r;
}

// A table of `count` entries of at least `minSize` bytes each at `offset` fits in the file.
bool tableFits(std::uint32_t count, std::uint32_t offset, std::uint64_t minSize,
               std::uint64_t fileSize) {
    if (count == 0) return offset <= fileSize;
    return offset >= kFixedHeader && offset <= fileSize &&
           static_cast<std::uint64_t>(count) * minSize <= fileSize - offset;
}

// Reads compact indexes and fixed numbers from a bounded piece of bytes.
class Cursor {
  public:
    explicit Cursor(std::string_view bytes) : b_(bytes) {}
    bool failed() const { return failed_; }
    std::size_t pos() const { return pos_; }
    std::int64_t compact() {
        const int first = byte();
        std::int64_t value = first & 0x3F;
        if (first & 0x40)
            for (int shift = 6, i = 0; i < 4; ++i, shift += 7) {
                const int next = byte();
                value |= static_cast<std::int64_t>(next & 0x7F) << shift;
                if (!(next & 0x80)) break;
            }
        return (first & 0x80) ? -value : value;
    }
    std::uint32_t u32() {
        if (!need(4)) return 0;
        const std::uint32_t v = ::qv::u32(b_, pos_);
        pos_ += 4;
        return v;
    }
    std::string_view bytes(std::size_t n) {
        if (!need(n)) return {};
        const std::string_view v = b_.substr(pos_, n);
        pos_ += n;
        return v;
    }
    // A NUL-terminated string of at most `limit` bytes before its NUL.
    std::string_view cString(std::size_t limit) {
        const std::size_t end = b_.find('\0', pos_);
        if (end == std::string_view::npos || end - pos_ > limit)
            return failed_ = true, std::string_view();
        const std::string_view v = b_.substr(pos_, end - pos_);
        pos_ = end + 1;
        return v;
    }

  private:
    bool need(std::size_t n) {
        if (failed_ || b_.size() - pos_ < n) return failed_ = true, false;
        return true;
    }
    int byte() { return need(1) ? static_cast<unsigned char>(b_[pos_++]) : 0; }

    std::string_view b_;
    std::size_t pos_ = 0;
    bool failed_ = false;
};

// Reads `length` bytes at `offset`, fewer only where the file ended.
Status readInto(InFile& file, std::uint64_t offset, std::string& out, std::size_t length) {
    out.resize(length);
    const Result<std::size_t> got = file.readAt(offset, out.data(), length);
    out.resize(got.value);
    return got.status;
}

}  // namespace

std::string guidText(std::string_view b) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string text(32, '0');
    for (int i = 0; i < 4; ++i)
        for (std::uint32_t v = ::qv::u32(b, 4 * i), d = 0; d < 8; ++d, v >>= 4)
            text[static_cast<std::size_t>(8 * i + 7 - d)] = kHex[v & 0xF];
    return text;
}

HeaderReading parsePackageHeader(std::string_view block, std::uint64_t fileSize) {
    if (block.size() < 4 || u32(block, 0) != kPackageTag)
        return fault(HeaderFault::NotPackage, "not a package");
    if (block.size() < kFixedHeader || fileSize < kFixedHeader)
        return fault(HeaderFault::CutShort, "cut short inside its header");
    HeaderReading r;
    PackageHeader& h = r.header;
    h.version = u16(block, 4), h.licensee = u16(block, 6), h.flags = u32(block, 8);
    h.nameCount = u32(block, 12), h.nameOffset = u32(block, 16);
    h.exportCount = u32(block, 20), h.exportOffset = u32(block, 24);
    h.importCount = u32(block, 28), h.importOffset = u32(block, 32);
    const struct {
        std::uint32_t count, offset;
        std::uint64_t min;
        const char* name;
    } tables[] = {{h.nameCount, h.nameOffset, kMinName, "name"},
                  {h.exportCount, h.exportOffset, kMinExport, "export"},
                  {h.importCount, h.importOffset, kMinImport, "import"}};
    for (const auto& t : tables)
        if (!tableFits(t.count, t.offset, t.min, fileSize))
            return fault(HeaderFault::CutShort,
                         std::string("its ") + t.name + " table lies beyond its end");
    if (h.version >= 68) {
        if (block.size() < kFixedHeader + 20 || fileSize < kFixedHeader + 20)
            return fault(HeaderFault::CutShort, "cut short inside its header");
        h.guid = guidText(block.substr(kFixedHeader, 16));
        h.generations = u32(block, kFixedHeader + 16);
        if (static_cast<std::uint64_t>(h.generations) * 8 > fileSize - (kFixedHeader + 20))
            return fault(HeaderFault::CutShort, "its generation table lies beyond its end");
        return r;
    }
    // Older packages: a heritage table of GUIDs, the last of which is the package's.
    if (block.size() < kFixedHeader + 8 || fileSize < kFixedHeader + 8)
        return fault(HeaderFault::CutShort, "cut short inside its header");
    h.generations = u32(block, kFixedHeader);
    const std::uint32_t heritage = u32(block, kFixedHeader + 4);
    if (h.generations == 0) return fault(HeaderFault::BadTable, "it has no GUID");
    if (!tableFits(h.generations, heritage, 16, fileSize))
        return fault(HeaderFault::CutShort, "its heritage table lies beyond its end");
    r.guidAt = heritage + 16ull * (h.generations - 1);
    if (r.guidAt + 16 <= block.size()) {
        h.guid = guidText(block.substr(r.guidAt, 16));
        r.guidAt = 0;
    }
    return r;
}

HeaderReading readPackageHeader(InFile& file, bool wantGuid) {
    const std::uint64_t size = file.identity().size;
    char block[kHeaderBlock];
    const Result<std::size_t> got = file.readAt(
        0, block, static_cast<std::size_t>(std::min<std::uint64_t>(size, kHeaderBlock)));
    if (!got.status) return fault(HeaderFault::Unreadable, got.status.text);
    HeaderReading r = parsePackageHeader(std::string_view(block, got.value), size);
    if (!r.ok() || r.guidAt == 0 || !wantGuid) return r;
    std::string guid;
    if (const Status s = readInto(file, r.guidAt, guid, 16); !s)
        return fault(HeaderFault::Unreadable, s.text);
    if (guid.size() < 16)
        return fault(HeaderFault::CutShort, "its heritage table lies beyond its end");
    r.header.guid = guidText(guid);
    r.guidAt = 0;
    return r;
}

constexpr const char* kDamagedNames = "its name table is damaged";

ImportsReading parsePackageImports(std::string_view names, std::string_view imports,
                                   const PackageHeader& h) {
    ImportsReading r;
    const auto bad = [&](const char* reason) {
        r.fault = HeaderFault::BadTable, r.reason = reason, r.packages.clear();
        return r;
    };
    std::vector<std::string_view> table;
    table.reserve(std::min<std::size_t>(h.nameCount, names.size() / kMinName + 1));
    Cursor n(names);
    for (std::uint32_t i = 0; i < h.nameCount; ++i) {
        std::string_view name;
        if (h.version >= 64) {
            const std::int64_t length = n.compact();
            if (length < 1 || length > static_cast<std::int64_t>(kMaxPackageName) + 1)
                return bad(kDamagedNames);
            name = n.bytes(static_cast<std::size_t>(length));
            name = name.substr(0, std::min(name.find('\0'), name.size()));
        } else {
            name = n.cString(kMaxPackageName);
        }
        n.u32();
        if (n.failed()) return bad(kDamagedNames);
        table.push_back(name);
    }
    std::unordered_set<std::string> seen;
    Cursor c(imports);
    const auto nameAt = [&](std::int64_t i) -> std::optional<std::string_view> {
        if (i < 0 || static_cast<std::uint64_t>(i) >= table.size()) return std::nullopt;
        return table[static_cast<std::size_t>(i)];
    };
    for (std::uint32_t i = 0; i < h.importCount; ++i) {
        c.compact();  // the class's package
        const std::optional<std::string_view> cls = nameAt(c.compact());
        const std::uint32_t outer = c.u32();
        const std::optional<std::string_view> obj = nameAt(c.compact());
        if (c.failed()) return bad("its import table is damaged");
        if (!cls || !obj) return bad("an import names no name of its table");
        if (outer == 0 && equalsNoCaseAscii(*cls, "Package") && !obj->empty() &&
            seen.insert(upperAscii(*obj)).second)
            r.packages.emplace_back(*obj);
    }
    return r;
}

ImportsReading readPackageImports(InFile& file, const PackageHeader& h) {
    const std::uint64_t size = file.identity().size;
    // What the counts can need, never past the file's end (the header checked the offsets).
    const auto span = [&](std::uint32_t offset, std::uint64_t most) {
        return static_cast<std::size_t>(
            std::min<std::uint64_t>(most, offset <= size ? size - offset : 0));
    };
    const std::uint64_t namesMost =
        static_cast<std::uint64_t>(h.nameCount) * (5 + kMaxPackageName + 1 + 4);
    ImportsReading r;
    if (h.importCount == 0) return r;
    std::string names, imports;
    const std::size_t nameBytes = span(h.nameOffset, namesMost);
    if (nameBytes > kMaxNameTableBytes &&
        static_cast<std::uint64_t>(h.nameCount) * kMinName > kMaxNameTableBytes) {
        r.fault = HeaderFault::BadTable, r.reason = "its name table is too large";
        return r;
    }
    // The count alone allows a name table of megabytes, most of a real map; real tables are
    // tens of KiB. So names are read in a first 256 KiB, and more only while the table goes on.
    const std::size_t most = std::min(nameBytes, kMaxNameTableBytes);
    Status s =
        readInto(file, h.importOffset, imports, span(h.importOffset, h.importCount * kMaxImport));
    for (std::size_t want = std::min<std::size_t>(most, 256u << 10); s;
         want = std::min(most, want * 4)) {
        s = readInto(file, h.nameOffset, names, want);
        if (!s) break;
        ImportsReading got = parsePackageImports(names, imports, h);
        if (got.ok() || want == most || got.reason != kDamagedNames) return got;
    }
    r.fault = HeaderFault::Unreadable, r.reason = s.text;
    return r;
}

std::string_view packageNameOf(std::string_view fileName) {
    const std::size_t dot = fileName.rfind('.');
    return dot == std::string_view::npos ? fileName : fileName.substr(0, dot);
}

}  // namespace qv
