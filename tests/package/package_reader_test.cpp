// The package reader against whole and hostile files: every cut that matters is damage, hostile
// counts cost a few small reads.
#include "package/package_reader.h"

#include <gtest/gtest.h>

#include "package/package_header.h"
#include "platform/filesystem.h"
#include "tools/package_writer.h"

namespace qv::test {
namespace {

// Counts the reads and their bytes: a hostile file must cost a few small reads.
class CountingFile final : public InFile {
  public:
    // `claimedSize`: the size the file says it has (a sparse file), else its bytes'.
    explicit CountingFile(std::string data, std::uint64_t claimedSize = 0)
        : inner_(memoryInFile(std::move(data))), id_(inner_->identity()) {
        if (claimedSize) id_.size = claimedSize;
    }
    const FileIdentity& identity() const override { return id_; }
    Result<std::size_t> readAt(std::uint64_t at, char* buffer, std::size_t n) override {
        ++reads, bytes += n;
        return inner_->readAt(at, buffer, n);
    }
    std::size_t reads = 0, bytes = 0;

  private:
    std::unique_ptr<InFile> inner_;
    FileIdentity id_;
};

void put32At(std::string& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>(v >> (8 * i));
}

// A package with objects of real-like sizes, as the game saves it.
pkg::PackageSpec objectsSpec(std::uint16_t version) {
    pkg::PackageSpec spec;
    spec.guid = "0A1B2C3D4E5F60718293A4B5C6D7E8F9", spec.version = version;
    spec.needs = {"Engine", "CTF-Tex", "engine"};  // the same name twice in other case
    spec.classImports = {"Rock"};
    spec.exports = {{"LevelInfo", "LevelInfo0", std::string(700, 'L')},
                    {"Texture", "Shot", std::string(3000, 'T')},
                    {"Palette", "Pal", std::string(0, 'P')},
                    {"Model", "Model1", std::string(1500, 'M')}};
    spec.padding = 40;
    return spec;
}

TEST(PackageReader, EveryCutThatReachesATableOrAnObjectIsDamagedAndPaddingIsNot) {
    PackageReader reader;
    for (std::uint16_t version : {69, 68, 66, 61}) {
        pkg::PackageLayout at;
        const std::string bytes = pkg::writePackage(objectsSpec(version), &at);
        CountingFile file(bytes);
        const HeaderReading h = reader.read(file, "map");
        ASSERT_TRUE(h.ok()) << version << h.reason;
        EXPECT_EQ(h.header.guid.view(), "0A1B2C3D4E5F60718293A4B5C6D7E8F9") << version;
        EXPECT_EQ(reader.neededPackages(), (std::vector<std::string>{"Engine", "CTF-Tex"}));
        ASSERT_EQ(reader.exports().size(), 4u);
        EXPECT_EQ(reader.objectName(2), "Shot");
        EXPECT_EQ(reader.className(2), "Texture");
        EXPECT_EQ(reader.exports()[3].offset + reader.exports()[3].size, at.importsAt);
        EXPECT_LE(file.reads, 2u) << "the first block and the tables at the end";
        EXPECT_LT(file.bytes, 4096 + (at.end - at.importsAt) + 40 + 1);

        // Cut at every byte from the end back into the names: whole while only padding goes.
        for (std::size_t cut = bytes.size(); cut-- > at.namesAt;) {
            CountingFile part(bytes.substr(0, cut));
            const HeaderReading c = reader.read(part, "map");
            ASSERT_EQ(c.ok(), cut >= at.end) << version << " cut at " << cut << ": " << c.reason;
            EXPECT_TRUE(c.ok() || !c.reason.empty());
            EXPECT_LE(part.reads, 4u);
            EXPECT_LE(part.bytes, 4096 + 2 * (at.end - at.importsAt) + 16);
        }
    }
}

TEST(PackageReader, ExtentsPastTheEndAreMeasuredAndLargeNameTablesReadOnlyAsFarAsTheyGo) {
    pkg::PackageLayout at;
    const std::string good = pkg::writePackage(objectsSpec(69), &at);
    PackageReader reader;
    // An object whose data lies past the end: the reason says by how much.
    std::string far = good;
    const std::size_t offsetAt =
        at.exportsAt + 1 + 1 + 4 + 1 + 4 + 2 + 1;  // LevelInfo0's offset, byte 2
    far[offsetAt] = 0x7F;
    CountingFile beyond(far);
    const std::int64_t end =
        ((static_cast<unsigned char>(far[offsetAt - 1]) & 0x3F) | 0x7F << 6) + 700;
    EXPECT_EQ(reader.read(beyond, "map").reason,
              "its map data ends " + std::to_string(end - static_cast<std::int64_t>(far.size())) +
                  " bytes beyond the end of the file");
    // A map of megabytes whose count allows a name table as large: the names are read as far as
    // the table goes (here past the first reads), not to the end of the file.
    pkg::PackageSpec big;
    for (int n = 0; n < 20000; ++n) big.needs.push_back("Need" + std::to_string(n));
    big.exports = {{"Texture", "T", std::string(4u << 20, 'x')}};
    CountingFile map(pkg::writePackage(big));
    ASSERT_TRUE(reader.read(map).ok());
    EXPECT_EQ(reader.neededPackages().size(), 20001u);  // and Engine, for its class
    EXPECT_LT(map.bytes, 2u << 20);
}

// A version 69 package made by hand: its header (the tables' counts and offsets: names, exports,
// imports; no generations), then `body` from byte 56 on.
std::string byHand(std::initializer_list<std::uint32_t> tables, const std::string& body) {
    std::string out;
    for (std::uint32_t v : {0x9E2A83C1u, 69u, 1u}) pkg::put32(out, v);  // tag, version, flags
    for (std::uint32_t v : tables) pkg::put32(out, v);
    out.append(16, '\x11');  // GUID
    pkg::put32(out, 0);      // generations
    return out + body;
}

// A file the reader refuses, with the fault it must tell and its words.
struct FaultCase {
    std::string bytes;
    PackageFault fault;
    const char* words;
    std::uint64_t claimedSize = 0;  // a sparse file's, when not 0
    PackageLimits limits = {};
};

// Writer-made packages with one number of their header changed, or read under tight limits.
std::vector<FaultCase> changedHeaderFaults() {
    const std::string good = pkg::writePackage(objectsSpec(69)),
                      old = pkg::writePackage(objectsSpec(61));
    const auto changed = [](std::string b, std::size_t at, std::uint32_t v) {
        return put32At(b, at, v), b;
    };
    return {{changed(good, 0, 0), PackageFault::NotPackage, "not a package"},
            {good.substr(0, 30), PackageFault::HeaderCutShort, "cut short inside its header"},
            {changed(good, 12, 0xFFFFFFFF), PackageFault::NameTableBeyondEnd,
             "its name table lies beyond its end"},
            {changed(good, 16, 0x7FFFFFF0), PackageFault::NameTableBeyondEnd,
             "its name table lies beyond its end"},
            {changed(good, 20, 0x10000000), PackageFault::ExportTableBeyondEnd,
             "its export table lies beyond its end"},
            {changed(good, 32, 4), PackageFault::ImportTableBeyondEnd,
             "its import table lies beyond its end"},
            {changed(good, 52, 0x20000000), PackageFault::GenerationTableBeyondEnd,
             "its generation table lies beyond its end"},
            {changed(old, 40, 0x7FFFFFF0), PackageFault::HeritageTableBeyondEnd,
             "its heritage table lies beyond its end"},
            {changed(old, 36, 0), PackageFault::NoGuid, "it has no GUID"},
            {good, PackageFault::NameTableOverCap, "its name table is larger than any package's", 0,
             PackageLimits{.tableEntries = 3}},
            {changed(good, 28, 153000000), PackageFault::ImportTableOverCap,
             "its import table is larger than any package's", 1u << 30},
            {changed(good, 20, 1u << 21), PackageFault::ExportTableOverCap,
             "its export table is larger than any package's", 1u << 30},
            {good, PackageFault::TablesOverCap, "its tables are larger than any package's", 0,
             PackageLimits{.tableRegion = 16}},
            {changed(good, 12, 3), PackageFault::ImportNameOutside,
             "an import names no name of its table"}};
}

// Packages made by hand of one name and one import or export, each wrong in one way.
std::vector<FaultCase> handMadeFaults() {
    const std::string none("\x05None\0\0\0\0\0", 10);  // the one name, "None"
    const auto oneImport = [&](const std::string& entry) {
        return byHand({1, 56, 0, 0, 1, 66}, none + entry);
    };
    const auto oneExport = [&](const std::string& entry) {
        return byHand({1, 56, 1, 66, 0, 0}, none + entry);
    };
    const std::string deepIndex("\x40\x80\x80\x80\x00", 5);  // 0 in five bytes
    return {{byHand({1, 56, 0, 0, 0, 0}, "\x0A" + std::string("abcd")),
             PackageFault::NameTableCutShort, "its name table is cut short"},
            {oneImport(deepIndex + std::string(2, '\0')), PackageFault::ImportTableCutShort,
             "its import table is cut short"},
            {oneExport(deepIndex + std::string(7, '\0')), PackageFault::ExportTableCutShort,
             "its export table is cut short"},
            {byHand({1, 56, 0, 0, 0, 0}, std::string(5, '\0')), PackageFault::NameTableDamaged,
             "its name table is damaged"},
            {oneImport(std::string(2, '\0') + "\x05" + std::string(4, '\0')),
             PackageFault::ImportOuterOutside, "an import lies in no object of the package"},
            {oneExport(std::string(6, '\0') + "\x09" + std::string(5, '\0')),
             PackageFault::ExportNameOutside, "an export names no name of its table"},
            {oneExport("\x05" + std::string(11, '\0')), PackageFault::ExportReferenceOutside,
             "an export refers to no object of the package"},
            {oneExport(std::string(11, '\0') + "\x81"), PackageFault::ExportExtentDamaged,
             "an export's extent is damaged"},
            // 63 bytes from byte 17: one past the 79 bytes of the file.
            {oneExport(std::string(11, '\0') + "\x3F\x11"), PackageFault::DataBeyondEnd,
             "its package data ends 1 byte beyond the end of the file"}};
}

TEST(PackageReader, EachFaultIsToldInItsOwnWordsWithinAFewSmallReads) {
    for (const auto& cases : {changedHeaderFaults(), handMadeFaults()})
        for (const FaultCase& f : cases) {
            PackageReader reader(f.limits);
            CountingFile file(f.bytes, f.claimedSize);
            const HeaderReading r = reader.read(file);
            EXPECT_EQ(r.fault, f.fault) << f.words << ": " << r.reason;
            EXPECT_EQ(r.reason, f.words);
            // What says the file ends early is its cutting short; anything else but the tag is
            // a bad table. However large the counts, a few small reads decide.
            const std::string_view w = f.words;
            EXPECT_EQ(r.kind(), w == "not a package" ? HeaderFault::NotPackage
                                : w.find("cut short") != w.npos || w.find("beyond") != w.npos
                                    ? HeaderFault::CutShort
                                    : HeaderFault::BadTable)
                << f.words;
            EXPECT_LE(file.reads, 2u) << f.words;
            EXPECT_LE(file.bytes, 4096u + 2 * f.bytes.size()) << f.words;
        }
}

}  // namespace
}  // namespace qv::test
