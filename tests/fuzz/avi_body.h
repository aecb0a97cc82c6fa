#pragma once

// Fuzz target body: an AVI file for the busy window's animation.

#include <string>
#include <string_view>

#include "app/avi_reader.h"
#include "tests/fuzz/fuzz_support.h"

namespace qv::fuzz {

inline void aviTarget(std::string_view data) {
    if (data.size() > kAviMaxFileBytes) return;
    AviAnimation anim;
    anim.frames.push_back({1, 2, 3});  // what a failed decode must not leave behind
    std::string error;
    if (!decodeAvi(data, anim, &error)) {
        check(!error.empty(), "a refused file gives no reason");
        check(anim.frames.empty() && anim.width == 0 && anim.height == 0,
              "a refused file leaves a picture behind");
        return;
    }
    check(anim.width > 0 && anim.width <= kAviMaxSide, "width out of range");
    check(anim.height > 0 && anim.height <= kAviMaxSide, "height out of range");
    check(anim.frameIntervalMs >= 10 && anim.frameIntervalMs <= 10000, "frame interval");
    check(!anim.frames.empty(), "a decoded animation without frames");
    const std::size_t pixels = std::size_t(anim.width) * std::size_t(anim.height);
    check(anim.frames.size() * pixels <= kAviMaxDecodedPixels, "decoded beyond the limit");
    for (const auto& frame : anim.frames) {
        check(frame.size() == pixels, "a frame of the wrong size");
        for (std::uint32_t px : frame) check((px >> 24) == 0xff, "a pixel that is not opaque");
    }
}

}  // namespace qv::fuzz
