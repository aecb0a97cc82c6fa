#include "bench/lookup_figures.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "platform/ascii.h"
#include "settings/wine_registry.h"

namespace qv::bench {

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

// Never-move names: `count` names on no row, and every tenth one the upper-cased text of a row.
std::vector<std::string> neverMoveNames(std::size_t count, const std::vector<FileRow>& rows) {
    std::vector<std::string> names;
    names.reserve(count);
    char buf[48];
    for (std::size_t i = 0; i < count; ++i) {
        if (i % 10 == 0 && !rows.empty()) {
            names.push_back(upperAscii(rows[(i / 10) % rows.size()].text));
        } else {
            std::snprintf(buf, sizeof buf, "NeverBench%07zu.utx", i);
            names.emplace_back(buf);
        }
    }
    return names;
}

// The best of three markings, each on a fresh copy of the rows.
double markSeconds(const std::vector<FileRow>& rows, const std::vector<std::string>& names) {
    double best = 1e30;
    for (int round = 0; round < 3; ++round) {
        std::vector<FileRow> copy = rows;
        const auto start = Clock::now();
        MarkNeverMoveItems(copy, names);
        best = std::min(best, secondsSince(start));
    }
    return best;
}

// A Wine registry of `size` bytes whose keys each hold a value over continuation lines, the
// game's key last: the seconds the finder's read of it takes (-1 when the key is missed).
double wineRegistrySeconds(std::size_t size) {
    std::string text = "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n";
    char key[80];
    for (std::size_t i = 0; text.size() < size; ++i) {
        std::snprintf(key, sizeof key, "[Software\\\\Bench\\\\Key%07zu] 1700000000\n", i);
        text += key;
        text +=
            "#time=1d\n\"Link\"=hex(6):5c,00,52,00,65,00,67,00,69,00,73,00,74,00,72,00,\\\n"
            "  79,00,5c,00,4d,00\n\"Name\"=\"C:\\\\windows\\\\x\\x00e9.dll\"\n\n";
    }
    text +=
        "[Software\\\\Wow6432Node\\\\Unreal Technology\\\\Installed Apps\\\\UnrealTournament] "
        "1700000000\n\"Folder\"=\"C:\\\\UT\"\n";
    const auto start = Clock::now();
    const RegDocument doc = parseWineRegistryText(
        text, {"HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\Unreal Technology\\Installed Apps\\"
               "UnrealTournament"});
    const double seconds = secondsSince(start);
    return doc.keys.size() == 1 && !doc.keys[0].values.empty() ? seconds : -1;
}

}  // namespace qv::bench
