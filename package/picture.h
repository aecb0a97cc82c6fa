#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "package/limits.h"

namespace qv {

// A picture as RGBA bytes, row by row from the top.
struct Picture {
    int width = 0, height = 0;
    std::vector<std::uint8_t> rgba;
    bool empty() const { return width <= 0 || height <= 0; }
};

// A texture's pixel format as the game numbers it.
enum class TextureFormat : std::uint8_t {
    P8 = 0,
    RGBA7 = 1,
    RGB16 = 2,
    DXT1 = 3,
    RGB8 = 4,
    RGBA8 = 5,
    NoData = 6,
    DXT3 = 7,
    DXT5 = 8
};

bool canShow(TextureFormat format);
// The bytes a mip map of this format and size holds (0 for a format not shown).
std::uint64_t mipBytes(TextureFormat format, std::uint32_t width, std::uint32_t height);

// The decoders refuse a picture of more than `mostPixels` pixels (an empty picture).
// P8: each byte indexes `palette` (RGBA entries); an index past its end is black. The picture is
// opaque: the screenshots and textures shown are.
Picture decodeP8(std::string_view pixels, std::uint32_t width, std::uint32_t height,
                 std::string_view palette,
                 std::uint64_t mostPixels = PackageLimits{}.picturePixels);
// DXT1, DXT3, DXT5 blocks of 4 x 4 pixels; `pixels` holds mipBytes() bytes.
Picture decodeDxt(TextureFormat format, std::string_view pixels, std::uint32_t width,
                  std::uint32_t height, std::uint64_t mostPixels = PackageLimits{}.picturePixels);

// The picture scaled down in proportion to fit `most` x `most` (each pixel the mean of those it
// covers); a smaller one as it is.
Picture scaledToFit(const Picture& picture, int most);

}  // namespace qv
