#pragma once

// Readers and writers of media formats over well-kept libraries (libopenmpt, libpng), behind the
// engine's interfaces: only this folder includes those libraries' headers.

#include <memory>

#include "package/package_contents.h"
#include "package/package_info.h"

namespace qv::media {

// A module's type, title and length, by libopenmpt.
std::unique_ptr<ModuleInfoReader> moduleInfoReader();

// PNG files of RGBA pictures, by libpng.
std::unique_ptr<PngEncoder> pngEncoder();

}  // namespace qv::media
