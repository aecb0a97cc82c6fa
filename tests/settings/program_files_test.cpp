#include "settings/program_files.h"

#include <gtest/gtest.h>

#include "platform/filesystem.h"
#include "tests/support/temp_dir.h"

namespace qv {
namespace {

using test::fileExists;
using test::readFile;
using test::TempDir;
using test::writeFile;

// A program folder with its shipped files, and the user's data and config folders (not made).
struct Folders {
    TempDir root;
    std::string program = root / "lib/quorvel", data = root / "share", config = root / "config";
    Folders() {
        test::makeDirs(program);
        writeFile(program + "/Quorvel.ini", "[Dirs]\r\nCacheExt=uxx\r\n");
        writeFile(program + "/QuorvelDontMove.ini", "Shipped.unr\r\n");
    }
    ProgramFiles files(bool writable, bool installed = false) {
        return programFiles({program, installed, writable, data, config}, realFileSystem());
    }
};

TEST(ProgramFiles, WritableFolderKeepsEverythingBesideTheProgramAndUserCopiesWinOtherwise) {
    struct Case {
        const char* what;
        bool writable;
        bool installed;   // the package's marker stands beside the program
        bool userCopies;  // the user has his own Quorvel.ini and never-move list
        const char *settings, *userSettings, *neverMove, *userNeverMove, *log;
    };
    const Case cases[] = {
        {"writable program folder", true, false, false, "lib/quorvel/Quorvel.ini",
         "lib/quorvel/Quorvel.ini", "lib/quorvel/QuorvelDontMove.ini",
         "lib/quorvel/QuorvelDontMove.ini", "lib/quorvel/Quorvel.log"},
        {"writable program folder ignores copies elsewhere", true, false, true,
         "lib/quorvel/Quorvel.ini", "lib/quorvel/Quorvel.ini", "lib/quorvel/QuorvelDontMove.ini",
         "lib/quorvel/QuorvelDontMove.ini", "lib/quorvel/Quorvel.log"},
        {"read-only program folder, nothing of the user's yet", false, false, false,
         "lib/quorvel/Quorvel.ini", "config/Quorvel/Quorvel.ini", "lib/quorvel/QuorvelDontMove.ini",
         "share/Quorvel/QuorvelDontMove.ini", "share/Quorvel/Quorvel.log"},
        {"read-only program folder, the user's copies win", false, false, true,
         "config/Quorvel/Quorvel.ini", "config/Quorvel/Quorvel.ini",
         "share/Quorvel/QuorvelDontMove.ini", "share/Quorvel/QuorvelDontMove.ini",
         "share/Quorvel/Quorvel.log"},
        // Root can write /usr/lib/quorvel: the marker still keeps his files in his own folders.
        {"installed copy run by someone who can write its folder", true, true, false,
         "lib/quorvel/Quorvel.ini", "config/Quorvel/Quorvel.ini", "lib/quorvel/QuorvelDontMove.ini",
         "share/Quorvel/QuorvelDontMove.ini", "share/Quorvel/Quorvel.log"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Folders f;
        if (c.userCopies) {
            test::makeDirs(f.config + "/Quorvel");
            test::makeDirs(f.data + "/Quorvel");
            writeFile(f.config + "/Quorvel/Quorvel.ini", "[Dirs]\r\nCacheExt=mine\r\n");
            writeFile(f.data + "/Quorvel/QuorvelDontMove.ini", "Mine.unr\r\n");
        }
        const ProgramFiles p = f.files(c.writable, c.installed);
        const auto at = [&](const char* rel) { return f.root / rel; };
        EXPECT_EQ(p.inProgramFolder, c.writable && !c.installed);
        EXPECT_EQ(p.settingsFile, at(c.settings));
        EXPECT_EQ(p.userSettingsFile, at(c.userSettings));
        EXPECT_EQ(p.neverMoveFile, at(c.neverMove));
        EXPECT_EQ(p.userNeverMoveFile, at(c.userNeverMove));
        EXPECT_EQ(p.runLog, at(c.log));
        EXPECT_EQ(p.shippedSettingsFile, at("lib/quorvel/Quorvel.ini"));
    }
    // The running user's facts: the marker file, not write access, makes the copy installed.
    Folders f;
    EXPECT_TRUE(programFiles(f.program, realFileSystem()).inProgramFolder);
    writeFile(f.program + "/" + kInstalledMarkerName, "");
    EXPECT_FALSE(programFiles(f.program, realFileSystem()).inProgramFolder);
}

// Tools > Edit Quorvel INI and the first change of the never-move list on an installed copy.
TEST(ProgramFiles, UserCopyIsMadeOnceFromTheShippedFileInFoldersThatDidNotExist) {
    Folders f;
    FileSystem& fs = realFileSystem();
    const ProgramFiles p = f.files(false);
    ASSERT_TRUE(makeUserCopy(p.shippedSettingsFile, p.userSettingsFile, fs).ok());
    EXPECT_EQ(readFile(p.userSettingsFile), "[Dirs]\r\nCacheExt=uxx\r\n");
    writeFile(p.userSettingsFile, "[Dirs]\r\nCacheExt=edited\r\n");
    ASSERT_TRUE(makeUserCopy(p.shippedSettingsFile, p.userSettingsFile, fs).ok());
    EXPECT_EQ(readFile(p.userSettingsFile), "[Dirs]\r\nCacheExt=edited\r\n");  // never undone
    EXPECT_EQ(f.files(false).settingsFile, p.userSettingsFile);
    EXPECT_EQ(readFile(p.shippedSettingsFile), "[Dirs]\r\nCacheExt=uxx\r\n");

    // No shipped list: the folder is made and the first write creates the user's list.
    ASSERT_TRUE(makeUserCopy(f.root / "absent.ini", p.userNeverMoveFile, fs).ok());
    EXPECT_TRUE(fs.isFolder(f.data + "/Quorvel"));
    EXPECT_FALSE(fileExists(p.userNeverMoveFile));
}

}  // namespace
}  // namespace qv
