#pragma once

// Fuzz target body: cache.ini as the game writes it, read line by line and scanned from a game
// folder whose index is the input.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/cache_entry.h"
#include "engine/engine_context.h"
#include "engine/public_variables.h"
#include "engine/scan.h"
#include "engine/scan_text.h"
#include "platform/filesystem.h"
#include "platform/textfile.h"
#include "tests/fuzz/fuzz_support.h"

namespace qv::fuzz {

// Larger indexes are only split and parsed: the scan touches the disk once per entry.
constexpr std::size_t kCacheScanMaxBytes = 16 * 1024;

// The GUIDs of the seed corpus that have a cache file in the scratch game folder.
inline const std::vector<std::string>& cachedGuids() {
    static const std::vector<std::string> guids = {"0A1B2C3D4E5F60718293A4B5C6D7E8F9",
                                                   "11112222333344445555666677778888"};
    return guids;
}

inline void checkEntryLines(std::string_view text) {
    const std::vector<std::string> lines = splitLines(text);
    for (const std::string& line : lines)
        check(line.find_first_of("\r\n") == std::string::npos, "a split line holds a line end");
    check(splitLines(joinLines(lines, LineEnd::LF)) == lines, "split, join, split differs");

    for (const std::string& line : lines) {
        const std::optional<CacheEntry> e = parseEntryLine(line, "uxx");
        if (line.size() < 11) {
            check(!e, "a short line gave an entry");
            continue;
        }
        check(e.has_value(), "a long line gave no entry");
        check(e->Guid == line.substr(0, 32), "Guid is not the first 32 characters");
        check(e->CacheFileName == e->Guid + ".uxx", "cache file name is not Guid.ext");
        check(e->RealName == (line.size() > 33 ? line.substr(33) : std::string()),
              "RealName is not the line from character 34 on");
        const bool noDot = e->RealName.find('.') == std::string::npos;
        check(e->missingExtension() == noDot, "missing extension misjudged");
        check(e->displayName() ==
                  (noDot ? std::string(kMissingExtensionPrefix) + e->RealName : e->RealName),
              "display name");
    }
}

// A program folder and a game folder in the scratch folder, made once per process.
struct CacheScanGame {
    std::string root = scratchFolder() + "/cache";
    std::string programFolder = root + "/prog";
    std::string gameDir = root + "/UT/";
    std::string cacheDir = gameDir + "Cache";
    std::vector<std::string> neverMove = {"DM-Deck16][.unr", "Botpack.u"};

    CacheScanGame() {
        std::filesystem::create_directories(programFolder);
        std::filesystem::create_directories(gameDir + "System");
        std::filesystem::create_directories(cacheDir);
        putFile(programFolder + "/Quorvel.ini",
                "[Dirs]\r\nCachePath=Cache\r\nCacheExt=uxx\r\nMaps=Maps\r\n");
        putFile(programFolder + "/QuorvelDontMove.ini", neverMove[0] + "\r\n" + neverMove[1]);
        putFile(gameDir + "System/UnrealTournament.ini", "[Core.System]\r\nPurgeCacheDays=30\r\n");
        for (const std::string& g : cachedGuids()) putFile(cacheDir + "/" + g + ".uxx", "pkg");
    }
};

inline void scanIndex(std::string_view data) {
    static CacheScanGame game;
    const std::string indexPath = game.cacheDir + "/cache.ini";
    putFile(indexPath, data);

    PublicVariables pv;
    pv.ProgramFolder = game.programFolder;
    pv.GameDir = game.gameDir;
    ScanState state;
    // The first byte picks the selection options, so every way of checking rows is reached.
    const unsigned char pick = data.empty() ? 0 : static_cast<unsigned char>(data[0]);
    state.options.SelectAll = pick & 1;
    state.options.U = (pick >> 1) & 1;
    state.options.UAX = (pick >> 2) & 1;
    state.options.UMX = (pick >> 3) & 1;
    state.options.UNR = (pick >> 4) & 1;
    state.options.UTX = (pick >> 5) & 1;
    QuietDialogs dialogs;
    EngineContext ctx{realFileSystem(), dialogs};
    ScanCache(pv, state, ctx);

    check(!state.indexMissing, "index reported missing");
    check(dialogs.pickers == 0 && dialogs.questions == 0, "the scan asked the user");
    check(!std::filesystem::exists(game.cacheDir + "/cachefix.ini"), "cachefix.ini left behind");

    // The index as the scan leaves it: untouched, or repaired line for line.
    const std::string after = getFile(indexPath);
    const std::vector<std::string> before = splitLines(data);
    const std::vector<std::string> lines = splitLines(after);
    bool missingExtension = false;
    for (const std::string& line : before) {
        std::optional<CacheEntry> e = parseEntryLine(line, "uxx");
        if (e && e->missingExtension()) missingExtension = true;
    }
    check(pv.MapFixDone == missingExtension, "repair done without need or not done");
    if (!pv.MapFixDone) {
        check(after == data, "the scan changed an index it did not repair");
    } else {
        check(dialogs.messages == 1, "a repair shows exactly one message");
        check(lines.size() == before.size(), "the repair changed the number of lines");
        for (std::size_t i = 0; i < lines.size(); ++i)
            check(lines[i] == before[i] || lines[i] == before[i] + ".unr",
                  "the repair changed a line beyond adding .unr");
    }

    // One row per entry of the index, in index order.
    check(pv.CacheFileNames.size() == pv.RealNames.size(), "entry table columns differ");
    check(state.rows.size() == pv.EntryCount(), "rows and entries differ");
    std::size_t k = 0;
    for (const std::string& line : lines) {
        const std::optional<CacheEntry> e = parseEntryLine(line, "uxx");
        if (!e) continue;
        check(k < state.rows.size(), "fewer rows than entries");
        const FileRow& row = state.rows[k];
        check(row.entry == k, "row refers to the wrong entry");
        check(row.text == e->displayName(), "row text differs from the entry");
        check(pv.CacheFileNames[k] == e->CacheFileName && pv.RealNames[k] == e->RealName,
              "entry table differs from the index");
        for (const std::string& g : cachedGuids())
            if (e->Guid == g) check(!row.date.empty(), "an existing cache file has no date");
        ++k;
    }
    check(k == state.rows.size(), "more rows than entries");

    // Never-move names and exact duplicates are never selected; the count is the selection.
    std::unordered_map<std::string, int> exact;
    for (const FileRow& row : state.rows) ++exact[row.text];
    std::unordered_map<std::string, bool> duplicatedUpper;
    for (const auto& [text, n] : exact)
        if (n > 1) duplicatedUpper[upperAscii(text)] = true;
    std::size_t checked = 0;
    for (const FileRow& row : state.rows) {
        const std::string upper = upperAscii(row.text);
        bool listed = false;
        for (const std::string& name : game.neverMove) listed |= upperAscii(name) == upper;
        check(row.neverMove == listed, "never-move mark wrong");
        if (!row.checked) continue;
        ++checked;
        check(!row.neverMove, "a never-move row is selected");
        check(!duplicatedUpper.count(upper), "a duplicated row is selected");
    }
    check(state.statusText == "Found " + std::to_string(checked) + " files to process",
          "status text does not count the selection");
}

inline void cacheIniTarget(std::string_view data) {
    checkEntryLines(data);
    if (data.size() <= kCacheScanMaxBytes) scanIndex(data);
}

}  // namespace qv::fuzz
