#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qv::test {

// Builds small AVI files chunk by chunk, so a test can describe exactly the file it needs.
struct AviBuilder {
    int width = 4, height = 2, bitCount = 8;
    std::uint32_t compression = 0;       // 0 uncompressed, 1 RLE8
    std::vector<std::uint32_t> palette;  // 0xRRGGBB
    std::uint32_t microsPerFrame = 100000, scale = 1, rate = 10;
    bool audioStreamFirst = false;         // the video stream is then number 01
    std::vector<std::string> movieChunks;  // whole chunks, see frame() and chunk()

    static std::string le(std::uint32_t v, int bytes = 4) {
        std::string s;
        for (int i = 0; i < bytes; ++i) s += char((v >> (8 * i)) & 0xff);
        return s;
    }
    static std::string chunk(const std::string& id, const std::string& body) {
        return id.substr(0, 4) + le(std::uint32_t(body.size())) + body +
               (body.size() & 1 ? std::string(1, '\0') : "");
    }
    static std::string list(const std::string& type, const std::string& body) {
        return chunk("LIST", type + body);
    }
    void frame(const std::string& data, const char* kind = "db") {
        movieChunks.push_back(chunk((audioStreamFirst ? "01" : "00") + std::string(kind), data));
    }

    std::string build() const {
        std::string strf = le(40) + le(std::uint32_t(width)) + le(std::uint32_t(height)) +
                           le(1, 2) + le(std::uint32_t(bitCount), 2) + le(compression) +
                           std::string(12, '\0') + le(std::uint32_t(palette.size())) + le(0);
        for (std::uint32_t rgb : palette)
            strf += std::string{char(rgb & 0xff), char((rgb >> 8) & 0xff), char(rgb >> 16), 0};
        const auto strh = [&](const char* type) {
            return std::string(type) + "    " + std::string(12, '\0') + le(scale) + le(rate) +
                   std::string(32, '\0');
        };
        const std::string avih = le(microsPerFrame) + std::string(20, '\0') +
                                 le(audioStreamFirst ? 2 : 1) + le(0) + le(std::uint32_t(width)) +
                                 le(std::uint32_t(height)) + std::string(16, '\0');
        std::string streams;
        if (audioStreamFirst)
            streams +=
                list("strl", chunk("strh", strh("auds")) + chunk("strf", std::string(16, '\0')));
        streams += list("strl", chunk("strh", strh("vids")) + chunk("strf", strf));
        std::string movi;
        for (const auto& c : movieChunks) movi += c;
        return chunk("RIFF", "AVI " + list("hdrl", chunk("avih", avih) + streams) +
                                 chunk("JUNK", "padding") + list("movi", movi));
    }
};

}  // namespace qv::test
