#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

// A short animation decoded from an AVI file, the kinds a simple animation control plays:
// one video stream of uncompressed 8-bit frames with a palette, uncompressed 24- or 32-bit
// frames, or RLE8 frames (each drawn over the one before). Every frame is width * height
// pixels, top row first, each 0xffRRGGBB.
struct AviAnimation {
    int width = 0;
    int height = 0;
    int frameIntervalMs = 100;
    std::vector<std::vector<std::uint32_t>> frames;
};

// Limits that keep a damaged or hostile file from asking for huge amounts of memory.
constexpr int kAviMaxSide = 4096;
constexpr std::size_t kAviMaxFileBytes = 64u << 20;
constexpr std::size_t kAviMaxDecodedPixels = 8u << 20;  // all frames together

// Decodes a whole AVI file held in memory. Returns false, with the reason in `error` when
// given, for anything it cannot play: not RIFF AVI, no video stream, an unsupported format,
// a frame shorter than its picture, no frames at all, or beyond the limits above. A file cut
// short in its frame list keeps the frames that are complete. Never reads outside `bytes`.
bool decodeAvi(std::string_view bytes, AviAnimation& out, std::string* error = nullptr);

// Reads and decodes the file at `path` (8-bit path).
bool readAviFile(const std::string& path, AviAnimation& out, std::string* error = nullptr);

}  // namespace qv
