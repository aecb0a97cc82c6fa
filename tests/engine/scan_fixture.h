#pragma once

#include <gtest/gtest.h>
#include <utime.h>

#include <cstdio>
#include <string>
#include <vector>

#include "engine/engine_context.h"
#include "engine/public_variables.h"
#include "engine/scan.h"
#include "platform/filesystem.h"
#include "tests/support/scripted_dialogs.h"
#include "tests/support/temp_dir.h"

namespace qv::test {

// A 32-character GUID that differs for every number.
inline std::string guid(unsigned n) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%08X9C41D27BE6F0%012X", n * 2654435761u, n);
    return std::string(buf, 32);
}

inline std::string entryLine(unsigned n, const std::string& realName) {
    return guid(n) + "=" + realName;
}

inline std::string joinWith(const std::vector<std::string>& lines, const std::string& eol) {
    std::string out;
    for (const auto& l : lines) out += l + eol;
    return out;
}

// A program folder with Quorvel.ini and QuorvelDontMove.ini, and a game folder (GameDir ending
// in '/') with System/UnrealTournament.ini and an empty Cache folder.
class ScanGame {
  public:
    explicit ScanGame(FileSystem& fs = realFileSystem()) : ctx{fs, dialogs} {
        makeDirs(programFolder);
        makeDirs(gameDir + "System");
        makeDirs(cacheDir);
        writeFile(programFolder + "/Quorvel.ini",
                  "[Dirs]\r\nCachePath=Cache\r\nCacheExt=uxx\r\nMaps=Maps\r\nTextures=Textures\r\n"
                  "Sounds=Sounds\r\nMusic=Music\r\n");
        writeFile(programFolder + "/QuorvelDontMove.ini", "");
        writeFile(
            gameDir + "System/UnrealTournament.ini",
            "[Engine.Engine]\r\nGameRenderDevice=x\r\n[Core.System]\r\nPurgeCacheDays=30\r\n");
        pv.ProgramFolder = programFolder;
        pv.GameDir = gameDir;
    }

    void writeIndex(const std::vector<std::string>& lines, const std::string& eol = "\r\n") {
        writeFile(indexPath(), joinWith(lines, eol));
    }
    std::string indexPath() const { return cacheDir + "/cache.ini"; }

    // The cache file of entry n, with the given modification time.
    void addCacheFile(unsigned n, long mtime) {
        const std::string path = cacheDir + "/" + guid(n) + ".uxx";
        writeFile(path, "package " + std::to_string(n));
        utimbuf times{mtime, mtime};
        ASSERT_EQ(::utime(path.c_str(), &times), 0);
    }

    void scan() {
        state.rows.clear();
        ScanCache(pv, state, ctx);
    }

    std::vector<std::string> texts() const {
        std::vector<std::string> out;
        for (const auto& r : state.rows) out.push_back(r.text);
        return out;
    }
    std::vector<std::string> checkedTexts() const {
        std::vector<std::string> out;
        for (const auto& r : state.rows)
            if (r.checked) out.push_back(r.text);
        return out;
    }

    TempDir tmp;
    const std::string programFolder = tmp / "prog";
    const std::string gameDir = tmp / "UT/";
    const std::string cacheDir = gameDir + "Cache";
    PublicVariables pv;
    ScriptedDialogs dialogs;
    EngineContext ctx;
    ScanState state;
};

}  // namespace qv::test
