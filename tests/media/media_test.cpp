// The media readers and writers over their libraries, on data made here.
#include "media/media.h"

#include <gtest/gtest.h>
#include <png.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/filesystem.h"
#include "tools/package_objects.h"

namespace qv::test {
namespace {

TEST(Media, ModulesGiveTypeTitleAndLengthAndOtherBytesNothing) {
    const auto reader = media::moduleInfoReader();
    const std::optional<ModuleInfo> info = reader->read(pkg::modModule("Seed Song"));
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->format, "MOD");
    EXPECT_EQ(info->title, "Seed Song");
    EXPECT_NEAR(info->seconds, 7.68, 0.01);
    EXPECT_FALSE(reader->read("not a module at all").has_value());
}

PackageContents musicContents(const std::string& module, ModuleInfoReader& modules) {
    pkg::PackageSpec spec;
    spec.exports = {pkg::music("Theme", "it", module)};
    const std::unique_ptr<InFile> file = memoryInFile(pkg::writePackage(spec));
    PackageReader reader;
    EXPECT_TRUE(reader.read(*file).ok());
    return readContents(*file, reader, {false, &modules});
}

// A module of 20 samples that each claim 2^28 frames decoded from the same 800 KB: its facts
// come out of the package, and reading them adds under 64 MiB to the process at its peak (in a
// child, so the figure is this reading's alone). Decoding the samples costs 650 MiB.
TEST(Media, AModuleBombGivesItsFactsWithoutDecodingItsSamples) {
    const std::string bomb = pkg::itModule({"Bomb", 20, 1u << 28, 200});
    const auto modules = media::moduleInfoReader();
    const PackageContents c = musicContents(bomb, *modules);
    EXPECT_EQ(c.musicFormat, "IT");
    EXPECT_EQ(c.musicTitle, "Bomb");
    EXPECT_NEAR(c.musicSeconds, 7.68, 0.01);
    EXPECT_EQ(c.note, "");
#if !defined(__SANITIZE_ADDRESS__)  // the sanitizer's shadow memory would be counted too
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        rusage before{}, after{};
        getrusage(RUSAGE_SELF, &before);
        const PackageContents again = musicContents(bomb, *modules);
        getrusage(RUSAGE_SELF, &after);
        const long grownKiB = after.ru_maxrss - before.ru_maxrss;
        _exit(again.musicTitle == "Bomb" ? (grownKiB < 64 * 1024 ? 0 : 2) : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: no facts; 2: 64 MiB or more";
#endif
}

// Nested pattern loops that never end, and a package whose music is cut: each says what it is.
TEST(Media, AnEndlessModuleHasNoLengthAndACutOneSaysSo) {
    pkg::ItSpec endless;
    for (int k = 0; k < 4; ++k)
        endless.effects.insert(endless.effects.end(),
                               {{k, k, 'S', 0xB0}, {7 - k, k, 'S', 0xBF}});  // SB0 .. SBF
    const auto modules = media::moduleInfoReader();
    const std::optional<ModuleInfo> info = modules->read(pkg::itModule(endless));
    ASSERT_TRUE(info.has_value());
    EXPECT_TRUE(info->endless);
    const PackageContents c = musicContents(pkg::itModule(endless), *modules);
    EXPECT_TRUE(c.musicEndless);
    EXPECT_LT(c.musicSeconds, 0);

    // The tables read from the whole file, the objects from one cut in the module's bytes.
    pkg::PackageSpec spec;
    spec.exports = {pkg::music("Theme", "it", pkg::itModule({"Cut", 0, 0, 4}))};
    pkg::PackageLayout layout;
    const std::string whole = pkg::writePackage(spec, &layout);
    PackageReader reader;
    ASSERT_TRUE(reader.read(*memoryInFile(whole)).ok());
    const std::unique_ptr<InFile> cut = memoryInFile(whole.substr(0, layout.objectsAt + 8192));
    const PackageContents damaged = readContents(*cut, reader, {false, modules.get()});
    EXPECT_EQ(damaged.note, "its music could not be read");
}

TEST(Media, PngKeepsEveryPixel) {
    Picture p;
    p.width = 3, p.height = 2;
    for (int i = 0; i < 6; ++i)
        p.rgba.insert(p.rgba.end(), {std::uint8_t(40 * i), 7, std::uint8_t(255 - i), 255});
    const std::optional<std::string> png = media::pngEncoder()->encode(p);
    ASSERT_TRUE(png.has_value());
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_memory(&image, png->data(), png->size()));
    image.format = PNG_FORMAT_RGBA;
    std::vector<std::uint8_t> back(PNG_IMAGE_SIZE(image));
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, back.data(), 0, nullptr));
    EXPECT_EQ(image.width, 3u);
    EXPECT_EQ(back, p.rgba);
    EXPECT_FALSE(media::pngEncoder()->encode(Picture{}).has_value());

    // A row of 1,048,576 pixels, past what libpng reads by default: made as wide as it reads.
    Picture wide;
    wide.width = 1 << 20, wide.height = 1;
    wide.rgba.assign(std::size_t{4} << 20, 200);
    const std::optional<std::string> long_ = media::pngEncoder()->encode(wide);
    ASSERT_TRUE(long_.has_value());
    png_image back2{};
    back2.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_memory(&back2, long_->data(), long_->size()));
    EXPECT_EQ(back2.width, 1000000u);
    EXPECT_EQ(back2.height, 1u);
    png_image_free(&back2);
}

}  // namespace
}  // namespace qv::test

