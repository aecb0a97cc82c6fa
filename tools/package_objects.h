#pragma once

// The objects of maps, texture, sound and music packages as the game saves them, for the package
// writer: a LevelInfo and a LevelSummary with their facts, textures (P8 with a palette, DXT1),
// sounds holding WAV files and music holding a module. Made up, never taken from a real package.

#include <cmath>
#include <string>
#include <vector>

#include "tools/package_writer.h"

namespace qv::pkg {

inline Property strProperty(std::string name, std::string text) {
    return {Property::Str, std::move(name), 0, std::move(text)};
}
// A string stored as UTF-16: `units` are its little-endian code units.
inline Property wideStrProperty(std::string name, std::string units) {
    return {Property::Str, std::move(name), 1, std::move(units)};
}
inline Property intProperty(std::string name, std::int64_t v, int sizeCode = -1) {
    return {Property::Int, std::move(name), v, {}, sizeCode};
}
inline Property byteProperty(std::string name, std::int64_t v) {
    return {Property::Byte, std::move(name), v};
}
inline Property objectProperty(std::string name, std::string exportName) {
    return {Property::Object, std::move(name), 0, std::move(exportName)};
}

// A map's facts; an empty one is left out, as the game leaves out a default.
struct MapFactsSpec {
    std::string title, author, players, screenshot;  // screenshot: a texture export's name
};

inline std::vector<Property> mapProperties(const MapFactsSpec& m, bool withScreenshot) {
    std::vector<Property> out;
    if (!m.title.empty()) out.push_back(strProperty("Title", m.title));
    if (!m.author.empty()) out.push_back(strProperty("Author", m.author));
    if (!m.players.empty()) out.push_back(strProperty("IdealPlayerCount", m.players));
    if (withScreenshot && !m.screenshot.empty())
        out.push_back(objectProperty("Screenshot", m.screenshot));
    return out;
}

inline ExportSpec levelInfo(const MapFactsSpec& m) {
    ExportSpec e{"LevelInfo", "LevelInfo0", {}, mapProperties(m, true), {}};
    e.properties.insert(e.properties.begin(), intProperty("TimeSeconds", 0));
    return e;
}

inline ExportSpec levelSummary(const MapFactsSpec& m) {
    return {"LevelSummary", "LevelSummary", {}, mapProperties(m, false), {}};
}

// A palette of `colours` RGBA entries.
inline ExportSpec palette(std::string name, const std::string& colours) {
    return {"Palette",
            std::move(name),
            {},
            {},
            {{Piece::Compact, {}, static_cast<std::int64_t>(colours.size() / 4)},
             {Piece::Bytes, colours}}};
}

// Mip maps as a texture holds them: their count, then each one's pixels (a lazy array), its size
// and its two bit counts; the first w x h, each next half the size.
inline void appendMips(std::vector<Piece>& body, std::uint32_t w, std::uint32_t h,
                       const std::vector<std::string>& mips) {
    body.push_back({Piece::Compact, {}, static_cast<std::int64_t>(mips.size())});
    for (const std::string& pixels : mips) {
        std::string sizes;
        put32(sizes, w), put32(sizes, h);
        sizes.append("\x08\x08", 2);
        body.push_back({Piece::Lazy, pixels});
        body.push_back({Piece::Bytes, sizes});
        w = w > 1 ? w / 2 : 1, h = h > 1 ? h / 2 : 1;
    }
}

// A texture of `format` (0 P8, 3 DXT1, ...) with its mip maps' pixels, the first w x h, each
// next half the size; P8 refers to the palette export `paletteName`.
inline ExportSpec texture(std::string name, int format, std::uint32_t w, std::uint32_t h,
                          const std::vector<std::string>& mips, const std::string& paletteName = {},
                          std::string className = "Texture") {
    ExportSpec e{std::move(className), std::move(name), {}, {}, {}};
    if (format != 0) e.properties.push_back(byteProperty("Format", format));
    e.properties.push_back(intProperty("USize", w));
    e.properties.push_back(intProperty("VSize", h));
    if (!paletteName.empty()) e.properties.push_back(objectProperty("Palette", paletteName));
    appendMips(e.body, w, h, mips);
    return e;
}

// The texture with a compressed copy after its mip maps: bHasComp, CompFormat and its own mip
// maps, the first w x h.
inline ExportSpec withCompressedCopy(ExportSpec e, int format, std::uint32_t w, std::uint32_t h,
                                     const std::vector<std::string>& mips) {
    e.properties.push_back({Property::Bool, "bHasComp", 1});
    e.properties.push_back(byteProperty("CompFormat", format));
    appendMips(e.body, w, h, mips);
    return e;
}

// A plain PCM WAV file of `bytes` sound bytes at `perSecond` bytes a second.
inline std::string wavFile(std::uint32_t bytes, std::uint32_t perSecond) {
    std::string w = "RIFF";
    put32(w, 36 + bytes);
    w += "WAVEfmt ";
    put32(w, 16);
    put32(w, 0x00010001);  // PCM, one channel
    put32(w, perSecond);
    put32(w, perSecond);
    put32(w, 0x00080001);  // one byte a frame, 8 bits
    w += "data";
    put32(w, bytes);
    w.append(bytes, '\x80');
    return w;
}

inline ExportSpec sound(std::string name, std::string wav) {
    return {
        "Sound", std::move(name), {}, {}, {{Piece::Name, "wav"}, {Piece::Lazy, std::move(wav)}}};
}

// A four-channel module of one silent pattern (64 rows at speed 6 and 125 BPM: 7.68 seconds),
// made here, titled `title` (at most 20 bytes).
inline std::string modModule(const std::string& title) {
    std::string m = title.substr(0, 20);
    m.resize(20 + 31 * 30, '\0');
    m.push_back('\1');  // one position in the song
    m.push_back('\x7F');
    m.append(128, '\0');  // it plays pattern 0
    m += "M.K.";
    m.append(64 * 4 * 4, '\0');
    return m;
}

// An Impulse Tracker module, made here: one 64-row pattern at speed 6 and 125 BPM (7.68 s when
// nothing loops) with `effects` in it, and `samples` IT-compressed 8-bit samples that each claim
// `frames` frames and all point at the same `blocks` compressed blocks. A block fills 32,768
// frames from 4 KiB (a width change, then one bit a frame), so the shared data is small while
// a loader that decodes every sample writes `samples` x `blocks` x 32 KiB.
struct ItEffect {
    int row, channel;
    char command;  // 'A' to 'Z'
    int value;
};
struct ItSpec {
    std::string title = "Bounded";
    int samples = 0;
    std::uint32_t frames = 0;
    int blocks = 1;
    std::vector<ItEffect> effects = {};
};
inline std::string itModule(const ItSpec& spec) {
    const auto u16 = [](std::string& out, std::uint32_t v) {
        out.push_back(static_cast<char>(v & 0xFF));
        out.push_back(static_cast<char>(v >> 8 & 0xFF));
    };
    std::string m = "IMPM" + spec.title.substr(0, 25);
    m.resize(30, '\0');
    const std::uint32_t orders = 2, samples = static_cast<std::uint32_t>(spec.samples);
    u16(m, 0x1004), u16(m, orders), u16(m, 0), u16(m, samples), u16(m, 1);
    u16(m, 0x0214), u16(m, 0x0214), u16(m, 1), u16(m, 0);  // versions, stereo, no message
    m += {static_cast<char>(128), 48, 6, 125, static_cast<char>(128), 0};
    u16(m, 0), put32(m, 0), put32(m, 0);
    m.append(64, 32);                  // channels centred
    m.append(64, 64);                  // at full volume
    m += {0, static_cast<char>(255)};  // pattern 0, then the end
    const std::size_t tableAt = m.size();
    m.append(4 * (samples + 1), '\0');
    const std::size_t sampleAt = m.size();
    const std::size_t patternAt = sampleAt + 80 * samples;
    for (std::uint32_t i = 0; i < samples; ++i) {
        std::string h = "IMPS";
        h.append(12, '\0');
        h += {0, 64, 1 | 8, 64};  // present, compressed, 8-bit
        h += "Sample " + std::to_string(i);
        h.resize(46, '\0');
        h += {1, 32};  // signed
        put32(h, spec.frames), put32(h, 0), put32(h, 0), put32(h, 8363), put32(h, 0), put32(h, 0);
        put32(h, 0);  // the data's place, set below
        h.append(4, '\0');
        m += h;
    }
    // The pattern: rows of the effects, each row ended by a 0.
    std::string rows;
    for (int row = 0; row < 64; ++row) {
        for (const ItEffect& e : spec.effects) {
            if (e.row != row) continue;
            rows += {static_cast<char>((e.channel + 1) | 0x80), 8,
                     static_cast<char>(e.command - 'A' + 1), static_cast<char>(e.value)};
        }
        rows.push_back('\0');
    }
    u16(m, static_cast<std::uint32_t>(rows.size())), u16(m, 64), put32(m, 0);
    m += rows;
    const std::size_t dataAt = m.size();
    for (int b = 0; b < spec.blocks; ++b) {
        // 9 bits 0x100 (width 1), then 32,768 zero bits: 4,098 bytes after the length.
        std::string block(4098, '\0');
        block[1] = 1;
        u16(m, static_cast<std::uint32_t>(block.size()));
        m += block;
    }
    const auto at32 = [&m](std::size_t at, std::size_t v) {
        for (int k = 0; k < 4; ++k) m[at + k] = static_cast<char>(v >> (8 * k) & 0xFF);
    };
    for (std::uint32_t i = 0; i < samples; ++i) {
        at32(tableAt + 4 * i, sampleAt + 80 * i);
        at32(sampleAt + 80 * i + 72, dataAt);
    }
    at32(tableAt + 4 * samples, patternAt);
    return m;
}

inline ExportSpec music(std::string name, std::string type, std::string module) {
    return {"Music",
            std::move(name),
            {},
            {},
            {{Piece::Name, std::move(type)}, {Piece::Lazy, std::move(module)}}};
}

// A made-up landscape as a map's screenshot: 256 x 256 P8 pixels (a sky, hills, a sun placed by
// `seed`) and its palette of 256 RGBA entries, as the game's screenshots are.
struct DemoPicture {
    std::string pixels, palette;
};
inline DemoPicture demoPicture(unsigned seed) {
    DemoPicture d;
    for (int i = 0; i < 128; ++i)  // sky: deep to pale blue; ground: dark to light green-brown
        d.palette +=
            {static_cast<char>(40 + i), static_cast<char>(70 + i), static_cast<char>(127 + i), 0};
    for (int i = 0; i < 128; ++i)
        d.palette +=
            {static_cast<char>(30 + i / 2 + (seed % 3) * 20), static_cast<char>(50 + i), 20, 0};
    const double sunX = 40 + (seed * 53) % 176, phase = seed * 0.7;
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            const double hill =
                150 + 30 * std::sin(x / 31.0 + phase) + 12 * std::sin(x / 9.0 + seed);
            const double sun = std::hypot(x - sunX, y - 60.0);
            int v = y < hill ? (sun < 18 ? 127 : y / 2)
                             : 128 + std::min(127, (y - static_cast<int>(hill)) * 2);
            d.pixels.push_back(static_cast<char>(v));
        }
    return d;
}

}  // namespace qv::pkg
