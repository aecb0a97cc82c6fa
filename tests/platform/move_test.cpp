#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix_filesystem.h"
#include "tests/platform/fs_test_util.h"
#include "tests/support/temp_dir.h"

namespace qv {
namespace {

using test::listNames;
using test::readFile;
using test::writeFile;
using Names = std::vector<std::string>;

// Moves are checked twice: as a plain rename and through the copy path of a move across
// file systems (forced by the test hook).
class MoveTest : public ::testing::TestWithParam<bool> {
  protected:
    void SetUp() override {
        fs.setForceCrossDevice(GetParam());
        test::makeDirs(dir / "Cache");
        test::makeDirs(dir / "Maps");
    }
    Status move(const std::string& from, const std::string& to) {
        return fs.moveNoReplace(dir / from, dir / to);
    }

    test::TempDir dir;
    PosixFileSystem fs;
};

TEST_P(MoveTest, MovesContentAndKeepsTheModifiedTimeAndMode) {
    const std::string data(300000, 'u');  // larger than one copy buffer
    writeFile(dir / "Cache/0123.uxx", data);
    test::setMtime(dir / "Cache/0123.uxx", 1111111111);
    ::chmod((dir / "Cache/0123.uxx").c_str(), 0640);

    Status s = move("Cache/0123.uxx", "Maps/CTF-Face.unr");
    ASSERT_TRUE(s.ok()) << s.text;
    EXPECT_EQ(readFile(dir / "Maps/CTF-Face.unr"), data);
    EXPECT_EQ(fs.modifiedTime(dir / "Maps/CTF-Face.unr"), 1111111111);
    EXPECT_EQ(test::modeOf(dir / "Maps/CTF-Face.unr"), 0640u);
    EXPECT_EQ(listNames(dir / "Cache"), Names{});
    EXPECT_EQ(listNames(dir / "Maps"), Names{"CTF-Face.unr"});
}

TEST_P(MoveTest, RefusedMovesLeaveBothSides) {
    writeFile(dir / "Cache/0123.uxx", "new");
    writeFile(dir / "Maps/CTF-Face.unr", "player's own");
    EXPECT_EQ(move("Cache/0123.uxx", "Maps/CTF-Face.unr").code, EEXIST);  // never replaces
    EXPECT_EQ(readFile(dir / "Maps/CTF-Face.unr"), "player's own");
    // A folder or a dangling link of that name counts as existing too.
    test::makeDirs(dir / "Maps/Folder.unr");
    EXPECT_FALSE(move("Cache/0123.uxx", "Maps/Folder.unr").ok());
    ::symlink("nowhere", (dir / "Maps/Link.unr").c_str());
    EXPECT_EQ(move("Cache/0123.uxx", "Maps/Link.unr").code, EEXIST);
    // A missing destination folder.
    Status s = move("Cache/0123.uxx", "Textures/Skins.utx");
    EXPECT_EQ(s.code, ENOENT);
    EXPECT_FALSE(s.text.empty());
    EXPECT_EQ(readFile(dir / "Cache/0123.uxx"), "new");
    EXPECT_EQ(listNames(dir.path()), (Names{"Cache", "Maps"}));
    EXPECT_EQ(listNames(dir / "Maps"), (Names{"CTF-Face.unr", "Folder.unr", "Link.unr"}));

    // Sources that are not plain files.
    test::makeDirs(dir / "Cache/folder");
    EXPECT_EQ(move("Cache/folder", "Maps/folder").code, EISDIR);
    ::symlink("0123.uxx", (dir / "Cache/link.uxx").c_str());
    EXPECT_FALSE(move("Cache/link.uxx", "Maps/link.unr").ok());
    EXPECT_EQ(move("Cache/none.uxx", "Maps/none.unr").code, ENOENT);
    EXPECT_EQ(listNames(dir / "Maps"), (Names{"CTF-Face.unr", "Folder.unr", "Link.unr"}));
    EXPECT_EQ(listNames(dir / "Cache"), (Names{"0123.uxx", "folder", "link.uxx"}));
}

INSTANTIATE_TEST_SUITE_P(SameAndCrossDevice, MoveTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Copy" : "Rename"; });

// Restores the file-size limit and SIGXFSZ handling when a test ends.
class FileSizeLimit final {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &old_);
        oldHandler_ = ::signal(SIGXFSZ, SIG_IGN);
        rlimit lim = old_;
        lim.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &lim);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &old_);
        ::signal(SIGXFSZ, oldHandler_);
    }

  private:
    rlimit old_{};
    sighandler_t oldHandler_;
};

