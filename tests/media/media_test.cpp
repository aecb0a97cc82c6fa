// The media readers and writers over their libraries, on data made here.
#include "media/media.h"

#include <gtest/gtest.h>
#include <png.h>

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
