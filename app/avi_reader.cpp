#include "app/avi_reader.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <fstream>
#include <optional>

namespace qv {

namespace {

constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiRle8 = 1;

using Palette = std::array<std::uint32_t, 256>;

// Entries the file leaves out are opaque black, so every pixel stays 0xffRRGGBB.
Palette blackPalette() {
    Palette p;
    p.fill(0xff000000u);
    return p;
}

// A window onto the file's bytes; every read is checked against its end.
struct Span {
    const unsigned char* data = nullptr;
    std::size_t size = 0;

    bool has(std::size_t offset, std::size_t count) const {
        return offset <= size && count <= size - offset;
    }
    std::uint32_t le32(std::size_t at) const {
        return std::uint32_t(data[at]) | std::uint32_t(data[at + 1]) << 8 |
               std::uint32_t(data[at + 2]) << 16 | std::uint32_t(data[at + 3]) << 24;
    }
    std::uint16_t le16(std::size_t at) const { return std::uint16_t(data[at] | data[at + 1] << 8); }
    bool idIs(std::size_t at, const char* id) const { return std::memcmp(data + at, id, 4) == 0; }
    Span sub(std::size_t offset, std::size_t count) const { return {data + offset, count}; }
};

struct Chunk {
    char id[5] = {};
    Span body;
    bool complete = true;  // false when the file ends inside the chunk
};

// Calls `visit` with each chunk of one RIFF list body, in order, until it returns false. A
// chunk cut short by the end is passed with what is there and ends the list.
template <class Visit>
void forEachChunk(Span list, Visit visit) {
    std::size_t pos = 0;
    while (list.has(pos, 8)) {
        Chunk c;
        std::memcpy(c.id, list.data + pos, 4);
        std::size_t size = list.le32(pos + 4);
        std::size_t bodyAt = pos + 8;
        std::size_t available = list.size - bodyAt;
        c.complete = size <= available;
        c.body = list.sub(bodyAt, std::min(size, available));
        if (!visit(c) || !c.complete) return;
        pos = bodyAt + size + (size & 1);
    }
}

bool isList(const Chunk& c, const char* type) {
    return std::memcmp(c.id, "LIST", 4) == 0 && c.body.has(0, 4) && c.body.idIs(0, type);
}

Span listBody(const Chunk& c) {
    return c.body.sub(4, c.body.size - 4);
}

struct VideoFormat {
    int streamIndex = -1;
    int width = 0;
    int height = 0;
    bool topDown = false;
    int bitCount = 0;
    std::uint32_t compression = 0;
    Palette palette = blackPalette();
    std::uint32_t streamScale = 0, streamRate = 0;
};

bool fail(std::string* error, const char* why) {
    if (error) *error = why;
    return false;
}

bool readFormat(const Chunk& strf, VideoFormat& f, std::string* error) {
    Span s = strf.body;
    if (!s.has(0, 40)) return fail(error, "video format too short");
    std::uint32_t headerSize = s.le32(0);
    if (headerSize < 40 || headerSize > s.size) return fail(error, "bad bitmap header size");
    auto width = static_cast<std::int32_t>(s.le32(4));
    auto height = static_cast<std::int32_t>(s.le32(8));
    f.bitCount = s.le16(14);
    f.compression = s.le32(16);
    std::uint32_t colorsUsed = s.le32(32);
    if (height < 0 && height != INT32_MIN) {
        f.topDown = true;
        height = -height;
    }
    if (width <= 0 || height <= 0 || width > kAviMaxSide || height > kAviMaxSide)
        return fail(error, "picture size out of range");
    f.width = width;
    f.height = height;
    bool supported =
        (f.compression == kBiRgb && (f.bitCount == 8 || f.bitCount == 24 || f.bitCount == 32)) ||
        (f.compression == kBiRle8 && f.bitCount == 8 && !f.topDown);
    if (!supported) return fail(error, "unsupported frame format");
    if (f.bitCount == 8) {
        std::size_t count = colorsUsed == 0 || colorsUsed > 256 ? 256 : colorsUsed;
        for (std::size_t i = 0; i < count && s.has(headerSize + i * 4, 4); ++i) {
            const unsigned char* q = s.data + headerSize + i * 4;  // blue, green, red, 0
            f.palette[i] =
                0xff000000u | std::uint32_t(q[2]) << 16 | std::uint32_t(q[1]) << 8 | q[0];
        }
    }
    return true;
}

// The header list: the frame interval and the first video stream's format.
bool readHeaders(Span hdrl, VideoFormat& f, std::uint32_t& microsPerFrame, std::string* error) {
    bool sawMainHeader = false;
    int stream = 0;
    bool ok = true;
    forEachChunk(hdrl, [&](const Chunk& c) {
        if (std::memcmp(c.id, "avih", 4) == 0 && c.complete && c.body.has(0, 4)) {
            microsPerFrame = c.body.le32(0);
            sawMainHeader = true;
        } else if (isList(c, "strl")) {
            std::optional<Chunk> strh, strf;
            forEachChunk(listBody(c), [&](const Chunk& s) {
                if (s.complete && std::memcmp(s.id, "strh", 4) == 0) strh = s;
                if (s.complete && std::memcmp(s.id, "strf", 4) == 0) strf = s;
                return true;
            });
            bool video = strh && strh->body.has(0, 4) && strh->body.idIs(0, "vids");
            if (video && f.streamIndex < 0) {
                if (!strf) {
                    ok = fail(error, "video stream without a format");
                    return false;
                }
                if (!readFormat(*strf, f, error)) {
                    ok = false;
                    return false;
                }
                f.streamIndex = stream;
                if (strh->body.has(20, 8)) {
                    f.streamScale = strh->body.le32(20);
                    f.streamRate = strh->body.le32(24);
                }
            }
            ++stream;
        }
        return true;
    });
    if (!ok) return false;
    if (!sawMainHeader) return fail(error, "no main AVI header");
    if (f.streamIndex < 0) return fail(error, "no video stream");
    return true;
}

int frameInterval(std::uint32_t microsPerFrame, const VideoFormat& f) {
    std::uint64_t micros = microsPerFrame;
    if (micros == 0 && f.streamRate != 0 && f.streamScale != 0)
        micros = std::uint64_t(f.streamScale) * 1000000u / f.streamRate;
    if (micros == 0) return 100;
    return static_cast<int>(std::clamp<std::uint64_t>((micros + 500) / 1000, 10, 10000));
}

// Decodes RLE8 data over `indices` (the previous picture, top row first). Writes outside the
// picture are dropped; the data may end without its end-of-picture mark.
void decodeRle8(Span d, int width, int height, std::vector<std::uint8_t>& indices) {
    std::int64_t x = 0, y = 0;  // y counts rows from the bottom
    auto put = [&](std::uint8_t v) {
        if (x >= 0 && x < width && y < height)
            indices[std::size_t(height - 1 - y) * std::size_t(width) + std::size_t(x)] = v;
        ++x;
    };
    std::size_t p = 0;
    while (d.has(p, 2) && y < height) {
        unsigned count = d.data[p], value = d.data[p + 1];
        p += 2;
        if (count > 0) {
            for (unsigned i = 0; i < count && x < width; ++i) put(std::uint8_t(value));
        } else if (value == 0) {  // end of line
            x = 0;
            ++y;
        } else if (value == 1) {  // end of picture
            break;
        } else if (value == 2) {  // move right and up
            if (!d.has(p, 2)) break;
            x += d.data[p];
            y += d.data[p + 1];
            p += 2;
        } else {  // `value` literal pixels, padded to an even count
            for (unsigned i = 0; i < value && d.has(p + i, 1); ++i) put(d.data[p + i]);
            p += value + (value & 1);
        }
    }
}

class FrameDecoder {
  public:
    explicit FrameDecoder(const VideoFormat& f)
        : f_(f), palette_(f.palette), indices_(std::size_t(f.width) * std::size_t(f.height)) {}

