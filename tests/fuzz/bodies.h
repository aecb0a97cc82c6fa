#pragma once

// The fuzz targets' bodies, shared by the libFuzzer programs (fuzz_target.cpp) and the test
// that replays every saved input. Plain C++: a broken property throws, which the fuzzer turns
// into a crash and the replay into a failure naming the file.

#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

#include "app/avi_reader.h"
#include "engine/cache/cache_entry.h"
#include "engine/cache/scan.h"
#include "engine/engine_context.h"
#include "engine/public_variables.h"
#include "media/media.h"
#include "package/package_contents.h"
#include "package/package_header.h"
#include "package/package_reader.h"
#include "platform/ascii.h"
#include "platform/filesystem.h"
#include "platform/textfile.h"
#include "settings/mdl_ini.h"
#include "settings/registry_text.h"
#include "tests/support/scripted_dialogs.h"
#include "tests/support/temp_dir.h"

namespace qv::fuzz {

inline void check(bool condition, const char* what) {
    if (!condition) throw std::logic_error(what);
}

inline void put(const std::string& path, std::string_view data) {
    FILE* f = std::fopen(path.c_str(), "wb");
    check(f && std::fwrite(data.data(), 1, data.size(), f) == data.size(), "cannot write");
    std::fclose(f);
}

// One scratch folder per process, reused by every input.
inline const std::string& scratch() {
    static test::TempDir dir;
    return dir.path();
}

// cache.ini: entries by position; the scan fills rows and entry table alike and changes the
// index only by adding ".unr" to map names.
inline void cacheIniTarget(std::string_view data) {
    if (data.size() > 16384) return;
    for (const std::string& line : splitLines(data)) {
        check(line.find_first_of("\r\n") == std::string::npos, "a line holds a line end");
        const auto e = parseEntryLine(line, "uxx");
        check(e.has_value() == (line.size() > 10), "entry by length");
        if (e)
            check(e->Guid == line.substr(0, 32) &&
                      e->RealName == (line.size() > 33 ? line.substr(33) : ""),
                  "entry by position");
    }
    static const std::string game = scratch() + "/UT/", prog = scratch() + "/prog";
    std::filesystem::create_directories(game + "Cache");
    std::filesystem::create_directories(prog);
    put(prog + "/Quorvel.ini", "[Dirs]\r\nCachePath=Cache\r\nCacheExt=uxx\r\n");
    put(game + "Cache/cache.ini", data);
    PublicVariables pv;
    pv.ProgramFolder = prog, pv.GameDir = game;
    ScanState state;
    test::ScriptedDialogs dialogs;
    EngineContext ctx{realFileSystem(), dialogs};
    ScanCache(pv, state, ctx);
    check(state.rows.size() == pv.EntryCount() && pv.RealNames.size() == pv.EntryCount(), "rows");
    const auto before = splitLines(data),
               after = splitLines(test::readFile(game + "Cache/cache.ini"));
    check(after.size() == before.size(), "the scan changed the number of lines");
    for (std::size_t i = 0; i < after.size(); ++i)
        check(after[i] == before[i] || after[i] == before[i] + ".unr", "the scan changed a line");
}

// Profile files: every value read is at most 255 characters; a written value reads back and
// leaves the other keys as they were.
inline void profileTarget(std::string_view data) {
    if (data.size() > 65536) return;
    const std::string path = scratch() + "/profile.ini";
    put(path, data);
    const char* const probes[][2] = {{"Core.System", "PurgeCacheDays"}, {"URL", "Map"}, {"A", "k"}};
    std::string read[3];
    for (int i = 0; i < 3; ++i) {
        read[i] = INIGetSettingString(probes[i][0], probes[i][1], path, "\x01");
        check(read[i].size() <= 255, "a value longer than 255 characters");
    }
    check(INIWriteSetting("URL", "Map", "x y", path), "a write to a writable file failed");
    check(INIGetSettingString("url", "MAP", path, "") == "x y", "the value does not read back");
    for (int i : {0, 2})
        check(INIGetSettingString(probes[i][0], probes[i][1], path, "\x01") == read[i],
              "another key changed");
}

// The registry store: what is read is written so that it reads the same.
inline void registryTarget(std::string_view data) {
    if (data.size() > 65536) return;
    const RegDocument first = parseRegistryText(data);
    const std::string text = formatRegistryText(first);
    const RegDocument second = parseRegistryText(text);
    check(formatRegistryText(second) == text && first.keys.size() == second.keys.size(),
          "round trip");
    for (std::size_t i = 0; i < first.keys.size(); ++i) {
        check(first.keys[i].name == second.keys[i].name, "round trip changed a key name");
        check(first.keys[i].values.size() == second.keys[i].values.size(),
              "round trip lost a value");
    }
}

// The about box's AVI reader: a refused file leaves nothing; a decoded one stays in bounds.
inline void aviTarget(std::string_view data) {
    if (data.size() > kAviMaxFileBytes) return;
    AviAnimation anim;
    anim.frames.push_back({1, 2, 3});
    std::string error;
    if (!decodeAvi(data, anim, &error)) {
        check(!error.empty() && anim.frames.empty() && anim.width == 0,
              "a refused file left a picture");
        return;
    }
    check(anim.width > 0 && anim.width <= kAviMaxSide && anim.height > 0 &&
              anim.height <= kAviMaxSide,
          "size");
    check(anim.frameIntervalMs >= 10 && anim.frameIntervalMs <= 10000 && !anim.frames.empty(),
          "frames");
    const std::size_t pixels = std::size_t(anim.width) * anim.height;
    check(anim.frames.size() * pixels <= kAviMaxDecodedPixels, "decoded beyond the limit");
    for (const auto& frame : anim.frames) {
        check(frame.size() == pixels, "a frame of the wrong size");
        for (std::uint32_t px : frame) check((px >> 24) == 0xff, "a pixel that is not opaque");
    }
}

// Packages: a refused file says why; an accepted one has a GUID of 32 hex digits, every reference
// inside its tables and every object inside the file; the reads stay few and small whatever the
// counts say.
inline void packageTarget(std::string_view data) {
    if (data.size() > 65536) return;
    struct Counting final : InFile {
        std::unique_ptr<InFile> inner;
        std::size_t reads = 0, bytes = 0;
        const FileIdentity& identity() const override { return inner->identity(); }
        Result<std::size_t> readAt(std::uint64_t at, char* buffer, std::size_t n) override {
            ++reads, bytes += n;
            return inner->readAt(at, buffer, n);
        }
    } file;
    file.inner = memoryInFile(std::string(data));
    PackageReader reader;
    const HeaderReading h = reader.read(file);
    check(h.ok() || !h.reason.empty(), "a refused package without a reason");
    check(file.reads <= 10 && file.bytes <= 4096 + 16 + 40 * data.size() + (1u << 18),
          "the tables cost more than a few reads of the file");
    if (!h.ok()) return;
    check(h.header.guid.view().size() == 32 &&
              h.header.guid.view().find_first_not_of("0123456789ABCDEF") == std::string::npos,
          "a GUID that is not 32 hex digits");
    for (const PackageExport& e : reader.exports())
        check(e.size == 0 ||
                  (e.offset >= 0 && static_cast<std::uint64_t>(e.offset + e.size) <= data.size()),
              "an object beyond the end was accepted");
    for (const PackageImport& i : reader.imports())
        check(static_cast<std::size_t>(i.name) < reader.names().size(), "a name beyond its table");
    const std::vector<std::string> needs = reader.neededPackages();
    for (std::size_t a = 0; a < needs.size(); ++a) {
        check(!needs[a].empty() && needs[a].size() <= PackageLimits{}.nameLength, "a bad name");
        for (std::size_t b = a + 1; b < needs.size(); ++b)
            check(!equalsNoCaseAscii(needs[a], needs[b]), "a need named twice");
    }
}

// Package contents: whatever the objects say, their bytes cost at most the budget and a few
// reads (one more a sound), a module handed over lies within the file and goes to libopenmpt as
// the programs hand it (samples not decoded), a length is a number or endless, a picture whole.
inline void contentsTarget(std::string_view data) {
    if (data.size() > (3u << 19)) return;  // 1.5 MiB: a texture of 1,048,576 x 1 fits
    const std::unique_ptr<InFile> file = memoryInFile(std::string(data));
    PackageReader reader;
    if (!reader.read(*file).ok()) return;
    struct Modules final : ModuleInfoReader {
        std::size_t most = 0;
        std::unique_ptr<ModuleInfoReader> real = media::moduleInfoReader();
        std::optional<ModuleInfo> read(std::string_view m) override {
            check(m.size() <= most, "a module larger than its file");
            return real->read(m);
        }
    } modules;
    modules.most = data.size();
    const PackageContents c = readContents(*file, reader, {true, &modules});
    check(c.bytesRead <= PackageLimits{}.contentBytes && c.bytesRead <= 8 * data.size() + 65536,
          "the objects cost more than their budget");
    // A compressed copy after mip maps not shown costs a small read per mip map passed over.
    check(c.reads <= 40 + c.soundCount, "the objects cost more than a few reads");
    const Picture& p = c.picture;
    check(p.rgba.size() == static_cast<std::size_t>(p.width) * p.height * 4 &&
              p.rgba.size() <= 4 * PackageLimits{}.picturePixels,
          "a picture that is not whole");
    check(!c.title.empty() || c.kind != ContentKind::Map, "a map without a title");
    check(std::isfinite(c.musicSeconds) && (!c.musicEndless || c.musicSeconds < 0),
          "a music length that is no number");
}

}  // namespace qv::fuzz
