#pragma once

// The thumbnail cache file managers share (the freedesktop thumbnail standard): the picture of a
// file is kept as <cache home>/thumbnails/large/<MD5 of the file's URI>.png, and the PNG names
// that URI and the file's modification time in its text chunks, so a reader can tell a picture
// of the file as it is now from a stale one. The names and texts are formed here alone; reading
// and writing the PNG files is the caller's (media.h's pngWithTexts writes the texts).

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qv::thumbnails {

// The "large" folder's pictures are at most this many pixels wide and high.
constexpr int kLargeSide = 256;

constexpr const char* kUriKey = "Thumb::URI";
constexpr const char* kMTimeKey = "Thumb::MTime";
constexpr const char* kSizeKey = "Thumb::Size";

using Texts = std::vector<std::pair<std::string, std::string>>;

// "file://" + `absolutePath` (UTF-8 text, "." and ".." already resolved) with every byte but
// letters, digits and -._~!$&'()*+,;=:@/[] written as %XX: the URI the desktop's readers form.
std::string fileUri(std::string_view absolutePath);

// The MD5 digest of `bytes` as 32 lower-case hexadecimal digits.
std::string md5Hex(std::string_view bytes);

// The large picture's file for a URI: the user's cache home + "/thumbnails/large/" +
// md5Hex(uri) + ".png".
std::string largeThumbnailFile(std::string_view uri);

// The texts a picture made by Quorvel carries: the URI, the file's modification time in seconds,
// its size in bytes, and the program that made it.
Texts thumbnailTexts(std::string_view uri, std::int64_t mtimeSeconds, std::uint64_t size);

// Whether a picture whose texts `textOf` looks up (by key; "" when missing) is the one of the file
// at `uri` as it was at `mtimeSeconds`.
bool describesFile(const std::function<std::string(const char* key)>& textOf, std::string_view uri,
                   std::int64_t mtimeSeconds);

}  // namespace qv::thumbnails
