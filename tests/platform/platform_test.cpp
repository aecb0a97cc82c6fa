// Linux only: the POSIX file system layer itself (links, modes, forks, what the kernel refuses).
// The file system layer and the text helpers every file format rests on.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>

#include "platform/escaped_text.h"
#include "platform/machine_lock.h"
#include "platform/paths.h"
#include "platform/posix_filesystem.h"
#include "platform/textfile.h"
#include "tests/support/copying_filesystem.h"
#include "tests/support/temp_dir.h"

namespace qv::test {
namespace {

using Lines = std::vector<std::string>;

TEST(TextFile, EveryLineEndStyleSplitsAndTheFirstOneDecides) {
    const struct {
        std::string text;
        Lines lines;
        LineEnd style;
    } cases[] = {
        {"a\r\nb\r\n", {"a", "b"}, LineEnd::CRLF},
        {"a\nb", {"a", "b"}, LineEnd::LF},
        {"a\rb\r", {"a", "b"}, LineEnd::CR},
        {"a\n\r\nb\r", {"a", "", "b"}, LineEnd::LF},
        {"\r\n\r\n", {"", ""}, LineEnd::CRLF},
        {"no end", {"no end"}, LineEnd::CRLF},
        {std::string("n\0l\x80 \t", 6) + "\n", {std::string("n\0l\x80 \t", 6)}, LineEnd::LF},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(splitLines(c.text), c.lines);
        EXPECT_EQ(detectLineEnd(c.text), c.style);
    }
    // By the file's own line ends: a lone LF splits only a file of LF lines.
    EXPECT_EQ(splitOwnLines("[C]\r\na\nb\r\nc\rd"), (Lines{"[C]", "a\nb", "c", "d"}));
    EXPECT_EQ(splitOwnLines("[C]\na\nb\r\nc\n"), (Lines{"[C]", "a", "b", "c"}));
    EXPECT_EQ(splitOwnLines("a\nb\r\nc\r\n"), (Lines{"a\nb", "c"}));
    // Against a byte-by-byte split, over random mixes of line ends; a file whose first line ends
    // in CR LF is split at CRs alone.
    const auto bytewise = [](const std::string& text, bool loneLfEnds) {
        Lines lines;
        std::size_t start = 0;
        for (std::size_t i = 0; i < text.size(); ++i)
            if (text[i] == '\r' || (loneLfEnds && text[i] == '\n')) {
                lines.push_back(text.substr(start, i - start));
                start = i + (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') + 1;
                i = start - 1;
            }
        if (start < text.size()) lines.push_back(text.substr(start));
        return lines;
    };
    std::mt19937 random(7);
    for (int round = 0; round < 2000; ++round) {
        std::string text;
        for (std::size_t n = random() % 12; n-- > 0;) text += "\r\nx"[random() % 3];
        ASSERT_EQ(splitLines(text), bytewise(text, true)) << testing::PrintToString(text);
        text.insert(0, "[C]\r\n");
        ASSERT_EQ(splitOwnLines(text), bytewise(text, false)) << testing::PrintToString(text);
    }
    EXPECT_EQ(joinLines({"a", "", "b"}, LineEnd::CR), "a\r\rb\r");
    EXPECT_EQ(joinLines({"a"}, LineEnd::CRLF), "a\r\n");
}

// C1 controls reach a terminal as controls (0x9B is CSI alone, U+009B in UTF-8 to a UTF-8
// terminal): both forms are escaped, and letters past ASCII stay as they are.
TEST(EscapedText, C1ControlsAreEscapedAsUtf8AndAsStrayBytes) {
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"\xC2\x9B"
         "31m",
         "\\xC2\\x9B31m"},
        {"\x9B"
         "31m",
         "\\x9B31m"},
        {"\x85 \xC2\x80", "\\x85 \\xC2\\x80"},
        {"Caf\xC3\xA9 \xC2\xA0\xE2\x82\xAC \xC4\x80", "Caf\xC3\xA9 \xC2\xA0\xE2\x82\xAC \xC4\x80"},
        {"Caf\xE9 \xC2", "Caf\xE9 \xC2"},
        {"\xE0\x82\x9B", "\xE0\\x82\\x9B"},  // overlong: its bytes are stray
    };
    for (const auto& [text, escaped] : cases) {
        EXPECT_EQ(escapedField(text), escaped) << escapedField(text);
        EXPECT_EQ(escapedField(text, EscapeForm::ControlBytes), escaped);
    }
}

TEST(Paths, SeparatorsAndNames) {
    EXPECT_EQ(removeOneTrailingSeparator("D:\\games\\\\"), "D:\\games\\");
    EXPECT_EQ(removeOneTrailingSeparator("/a/"), "/a");
    EXPECT_EQ(toNativeSeparators("a\\b/c"), "a/b/c");
    EXPECT_EQ(baseName("/x/y/Face.unr"), "Face.unr");
    // Joined as formed: a doubled separator stays.
    EXPECT_EQ(joinPath("/a/", "b"), "/a//b");
    EXPECT_EQ(joinPath("/g", "System", "User.ini"), "/g/System/User.ini");
    EXPECT_EQ(joinGenericPath("/h", ".steam/root"), "/h/.steam/root");
    EXPECT_EQ(withTrailingSeparator("/g"), "/g/");
    EXPECT_EQ(withTrailingSeparator("/g/"), "/g/");
    EXPECT_EQ(withHomeExpanded("~/Games", "/home/p"), "/home/p/Games");
    EXPECT_EQ(withHomeExpanded("~p/Games", "/home/p"), "~p/Games");
    EXPECT_TRUE(liesUnder("/home/p/x", "/home/p"));
    EXPECT_FALSE(liesUnder("/home/px", "/home/p") || liesUnder("/home/p", "/home/p"));
    // A backslash is a byte of a name here; the root stays the root.
    EXPECT_EQ(fileNameOf("/x/a\\b.u"), "a\\b.u");
    EXPECT_EQ(fileNameOf("bare"), "bare");
    EXPECT_EQ(fileNameOf("/x/"), "");
    EXPECT_EQ(parentPath("/x"), "/");
    EXPECT_EQ(parentPath("a/b/c"), "a/b");
    EXPECT_EQ(parentPath("bare"), "bare");
    EXPECT_EQ(parentFolder("/x"), "/");
    EXPECT_EQ(parentFolder("bare"), ".");
    EXPECT_EQ(lastSeparator("a/b/c", 2), 1u);
    EXPECT_EQ(nextSeparator("a/b", 2), std::string::npos);
    EXPECT_EQ(nextNonSeparator("a//b", 1), 3u);
}

// Absolute here: '/' first. On Windows: a drive letter and a separator, or a UNC prefix.
TEST(Paths, AbsoluteByEachSystemsRules) {
    EXPECT_TRUE(isAbsolutePath("/"));
    EXPECT_FALSE(isAbsolutePath("C:\\UT") || isAbsolutePath("") || isAbsolutePath("g/x"));
    for (const char* p :
         {"C:\\UT", "c:/UT", "\\\\server\\share", "//server/share", "\\\\?\\C:\\UT"})
        EXPECT_TRUE(isAbsoluteWindowsPath(p)) << p;
    for (const char* p : {"C:UT", "\\UT", "UT", "1:\\UT", "C:", ""})
        EXPECT_FALSE(isAbsoluteWindowsPath(p)) << p;
}

class FileSystemTest : public ::testing::TestWithParam<bool> {
  protected:
    TempDir dir;
    PosixFileSystem posix;
    CopyingFileSystem copying{posix};
    FileSystem& fs = GetParam() ? static_cast<FileSystem&>(copying) : posix;
};

// A move takes the whole file, never replaces what is there, and never takes a link or a
// folder: a link in the cache could name any file of the user's.
TEST_P(FileSystemTest, MovesOnlyPlainFilesAndNeverReplaces) {
    writeFile(dir / "a", "content a");
    ASSERT_TRUE(fs.moveNoReplace(dir / "a", dir / "b").ok());
    EXPECT_FALSE(fileExists(dir / "a"));
    EXPECT_EQ(readFile(dir / "b"), "content a");

    writeFile(dir / "c", "content c");
    EXPECT_EQ(fs.moveNoReplace(dir / "c", dir / "b").code, EEXIST);
    EXPECT_EQ(readFile(dir / "b"), "content a");
    EXPECT_EQ(readFile(dir / "c"), "content c");

    ASSERT_EQ(::symlink((dir / "c").c_str(), (dir / "link").c_str()), 0);
    EXPECT_FALSE(fs.moveNoReplace(dir / "link", dir / "moved").ok());
    EXPECT_FALSE(fs.exists(dir / "moved"));
    EXPECT_TRUE(fs.exists(dir / "link"));
    EXPECT_EQ(fs.moveNoReplace(dir / "none", dir / "d").code, ENOENT);
    makeDirs(dir / "sub");
    EXPECT_FALSE(fs.moveNoReplace(dir / "sub", dir / "e").ok());
    EXPECT_EQ(listNames(dir.path()), (Lines{"b", "c", "link", "sub"}));  // nothing half-made
}

INSTANTIATE_TEST_SUITE_P(SameAndCopyPath, FileSystemTest, ::testing::Bool());

TEST(RealFileSystem, WritesReplaceWholeFilesAndNeverWriteThroughALink) {
    TempDir dir;
    FileSystem& fs = realFileSystem();
    writeFile(dir / "target", "keep");
    ASSERT_EQ(::symlink((dir / "target").c_str(), (dir / "log").c_str()), 0);
    auto out = fs.createFile(dir / "log");
    ASSERT_TRUE(out.ok());
    ASSERT_TRUE(out.value->write("new").ok() && out.value->close().ok());
    EXPECT_EQ(readFile(dir / "target"), "keep");
    EXPECT_EQ(readFile(dir / "log"), "new");

    ASSERT_TRUE(fs.writeAtomic(dir / "f", "one").ok());
    ASSERT_TRUE(fs.writeAtomic(dir / "f", "two").ok());
    ASSERT_TRUE(fs.appendToFile(dir / "f", "+").ok());
    EXPECT_EQ(readFile(dir / "f"), "two+");
    ::chmod((dir / "f").c_str(), 0444);
    if (::geteuid() != 0) {
        EXPECT_FALSE(fs.writeAtomic(dir / "f", "three").ok());
    }
    EXPECT_EQ(readFile(dir / "f"), "two+");
    EXPECT_EQ(listNames(dir.path()), (Lines{"f", "log", "target"}));

    if (::geteuid() != 0) return;  // root's new file in a player's folder is the player's
    makeDirs(dir / "player");
    ASSERT_EQ(::chown((dir / "player").c_str(), 4321, 4321), 0);
    ASSERT_TRUE(fs.writeAtomic(dir / "player/new.ini", "x").ok());
    struct stat made {};
    EXPECT_TRUE(::stat((dir / "player/new.ini").c_str(), &made) == 0 && made.st_uid == 4321);
}

// Two files are the same only when every byte is: a difference in the first page, past it, in
// the last block or in the size is seen; a file and a link to it are not two copies.
TEST(RealFileSystem, SameBytesOnlyWhenEveryByteIs) {
    TempDir dir;
    FileSystem& fs = realFileSystem();
    const std::string bytes(200 * 1024 + 17, 'p');
    writeFile(dir / "a", bytes);
    writeFile(dir / "b", bytes);
    EXPECT_TRUE(fs.sameBytesInOtherFile(dir / "a", dir / "b").value);
    for (const std::size_t at : {std::size_t{40}, std::size_t{5000}, bytes.size() - 1}) {
        std::string other = bytes;
        other[at] = 'q';
        writeFile(dir / "b", other);
        EXPECT_FALSE(fs.sameBytesInOtherFile(dir / "a", dir / "b").value) << at;
    }
    writeFile(dir / "b", bytes + "p");
    EXPECT_FALSE(fs.sameBytesInOtherFile(dir / "a", dir / "b").value);
    ASSERT_EQ(::symlink((dir / "a").c_str(), (dir / "link").c_str()), 0);
    EXPECT_FALSE(fs.sameBytesInOtherFile(dir / "a", dir / "link").value);
}

// Writes through a mapping of a file's end are the kernel's at once: a process killed without
// closing the file loses none of them and leaves at most zero bytes after them, across the
// room's MiB and past it in one write; closed, the file holds exactly what was written. On tmpfs
// the mapping must be taken.
TEST(RealFileSystem, WritesThroughAMappingOutliveAKill) {
    TempDir disk;
    std::vector<std::string> folders = {disk.path()};
    std::unique_ptr<TempDir> shm;
    if (::access("/dev/shm", W_OK) == 0)
        folders.push_back((shm = std::make_unique<TempDir>("/dev/shm"))->path());
    std::string expected = "head\n";
    for (int i = 0; i < 3000; ++i)
        expected += "record " + std::to_string(i) + " " + std::string(400, 'r') + "\n";
    expected += std::string(1500000, 'w') + "\n";
    for (const std::string& folder : folders)
        for (const bool killed : {true, false}) {
            const std::string path = folder + (killed ? "/killed" : "/closed");
            const pid_t child = ::fork();
            if (child == 0) {
                PosixFileSystem fs;
                auto out = fs.createNewFile(path);
                if (!out.ok() || !out.value->write(expected.substr(0, 5)).ok()) ::_exit(2);
                if (out.value->writeThroughMapping()) writeFile(path + ".mapped", "");
                for (std::size_t at = 5, end; at < expected.size(); at = end + 1) {
                    end = expected.find('\n', at);
                    if (!out.value->write(expected.substr(at, end + 1 - at)).ok()) ::_exit(3);
                }
                if (killed) ::kill(::getpid(), SIGKILL);
                ::_exit(out.value->close().ok() ? 0 : 4);
            }
            int status = 0;
            ASSERT_EQ(::waitpid(child, &status, 0), child);
            EXPECT_EQ(killed ? WIFSIGNALED(status) : WIFEXITED(status) && WEXITSTATUS(status) == 0,
                      true)
                << path;
            const std::string written = readFile(path);
            EXPECT_EQ(written.substr(0, expected.size()), expected) << path;
            EXPECT_EQ(written.find_first_not_of('\0', expected.size()), std::string::npos) << path;
            EXPECT_TRUE(killed || written.size() == expected.size()) << path;
            if (folder != disk.path()) {
                EXPECT_TRUE(fileExists(path + ".mapped"));
            }
        }
}

// The game takes no lock, so its rename can land between the check and the exchange. What it
// wrote must be back under the name at once; an exchange left standing would hide its new lines
// from its own next rewrite.
TEST(RealFileSystem, AWriteBetweenTheCheckAndTheExchangeIsPutBack) {
    TempDir dir;
    const std::string index = dir / "cache.ini", ours = dir / ".quorvel-tmp-ours";
    writeFile(index, "read");
    writeFile(ours, "ours");
    const auto checkThenGameWrites = [&]() -> Result<bool> {
        const bool same = readFile(index) == "read";
        writeFile(dir / "game", "game");
        EXPECT_EQ(::rename((dir / "game").c_str(), index.c_str()), 0);
        return {same, Status::success()};
    };
    // Without links as well as without exchanges, nothing can tell (nor keep) a file that came
    // in that instant; without exchanges alone, the old file's second name tells.
    const bool links = !std::getenv("QV_SHIM_NO_LINK");
    if (links) {
        EXPECT_EQ(exchangeIfUnchanged(index, ours, checkThenGameWrites).status.code, ESTALE);
        EXPECT_EQ(readFile(index), "game");
        EXPECT_EQ(listNames(dir.path()), Lines{"cache.ini"});
    } else {
        writeFile(index, "game");
    }

    // Nobody in between: the exchange stands and the other name holds the old file.
    writeFile(ours, "ours");
    const Result<std::string> swapped = exchangeIfUnchanged(
        index, ours, [&] { return realFileSystem().holdsExactly(index, "game"); });
    ASSERT_TRUE(swapped.ok()) << swapped.status.text;
    EXPECT_EQ(readFile(index), "ours");
    EXPECT_EQ(swapped.value.empty(), !links);
    if (links) {
        EXPECT_EQ(readFile(swapped.value), "game");
    }
    EXPECT_EQ(listNames(dir.path()).size(), links ? 2u : 1u);
}

TEST(RealFileSystem, ListsPlainFilesByPatternIgnoringCase) {
    TempDir dir;
    for (const char* n : {"a.TMP", "b.tmp", "c.txt", ".hidden.tmp"}) writeFile(dir / n, "12345");
    makeDirs(dir / "folder.tmp");
    auto listed = realFileSystem().listFiles(dir.path(), "*.tmp");
    ASSERT_TRUE(listed.ok());
    Lines names;
    for (const auto& f : listed.value) names.push_back(f.name + ":" + std::to_string(f.size));
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (Lines{"a.TMP:5", "b.tmp:5"}));
    EXPECT_EQ(realFileSystem().listFiles(dir.path(), "*.*").value.size(), 3u);
    EXPECT_FALSE(realFileSystem().listFiles(dir / "none", "*.*").ok());
}

