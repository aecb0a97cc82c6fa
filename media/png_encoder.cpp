#include <png.h>

#include "media/media.h"
#include "package/picture.h"

namespace qv::media {

namespace {

void appendBytes(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<std::string*>(png_get_io_ptr(png));
    out->append(reinterpret_cast<const char*>(data), length);
}

void noFlush(png_structp) {}

// libpng's messages are its own words about its limits, never the player's business: a warning
// is dropped, an error ends the write (by a long jump back to writePng), and the caller says
// in Quorvel's words that no PNG was made.
void silentWarning(png_structp, png_const_charp) {}
[[noreturn]] void jumpOnError(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}

// The texts as libpng takes them: uncompressed, so each is written as a tEXt chunk.
std::vector<png_text> textChunks(const PngTexts& texts) {
    std::vector<png_text> chunks(texts.size());
    for (std::size_t i = 0; i < texts.size(); ++i) {
        chunks[i].compression = PNG_TEXT_COMPRESSION_NONE;
        chunks[i].key = const_cast<char*>(texts[i].first.c_str());
        chunks[i].text = const_cast<char*>(texts[i].second.c_str());
        chunks[i].text_length = texts[i].second.size();
    }
    return chunks;
}

// Writes `p` with `chunks` to `out` through `png`; false when libpng reported an error, which it
// does by a long jump back here. Only the arguments, never changed, live across that jump.
bool writePng(png_structp png, png_infop info, const Picture& p, std::vector<png_text>& chunks,
              std::string* out) {
    if (setjmp(png_jmpbuf(png)) != 0) return false;
    png_set_write_fn(png, out, appendBytes, noFlush);
    png_set_IHDR(png, info, static_cast<png_uint_32>(p.width), static_cast<png_uint_32>(p.height),
                 8, PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (!chunks.empty()) png_set_text(png, info, chunks.data(), static_cast<int>(chunks.size()));
    png_write_info(png, info);
    for (int y = 0; y < p.height; ++y)
        png_write_row(png, p.rgba.data() + static_cast<std::size_t>(y) * p.width * 4);
    png_write_end(png, info);
    return true;
}

// The most pixels a side that readers of PNG take as they are built: PNG allows 2^31 - 1, but
// libpng refuses more than a million unless told otherwise.
constexpr int kReadableSide = PNG_USER_WIDTH_MAX;

std::optional<std::string> encodePng(const Picture& picture, const PngTexts& texts) {
    // A picture wider or taller than that (a texture of 1,048,576 x 1) is made smaller in
    // proportion, so every reader can open what is written.
    const bool over = picture.width > kReadableSide || picture.height > kReadableSide;
    const Picture scaled = over ? scaledToFit(picture, kReadableSide) : Picture{};
    const Picture& p = over ? scaled : picture;
    if (p.empty() || p.rgba.size() != static_cast<std::size_t>(p.width) * p.height * 4)
        return std::nullopt;
    std::vector<png_text> chunks = textChunks(texts);
    png_structp png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, jumpOnError, silentWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    std::string out;
    const bool ok = png && info && writePng(png, info, p, chunks, &out);
    png_destroy_write_struct(png ? &png : nullptr, info ? &info : nullptr);
    if (!ok) return std::nullopt;
    return out;
}

class LibPngEncoder final : public PngEncoder {
  public:
    std::optional<std::string> encode(const Picture& p) override { return encodePng(p, {}); }
};

}  // namespace

std::unique_ptr<PngEncoder> pngEncoder() {
    return std::make_unique<LibPngEncoder>();
}

std::optional<std::string> pngWithTexts(const Picture& picture, const PngTexts& texts) {
    return encodePng(picture, texts);
}

}  // namespace qv::media
