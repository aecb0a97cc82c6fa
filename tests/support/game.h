#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "engine/cache/scan.h"
#include "engine/engine_context.h"
#include "engine/maintenance/maintenance.h"
#include "engine/public_variables.h"
#include "engine/run/run.h"
#include "engine/run/undo.h"
#include "platform/posix_filesystem.h"
#include "platform/textfile.h"
#include "tests/support/copying_filesystem.h"
#include "tests/support/scripted_dialogs.h"
#include "tests/support/temp_dir.h"
#include "tools/package_writer.h"

namespace qv::test {

class RecordingSink final : public StatusSink {
  public:
    std::vector<std::string> lines;
    void addLine(const std::string& line) override { lines.push_back(line); }
    bool said(const std::string& line) const {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
};

// A whole run as the window makes one: scan, select (every checked row when `checked` is
// empty, else every row showing one of those texts), prepare, process.
inline RunResult runAsTheWindowDoes(PublicVariables& pv, ScanState& state, EngineContext& ctx,
                                    StatusSink& sink, std::vector<std::string> checked = {}) {
    ScanCache(pv, state, ctx);
    if (state.indexMissing) return {};
    RunRequest request{state.options, state.cacheDir, {}};
    for (const FileRow& row : state.rows)
        if (checked.empty() ? row.checked
                            : std::count(checked.begin(), checked.end(), row.text) > 0)
            request.checkedEntries.push_back(row.entry);
    if (!PrepareRun(request.options, ctx)) return {};
    return ProcessCache(pv, request, ctx, sink);
}

// The cache file of package n: a package whose GUID is its cache file name, its body naming it.
inline std::string bytesOf(const std::string& realName, unsigned n) {
    pkg::PackageSpec spec;
    spec.guid = guidOf(n);
    spec.needs = {"Engine"};
    return pkg::writePackage(spec) + "package " + realName + std::string(200, 'x');
}

// A program folder with Quorvel.ini and an empty never-move list, and a game folder (GameDir
// ending in '/') with System/UnrealTournament.ini, the type folders and a Cache folder. Packages
// are added with their cache files; writeIndex() writes cache.ini naming them.
class Game {
  public:
    explicit Game(const std::string& base = {}) : tmp(base) {
        for (const char* sub : {"Maps", "Textures", "Sounds", "Music", "System", "Cache"})
            makeDirs(game + "/" + sub);
        makeDirs(programFolder);
        writeFile(programFolder + "/Quorvel.ini",
                  "[Dirs]\r\nCachePath=Cache\r\nCacheExt=uxx\r\nMaps=Maps\r\nTextures=Textures\r\n"
                  "Sounds=Sounds\r\nMusic=Music\r\n");
        writeFile(programFolder + "/QuorvelDontMove.ini", "");
        writeFile(game + "/System/UnrealTournament.ini", "[Core.System]\r\nPurgeCacheDays=30\r\n");
        pv.ProgramFolder = programFolder;
        pv.GameDir = gameDir;
    }

    TempDir tmp;
    const std::string programFolder = tmp / "prog", game = tmp / "UT", gameDir = game + "/";
    std::string cacheDir = game + "/Cache";  // a test may pick another one before adding
    PosixFileSystem posix;
    ScriptedDialogs dialogs;
    PublicVariables pv;
    ScanState state;
    std::vector<std::string> lines{"[Cache]"};  // of the index writeIndex() writes

    std::string cacheFile(unsigned n) const { return cacheDir + "/" + guidOf(n) + ".uxx"; }
    std::string line(unsigned n, const std::string& name) const { return guidOf(n) + "=" + name; }
    void add(unsigned n, const std::string& realName, bool present = true) {
        lines.push_back(line(n, realName));
        if (present) writeFile(cacheFile(n), bytesOf(realName, n));
    }
    // Packages 1, 2, ... of these names, and the index naming them (returned).
    std::string addAndIndex(const std::vector<std::string>& realNames,
                            const std::string& eol = "\r\n") {
        for (const std::string& name : realNames) add(lines.size(), name);
        return writeIndex(eol);
    }
    std::string writeIndex(const std::string& eol = "\r\n") {
        std::string text;
        for (const auto& l : lines) text += l + eol;
        writeFile(cacheDir + "/cache.ini", text);
        return text;
    }
    std::string index() const { return readFile(cacheDir + "/cache.ini"); }
    std::string log() const { return readFile(programFolder + "/Quorvel.log"); }
    // A package placed under its real name, whole.
    // A package placed under its real name, whole: the bytes of a package of that name.
    bool placed(const std::string& folder, const std::string& realName) const {
        if (!fileExists(folder + "/" + realName)) return false;
        const std::string bytes = readFile(folder + "/" + realName);
        for (const std::string& l : lines)
            if (l.size() > 33 && l.substr(33) == realName &&
                bytes == bytesOf(realName,
                                 static_cast<unsigned>(std::stoul(l.substr(24, 8), nullptr, 16))))
                return true;
        return false;
    }

