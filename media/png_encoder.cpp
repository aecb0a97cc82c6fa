#include <png.h>

#include "media/media.h"

namespace qv::media {

namespace {

void appendBytes(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<std::string*>(png_get_io_ptr(png));
    out->append(reinterpret_cast<const char*>(data), length);
}

void noFlush(png_structp) {}

class LibPngEncoder final : public PngEncoder {
  public:
    std::optional<std::string> encode(const Picture& p) override {
        if (p.empty() || p.rgba.size() != static_cast<std::size_t>(p.width) * p.height * 4)
            return std::nullopt;
        png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        png_infop info = png ? png_create_info_struct(png) : nullptr;
        std::string out;
        bool ok = png && info;
        // libpng reports an error by a long jump back here.
        if (ok && setjmp(png_jmpbuf(png)) == 0) {
            png_set_write_fn(png, &out, appendBytes, noFlush);
            png_set_IHDR(png, info, static_cast<png_uint_32>(p.width),
                         static_cast<png_uint_32>(p.height), 8, PNG_COLOR_TYPE_RGBA,
                         PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
            png_write_info(png, info);
            for (int y = 0; y < p.height; ++y)
                png_write_row(png, p.rgba.data() + static_cast<std::size_t>(y) * p.width * 4);
            png_write_end(png, info);
        } else {
            ok = false;
        }
        png_destroy_write_struct(png ? &png : nullptr, info ? &info : nullptr);
        if (!ok) return std::nullopt;
        return out;
    }
};

}  // namespace

std::unique_ptr<PngEncoder> pngEncoder() {
    return std::make_unique<LibPngEncoder>();
}

}  // namespace qv::media
