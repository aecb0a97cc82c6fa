#pragma once

// Packages shaped as a hostile server would send them, made by the project's writer: the fuzz
// seeds of the contents target (gen_fuzz_seeds writes them) and inputs the replay test reads.

#include <string>
#include <utility>
#include <vector>

#include "tools/package_objects.h"

namespace qv::pkg {

// File name and bytes of each hostile package.
inline std::vector<std::pair<std::string, std::string>> hostilePackages() {
    std::vector<std::pair<std::string, std::string>> out;
    const auto add = [&out](std::string name, std::vector<ExportSpec> exports) {
        PackageSpec spec;
        spec.exports = std::move(exports);
        out.emplace_back(std::move(name), writePackage(spec));
    };
    // 20 samples that each claim 2^28 frames, all decoded from the same eight blocks.
    add("module_bomb.umx", {music("Bomb", "it", itModule({"Bomb", 20, 1u << 28, 8}))});
    // Four pattern loops nested across channels, each repeating 15 times: it never ends.
    ItSpec endless{"Endless"};
    for (int k = 0; k < 4; ++k)
        endless.effects.insert(endless.effects.end(), {{k, k, 'S', 0xB0}, {7 - k, k, 'S', 0xBF}});
    add("endless_module.umx", {music("Loop", "it", itModule(endless))});
    // A title of markup, a tab and a line break; one in Windows-1252 with C1 bytes.
    add("html_title.unr",
        {levelInfo({"<h1 style=\"color:red\">FAKE: State ok</h1><img src=\"/etc/x.png\">\tA\nB",
                    "<b>me</b>", "2-4", ""})});
    add("cp1252_title.unr", {levelInfo({"Caf\xE9 \x80\x9B[31m", "Jos\xE9", "2-4", ""})});
    // A texture of 1,048,576 x 1 pixels: a megapixel, wider than libpng reads by default.
    add("wide_texture.utx",
        {palette("Pal", std::string(16, '\x40')),
         texture("Wide", 0, 1u << 20, 1, {std::string(1u << 20, '\1')}, "Pal")});
    return out;
}

}  // namespace qv::pkg