namespace qv::test {
namespace {

std::string fileText(const std::string& path) {
    std::string text;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        for (int c; (c = std::fgetc(f)) != EOF;) text += static_cast<char>(c);
        std::fclose(f);
    }
    return text;
}

// What a file manager does: "quorvel-thumbnailer -s SIZE INPUT OUTPUT" on a map of the writer's
// gives its picture in proportion within SIZE; a package without one gives no file and fails.
// The .thumbnailer names only types the MIME file defines.
TEST(Thumbnailer, MapsGiveTheirPictureWithinTheSizeAskedFor) {
    const std::string dir = ::testing::TempDir(), map = dir + "/qv_thumb_map.unr",
                      sound = dir + "/qv_thumb.uax", out = dir + "/qv_thumb.png";
    pkg::PackageSpec spec;
    const pkg::DemoPicture p = pkg::demoPicture(1);
    spec.exports = {pkg::levelInfo({"T", "A", "2", "Shot"}), pkg::palette("Pal", p.palette),
                    pkg::texture("Shot", 0, 256, 256, {p.pixels}, "Pal")};
    std::ofstream(map, std::ios::binary) << pkg::writePackage(spec);
    spec.exports = {pkg::sound("S", pkg::wavFile(10, 10))};
    std::ofstream(sound, std::ios::binary) << pkg::writePackage(spec);
    const std::string program = QV_BUILD_DIR "/quorvel-thumbnailer -s 128 ";
    std::remove(out.c_str());
    ASSERT_EQ(std::system((program + map + " " + out).c_str()), 0);
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    const std::string png = fileText(out);
    ASSERT_TRUE(png_image_begin_read_from_memory(&image, png.data(), png.size()));
    EXPECT_EQ(image.width, 128u);
    EXPECT_EQ(image.height, 128u);
    png_image_free(&image);
    std::remove(out.c_str());
    // A link to the map, as a file manager hands one over: followed, since the user chose it.
    const std::string link = dir + "/qv_thumb_link.unr";
    std::remove(link.c_str());
    ASSERT_EQ(::symlink(map.c_str(), link.c_str()), 0);
    EXPECT_EQ(std::system((program + link + " " + out).c_str()), 0);
    EXPECT_FALSE(fileText(out).empty());
    std::remove(out.c_str());
    EXPECT_NE(std::system((program + sound + " " + out + " 2>/dev/null").c_str()), 0);
    EXPECT_TRUE(fileText(out).empty());

    const std::string source = QV_TEST_DATA_DIR "/../../data/desktop/";
    const std::string entry = fileText(source + "quorvel.thumbnailer"),
                      types = fileText(source + "quorvel-unreal-packages.xml");
    const std::size_t at = entry.find("MimeType=");
    ASSERT_NE(at, std::string::npos);
    std::istringstream list(entry.substr(at + 9, entry.find('\n', at) - at - 9));
    for (std::string type; std::getline(list, type, ';');) {
        if (!type.empty()) {
            EXPECT_NE(types.find("type=\"" + type + "\""), std::string::npos) << type;
        }
    }
}

}  // namespace
}  // namespace qv::test
