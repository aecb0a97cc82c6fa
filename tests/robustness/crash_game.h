#pragma once

// A game folder for the crash tests: Quorvel.ini, the type folders and a cache of small
// packages with its cache.ini, and the checks of what a killed run may leave behind.

#include <memory>
#include <string>
#include <vector>

#include "tests/robustness/child/crash_run.h"
#include "tests/support/temp_dir.h"

namespace qv::crash {

// Where the cache and the destinations live.
enum class FsMode {
    Same,         // cache and type folders on one file system ($TMPDIR)
    CrossReal,    // cache on /dev/shm, type folders in $TMPDIR: moves fail with EXDEV and copy
    CrossForced,  // one file system, every move forced onto the copy path
};

struct Package {
    std::string guid;
    std::string realName;
    std::string sub;  // type folder
    std::string bytes;
    std::string line() const { return guid + "=" + realName; }
};

class CrashGame final {
  public:
    // `base`: the folder the game is built in ("" for $TMPDIR); CrossReal puts the cache in
    // /dev/shm.
    CrashGame(FsMode mode, unsigned packageCount, const std::string& base = {});

    FsMode mode;
    test::TempDir root;
    std::unique_ptr<test::TempDir> cacheRoot;  // CrossReal only
    std::string programFolder, gameDir, game, cacheDir, registry;
    std::vector<Package> packages;
    std::string oldIndex;

    bool forceCross() const { return mode == FsMode::CrossForced; }
    RunSetup setup() const { return {programFolder, gameDir, cacheDir}; }
    std::string cacheFile(const Package& p) const { return cacheDir + "/" + p.guid + ".uxx"; }
    std::string destination(const Package& p) const {
        return game + "/" + p.sub + "/" + p.realName;
    }
};

// What one kill left behind, for the figures.
struct KillState {
    bool indexReplaced = false;  // cache.ini is already the new index
    int placed = 0;              // complete at the destination only
    int inCache = 0;             // in the cache only
    int both = 0;                // complete at the destination and still in the cache
    int tempFiles = 0;           // hidden .quorvel-tmp-* files of a killed copy or write
    bool tempIndex = false;      // cache.ini.quorvel-new left behind
};

// After a kill: cache.ini exists and parses and is the old or the new index; every package is
// complete at its destination or in the cache with its line; nothing partial or foreign stands
// under a package's name. Failures are reported through gtest with `where`.
KillState checkAfterKill(const CrashGame& g, const std::string& where);

// A second, uninterrupted run in this process must finish the job: every package complete at
// its destination, and cache.ini naming exactly the packages still in the cache (each of them
// a copy whose twin is already placed). Returns how many such twins stayed.
int finishAndCheck(const CrashGame& g, const std::string& where);

// Hidden temporary files in the cache and the type folders.
int countTempFiles(const CrashGame& g);

}  // namespace qv::crash