    // A palette change chunk: first entry, count (0 = 256), flags, then red, green, blue, flags.
    void changePalette(Span s) {
        if (!s.has(0, 4)) return;
        std::size_t first = s.data[0];
        std::size_t count = s.data[1] == 0 ? 256 : s.data[1];
        for (std::size_t i = 0; i < count && first + i < 256 && s.has(4 + i * 4, 4); ++i) {
            const unsigned char* q = s.data + 4 + i * 4;
            palette_[first + i] =
                0xff000000u | std::uint32_t(q[0]) << 16 | std::uint32_t(q[1]) << 8 | q[2];
        }
    }

    bool decode(Span s, std::vector<std::uint32_t>& out, std::string* error) {
        const std::size_t w = std::size_t(f_.width), h = std::size_t(f_.height);
        out.assign(w * h, 0xff000000u);
        if (f_.compression == kBiRle8) {
            decodeRle8(s, f_.width, f_.height, indices_);
            for (std::size_t i = 0; i < w * h; ++i) out[i] = palette_[indices_[i]];
            return true;
        }
        const std::size_t bytesPerPixel = std::size_t(f_.bitCount) / 8;
        const std::size_t rowBytes = w * bytesPerPixel;
        const std::size_t stride = (rowBytes + 3) & ~std::size_t(3);
        if (!s.has(0, stride * (h - 1) + rowBytes))
            return fail(error, "frame shorter than its picture");
        for (std::size_t row = 0; row < h; ++row) {
            const unsigned char* src = s.data + row * stride;
            std::size_t outRow = f_.topDown ? row : h - 1 - row;
            std::uint32_t* dst = out.data() + outRow * w;
            for (std::size_t col = 0; col < w; ++col) {
                const unsigned char* px = src + col * bytesPerPixel;
                dst[col] = bytesPerPixel == 1 ? palette_[px[0]]
                                              : 0xff000000u | std::uint32_t(px[2]) << 16 |
                                                    std::uint32_t(px[1]) << 8 | px[0];
            }
        }
        return true;
    }

