#pragma once

// Readers and writers of media formats over well-kept libraries (libopenmpt, libpng), behind the
// engine's interfaces: only this folder includes those libraries' headers.

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "package/package_contents.h"
#include "package/package_info.h"

namespace qv::media {

// A module's type, title and length, by libopenmpt.
std::unique_ptr<ModuleInfoReader> moduleInfoReader();

// PNG files of RGBA pictures, by libpng.
std::unique_ptr<PngEncoder> pngEncoder();

// Keyword and text pairs for a PNG file's text chunks.
using PngTexts = std::vector<std::pair<std::string, std::string>>;

// A PNG file of `picture` as pngEncoder writes it, with `texts` as uncompressed tEXt chunks before
// the pixels (where readers of the freedesktop thumbnail cache look for a thumbnail's URI and
// time). Keywords are 1 to 79 Latin-1 characters. Nothing when the picture cannot be written.
std::optional<std::string> pngWithTexts(const Picture& picture, const PngTexts& texts);

}  // namespace qv::media
