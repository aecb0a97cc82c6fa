#include "package/package_reader.h"

#include <algorithm>
#include <array>
#include <unordered_set>

#include "package/byte_reader.h"
#include "platform/ascii.h"
#include "platform/filesystem.h"

namespace qv {

namespace {

constexpr EntryBytes kImport = entryBytes(PackageTable::Import),
                     kExport = entryBytes(PackageTable::Export);
// Tables closer than this are read in one piece.
constexpr std::uint64_t kJoinGap = 64u << 10;

// An old package's name: the bytes before a NUL, at most `limit` of them; `tooLong` when the
// limit passed with bytes to spare.
std::string_view cString(ByteCursor& c, std::size_t limit, bool& tooLong) {
    const std::size_t from = c.position();
    tooLong = false;
    for (std::size_t n = 0; !c.failed(); ++n) {
        if (n > limit) return tooLong = true, c.fail(), std::string_view();
        if (c.u8() == 0) break;
    }
    if (c.failed()) return {};
    const std::string_view name = c.span(from);
    return name.substr(0, name.size() - 1);
}

HeaderReading unreadable(const Status& s) {
    return faultReading(PackageFault::Unreadable, {.systemText = s.text});
}

struct Range {
    std::uint64_t start, end;
};

}  // namespace

std::string_view packageDataNoun(std::string_view realName) {
    const std::size_t dot = realName.rfind('.');
    const std::string_view ext = dot == std::string_view::npos ? "" : realName.substr(dot + 1);
    if (equalsNoCaseAscii(ext, "unr")) return "map";
    if (equalsNoCaseAscii(ext, "utx")) return "texture";
    if (equalsNoCaseAscii(ext, "uax")) return "sound";
    if (equalsNoCaseAscii(ext, "umx")) return "music";
    if (equalsNoCaseAscii(ext, "u")) return "code";
    return "package";
}

void PackageReader::clear() {
    header_ = {};
    // A buffer a large table needed is not kept for the next file.
    for (std::size_t i = 0; i < used_; ++i)
        if (chunks_[i].buffer.size() > (1u << 20)) std::string().swap(chunks_[i].buffer);
    used_ = 0;
    names_.clear();
    imports_.clear();
    exports_.clear();
}

Status PackageReader::readChunk(InFile& file, std::uint64_t start, std::uint64_t length,
                                Chunk& into) {
    into.start = start;
    if (into.buffer.size() < length) into.buffer.resize(static_cast<std::size_t>(length));
    ++reads_;
    const Result<std::size_t> got =
        file.readAt(start, into.buffer.data(), static_cast<std::size_t>(length));
    into.length = got.status ? got.value : 0;
    return got.status;
}

Status PackageReader::extendChunk(InFile& file, Chunk& chunk, std::uint64_t end) {
    const std::uint64_t have = chunk.start + chunk.length;
    if (end <= have) return Status::success();
    const std::size_t length = static_cast<std::size_t>(end - chunk.start);
    if (chunk.buffer.size() < length) chunk.buffer.resize(length);
    ++reads_;
    const Result<std::size_t> got =
        file.readAt(have, chunk.buffer.data() + chunk.length, length - chunk.length);
    if (got.status) chunk.length += got.value;
    return got.status;
}

PackageReader::Chunk* PackageReader::chunkAt(std::uint64_t offset) {
    Chunk* best = nullptr;
    for (std::size_t i = 0; i < used_; ++i)
        if (Chunk& c = chunks_[i]; offset >= c.start && offset - c.start <= c.length)
            if (!best || c.start + c.length > best->start + best->length) best = &c;
    return best;
}

PackageReader::Chunk& PackageReader::nextChunk() {
    if (used_ == chunks_.size()) chunks_.emplace_back();
    return chunks_[used_++];
}

std::string_view PackageReader::bytesFrom(std::uint64_t offset) const {
    std::string_view best;
    for (std::size_t i = 0; i < used_; ++i)
        if (const Chunk& c = chunks_[i]; offset >= c.start && offset - c.start <= c.length) {
            const std::string_view v = c.bytes().substr(offset - c.start);
            if (v.size() > best.size() || best.data() == nullptr) best = v;
        }
    return best;
}

HeaderReading PackageReader::read(InFile& file, std::string_view noun) {
    clear();
    const std::uint64_t size = file.identity().size;
    if (chunks_.capacity() < 16) chunks_.reserve(16);
    Chunk& first = nextChunk();
    if (const Status s =
            readChunk(file, 0, std::min<std::uint64_t>(size, limits_.firstRead), first);
        !s)
        return unreadable(s);
    HeaderReading head = parsePackageHeader(first.bytes(), size);
    if (head.ok() && head.guidAt != 0) {
        Chunk& guid = nextChunk();
        if (const Status s = readChunk(file, head.guidAt, 16, guid); !s) return unreadable(s);
        if (guid.length < 16) return faultReading(PackageFault::HeritageTableBeyondEnd);
        head.header.guid = guidText(guid.bytes());
        head.guidAt = 0;
    }
    if (!head.ok()) return head;
    header_ = std::move(head.header);
    HeaderReading r = readTables(file, noun);
    if (r.ok())
        r.header = header_;
    else
        clear();
    return r;
}

HeaderReading PackageReader::readTables(InFile& file, std::string_view noun) {
    const std::uint64_t size = file.identity().size;
    const std::array<PackageTableExtent, 3> tables = tablesOf(header_);
    for (const std::size_t i : {0, 2, 1})  // names, imports, exports: the first over its cap
        if (tables[i].count > limits_.tableEntries)
            return faultReading(tableFault(tables[i].table, TableFault::OverCap));
    // `tight`: a table ends where the next one starts, if not before, and the names (which the
    // objects follow) about where the names in the first block let one reckon. Else each entry
    // is reckoned at the most it can take. True when a range was cut by these bounds.
    bool cut = false;
    const auto readRanges = [&](bool tight) -> HeaderReading {
        // At most three ranges: fixed arrays, so a package costs no allocation here.
        std::array<Range, 3> ranges{};
        std::size_t count = 0;
        for (const std::size_t i : {0, 2, 1}) {  // names, imports, exports
            const PackageTableExtent& t = tables[i];
            if (t.count == 0) continue;
            const std::uint64_t most = t.offset + t.count * entryBytes(t.table).most;
            std::uint64_t end = most;
            if (tight) {
                for (const PackageTableExtent& other : tables)
                    if (other.count > 0 && other.offset > t.offset)
                        end = std::min<std::uint64_t>(end, other.offset);
                if (t.table == PackageTable::Name) end = std::min(end, namesEnd());
                cut = cut || (end < most && end < size);
            }
            const Range r{t.offset, std::min<std::uint64_t>(size, end)};
            if (r.end > chunks_[0].length) ranges[count++] = r;
        }
        for (std::size_t i = 1; i < count; ++i)  // in file order
            for (std::size_t j = i; j > 0 && ranges[j].start < ranges[j - 1].start; --j)
                std::swap(ranges[j], ranges[j - 1]);
        std::array<Range, 3> joined{};
        std::size_t joins = 0;
        for (std::size_t i = 0; i < count; ++i)
            if (joins > 0 && ranges[i].start <= joined[joins - 1].end + kJoinGap)
                joined[joins - 1].end = std::max(joined[joins - 1].end, ranges[i].end);
            else
                joined[joins++] = ranges[i];
        for (std::size_t i = 0; i < joins; ++i) {
            const Range& r = joined[i];
            if (r.end - r.start > limits_.tableRegion)
                return faultReading(PackageFault::TablesOverCap);
            // A range that starts within what is held goes on from its end: no byte twice.
            Chunk* held = chunkAt(r.start);
            const Status s = held ? extendChunk(file, *held, r.end)
                                  : readChunk(file, r.start, r.end - r.start, nextChunk());
            if (!s) return unreadable(s);
        }
        return {};
    };
    const auto parseTables = [&]() -> HeaderReading {
        for (HeaderReading (PackageReader::*parse)(std::uint64_t) :
             {&PackageReader::parseImports, &PackageReader::parseExports})
            if (HeaderReading r = (this->*parse)(size); !r.ok()) return r;
        return {};
    };
    if (HeaderReading r = readRanges(true); !r.ok()) return r;
    HeaderReading parsed = parseTables();
    // Tables that overlap or run past the next one's start: read as far as entries can reach.
    if (!parsed.ok() && cut) {
        if (HeaderReading r = readRanges(false); !r.ok()) return r;
        parsed = parseTables();
    }
    if (!parsed.ok()) return parsed;
    if (HeaderReading r = parseNames(file, size); !r.ok()) return r;
    return checkReferences(size, noun);
}

namespace {

// One entry; unchecked where the caller saw room for the largest one.
template <bool kChecked>
void readImport(ByteCursor& c, PackageImport& im) {
    im.classPackage = c.compact<kChecked>();
    im.className = c.compact<kChecked>();
    im.outer = static_cast<std::int32_t>(c.u32<kChecked>());
    im.name = c.compact<kChecked>();
}

template <bool kChecked>
void readExport(ByteCursor& c, PackageExport& ex) {
    ex.classRef = c.compact<kChecked>();
    ex.superRef = c.compact<kChecked>();
    ex.outer = static_cast<std::int32_t>(c.u32<kChecked>());
    ex.name = c.compact<kChecked>();
    ex.flags = c.u32<kChecked>();
    ex.size = c.compact<kChecked>();
    ex.offset = ex.size > 0 ? c.compact<kChecked>() : 0;
}

}  // namespace

HeaderReading PackageReader::parseImports(std::uint64_t) {
    ByteCursor c(bytesFrom(header_.importOffset));
    // Fewer bytes than the smallest entries take: cut short, before anything is allocated.
    if (c.left() / kImport.least < header_.importCount)
        return faultReading(PackageFault::ImportTableCutShort);
    imports_.resize(header_.importCount);
    // A cursor that failed reads 0 from then on: one check after the table is enough.
    for (PackageImport& im : imports_)
        c.has(kImport.most) ? readImport<false>(c, im) : readImport<true>(c, im);
    if (c.failed()) return faultReading(PackageFault::ImportTableCutShort);
    return {};
}

HeaderReading PackageReader::parseExports(std::uint64_t) {
    ByteCursor c(bytesFrom(header_.exportOffset));
    if (c.left() / kExport.least < header_.exportCount)
        return faultReading(PackageFault::ExportTableCutShort);
    exports_.resize(header_.exportCount);
    for (PackageExport& ex : exports_)
        c.has(kExport.most) ? readExport<false>(c, ex) : readExport<true>(c, ex);
    if (c.failed()) return faultReading(PackageFault::ExportTableCutShort);
    return {};
}

std::uint64_t PackageReader::namesEnd() const {
    const std::uint64_t most = header_.nameOffset + static_cast<std::uint64_t>(header_.nameCount) *
                                                        entryBytes(PackageTable::Name).most;
    ByteCursor c(bytesFrom(header_.nameOffset));
    std::uint32_t seen = 0;
    std::size_t whole = 0;  // the bytes of the names read whole
    for (; seen < header_.nameCount; ++seen) {
        if (header_.version >= 64) {
            const std::int32_t length = c.compact();
            if (length > 0) c.bytes(static_cast<std::size_t>(length));
        } else {
            while (c.has(1) && c.u8() != 0) {
            }
            if (!c.has(1)) c.fail();
        }
        c.u32();
        if (c.failed()) break;
        whole = c.position();
    }
    // Too few to tell: reckon each of the rest at the most a name takes.
    if (seen < 16 || seen == header_.nameCount) return most;
    // A quarter more than the names seen take, and a little: a later name is seldom much longer
    // (and when the names run longer, the rest is read on from there).
    const std::uint64_t each = (whole + seen - 1) / seen;
    return std::min<std::uint64_t>(
        most, header_.nameOffset + whole + (header_.nameCount - seen) * each * 5 / 4 + 512);
}

HeaderReading PackageReader::parseNames(InFile& file, std::uint64_t size) {
    for (;;) {
        names_.clear();
        const std::string_view bytes = bytesFrom(header_.nameOffset);
        ByteCursor c(bytes);
        bool tooLong = false;
        for (std::uint32_t i = 0; i < header_.nameCount && !c.failed(); ++i) {
            std::string_view name;
            if (header_.version >= 64) {
                const std::int64_t length = c.compact();
                if (c.failed()) break;
                if (length < 1 || length > static_cast<std::int64_t>(limits_.nameLength) + 1)
                    return faultReading(PackageFault::NameTableDamaged);
                name = c.bytes(static_cast<std::size_t>(length));
                std::size_t end = 0;  // up to its NUL; names are short, a loop beats a call
                while (end < name.size() && name[end] != '\0') ++end;
                name = name.substr(0, end);
            } else {
                name = cString(c, limits_.nameLength, tooLong);
                if (tooLong) return faultReading(PackageFault::NameTableDamaged);
            }
            c.u32();
            if (!c.failed()) names_.push_back(name);
        }
        if (!c.failed()) return {};
        // Ran out of what was read: the file ended there, or a longer read is needed.
        const std::uint64_t have = bytes.size(), left = size - header_.nameOffset;
        if (have >= left) return faultReading(PackageFault::NameTableCutShort);
        const std::uint64_t want =
            std::min<std::uint64_t>(left, std::max<std::uint64_t>(4 * have, 1u << 16));
        if (want > limits_.tableRegion) return faultReading(PackageFault::NameTableOverCap);
        names_.clear();  // its views may move with the bytes
        if (const Status s =
                extendChunk(file, *chunkAt(header_.nameOffset), header_.nameOffset + want);
            !s)
            return unreadable(s);
    }
}

HeaderReading PackageReader::checkReferences(std::uint64_t size, std::string_view noun) const {
    const auto nameOk = [&](std::int32_t i) {
        return i >= 0 && static_cast<std::uint32_t>(i) < names_.size();
    };
    const auto refOk = [&](std::int32_t ref) {
        if (ref > 0) return static_cast<std::uint32_t>(ref) <= exports_.size();
        return ref == 0 ||
               static_cast<std::uint64_t>(-static_cast<std::int64_t>(ref)) <= imports_.size();
    };
    for (const PackageImport& im : imports_) {
        if (!nameOk(im.classPackage) || !nameOk(im.className) || !nameOk(im.name))
            return faultReading(PackageFault::ImportNameOutside);
        if (!refOk(im.outer)) return faultReading(PackageFault::ImportOuterOutside);
    }
    std::int64_t furthest = 0;
    for (const PackageExport& ex : exports_) {
        if (!nameOk(ex.name)) return faultReading(PackageFault::ExportNameOutside);
        if (!refOk(ex.classRef) || !refOk(ex.superRef) || !refOk(ex.outer))
            return faultReading(PackageFault::ExportReferenceOutside);
        if (ex.size < 0 || ex.offset < 0) return faultReading(PackageFault::ExportExtentDamaged);
        if (ex.size > 0) furthest = std::max(furthest, ex.offset + ex.size);
    }
    if (static_cast<std::uint64_t>(furthest) > size) {
        const std::uint64_t beyond = static_cast<std::uint64_t>(furthest) - size;
        return faultReading(PackageFault::DataBeyondEnd, {.noun = noun, .bytesBeyond = beyond});
    }
    return {};
}

std::string_view PackageReader::heldBytes(std::uint64_t offset, std::uint64_t length) const {
    const std::string_view v = bytesFrom(offset);
    return v.size() >= length ? v.substr(0, static_cast<std::size_t>(length)) : std::string_view();
}

std::string_view PackageReader::name(std::int32_t index) const {
    return index >= 0 && static_cast<std::size_t>(index) < names_.size()
               ? names_[static_cast<std::size_t>(index)]
               : std::string_view();
}

std::string_view PackageReader::objectName(std::int32_t ref) const {
    if (ref > 0 && static_cast<std::size_t>(ref) <= exports_.size())
        return name(exports_[static_cast<std::size_t>(ref) - 1].name);
    if (ref < 0 && static_cast<std::size_t>(-static_cast<std::int64_t>(ref)) <= imports_.size())
        return name(imports_[static_cast<std::size_t>(-static_cast<std::int64_t>(ref)) - 1].name);
    return {};
}

std::string_view PackageReader::className(std::int32_t ref) const {
    if (ref > 0 && static_cast<std::size_t>(ref) <= exports_.size())
        return objectName(exports_[static_cast<std::size_t>(ref) - 1].classRef);
    if (ref < 0 && static_cast<std::size_t>(-static_cast<std::int64_t>(ref)) <= imports_.size())
        return name(
            imports_[static_cast<std::size_t>(-static_cast<std::int64_t>(ref)) - 1].className);
    return {};
}

std::vector<std::string> PackageReader::neededPackages() const {
    std::vector<std::string> out;
    std::unordered_set<std::string> seen;
    for (const PackageImport& im : imports_) {
        const std::string_view obj = name(im.name);
        if (im.outer == 0 && equalsNoCaseAscii(name(im.className), "Package") && !obj.empty() &&
            seen.insert(upperAscii(obj)).second)
            out.emplace_back(obj);
    }
    return out;
}

}  // namespace qv