  private:
    VideoFormat f_;
    Palette palette_;
    std::vector<std::uint8_t> indices_;
};

struct MovieReader {
    const VideoFormat& format;
    FrameDecoder decoder;
    AviAnimation& out;
    std::string* error;
    bool failed = false;

    // `nested`: inside a "rec " list, which holds chunks but no further lists.
    void walk(Span list, bool nested = false) {
        forEachChunk(list, [&](const Chunk& c) {
            if (isList(c, "rec ")) {
                if (!nested) walk(listBody(c), true);
                return !failed;
            }
            if (!c.complete) return false;  // the file ends inside this chunk: keep the rest
            if (!isOurs(c.id)) return true;
            if (c.id[2] == 'p' && c.id[3] == 'c')
                decoder.changePalette(c.body);
            else if (c.id[2] == 'd' && (c.id[3] == 'b' || c.id[3] == 'c'))
                addFrame(c.body);
            return !failed;
        });
    }

    bool isOurs(const char* id) const {
        int tens = format.streamIndex / 10, ones = format.streamIndex % 10;
        return id[0] == char('0' + tens) && id[1] == char('0' + ones);
    }

    void addFrame(Span body) {
        const std::size_t pixels = std::size_t(format.width) * std::size_t(format.height);
        if ((out.frames.size() + 1) * pixels > kAviMaxDecodedPixels) {
            failed = !fail(error, "animation too large");
            return;
        }
        if (body.size == 0) {  // an empty chunk repeats the picture shown
            out.frames.push_back(out.frames.empty()
                                     ? std::vector<std::uint32_t>(pixels, 0xff000000u)
                                     : out.frames.back());
            return;
        }
        std::vector<std::uint32_t> frame;
        if (!decoder.decode(body, frame, error)) {
            failed = true;
            return;
        }
        out.frames.push_back(std::move(frame));
    }
};

}  // namespace

bool decodeAvi(std::string_view bytes, AviAnimation& out, std::string* error) {
    out = AviAnimation{};
    Span file{reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()};
    if (!file.has(0, 12) || !file.idIs(0, "RIFF") || !file.idIs(8, "AVI "))
        return fail(error, "not an AVI file");
    // The RIFF size is often wrong in files cut short; the file's own end bounds it.
    std::size_t riffSize = std::min<std::size_t>(file.le32(4), file.size - 8);
    Span riff = file.sub(12, riffSize >= 4 ? riffSize - 4 : 0);

    VideoFormat format;
    std::uint32_t microsPerFrame = 0;
    std::optional<Span> movi;
    bool headersRead = false;
    bool headersOk = true;
    forEachChunk(riff, [&](const Chunk& c) {
        if (isList(c, "hdrl") && !headersRead) {
            headersRead = true;
            headersOk = readHeaders(listBody(c), format, microsPerFrame, error);
            return headersOk;
        }
        if (isList(c, "movi") && !movi) movi = listBody(c);
        return true;
    });
    if (!headersOk) return false;
    if (!headersRead) return fail(error, "no AVI header list");
    if (!movi) return fail(error, "no frame list");

    AviAnimation result;
    result.width = format.width;
    result.height = format.height;
    result.frameIntervalMs = frameInterval(microsPerFrame, format);
    MovieReader reader{format, FrameDecoder(format), result, error};
    reader.walk(*movi);
    if (reader.failed) return false;
    if (result.frames.empty()) return fail(error, "no frames");
    out = std::move(result);
    return true;
}

bool readAviFile(const std::string& path, AviAnimation& out, std::string* error) {
    out = AviAnimation{};
    std::ifstream in(path, std::ios::binary);
    if (!in) return fail(error, "cannot open the file");
    in.seekg(0, std::ios::end);
    std::streamoff size = in.tellg();
    if (size < 0) return fail(error, "cannot read the file");
    if (std::uint64_t(size) > kAviMaxFileBytes) return fail(error, "file too large");
    in.seekg(0);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    if (!in.read(bytes.data(), size)) return fail(error, "cannot read the file");
    return decodeAvi(bytes, out, error);
}

}  // namespace qv
