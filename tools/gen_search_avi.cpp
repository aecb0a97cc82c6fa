// gen_search_avi FILE: writes the busy window's animation, a magnifying glass sweeping over a
// row of files, as an RLE8 AVI (272 x 60 pixels, 16 frames, 10 frames a second).

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "tools/tool_arguments.h"

namespace {

constexpr int kWidth = 272;
constexpr int kHeight = 60;
constexpr int kFrames = 16;
constexpr int kFramesPerSecond = 10;

// Palette indices; the ones from kTinted on are the same colours seen through the lens.
enum Colour : std::uint8_t { Back, Outline, Paper, Ink, Fold, Ring, Handle, Shine, kTinted };
const std::uint32_t kPalette[kTinted] = {
    0xd4d0c8,  // window background
    0x404040,  // file outline
    0xffffff,  // paper
    0x8090a8,  // text lines
    0xc8c8c8,  // folded corner
    0x303848,  // lens ring
    0x7a4a20,  // handle
    0xf8fcff,  // glint on the glass
};

std::uint32_t tint(std::uint32_t rgb) {
    auto channel = [&](int shift, int toward) {
        int c = (rgb >> shift) & 0xff;
        return std::uint32_t((c * 3 + toward) / 4) << shift;
    };
    return channel(16, 0x90) | channel(8, 0xd0) | channel(0, 0xff);
}

using Picture = std::vector<std::uint8_t>;  // kWidth * kHeight, top row first

void set(Picture& p, int x, int y, std::uint8_t c) {
    if (x >= 0 && x < kWidth && y >= 0 && y < kHeight) p[std::size_t(y) * kWidth + x] = c;
}

void drawFile(Picture& p, int left, int top) {
    const int w = 26, h = 34, fold = 8;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            bool inFold = x >= w - fold && y < fold;
            bool cut = inFold && (x - (w - fold)) > y;
            if (cut) continue;
            bool edge = x == 0 || y == h - 1 || x == w - 1 || y == 0 || (x - (w - fold)) == y;
            std::uint8_t c = edge ? Outline : Paper;
            if (!edge && inFold) c = Fold;
            if (!edge && !inFold && y >= 10 && y <= 28 && y % 4 == 2 && x >= 5 && x <= w - 6)
                c = Ink;
            set(p, left + x, top + y, c);
        }
}

void drawGlass(Picture& p, double cx, double cy) {
    const double r = 15.0, ring = 3.2;
    // Handle first, so the ring sits on top of its end.
    for (double t = r; t < r + 16; t += 0.25)
        for (double s = -2.5; s <= 2.5; s += 0.5) {
            double x = cx + t * 0.7071 - s * 0.7071, y = cy + t * 0.7071 + s * 0.7071;
            set(p, int(std::lround(x)), int(std::lround(y)), Handle);
        }
    for (int y = int(cy - r - ring); y <= int(cy + r + ring); ++y)
        for (int x = int(cx - r - ring); x <= int(cx + r + ring); ++x) {
            if (x < 0 || x >= kWidth || y < 0 || y >= kHeight) continue;
            double d = std::hypot(x - cx, y - cy);
            std::uint8_t& px = p[std::size_t(y) * kWidth + x];
            if (d <= r - ring / 2) {
                bool glint = std::hypot(x - (cx - 6), y - (cy - 6)) < 2.5;
                px = glint ? std::uint8_t(Shine) : std::uint8_t(px < kTinted ? px + kTinted : px);
            } else if (d <= r + ring / 2) {
                px = Ring;
            }
        }
}

Picture frame(int index) {
    Picture p(std::size_t(kWidth) * kHeight, Back);
    for (int i = 0; i < 7; ++i) drawFile(p, 12 + i * 37, 13);
    // The glass sweeps right and back, bobbing a little.
    double phase = double(index) / kFrames;
    double sweep = phase < 0.5 ? phase * 2 : 2 - phase * 2;
    double cx = 30 + sweep * (kWidth - 80);
    double cy = 24 + 4 * std::sin(phase * 2 * 3.14159265358979);
    drawGlass(p, cx, cy);
    return p;
}

