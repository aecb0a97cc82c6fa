#include "platform/faulty_filesystem.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "platform/posix_filesystem.h"
#include "tests/support/temp_dir.h"

namespace qv {
namespace {

using test::listNames;
using test::readFile;
using test::writeFile;
using Names = std::vector<std::string>;

class FaultyFileSystemTest : public ::testing::Test {
  protected:
    test::TempDir dir;
    PosixFileSystem real;
    FaultyFileSystem fs{real};
};

TEST_F(FaultyFileSystemTest, CountsEveryOperationButTheQueries) {
    writeFile(dir / "a", "a");
    fs.isFile(dir / "a");
    fs.isFolder(dir.path());
    fs.exists(dir / "a");
    fs.modifiedTime(dir / "a");
    EXPECT_EQ(fs.operationCount(), 0);

    fs.readAll(dir / "a");                     // 1
    fs.writeAtomic(dir / "b", "b");            // 2
    fs.appendToFile(dir / "b", "+");           // 3
    fs.makeFolder(dir / "F");                  // 4
    fs.moveNoReplace(dir / "a", dir / "F/a");  // 5
    fs.renameReplace(dir / "b", dir / "c");    // 6
    fs.listFiles(dir.path(), "*.*");           // 7
    fs.makeWritable(dir / "c");                // 8
    fs.removeFile(dir / "c");                  // 9
    auto out = fs.createFile(dir / "log");     // 10
    ASSERT_TRUE(out.ok());
    out.value->write("1");  // 11
    out.value->write("2");  // 12
    out.value->close();     // 13
    EXPECT_EQ(fs.operationCount(), 13);
    EXPECT_EQ(fs.failuresInjected(), 0);
    EXPECT_EQ(readFile(dir / "log"), "12");
    EXPECT_EQ(listNames(dir.path()), (Names{"F", "log"}));
}

TEST_F(FaultyFileSystemTest, FailAtFailsExactlyTheKthAndTouchesNothing) {
    writeFile(dir / "cache.ini", "old");
    fs.failAt(2, ENOSPC);
    EXPECT_TRUE(fs.readAll(dir / "cache.ini").ok());
    Status s = fs.writeAtomic(dir / "cache.ini", "new");
    EXPECT_EQ(s.code, ENOSPC);
    EXPECT_EQ(s.text, std::strerror(ENOSPC));
    EXPECT_EQ(fs.lastFailedOperation(), "writeAtomic");
    EXPECT_EQ(readFile(dir / "cache.ini"), "old");
    EXPECT_EQ(listNames(dir.path()), Names{"cache.ini"});

    EXPECT_TRUE(fs.writeAtomic(dir / "cache.ini", "new").ok());
    EXPECT_EQ(readFile(dir / "cache.ini"), "new");
    EXPECT_EQ(fs.failuresInjected(), 1);

    // A failed move leaves both sides.
    fs.failAt(fs.operationCount() + 1, EIO);
    EXPECT_EQ(fs.moveNoReplace(dir / "cache.ini", dir / "DM-Deck16.unr").code, EIO);
    EXPECT_EQ(listNames(dir.path()), Names{"cache.ini"});
    EXPECT_EQ(fs.removeFile(dir / "cache.ini").code, 0);
}

TEST_F(FaultyFileSystemTest, FailFromFailsEveryLaterOperation) {
    fs.failFrom(2, EACCES);
    EXPECT_TRUE(fs.makeFolder(dir / "one").ok());
    EXPECT_EQ(fs.makeFolder(dir / "two").code, EACCES);
    EXPECT_EQ(fs.listFiles(dir.path(), "*.*").status.code, EACCES);
    EXPECT_EQ(fs.readAll(dir / "x").status.code, EACCES);
    EXPECT_EQ(fs.failuresInjected(), 3);
    EXPECT_EQ(fs.lastFailedOperation(), "readAll");
    EXPECT_EQ(listNames(dir.path()), Names{"one"});

    fs.failAt(0, 0);  // off
    EXPECT_TRUE(fs.makeFolder(dir / "two").ok());
}

TEST_F(FaultyFileSystemTest, WritesAndCloseOfAnOpenFileCanFail) {
    auto out = fs.createFile(dir / "Quorvel.log");  // 1
    ASSERT_TRUE(out.ok());
    fs.failAt(3, EIO);
    EXPECT_TRUE(out.value->write("first\n").ok());      // 2
    EXPECT_EQ(out.value->write("second\n").code, EIO);  // 3
    EXPECT_EQ(fs.lastFailedOperation(), "OutFile::write");
    fs.failAt(4, ENOSPC);
    EXPECT_EQ(out.value->close().code, ENOSPC);  // 4
    EXPECT_TRUE(out.value->close().ok());        // 5
    EXPECT_EQ(readFile(dir / "Quorvel.log"), "first\n");

    fs.failAt(6, EROFS);
    auto none = fs.createFile(dir / "other.log");
    EXPECT_EQ(none.status.code, EROFS);
    EXPECT_EQ(none.value, nullptr);
    EXPECT_EQ(listNames(dir.path()), Names{"Quorvel.log"});
}

}  // namespace
}  // namespace qv
