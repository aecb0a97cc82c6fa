// The media readers and writers over their libraries, on data made here.
#include "media/media.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

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