// RLE8, bottom row first: runs of one colour, an end-of-line mark after each row and an
// end-of-picture mark at the end.
std::string encodeRle8(const Picture& p) {
    std::string out;
    for (int y = kHeight - 1; y >= 0; --y) {
        const std::uint8_t* row = p.data() + std::size_t(y) * kWidth;
        for (int x = 0; x < kWidth;) {
            int run = 1;
            while (x + run < kWidth && run < 255 && row[x + run] == row[x]) ++run;
            out += char(run);
            out += char(row[x]);
            x += run;
        }
        out += '\0';
        out += y == 0 ? '\1' : '\0';
    }
    return out;
}

void le16(std::string& s, std::uint32_t v) {
    s += char(v & 0xff);
    s += char((v >> 8) & 0xff);
}
void le32(std::string& s, std::uint32_t v) {
    le16(s, v & 0xffff);
    le16(s, v >> 16);
}
std::string chunk(const char* id, const std::string& body) {
    std::string s(id, 4);
    le32(s, std::uint32_t(body.size()));
    s += body;
    if (body.size() & 1) s += '\0';
    return s;
}
std::string list(const char* type, const std::string& body) {
    return chunk("LIST", std::string(type, 4) + body);
}

}  // namespace

int main(int argc, char** argv) {
    int code = -1;
    const std::string path = outputFileArgument(
        argc, argv,
        "Usage: gen_search_avi [FILE]\n"
        "Writes the busy window's animation, an RLE8 AVI file, to FILE (default: search.avi).\n",
        "search.avi", code);
    if (code >= 0) return code;

    std::vector<std::string> frames;
    std::uint32_t largest = 0;
    for (int i = 0; i < kFrames; ++i) {
        frames.push_back(encodeRle8(frame(i)));
        largest = std::max<std::uint32_t>(largest, std::uint32_t(frames.back().size()));
    }
    const int colours = 2 * kTinted;

    std::string avih;
    le32(avih, 1000000 / kFramesPerSecond);  // microseconds per frame
    le32(avih, largest * kFramesPerSecond);  // max bytes per second
    le32(avih, 0);                           // padding granularity
    le32(avih, 0x10);                        // has an index
    le32(avih, kFrames);
    le32(avih, 0);  // initial frames
    le32(avih, 1);  // streams
    le32(avih, largest);
    le32(avih, kWidth);
    le32(avih, kHeight);
    for (int i = 0; i < 4; ++i) le32(avih, 0);

    std::string strh = "vidsmrle";
    le32(strh, 0);  // flags
    le16(strh, 0);  // priority
    le16(strh, 0);  // language
    le32(strh, 0);  // initial frames
    le32(strh, 1);  // scale
    le32(strh, kFramesPerSecond);
    le32(strh, 0);  // start
    le32(strh, kFrames);
    le32(strh, largest);
    le32(strh, 0xffffffffu);  // quality: default
    le32(strh, 0);            // sample size
    le16(strh, 0);
    le16(strh, 0);
    le16(strh, kWidth);
    le16(strh, kHeight);

    std::string strf;
    le32(strf, 40);
    le32(strf, kWidth);
    le32(strf, kHeight);
    le16(strf, 1);
    le16(strf, 8);
    le32(strf, 1);  // RLE8
    le32(strf, kWidth * kHeight);
    le32(strf, 0);
    le32(strf, 0);
    le32(strf, colours);
    le32(strf, 0);
    for (int i = 0; i < colours; ++i) {
        std::uint32_t rgb = i < kTinted ? kPalette[i] : tint(kPalette[i - kTinted]);
        strf += char(rgb & 0xff);
        strf += char((rgb >> 8) & 0xff);
        strf += char((rgb >> 16) & 0xff);
        strf += '\0';
    }

    std::string movi, idx1;
    std::uint32_t offset = 4;  // index offsets count from the "movi" type
    for (const std::string& f : frames) {
        idx1 += "00dc";
        le32(idx1, 0x10);  // key frame
        le32(idx1, offset);
        le32(idx1, std::uint32_t(f.size()));
        std::string c = chunk("00dc", f);
        offset += std::uint32_t(c.size());
        movi += c;
    }

    std::string body = "AVI " +
                       list("hdrl", chunk("avih", avih) +
                                        list("strl", chunk("strh", strh) + chunk("strf", strf))) +
                       list("movi", movi) + chunk("idx1", idx1);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << chunk("RIFF", body);
    out.close();
    if (!out) {
        std::cerr << "gen_search_avi: cannot write " << path << "\n";
        return 1;
    }
    return 0;
}
