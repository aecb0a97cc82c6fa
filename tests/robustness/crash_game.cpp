#include "tests/robustness/crash_game.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <unordered_set>

#include "engine/cache_entry.h"
#include "engine/run_index.h"
#include "platform/posix_filesystem.h"
#include "platform/textfile.h"
#include "settings/clsRegistry.h"
#include "tests/support/scripted_dialogs.h"

namespace qv::crash {

namespace {

constexpr const char* kQuorvelIni =
    "[Dirs]\r\nCachePath=Cache\r\nCacheExt=uxx\r\nMaps=Maps\r\nTextures=Textures\r\n"
    "Sounds=Sounds\r\nMusic=Music\r\n";
constexpr const char* kTypeFolders[] = {"Maps", "Textures", "Sounds", "Music", "System"};

std::string guidOf(unsigned n) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%08X7C31B0%018X", n * 2654435761u, n);
    return std::string(buf, 32);
}

// Six kinds of package in turn; the bytes differ in content and length from one to the next.
Package packageOf(unsigned n) {
    static const struct {
        const char* prefix;
        const char* ext;
        const char* sub;
    } kinds[] = {{"DM-Map", ".unr", "Maps"},  {"Skin", ".utx", "Textures"},
                 {"Song", ".umx", "Music"},   {"Boom", ".uax", "Sounds"},
                 {"Mutator", ".u", "System"}, {"Mutator", ".int", "System"}};
    const auto& kind = kinds[n % 6];
    Package p;
    p.guid = guidOf(n);
    p.realName = kind.prefix + std::to_string(n) + kind.ext;
    p.sub = kind.sub;
    p.bytes = "QVPK " + p.realName + " ";
    for (unsigned i = 0; i < 40 + n % 160; ++i)
        p.bytes.push_back(static_cast<char>('a' + (n + i) % 26));
    return p;
}

void writeRaw(const std::string& path, const std::string& data) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0) << path;
    ASSERT_EQ(::write(fd, data.data(), data.size()), static_cast<ssize_t>(data.size())) << path;
    ::close(fd);
}

bool readRaw(const std::string& path, std::string& out) {
    PosixFileSystem fs;
    if (!fs.isFile(path)) return false;
    Result<std::string> r = fs.readAll(path);
    out = r.value;
    return r.ok();
}

bool isTempName(const std::string& name) {
    return name.rfind(".quorvel-tmp-", 0) == 0;
}

}  // namespace

CrashGame::CrashGame(FsMode m, unsigned packageCount, const std::string& base)
    : mode(m), root(base) {
    programFolder = root / "prog";
    game = root / "UT";
    gameDir = game + "/";
    registry = root / "registry.reg";
    test::makeDirs(programFolder);
    for (const char* sub : kTypeFolders) test::makeDirs(gameDir + sub);
    test::makeDirs(gameDir + "Cache");
    writeRaw(programFolder + "/Quorvel.ini", kQuorvelIni);
    clsRegistry::gameKey(nullptr, registry).WriteEntry("Folder", gameDir);

    if (mode == FsMode::CrossReal) {
        cacheRoot = std::make_unique<test::TempDir>("/dev/shm");
        cacheDir = *cacheRoot / "Cache";
        test::makeDirs(cacheDir);
    } else {
        cacheDir = gameDir + "Cache";
    }

    oldIndex = "[Cache]\r\n";
    packages.reserve(packageCount);
    for (unsigned n = 1; n <= packageCount; ++n) {
        packages.push_back(packageOf(n));
        writeRaw(cacheFile(packages.back()), packages.back().bytes);
        oldIndex += packages.back().line() + "\r\n";
    }
    writeRaw(cacheDir + "/cache.ini", oldIndex);
}

int countTempFiles(const CrashGame& g) {
    int count = 0;
    for (const std::string& name : test::listNames(g.cacheDir)) count += isTempName(name);
    for (const char* sub : kTypeFolders)
        for (const std::string& name : test::listNames(g.game + "/" + sub))
            count += isTempName(name);
    return count;
}

