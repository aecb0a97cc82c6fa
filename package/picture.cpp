#include "package/picture.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#include "package/byte_reader.h"

namespace qv {

namespace {

std::uint8_t at(std::string_view b, std::size_t i) {
    return static_cast<std::uint8_t>(b[i]);
}

std::array<std::uint8_t, 4> from565(std::uint16_t c) {
    const int r = (c >> 11) & 31, g = (c >> 5) & 63, b = c & 31;
    return {static_cast<std::uint8_t>(r * 255 / 31), static_cast<std::uint8_t>(g * 255 / 63),
            static_cast<std::uint8_t>(b * 255 / 31), 255};
}

// A colour block's four colours (three and transparent black where DXT1 orders them so).
std::array<std::array<std::uint8_t, 4>, 4> blockColours(std::string_view b, bool dxt1) {
    ByteCursor in(b);
    const std::uint16_t c0 = in.u16(), c1 = in.u16();
    std::array<std::array<std::uint8_t, 4>, 4> c{from565(c0), from565(c1), {}, {}};
    for (int k = 0; k < 3; ++k)
        if (c0 > c1 || !dxt1) {
            c[2][k] = static_cast<std::uint8_t>((2 * c[0][k] + c[1][k]) / 3);
            c[3][k] = static_cast<std::uint8_t>((c[0][k] + 2 * c[1][k]) / 3);
        } else {
            c[2][k] = static_cast<std::uint8_t>((c[0][k] + c[1][k]) / 2);
            c[3][k] = 0;
        }
    c[2][3] = 255;
    c[3][3] = (c0 > c1 || !dxt1) ? 255 : 0;
    return c;
}

// DXT5's alpha block: two end points and 3-bit indexes.
std::array<std::uint8_t, 16> alphaBlock5(std::string_view b) {
    ByteCursor in(b);
    const int a0 = in.u8(), a1 = in.u8();
    std::array<int, 8> a{a0, a1};
    for (int i = 2; i < 8; ++i)
        a[i] = a0 > a1 ? ((8 - i) * a0 + (i - 1) * a1) / 7
                       : (i < 6 ? ((6 - i) * a0 + (i - 1) * a1) / 5 : (i == 6 ? 0 : 255));
    const std::uint64_t low = in.u16();  // 48 bits of indexes: read in two, in order
    const std::uint64_t bits = low | static_cast<std::uint64_t>(in.u32()) << 16;
    std::array<std::uint8_t, 16> out{};
    for (int i = 0; i < 16; ++i) out[i] = static_cast<std::uint8_t>(a[(bits >> (3 * i)) & 7]);
    return out;
}

}  // namespace

bool canShow(TextureFormat f) {
    return f == TextureFormat::P8 || f == TextureFormat::DXT1 || f == TextureFormat::DXT3 ||
           f == TextureFormat::DXT5;
}

std::uint64_t mipBytes(TextureFormat format, std::uint32_t width, std::uint32_t height) {
    const std::uint64_t blocks = ((static_cast<std::uint64_t>(width) + 3) / 4) *
                                 ((static_cast<std::uint64_t>(height) + 3) / 4);
    switch (format) {
        case TextureFormat::P8:
            return static_cast<std::uint64_t>(width) * height;
        case TextureFormat::DXT1:
            return blocks * 8;
        case TextureFormat::DXT3:
        case TextureFormat::DXT5:
            return blocks * 16;
        default:
            return 0;
    }
}

Picture decodeP8(std::string_view pixels, std::uint32_t width, std::uint32_t height,
                 std::string_view palette, std::uint64_t mostPixels) {
    Picture p;
    const std::uint64_t n = static_cast<std::uint64_t>(width) * height;
    if (n == 0 || n > mostPixels || pixels.size() < n) return p;
    p.width = static_cast<int>(width), p.height = static_cast<int>(height);
    // The palette as 256 ready pixels (black past its end), copied four bytes at a time.
    std::array<std::array<std::uint8_t, 4>, 256> colours{};
    for (std::size_t k = 0; k < 256 && 4 * k + 3 < palette.size(); ++k)
        colours[k] = {at(palette, 4 * k), at(palette, 4 * k + 1), at(palette, 4 * k + 2), 255};
    for (std::size_t k = palette.size() / 4; k < 256; ++k) colours[k] = {0, 0, 0, 255};
    p.rgba.resize(n * 4);
    std::uint8_t* out = p.rgba.data();
    const auto* in = reinterpret_cast<const std::uint8_t*>(pixels.data());
    for (std::size_t i = 0; i < n; ++i) std::memcpy(out + 4 * i, colours[in[i]].data(), 4);
    return p;
}

Picture decodeDxt(TextureFormat format, std::string_view pixels, std::uint32_t width,
                  std::uint32_t height, std::uint64_t mostPixels) {
    Picture p;
    const std::uint64_t n = static_cast<std::uint64_t>(width) * height;
    const std::uint64_t need = mipBytes(format, width, height);
    if (n == 0 || n > mostPixels || need == 0 || pixels.size() < need) return p;
    p.width = static_cast<int>(width), p.height = static_cast<int>(height);
    p.rgba.resize(n * 4);
    const bool dxt1 = format == TextureFormat::DXT1;
    const std::size_t blockSize = dxt1 ? 8 : 16;
    const std::uint32_t across = (width + 3) / 4;
    for (std::uint64_t blk = 0; blk * blockSize < need; ++blk) {
        const std::string_view b = pixels.substr(blk * blockSize, blockSize);
        const std::string_view colour = dxt1 ? b : b.substr(8);
        const auto c = blockColours(colour, dxt1);
        const auto alpha5 =
            format == TextureFormat::DXT5 ? alphaBlock5(b) : std::array<std::uint8_t, 16>{};
        const std::uint32_t bits = ByteCursor(colour, 4).u32();
        const std::uint32_t bx = static_cast<std::uint32_t>(blk % across) * 4,
                            by = static_cast<std::uint32_t>(blk / across) * 4;
        for (int i = 0; i < 16; ++i) {
            const std::uint32_t x = bx + i % 4, y = by + i / 4;
            if (x >= width || y >= height) continue;
            std::uint8_t* px = &p.rgba[(static_cast<std::size_t>(y) * width + x) * 4];
            const auto& col = c[(bits >> (2 * i)) & 3];
            px[0] = col[0], px[1] = col[1], px[2] = col[2], px[3] = col[3];
            if (format == TextureFormat::DXT3)
                px[3] = static_cast<std::uint8_t>(((at(b, i / 2) >> (4 * (i % 2))) & 15) * 17);
            else if (format == TextureFormat::DXT5)
                px[3] = alpha5[i];
        }
    }
    return p;
}

Picture scaledToFit(const Picture& p, int most) {
    if (p.empty() || most <= 0 || (p.width <= most && p.height <= most)) return p;
    Picture out;
    const double scale = static_cast<double>(most) / std::max(p.width, p.height);
    out.width = std::max(1, static_cast<int>(p.width * scale + 0.5));
    out.height = std::max(1, static_cast<int>(p.height * scale + 0.5));
    out.rgba.resize(static_cast<std::size_t>(out.width) * out.height * 4);
    // The source span of each output pixel, in 64 bits: a side of a million pixels times a
    // thousand overflows an int.
    const auto from = [](int i, int source, int shown) {
        return static_cast<int>(static_cast<std::int64_t>(i) * source / shown);
    };
    for (int y = 0; y < out.height; ++y) {
        const int y0 = from(y, p.height, out.height),
                  y1 = std::max(y0 + 1, from(y + 1, p.height, out.height));
        for (int x = 0; x < out.width; ++x) {
            const int x0 = from(x, p.width, out.width),
                      x1 = std::max(x0 + 1, from(x + 1, p.width, out.width));
            std::array<std::uint64_t, 4> sum{};
            for (int sy = y0; sy < y1; ++sy)
                for (int sx = x0; sx < x1; ++sx)
                    for (int c = 0; c < 4; ++c)
                        sum[c] += p.rgba[(static_cast<std::size_t>(sy) * p.width + sx) * 4 + c];
            const std::uint64_t n = static_cast<std::uint64_t>(y1 - y0) * (x1 - x0);
            for (int c = 0; c < 4; ++c)
                out.rgba[(static_cast<std::size_t>(y) * out.width + x) * 4 + c] =
                    static_cast<std::uint8_t>(sum[c] / n);
        }
    }
    return out;
}

}  // namespace qv