using State = MachineLock::State;

struct stat statOf(const std::string& path) {
    struct stat st {};
    ::lstat(path.c_str(), &st);
    return st;
}

// The state a MachineLock for `owner` gets in a child process run as user `as`.
State stateAs(uid_t as, uid_t owner) {
    const pid_t child = ::fork();
    if (child == 0) {
        const bool user = ::setresgid(as, as, as) == 0 && ::setresuid(as, as, as) == 0;
        ::_exit(
            user ? static_cast<int>(
                       MachineLock(0x5eed, static_cast<ino_t>(::getppid()), owner, false).state())
                 : 9);
    }
    int status = -1;
    ::waitpid(child, &status, 0);
    return static_cast<State>(WEXITSTATUS(status));
}

// Guards: a second holder let in, a lock file or folder others can open (and so hold), root and
// the owner at different files, another user's folder of the owner's name taken for the owner's.
TEST(MachineLock, OneHolderAtATimeInTheOwnersPrivateFolder) {
    const uid_t me = ::geteuid(), player = 54321, other = 54322;
    const ino_t thing = static_cast<ino_t>(::getpid());
    const auto clear = [&] {
        for (const char* base : {"/run/lock/quorvel-", "/tmp/quorvel-"})
            std::filesystem::remove_all(base + std::to_string(player));
    };
    clear();
    {
        MachineLock first(0x5eed, thing, me, false);
        ASSERT_EQ(first.state(), State::Held) << first.failure();
        EXPECT_EQ(MachineLock(0x5eed, thing, me, false).state(), State::Busy);
        EXPECT_EQ(statOf(first.path()).st_mode & 07777, 0600u);
        EXPECT_EQ(statOf(std::filesystem::path(first.path()).parent_path()).st_mode & 07777, 0700u);
    }
    {
        MachineLock again(0x5eed, thing, me, false);
        EXPECT_EQ(again.state(), State::Held);
        ::unlink(again.path().c_str());
    }
    if (me != 0) GTEST_SKIP() << "the rest needs root to play two other users";
    {
        MachineLock root(0x5eed, thing, player, false);  // root on the player's cache
        ASSERT_EQ(root.state(), State::Held) << root.failure();
        EXPECT_EQ(statOf(root.path()).st_uid, player);
        EXPECT_EQ(stateAs(player, player), State::Busy);        // the player's Quorvel meets root's
        EXPECT_EQ(stateAs(other, player), State::Unavailable);  // another user's cannot enter
    }
    std::filesystem::remove_all("/run/lock/quorvel-" + std::to_string(player));
    // Another user made the player's folder first: it is not used, and nothing blocks.
    const std::string taken = "/run/lock/quorvel-" + std::to_string(player);
    ASSERT_EQ(::mkdir(taken.c_str(), 0777), 0);
    ASSERT_EQ(::chown(taken.c_str(), other, other), 0);
    MachineLock root(0x5eed, thing, player, false);
    EXPECT_EQ(root.state(), State::Held) << root.failure();
    EXPECT_EQ(root.path().rfind("/tmp/quorvel-", 0), 0u) << root.path();
    clear();
}

}  // namespace
}  // namespace qv::test
