#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qv::test {

// Builds small AVI files chunk by chunk, so tests can describe exactly the file they need,
// damaged ones included.
struct AviBuilder {
    int width = 4;
    int height = 2;
    int bitCount = 8;
    std::uint32_t compression = 0;       // 0 uncompressed, 1 RLE8
    std::vector<std::uint32_t> palette;  // 0xRRGGBB
    std::uint32_t microsPerFrame = 100000;
    std::uint32_t scale = 1, rate = 10;
    bool audioStreamFirst = false;         // the video stream is then number 01
    std::vector<std::string> movieChunks;  // whole chunks, see frame() and chunk()

    static void le16(std::string& s, std::uint32_t v) {
        s += char(v & 0xff);
        s += char((v >> 8) & 0xff);
    }
    static void le32(std::string& s, std::uint32_t v) {
        le16(s, v & 0xffff);
        le16(s, v >> 16);
    }
    static std::string chunk(const std::string& id, const std::string& body) {
        std::string s = id.substr(0, 4);
        le32(s, std::uint32_t(body.size()));
        s += body;
        if (body.size() & 1) s += '\0';
        return s;
    }
    static std::string list(const std::string& type, const std::string& body) {
        return chunk("LIST", type + body);
    }

    std::string streamId() const { return audioStreamFirst ? "01" : "00"; }
    void frame(const std::string& data, const char* kind = "db") {
        movieChunks.push_back(chunk(streamId() + kind, data));
    }

    std::string strf() const {
        std::string s;
        le32(s, 40);
        le32(s, std::uint32_t(width));
        le32(s, std::uint32_t(height));
        le16(s, 1);
        le16(s, std::uint32_t(bitCount));
        le32(s, compression);
        le32(s, 0);
        le32(s, 0);
        le32(s, 0);
        le32(s, std::uint32_t(palette.size()));
        le32(s, 0);
        for (std::uint32_t rgb : palette) {
            s += char(rgb & 0xff);
            s += char((rgb >> 8) & 0xff);
            s += char((rgb >> 16) & 0xff);
            s += '\0';
        }
        return s;
    }

    std::string strh(const char* type) const {
        std::string s = type;
        s += "    ";
        le32(s, 0);
        le32(s, 0);
        le32(s, 0);
        le32(s, scale);
        le32(s, rate);
        for (int i = 0; i < 6; ++i) le32(s, 0);
        le32(s, 0);
        le32(s, 0);
        return s;
    }

    std::string build() const {
        std::string avih;
        le32(avih, microsPerFrame);
        for (int i = 0; i < 5; ++i) le32(avih, 0);
        le32(avih, audioStreamFirst ? 2 : 1);
        le32(avih, 0);
        le32(avih, std::uint32_t(width));
        le32(avih, std::uint32_t(height));
        for (int i = 0; i < 4; ++i) le32(avih, 0);
        std::string streams;
        if (audioStreamFirst)
            streams +=
                list("strl", chunk("strh", strh("auds")) + chunk("strf", std::string(16, '\0')));
        streams += list("strl", chunk("strh", strh("vids")) + chunk("strf", strf()));
        std::string movi;
        for (const auto& c : movieChunks) movi += c;
        return chunk("RIFF", "AVI " + list("hdrl", chunk("avih", avih) + streams) +
                                 chunk("JUNK", "padding") + list("movi", movi));
    }
};

}  // namespace qv::test