// A forced copy between file systems of a 1 MiB package from Cache into Maps.
class CrossDeviceMoveTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fs.setForceCrossDevice(true);
        test::makeDirs(dir / "Cache");
        test::makeDirs(dir / "Maps");
        writeFile(dir / "Cache/0123.uxx", std::string(1 << 20, 'p'));
    }
    void expectNoSecondCopy(int code) {
        EXPECT_EQ(fs.moveNoReplace(dir / "Cache/0123.uxx", dir / "Maps/DM-Deck16.unr").code, code);
        EXPECT_EQ(listNames(dir / "Maps"), Names{});
        EXPECT_EQ(readFile(dir / "Cache/0123.uxx").size(), 1u << 20);
    }
    test::TempDir dir;
    PosixFileSystem fs;
};

TEST_F(CrossDeviceMoveTest, CopyFailingHalfwayLeavesNoPartialFile) {
    FileSizeLimit limit(64 * 1024);  // the copy's writes fail with EFBIG past 64 KiB
    expectNoSecondCopy(EFBIG);
}

TEST_F(CrossDeviceMoveTest, SourceThatCannotBeDeletedIsNotDuplicated) {
    ASSERT_EQ(::chmod((dir / "Cache").c_str(), 0555), 0);
    if (test::permissionsIgnored(dir / "Cache"))
        GTEST_SKIP() << "running with permission override (root): a read-only folder does not "
                        "stop the source from being deleted";
    expectNoSecondCopy(EACCES);
}

// A real move between two file systems: /dev/shm is usually a tmpfs apart from /tmp.
TEST(RealCrossDeviceMove, FromSharedMemoryIntoTemporaryFolder) {
    if (!PosixFileSystem().isFolder("/dev/shm"))
        GTEST_SKIP() << "no /dev/shm on this machine; the forced copy path covers the move";
    test::TempDir shm("/dev/shm");
    test::TempDir tmp;
    if (test::deviceOf(shm.path()) == test::deviceOf(tmp.path()))
        GTEST_SKIP() << "/dev/shm and " << tmp.path()
                     << " are on one file system; the forced copy path covers the move";

    PosixFileSystem fs;  // no test hook: the rename itself must report EXDEV
    writeFile(shm / "0123.uxx", "package bytes");
    test::setMtime(shm / "0123.uxx", 1222333444);
    Status s = fs.moveNoReplace(shm / "0123.uxx", tmp / "CTF-Face.unr");
    ASSERT_TRUE(s.ok()) << s.text;
    EXPECT_EQ(readFile(tmp / "CTF-Face.unr"), "package bytes");
    EXPECT_EQ(fs.modifiedTime(tmp / "CTF-Face.unr"), 1222333444);
    EXPECT_EQ(listNames(shm.path()), Names{});

    writeFile(shm / "4567.uxx", "second");
    EXPECT_EQ(fs.moveNoReplace(shm / "4567.uxx", tmp / "CTF-Face.unr").code, EEXIST);
    EXPECT_EQ(readFile(tmp / "CTF-Face.unr"), "package bytes");
    EXPECT_EQ(readFile(shm / "4567.uxx"), "second");
    EXPECT_EQ(listNames(tmp.path()), Names{"CTF-Face.unr"});
}

}  // namespace
}  // namespace qv