KillState checkAfterKill(const CrashGame& g, const std::string& where) {
    KillState state;
    std::string index;
    if (!readRaw(g.cacheDir + "/cache.ini", index)) {
        ADD_FAILURE() << where << ": cache.ini is missing or unreadable";
        return state;
    }
    state.indexReplaced = index != g.oldIndex;
    const std::vector<std::string> lines = splitLines(index);
    EXPECT_TRUE(!lines.empty() && lines.front() == "[Cache]") << where << ": no [Cache] line";
    EXPECT_EQ(detectLineEnd(index), LineEnd::CRLF) << where;
    std::unordered_set<std::string> oldLines, indexLines;
    for (const Package& p : g.packages) oldLines.insert(p.line());
    for (std::size_t i = 1; i < lines.size(); ++i) {
        EXPECT_TRUE(oldLines.count(lines[i]))
            << where << ": line not from the old index: " << lines[i];
        const auto entry = parseEntryLine(lines[i], "uxx");
        EXPECT_TRUE(entry && entry->Guid.size() == 32 && !entry->RealName.empty())
            << where << ": cache.ini line does not parse: " << lines[i];
        EXPECT_TRUE(indexLines.insert(lines[i]).second) << where << ": doubled " << lines[i];
    }
    std::string backup;
    if (readRaw(g.cacheDir + "/cachebak.ini", backup)) {
        EXPECT_EQ(backup, g.oldIndex) << where << ": cachebak.ini is not the old index";
    }

    std::unordered_set<std::string> names;  // every package name, to spot foreign files
    for (const Package& p : g.packages) {
        names.insert(p.realName);
        std::string bytes;
        const bool atDestination = readRaw(g.destination(p), bytes);
        EXPECT_TRUE(!atDestination || bytes == p.bytes)
            << where << ": partial or wrong file under the final name " << g.destination(p);
        const bool placed = atDestination && bytes == p.bytes;
        const bool inCache = readRaw(g.cacheFile(p), bytes);
        EXPECT_TRUE(!inCache || bytes == p.bytes)
            << where << ": damaged cache file of " << p.realName;
        EXPECT_TRUE(placed || (inCache && indexLines.count(p.line())))
            << where << ": " << p.realName << " is neither placed nor in the cache with its line"
            << " (in cache: " << inCache << ")";
        if (placed && inCache)
            ++state.both;
        else if (placed)
            ++state.placed;
        else if (inCache)
            ++state.inCache;
    }
    EXPECT_EQ(state.placed + state.inCache + state.both, static_cast<int>(g.packages.size()))
        << where;
    for (const char* sub : kTypeFolders)
        for (const std::string& name : test::listNames(g.game + "/" + sub))
            EXPECT_TRUE(names.count(name) || isTempName(name))
                << where << ": foreign file " << sub << "/" << name;

    state.tempFiles = countTempFiles(g);
    state.tempIndex = test::fileExists(g.cacheDir + "/" + kNewIndexTempName);
    return state;
}

namespace {

class SilentSink final : public StatusSink {
  public:
    void addLine(const std::string&) override {}
};

}  // namespace

int finishAndCheck(const CrashGame& g, const std::string& where) {
    PosixFileSystem posix;
    posix.setForceCrossDevice(g.forceCross());
    test::ScriptedDialogs dialogs;
    SilentSink sink;
    const RunReport report = runEverything(g.setup(), posix, dialogs, sink);
    EXPECT_EQ(report.outcome, RunOutcome::Completed) << where << ": the second run";
    EXPECT_TRUE(dialogs.shown.empty())
        << where << ": the second run said " << dialogs.shown.front().text;

    int twins = 0;
    std::string expected = "[Cache]\r\n";
    for (const Package& p : g.packages) {
        std::string bytes;
        EXPECT_TRUE(readRaw(g.destination(p), bytes) && bytes == p.bytes)
            << where << ": " << p.realName << " not placed by the second run";
        if (test::fileExists(g.cacheFile(p))) {
            ++twins;
            expected += p.line() + "\r\n";
        }
    }
    std::string index;
    EXPECT_TRUE(readRaw(g.cacheDir + "/cache.ini", index)) << where;
    EXPECT_EQ(index, expected) << where << ": cache.ini after the second run";
    EXPECT_FALSE(test::fileExists(g.cacheDir + "/" + kNewIndexTempName)) << where;
    return twins;
}

}  // namespace qv::crash
