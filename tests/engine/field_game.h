#pragma once

#include <string>
#include <vector>

#include "engine/engine_context.h"
#include "engine/maintenance.h"
#include "engine/public_variables.h"
#include "engine/run.h"
#include "engine/scan.h"
#include "platform/posix_filesystem.h"
#include "tests/support/scripted_dialogs.h"
#include "tests/support/temp_dir.h"

namespace qv::test {

// Status lines of the engine, in order.
struct LinesSink final : StatusSink {
    std::vector<std::string> lines;
    void addLine(const std::string& line) override { lines.push_back(line); }
};

// A game folder with its type folders and Cache, a program folder with Quorvel.ini; packages
// are cache files GUID(n).uxx. Used by the field tests and the stress test's child processes.
struct FieldGame {
    TempDir tmp;
    std::string game = tmp / "UT", cache = game + "/Cache", prog = tmp / "prog";
    PosixFileSystem fs;
    ScriptedDialogs dialogs;
    PublicVariables pv;
    EngineContext ctx{fs, dialogs};
    LinesSink sink;

    FieldGame() {
        for (const char* sub : {"Maps", "Textures", "Sounds", "Music", "System", "Cache"})
            makeDirs(game + "/" + sub);
        makeDirs(prog);
        writeFile(prog + "/Quorvel.ini",
                  "[Dirs]\r\nCachePath=Cache\r\nCacheExt=uxx\r\nMaps=Maps\r\nTextures=Textures\r\n"
                  "Sounds=Sounds\r\nMusic=Music\r\n");
        pv.ProgramFolder = prog;
        pv.GameDir = game + "/";
    }
    std::string file(unsigned n) const { return cache + "/" + guidOf(n) + ".uxx"; }
    std::string line(unsigned n, const std::string& name) const { return guidOf(n) + "=" + name; }
    void package(unsigned n, const std::string& data = "pkg") { writeFile(file(n), data); }
    void index(const std::string& text) { writeFile(cache + "/cache.ini", text); }
    std::string index() const { return readFile(cache + "/cache.ini"); }

    ScanState scan() {
        ScanState state;
        state.lblCacheDir = cache;
        ScanCache(pv, state, ctx);
        return state;
    }
    // Scans, then runs with the rows of the given entry positions checked.
    RunResult run(std::vector<std::size_t> rows, Options options = {}) {
        scan();
        RunRequest request{options, cache, std::move(rows)};
        return ProcessCache(pv, request, ctx, sink);
    }
    PurgeOutcome purge() {
        dialogs.answers.push_back(true);
        return PurgeCache(pv, ctx, sink);
    }
};

}  // namespace qv::test
