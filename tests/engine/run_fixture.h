#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "engine/cache_entry.h"
#include "engine/engine_context.h"
#include "engine/public_variables.h"
#include "engine/run.h"
#include "platform/filesystem.h"
#include "platform/posix_filesystem.h"
#include "tests/support/scripted_dialogs.h"
#include "tests/support/temp_dir.h"

namespace qv::runtest {

using test::fileExists;
using test::guidOf;
using test::makeDirs;
using test::readFile;
using test::writeFile;

// Collects what the engine sends to the window.
class RecordingSink final : public StatusSink {
  public:
    std::vector<std::string> lines;
    std::vector<std::pair<std::size_t, std::size_t>> progressCalls;
    int events = 0;

    void addLine(const std::string& line) override { lines.push_back(line); }
    void progress(std::size_t done, std::size_t total) override {
        progressCalls.emplace_back(done, total);
    }
    void processEvents() override { ++events; }
};

inline std::string contentOf(const std::string& realName) {
    return "package bytes of " + realName + std::string(300, 'x');
}

// A game folder (GameDir ending in '/') with the type folders and a Cache folder, and a
// program folder with Quorvel.ini. Packages are added with their cache files; the index and the
// entry table (as a scan would fill it) are written from them.
class RunGame {
  public:
    test::TempDir tmp;
    std::string gameDir = tmp / "UT/";
    std::string cacheDir = tmp / "UT/Cache";
    std::string programFolder = tmp / "prog";
    std::string runCacheDir = gameDir + "/Cache";  // as the run forms it: the doubled '/' kept
    std::string game = tmp / "UT";                 // GameDir once the run has trimmed it
    PosixFileSystem posix;
    test::ScriptedDialogs dialogs;
    PublicVariables pv;
    std::vector<std::string> indexLines{"[Cache]"};

    RunGame() {
        for (const char* sub : {"Maps", "Textures", "Sounds", "Music", "System", "Cache"})
            makeDirs(gameDir + sub);
        makeDirs(programFolder);
        writeFile(programFolder + "/Quorvel.ini",
                  "[Dirs]\r\nCachePath=Cache\r\nCacheExt=uxx\r\nMaps=Maps\r\nTextures=Textures\r\n"
                  "Sounds=Sounds\r\nMusic=Music\r\n");
        pv.ProgramFolder = programFolder;
        pv.GameDir = gameDir;
    }

    std::string cacheFile(unsigned n) const { return cacheDir + "/" + guidOf(n) + ".uxx"; }
    std::string line(unsigned n, const std::string& realName) const {
        return guidOf(n) + "=" + realName;
    }

    // Adds the index line of package n; its cache file too unless `present` is false.
    void add(unsigned n, const std::string& realName, bool present = true) {
        indexLines.push_back(line(n, realName));
        if (present) writeFile(cacheFile(n), contentOf(realName));
    }

    void writeIndex(const std::string& eol = "\r\n") {
        std::string text;
        for (const auto& l : indexLines) text += l + eol;
        writeFile(cacheDir + "/cache.ini", text);
        scanTable();
    }

    // The entry table as a scan of the current cache.ini fills it.
    void scanTable() {
        ClearCacheEntries(pv);
        for (const auto& l : indexLines) {
            auto e = parseEntryLine(l, "uxx");
            if (!e) continue;
            pv.CacheFileNames.push_back(e->CacheFileName);
            pv.RealNames.push_back(e->RealName);
        }
    }

    std::string index() const { return readFile(cacheDir + "/cache.ini"); }
    std::string backup() const { return readFile(cacheDir + "/cachebak.ini"); }
    std::string logText() const { return readFile(programFolder + "/Quorvel.log"); }

    RunResult run(const std::vector<std::string>& checked, RecordingSink& sink,
                  Options options = Options{}, FileSystem* fs = nullptr) {
        EngineContext ctx{fs ? *fs : posix, dialogs};
        RunRequest request;
        request.options = std::move(options);
        request.checkedTexts = checked;
        return ProcessCache(pv, request, ctx, sink);
    }
};

// The closing lines of the status list after a run whose index was replaced.
inline std::vector<std::string> closingStatusLines(const RunGame& g) {
    return {g.programFolder + "/Quorvel.log was created.",
            g.runCacheDir + "/CACHE.INI was renamed to CACHEBAK.INI",
            "A new CACHE.INI was created in " + g.runCacheDir,
            "",
            "** NOTE ** - files not being moved is due to either the file not being selected or "
            "they already exist.",
            "",
            std::string(102, '~'),
            ""};
}

}  // namespace qv::runtest
