// Odd things in the places the program writes to: a cache.ini that is a folder or a link to a
// file elsewhere, leftover links under the names of the temporary index files, type folders that
// are links, destination names that are dangling links, and a read-only UnrealTournament.ini.
//
// A link named cache.ini is read through, but the run replaces the link itself by the new index:
// the file it pointed to is somebody else's and stays as it was. A type folder that is a link was
// set up by the player, so packages go where it leads; a destination name that is a link, dangling
// or not, is taken as a file that exists and is never followed or replaced.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/maintenance.h"
#include "engine/placement.h"
#include "engine/run_index.h"
#include "platform/textfile.h"
#include "tests/engine/run_fixture.h"
#include "tests/engine/scan_fixture.h"
#include "tests/robustness/robust_fixture.h"

namespace qv::robust {
namespace {

using runtest::contentOf;
using runtest::guidOf;
using runtest::RecordingSink;
using runtest::RunGame;
using test::fileExists;
using test::readFile;
using test::writeFile;
using Lines = std::vector<std::string>;

bool isLink(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

std::string linkTarget(const std::string& path) {
    char buf[4096];
    const ssize_t n = ::readlink(path.c_str(), buf, sizeof buf);
    return n < 0 ? std::string() : std::string(buf, static_cast<std::size_t>(n));
}

bool hasLine(const Lines& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

TEST(HostileCacheIndex, FolderNamedCacheIniIsNoIndexAndIsLeftAlone) {
    RunGame g;
    g.add(1, "Face.unr");
    test::makeDirs(g.cacheDir + "/cache.ini");
    writeFile(g.cacheDir + "/cache.ini/inside", "untouched");
    RecordingSink sink;
    EXPECT_EQ(g.run({"Face.unr"}, sink).outcome, RunOutcome::NoIndex);
    EngineContext ctx{g.posix, g.dialogs};
    EXPECT_EQ(PurgeCache(g.pv, ctx, sink), PurgeOutcome::NoIndex);
    EXPECT_TRUE(sink.lines.empty());
    EXPECT_EQ(readFile(g.cacheDir + "/cache.ini/inside"), "untouched");
    EXPECT_EQ(readFile(g.cacheFile(1)), contentOf("Face.unr"));
    EXPECT_FALSE(fileExists(g.cacheDir + "/cachebak.ini"));

    test::ScanGame scan;
    test::makeDirs(scan.indexPath());
    scan.scan();
    EXPECT_TRUE(scan.state.indexMissing);
    EXPECT_EQ(scan.dialogs.messages(), Lines{"Cache.INI is MISSING...can't proceed!"});
}

class LinkedIndex : public ::testing::Test {
  protected:
    void SetUp() override {
        g.add(1, "Face.unr");
        g.add(2, "Stays.utx");
        g.writeIndex();
        old = g.index();
        test::makeDirs(g.tmp / "elsewhere");
        // cache.ini becomes a link to a copy kept elsewhere.
        ASSERT_EQ(::rename((g.cacheDir + "/cache.ini").c_str(), other.c_str()), 0);
        ASSERT_EQ(::symlink(other.c_str(), (g.cacheDir + "/cache.ini").c_str()), 0);
    }
    void expectOtherUnchanged() {
        EXPECT_EQ(readFile(other), old);
        EXPECT_FALSE(isLink(other));
    }

    RunGame g;
    std::string other = g.tmp / "elsewhere/index.ini";
    std::string old;
    RecordingSink sink;
};

TEST_F(LinkedIndex, RunReadsThroughTheLinkAndReplacesTheLinkNotItsTarget) {
    ASSERT_EQ(g.run({"Face.unr"}, sink).outcome, RunOutcome::Completed);
    EXPECT_EQ(readFile(g.game + "/Maps/Face.unr"), contentOf("Face.unr"));
    EXPECT_FALSE(isLink(g.cacheDir + "/cache.ini"));
    EXPECT_EQ(g.index(), "[Cache]\r\n" + g.line(2, "Stays.utx") + "\r\n");
    EXPECT_EQ(g.backup(), old);
    expectOtherUnchanged();
}

TEST_F(LinkedIndex, PurgeReplacesTheLinkNotItsTarget) {
    g.dialogs.answers = {true};
    EngineContext ctx{g.posix, g.dialogs};
    ASSERT_EQ(PurgeCache(g.pv, ctx, sink), PurgeOutcome::Done);
    EXPECT_EQ(g.index(), "[Cache]\r\n");
    EXPECT_FALSE(isLink(g.cacheDir + "/cache.ini"));
    expectOtherUnchanged();
}

TEST_F(LinkedIndex, LinkedBackupIsReplacedNotWrittenThrough) {
    const std::string otherBak = g.tmp / "elsewhere/bak.ini";
    writeFile(otherBak, "somebody's file");
    ASSERT_EQ(::symlink(otherBak.c_str(), (g.cacheDir + "/cachebak.ini").c_str()), 0);
    ASSERT_EQ(g.run({"Face.unr"}, sink).outcome, RunOutcome::Completed);
    EXPECT_EQ(readFile(otherBak), "somebody's file");
    EXPECT_FALSE(isLink(g.cacheDir + "/cachebak.ini"));
    EXPECT_EQ(g.backup(), old);
    expectOtherUnchanged();
}

// A link left under the name of the run's temporary index (a crash, or anybody) must not
// carry the new index into the file it points to.
TEST(HostileCacheIndex, LinkUnderTheTemporaryIndexNameIsNotWrittenThrough) {
    RunGame g;
    g.add(1, "Face.unr");
    g.add(2, "Stays.utx");
    g.writeIndex();
    const std::string victim = g.tmp / "victim.txt";
    writeFile(victim, "precious");
    ASSERT_EQ(::symlink(victim.c_str(), (g.cacheDir + "/" + kNewIndexTempName).c_str()), 0);
    RecordingSink sink;
    ASSERT_EQ(g.run({"Face.unr"}, sink).outcome, RunOutcome::Completed);
    EXPECT_EQ(readFile(victim), "precious");
    EXPECT_FALSE(isLink(g.cacheDir + "/cache.ini"));
    EXPECT_EQ(g.index(), "[Cache]\r\n" + g.line(2, "Stays.utx") + "\r\n");
}

TEST(HostileCacheIndex, LinkUnderTheRepairFileNameIsNotWrittenThrough) {
    test::ScanGame game;
    game.writeIndex({"[Cache]", test::entryLine(1, "CTF-Face")});
    const std::string victim = game.tmp / "victim.txt";
    writeFile(victim, "precious");
    ASSERT_EQ(::symlink(victim.c_str(), (game.cacheDir + "/cachefix.ini").c_str()), 0);
    game.scan();
    EXPECT_EQ(readFile(victim), "precious");
    EXPECT_FALSE(isLink(game.indexPath()));
    EXPECT_EQ(readFile(game.indexPath()),
              "[Cache]\r\n" + test::entryLine(1, "CTF-Face.unr") + "\r\n");
}

class LinkedDestination : public ::testing::TestWithParam<bool> {
  protected:
    void SetUp() override { g.posix.setForceCrossDevice(GetParam()); }
    RunGame g;
    RecordingSink sink;
};

TEST_P(LinkedDestination, TypeFolderThatIsALinkTakesThePackages) {
    const std::string maps = g.tmp / "elsewhere/Maps";
    test::makeDirs(maps);
    ASSERT_EQ(::rmdir((g.game + "/Maps").c_str()), 0);
    ASSERT_EQ(::symlink(maps.c_str(), (g.game + "/Maps").c_str()), 0);
    g.add(1, "Face.unr");
    g.writeIndex();
    ASSERT_EQ(g.run({"Face.unr"}, sink).outcome, RunOutcome::Completed);
    EXPECT_EQ(readFile(maps + "/Face.unr"), contentOf("Face.unr"));
    EXPECT_TRUE(isLink(g.game + "/Maps"));
    EXPECT_FALSE(fileExists(g.cacheFile(1)));
    EXPECT_TRUE(hasLine(sink.lines, moveLineText(guidOf(1) + ".uxx", g.game + "/Maps/Face.unr")));
}

TEST_P(LinkedDestination, DestinationNameThatIsALinkIsNeverFollowedOrReplaced) {
    const std::string nowhere = g.tmp / "elsewhere/not-there.unr";
    const std::string target = g.tmp / "elsewhere/theirs.utx";
    test::makeDirs(g.tmp / "elsewhere");
    writeFile(target, "their texture");
    ASSERT_EQ(::symlink(nowhere.c_str(), (g.game + "/Maps/Face.unr").c_str()), 0);
    ASSERT_EQ(::symlink(target.c_str(), (g.game + "/Textures/Rock.utx").c_str()), 0);
    g.add(1, "Face.unr");
    g.add(2, "Rock.utx");
    g.writeIndex();
    ASSERT_EQ(g.run({"Face.unr", "Rock.utx"}, sink).outcome, RunOutcome::Completed);

    EXPECT_FALSE(fileExists(nowhere));
    EXPECT_EQ(linkTarget(g.game + "/Maps/Face.unr"), nowhere);
    EXPECT_EQ(readFile(target), "their texture");
    EXPECT_EQ(linkTarget(g.game + "/Textures/Rock.utx"), target);
    const Lines index = splitLines(g.index());
    for (unsigned n : {1u, 2u}) {
        const std::string name = n == 1 ? "Face.unr" : "Rock.utx";
        const std::string dest = g.game + (n == 1 ? "/Maps/" : "/Textures/") + name;
        EXPECT_EQ(readFile(g.cacheFile(n)), contentOf(name));
        EXPECT_TRUE(hasLine(index, g.line(n, name)));
        EXPECT_TRUE(hasLine(sink.lines, guidOf(n) + ".uxx could NOT be moved to " + dest + " (" +
                                            std::strerror(EEXIST) + ")"))
            << name;
    }
    // Nothing half-copied was left beside the links.
    EXPECT_EQ(strayNames(g.game + "/Maps", {"Face.unr"}), Lines{});
    EXPECT_EQ(strayNames(g.game + "/Textures", {"Rock.utx"}), Lines{});
}

INSTANTIATE_TEST_SUITE_P(SameAndCrossFileSystem, LinkedDestination, ::testing::Bool());

class ReadOnlyGameIni : public ::testing::Test {
  protected:
    void SetUp() override {
        original = readFile(std::string(QV_TEST_DATA_DIR) + "/settings/UnrealTournament.ini");
        test::makeDirs(game.gameDir + "System");
        writeFile(ini(), original);
        game.pv.GameIniPath = ini();
    }
    std::string ini() const { return game.gameDir + "System/UnrealTournament.ini"; }

    test::ScanGame game;
    std::string original;
};

TEST_F(ReadOnlyGameIni, RefusedWriteIsReportedAndChangesNothing) {
    for (int err : {EACCES, EROFS}) {
        FaultyFileSystem faulty(realFileSystem());
        faulty.failAt(2, err);  // the read goes through, the replacement is refused
        EngineContext ctx{faulty, game.dialogs};
        game.dialogs.shown.clear();
        EXPECT_FALSE(SetPurgeInterval("7", game.pv, ctx));
        EXPECT_EQ(faulty.lastFailedOperation(), "writeAtomic");
        EXPECT_EQ(readFile(ini()), original);
        ASSERT_EQ(game.dialogs.shown.size(), 1u);
        EXPECT_EQ(game.dialogs.shown[0].title, "INIWriteSetting");
        EXPECT_EQ(game.dialogs.shown[0].text, errorMessage(err));
        EXPECT_EQ(strayNames(game.gameDir + "System", {"UnrealTournament.ini"}), Lines{});
    }
}

// The player marked the file read-only so that nothing changes it; the write must respect that
// although the folder would let a new file be renamed over it.
TEST_F(ReadOnlyGameIni, ReadOnlyFileIsNotReplaced) {
    ASSERT_EQ(::chmod(ini().c_str(), 0444), 0);
    if (::access(ini().c_str(), W_OK) == 0)
        GTEST_SKIP() << "running with permission override (root): a read-only file does not "
                        "bite; the refused write is covered through injected EACCES and EROFS";
    EngineContext ctx{game.ctx.fs, game.dialogs};
    EXPECT_FALSE(SetPurgeInterval("7", game.pv, ctx));
    EXPECT_EQ(readFile(ini()), original);
    ASSERT_EQ(game.dialogs.shown.size(), 1u);
    EXPECT_EQ(game.dialogs.shown[0].text, errorMessage(EACCES));
    EXPECT_EQ(strayNames(game.gameDir + "System", {"UnrealTournament.ini"}), Lines{});
}

}  // namespace
}  // namespace qv::robust