    void scan(FileSystem* fs = nullptr) {
        EngineContext ctx{fs ? *fs : posix, dialogs};
        ScanCache(pv, state, ctx);
    }
    void pickCache(const std::string& folder) { makeDirs(cacheDir = state.cacheDir = folder); }
    // Scans, then runs on the rows given (every checked row when none are).
    RunResult run(RecordingSink& sink, const std::vector<std::string>& checked = {},
                  FileSystem* fs = nullptr, Options options = {}) {
        pv.GameDir = gameDir;
        state.options = options;
        EngineContext ctx{fs ? *fs : posix, dialogs};
        return runAsTheWindowDoes(pv, state, ctx, sink, checked);
    }
    // Undoes the last run on this cache folder.
    UndoResult undo(StatusSink& sink, FileSystem* fs = nullptr) {
        EngineContext ctx{fs ? *fs : posix, dialogs};
        return UndoRun({programFolder, "", false, cacheDir}, ctx, sink);
    }
    PurgeOutcome purge(RecordingSink& sink, FileSystem* fs = nullptr) {
        EngineContext ctx{fs ? *fs : posix, dialogs};
        return PurgeCache(pv, ctx, sink);
    }
};

// What the player sees of the game and its cache: every folder, link and file (with its bytes)
// below the temporary root but Quorvel's own, and the lines of cache.ini as a set.
inline std::set<std::string> snapshot(const Game& g) {
    std::set<std::string> seen;
    for (const auto& f : std::filesystem::recursive_directory_iterator(g.tmp.path())) {
        const std::string p = f.path().string();
        if (p.find("/prog") != std::string::npos || p.ends_with("cache.ini") ||
            p.ends_with("cachebak.ini"))
            continue;
        seen.insert(f.is_symlink()     ? "link " + p
                    : f.is_directory() ? "dir " + p
                                       : p + " : " + readFile(p));
    }
    for (const std::string& line : splitLines(g.index())) seen.insert("line " + line);
    return seen;
}

struct Package {
    unsigned n;
    std::string name, folder;  // folder: where a run places it; "" when it stays
};

// cache.ini is the old index or "[Cache]" with some of its lines in their order, written with
// CR LF; cachebak.ini is the old index or missing. Returns the lines of cache.ini.
inline std::vector<std::string> expectIndexFromOld(const Game& g, const std::string& old,
                                                   const std::string& where) {
    const std::vector<std::string> lines = splitLines(g.index()), oldLines = splitLines(old);
    EXPECT_TRUE(!lines.empty() && lines.front() == "[Cache]") << where;
    EXPECT_TRUE(g.index() == old || detectLineEnd(g.index()) == LineEnd::CRLF) << where;
    auto from = oldLines.begin();
    for (std::size_t i = 1; i < lines.size() && from != oldLines.end(); ++i)
        if ((from = std::find(from, oldLines.end(), lines[i])) != oldLines.end())
            ++from;
        else
            ADD_FAILURE() << where << ": line out of order, doubled or new: " << lines[i];
    const std::string backup = readFile(g.cacheDir + "/cachebak.ini");  // "" when missing
    EXPECT_TRUE(backup.empty() || backup == old) << where;
    return lines;
}

// After a run cut short anywhere: the index as above; every package whole at its destination
// or whole in the cache with its line; the type folders hold only packages, `others` and hidden
// temporary files (counted, as the result).
inline int expectNothingLost(const Game& g, const std::vector<Package>& packages,
                             const std::string& old, const std::string& where,
                             std::set<std::string> others = {}) {
    const std::vector<std::string> lines = expectIndexFromOld(g, old, where);
    for (const Package& p : packages) {
        others.insert(p.name);
        const bool inCache = fileExists(g.cacheFile(p.n));
        const bool listed = std::count(lines.begin(), lines.end(), g.line(p.n, p.name)) == 1;
        const std::string dest = g.game + "/" + p.folder + "/" + p.name;
        EXPECT_TRUE(p.folder.empty() || !fileExists(dest) ||
                    g.placed(g.game + "/" + p.folder, p.name))
            << where << ": partial " << dest;
        EXPECT_TRUE(!inCache || readFile(g.cacheFile(p.n)) == bytesOf(p.name, p.n))
            << where << p.name;
        EXPECT_TRUE((!p.folder.empty() && fileExists(dest)) || (inCache && listed))
            << where << ": " << p.name << " lost";
    }
    int temps = 0;
    for (const char* sub : {"Maps", "Textures", "Music", "Sounds", "System"})
        for (const std::string& n : listNames(g.game + "/" + sub)) {
            temps += n.starts_with(".quorvel-tmp-");
            EXPECT_TRUE(n.starts_with(".quorvel-tmp-") || others.count(n)) << where << ": " << n;
        }
    return temps;
}

}  // namespace qv::test
