// What a package holds: maps' facts and screenshots, texture, sound and music packages, made by
// the project's writer; and what hostile objects may cost.
#include "package/package_contents.h"

#include <gtest/gtest.h>

#include "platform/filesystem.h"
#include "tools/package_objects.h"

namespace qv::test {
namespace {

using namespace qv::pkg;

// A 4 x 2 P8 picture over a palette of four colours: index i is (60 i, 10, 200, 0).
const std::string kPixels = std::string("\0\1\2\3\3\2\1\0", 8);
std::string fourColours() {
    std::string p;
    for (int i = 0; i < 4; ++i) p += {static_cast<char>(60 * i), 10, static_cast<char>(200), 0};
    return p;
}

// A DXT1 block of 4 x 4 red pixels (colour 0, pure red in 5-6-5 bits, for every pixel).
const std::string kRedBlock("\x00\xF8\x1F\x00\x00\x00\x00\x00", 8);

struct Read {
    PackageContents contents;
    std::size_t reads = 0;
};

Read readSpec(const PackageSpec& spec, ContentOptions options = {}) {
    const std::unique_ptr<InFile> file = memoryInFile(writePackage(spec));
    PackageReader reader;
    EXPECT_TRUE(reader.read(*file).ok());
    Read r{readContents(*file, reader, options), reader.reads()};
    return r;
}

TEST(PackageContents, MapsGiveTheirFactsAndScreenshotFromSummaryAndLevelInfo) {
    const MapFactsSpec facts{"Out for Blood", "Velmora", "8-16 players", "Shot"};
    struct Case {
        const char* what;
        std::uint16_t version;
        std::vector<ExportSpec> exports;
        const char* title;
        const char* note;  // pictureNote; "" when the picture is shown
        int red = 180;     // of the picture's fourth and fifth pixels
    } cases[] = {
        {"summary and info",
         69,
         {levelSummary(facts), texture("Shot", 0, 4, 2, {kPixels}, "Pal"),
          palette("Pal", fourColours()), levelInfo(facts)},
         "Out for Blood",
         ""},
        {"info alone, before lazy skips",
         61,
         {palette("Pal", fourColours()), levelInfo(facts),
          texture("Shot", 0, 4, 2, {kPixels}, "Pal")},
         "Out for Blood",
         ""},
        {"untitled, no picture",
         69,
         {levelInfo({"", "Velmora", "8-16 players", ""})},
         "Untitled",
         "the map names no screenshot"},
        {"a fire texture",
         69,
         {levelInfo(facts), texture("Shot", 0, 4, 2, {kPixels}, "", "FireTexture")},
         "Out for Blood",
         "a procedural texture (FireTexture): it has no picture of its own"},
        {"RGBA8",
         69,
         {levelInfo(facts), texture("Shot", 5, 4, 2, {std::string(32, 'x')})},
         "Out for Blood",
         "a picture in a format Quorvel cannot show"},
        {"RGBA8 with a DXT1 copy",
         69,
         {levelInfo(facts),
          withCompressedCopy(texture("Shot", 5, 4, 2, {std::string(32, 'x'), std::string(8, 'y')}),
                             3, 4, 2, {kRedBlock})},
         "Out for Blood",
         "",
         255},
        {"only a DXT1 copy",
         61,
         {levelInfo(facts), withCompressedCopy(texture("Shot", 6, 4, 2, {}), 3, 4, 2, {kRedBlock})},
         "Out for Blood",
         "",
         255},
        {"a cut mip",
         69,
         {levelInfo(facts), texture("Shot", 0, 4, 2, {"\1\2"}, "Pal"),
          palette("Pal", fourColours())},
         "Out for Blood",
         "its picture is damaged"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PackageSpec spec;
        spec.version = c.version, spec.exports = c.exports;
        const Read r = readSpec(spec);
        EXPECT_EQ(r.contents.kind, ContentKind::Map);
        EXPECT_EQ(r.contents.title, c.title);
        EXPECT_EQ(r.contents.author, "Velmora");
        EXPECT_EQ(r.contents.players, "8-16 players");
        EXPECT_EQ(r.contents.pictureNote, c.note);
        EXPECT_EQ(r.contents.note, "");
        if (*c.note) continue;
        ASSERT_EQ(r.contents.picture.width, 4);
        ASSERT_EQ(r.contents.picture.height, 2);
        const std::vector<std::uint8_t>& px = r.contents.picture.rgba;
        // Palette entry 3 of the P8 pictures, or the DXT1 block's red.
        const std::vector<std::uint8_t> colour = c.red == 180
                                                     ? std::vector<std::uint8_t>{180, 10, 200, 255}
                                                     : std::vector<std::uint8_t>{255, 0, 0, 255};
        EXPECT_EQ(std::vector<std::uint8_t>(px.begin() + 12, px.begin() + 16), colour);
        EXPECT_EQ(std::vector<std::uint8_t>(px.begin() + 16, px.begin() + 20), colour);
        EXPECT_EQ(r.contents.pictureName, "Shot");
    }
}

// Strings are Windows-1252, or UTF-16 when their length is negative: both come out as UTF-8.
TEST(PackageContents, TextInTheGamesEncodingsComesOutAsUtf8) {
    PackageSpec spec;
    spec.exports = {levelInfo({"Caf\xE9 \x80\x9B", "", "", "Z\xFCrich"})};
    spec.exports[0].properties.push_back(
        wideStrProperty("Author", std::string("N\0\xEF\0 \0\x3D\xD8\x00\xDE\x00\xD8", 12)));
    spec.exports.push_back(texture("Z\xFCrich", 0, 4, 2, {kPixels}, "P"));
    spec.exports.push_back(palette("P", fourColours()));
    const Read r = readSpec(spec);
    EXPECT_EQ(r.contents.title, "Caf\xC3\xA9 \xE2\x82\xAC\xE2\x80\xBA");
    // N, i with diaeresis, a space, U+1F600 from its surrogate pair, a lone high surrogate.
    EXPECT_EQ(r.contents.author, "N\xC3\xAF \xF0\x9F\x98\x80\xEF\xBF\xBD");
    EXPECT_EQ(r.contents.pictureName, "Z\xC3\xBCrich");
}

// Notes each read's place and length.
class RecordingFile final : public InFile {
  public:
    explicit RecordingFile(std::string data) : inner_(memoryInFile(std::move(data))) {}
    const FileIdentity& identity() const override { return inner_->identity(); }
    Result<std::size_t> readAt(std::uint64_t at, char* buffer, std::size_t n) override {
        reads.emplace_back(at, n);
        return inner_->readAt(at, buffer, n);
    }
    std::vector<std::pair<std::uint64_t, std::size_t>> reads;

  private:
    std::unique_ptr<InFile> inner_;
};

// A map shaped like a download (about 300 KB: a 256 x 256 screenshot and 900 small objects, its
// level's last): its facts, the picture's size among them, take at most five reads and under 15%
// of its bytes, none of the screenshot's pixels; its picture one read more.
TEST(PackageContents, AMapOfRealShapeCostsFewReadsAndItsFactsNoPixels) {
    PackageSpec spec;
    spec.needs = {"Engine", "Core", "Botpack"};
    for (unsigned i = 0; i < 900; ++i)
        spec.exports.push_back({i % 3 ? "Light" : "Brush", "Actor" + std::to_string(i),
                                std::string(150 + i % 200, 'x')});
    const DemoPicture p = demoPicture(2);
    const MapFactsSpec facts{"Shape", "Velmora", "2-8", "Shot"};
    for (ExportSpec e : {levelSummary(facts), levelInfo(facts), palette("Pal", p.palette),
                         texture("Shot", 0, 256, 256, {p.pixels}, "Pal")})
        spec.exports.push_back(std::move(e));
    const std::string bytes = writePackage(spec);
    for (const bool picture : {false, true}) {
        SCOPED_TRACE(picture);
        RecordingFile file(bytes);
        PackageReader reader;
        ASSERT_TRUE(reader.read(file, "map").ok());
        const PackageContents c = readContents(file, reader, {picture, nullptr, true});
        EXPECT_EQ(c.title, "Shape");
        EXPECT_EQ(c.pictureWidth, 256);
        EXPECT_EQ(c.picture.empty(), !picture);
        const PackageExport& shot = reader.exports().back();
        std::uint64_t total = 0, pixels = 0;
        for (const auto& [at, n] : file.reads) {
            total += n;
            const std::uint64_t from = std::max<std::uint64_t>(at, shot.offset + 512),
                                to = std::min<std::uint64_t>(at + n, shot.offset + shot.size);
            pixels += to > from ? to - from : 0;
        }
        EXPECT_LE(file.reads.size(), picture ? 6u : 5u);
        if (!picture) {
            EXPECT_EQ(pixels, 0u);
            EXPECT_LT(total * 100, bytes.size() * 15) << total << " of " << bytes.size();
        }
    }
}

TEST(PackageContents, TexturePackagesShowTheirFirstPlainTextureAtAtMostAMegapixel) {
    // DXT1 blocks: colour 0 red, colour 1 blue; the first row red, the others blue.
    const std::string block("\x00\xF8\x1F\x00\x00\x55\x55\x55", 8);
    PackageSpec spec;
    spec.exports = {texture("Flames", 0, 4, 2, {kPixels}, "", "FireTexture"),
                    texture("Wall", 3, 8, 4, {block + block, block}), palette("P", "")};
    Read r = readSpec(spec);
    EXPECT_EQ(r.contents.kind, ContentKind::Textures);
    EXPECT_EQ(r.contents.textureCount, 2u);
    EXPECT_EQ(r.contents.pictureName, "Wall");
    ASSERT_EQ(r.contents.picture.width, 8) << r.contents.pictureNote;
    const auto pixel = [&](int x, int y) {
        const auto* p = &r.contents.picture.rgba[static_cast<std::size_t>(y * 8 + x) * 4];
        return std::vector<int>{p[0], p[1], p[2], p[3]};
    };
    EXPECT_EQ(pixel(5, 0), (std::vector<int>{255, 0, 0, 255}));
    EXPECT_EQ(pixel(2, 3), (std::vector<int>{0, 0, 255, 255}));

    // 2048 x 1024: the first mip is passed over for the second, read on its own.
    const std::string big(2048u * 1024, '\2'), half(1024u * 512, '\1');
    spec.exports = {palette("Pal", fourColours()),
                    texture("Big", 0, 2048, 1024, {big, half}, "Pal")};
    r = readSpec(spec);
    EXPECT_EQ(r.contents.picture.width, 1024);
    EXPECT_EQ(r.contents.picture.rgba[0], 60);
    EXPECT_LT(r.contents.bytesRead, half.size() + 16384);
}

TEST(PackageContents, SoundsAddUpTheirLengthsAndMusicNamesItsModule) {
    PackageSpec spec;
    spec.exports = {sound("Hit", wavFile(11025, 22050)), sound("Miss", wavFile(44100, 22050))};
    Read r = readSpec(spec);
    EXPECT_EQ(r.contents.kind, ContentKind::Sounds);
    EXPECT_EQ(r.contents.soundCount, 2u);
    EXPECT_DOUBLE_EQ(r.contents.soundSeconds, 2.5);
    EXPECT_EQ(r.contents.note, "");

    struct Reader final : ModuleInfoReader {
        std::string seen;
        std::optional<ModuleInfo> read(std::string_view m) override {
            seen = m;
            return ModuleInfo{"IT", "Song", 93.5};
        }
    } modules;
    spec.exports = {music("Theme", "it", "IMPM module bytes")};
    r = readSpec(spec, {true, &modules});
    EXPECT_EQ(r.contents.kind, ContentKind::Music);
    EXPECT_EQ(modules.seen, "IMPM module bytes");
    EXPECT_EQ(r.contents.musicTitle, "Song");
    EXPECT_EQ(r.contents.musicSeconds, 93.5);
    EXPECT_EQ(readSpec(spec).contents.musicFormat, "IT");
}

// Any byte of the objects changed: no crash, no more than the budget read, and where the map's
// facts are damaged the contents say so.
TEST(PackageContents, ChangedObjectBytesCostNoMoreThanTheBudget) {
    PackageSpec spec;
    spec.exports = {levelSummary({"T", "A", "2-4", ""}), texture("Shot", 0, 4, 2, {kPixels}, "Pal"),
                    palette("Pal", fourColours()), levelInfo({"T", "A", "2-4", "Shot"})};
    // An integer whose tag says 1 byte where 4 follow, as a real texture package has, and
    // array elements past the first, their index in one, two and four bytes.
    std::vector<Property>& info = spec.exports[3].properties;
    info.insert(info.begin(), intProperty("Odd", 7, 0));
    for (const std::uint32_t index : {5u, 300u, 70000u}) {
        info.insert(info.begin(), strProperty("Title", "not the title"));
        info.front().arrayIndex = index;
    }
    PackageLayout at;
    const std::string good = writePackage(spec, &at);
    for (std::size_t i = at.objectsAt; i < at.importsAt; ++i)
        for (const char v : {'\0', '\x7F', '\xFF'}) {
            std::string bad = good;
            bad[i] = v;
            const std::unique_ptr<InFile> file = memoryInFile(bad);
            PackageReader reader;
            if (!reader.read(*file).ok()) continue;
            const PackageContents c = readContents(*file, reader);
            ASSERT_LE(c.bytesRead, PackageLimits{}.contentBytes) << i;
            ASSERT_LE(c.picture.rgba.size(), 4 * PackageLimits{}.picturePixels) << i;
        }
    const Read r = readSpec(spec);
    EXPECT_EQ(r.contents.picture.width, 4);
    EXPECT_EQ(r.contents.note, "");
}

}  // namespace
}  // namespace qv::test
