// The report, byte for byte, as the window writes it from what it gathered at start.

#include <QListWidget>
#include <QPushButton>
#include <cerrno>

#include "platform/faulty_filesystem.h"
#include "tests/support/temp_dir.h"
#include "tests/troubleshooter/troubleshooter_fixture.h"
#include "troubleshooter/cache_info.h"

namespace qv::troubleshooter::test {
namespace {

constexpr const char* kGuidA = "0123456789ABCDEF0123456789ABCDEF";
constexpr const char* kGuidB = "FEDCBA9876543210FEDCBA9876543210";

class Report : public TroubleshooterTest {
  protected:
    // Starts the window on `cache` and saves the report; returns its text.
    std::string saveReport(const std::string& cache) {
        picker.folders.push_back(cache);
        start();
        control<QPushButton>("cmdSave")->click();
        return report();
    }
};

TEST_F(Report, FullCase) {
    const std::string install = tmp / "Quorvel Install";
    makeDirs(install);
    writeFile(install + "/Quorvel.log", "Run started\r\nMoved DM-Deck16][.unr\r\n\r\nlast line");
    setGameFolder("/games/ut/");
    setQuorvel("/games/ut/Cache", install);
    const std::string cache =
        makeCache("Cache",
                  "[Cache]\r\n"
                  "0123456789ABCDEF0123456789ABCDEF=DM-Deck16][.unr\r\n"
                  "\r\n"
                  "FEDCBA9876543210FEDCBA9876543210=Skins.utx\r\n",
                  {std::string(kGuidB) + ".uxx", std::string(kGuidA) + ".uxx"});
    EXPECT_EQ(saveReport(cache), crlf({"Quorvel Troubleshooter Info",
                                       kEquals,
                                       "",
                                       "<Windows Version>: Linux 6.1.0-test",
                                       kRule,
                                       "<UT Reg Dir>: /games/ut/",
                                       kRule,
                                       "<Quorvel Reg Dir>: /games/ut/Cache",
                                       kRule,
                                       "<Quorvel InstallPath>: " + install,
                                       kRule,
                                       "<Cache.INI Contents>:    ",
                                       "[Cache]",
                                       "0123456789ABCDEF0123456789ABCDEF=DM-Deck16][.unr",
                                       "",
                                       "FEDCBA9876543210FEDCBA9876543210=Skins.utx",
                                       kRule,
                                       "<Cache Directory listing of " + cache + ">:",
                                       std::string(kGuidA) + ".uxx",
                                       std::string(kGuidB) + ".uxx",
                                       "cache.ini",
                                       kRule,
                                       "<Quorvel.LOG from " + install + ">",
                                       "Run started",
                                       "Moved DM-Deck16][.unr",
                                       "",
                                       "last line",
                                       kRule,
                                       "*** END OF INFO ***"}));
    EXPECT_TRUE(boxes.shown.empty());
    // Walking the lists leaves the last entry of each selected.
    EXPECT_EQ(control<QListWidget>("lstCacheINI")->currentRow(), 3);
    EXPECT_EQ(control<QListWidget>("lstCacheDir")->currentRow(), 2);
}

TEST_F(Report, EmptyInstallPathHasNoLogSection) {
    setGameFolder("/games/ut/");
    const std::string cache = makeCache("Cache", "[Cache]\n");
    EXPECT_EQ(
        saveReport(cache),
        crlf({"Quorvel Troubleshooter Info", kEquals, "", "<Windows Version>: Linux 6.1.0-test",
              kRule, "<UT Reg Dir>: /games/ut/", kRule, "<Quorvel Reg Dir>: ", kRule,
              "<Quorvel InstallPath>: ", kRule, "<Cache.INI Contents>:    ", "[Cache]", kRule,
              "<Cache Directory listing of " + cache + ">:", "cache.ini", kRule,
              "*** END OF INFO ***"}));
}

// An empty cache.ini is followed by the rule; only plain files are listed.
TEST_F(Report, EmptyCacheIniAndPlainFilesOnly) {
    setGameFolder("/g/");
    const std::string cache = makeCache("Cache", "", {"b.uxx", "a.uxx", ".hidden"});
    makeDirs(cache + "/Sub");
    writeFile(cache + "/Sub/inner.uxx", "x");
    makeDirs(cache + "/.hiddenfolder");
    const std::string text = saveReport(cache);
    EXPECT_EQ(window->cacheDirEntries(), (std::vector<std::string>{"a.uxx", "b.uxx", "cache.ini"}));
    EXPECT_NE(
        text.find("<Cache.INI Contents>:    \r\n" + kRule + "\r\n<Cache Directory listing of " +
                  cache + ">:\r\na.uxx\r\nb.uxx\r\ncache.ini\r\n" + kRule +
                  "\r\n*** END OF INFO ***\r\n"),
        std::string::npos)
        << text;
    for (const char* absent : {"inner", "hidden", "Sub"})
        EXPECT_EQ(text.find(absent), std::string::npos) << absent;
}

TEST_F(Report, SavingTwiceReplacesTheFileWithTheCurrentState) {
    setGameFolder("/g/");
    setQuorvel("/old/cache", "");
    picker.folders.push_back(makeCache("Cache", "[Cache]\r\n"));
    // A report under another letter case would leave two reports side by side.
    writeFile(home + "/cacheinfo.TXT", "stale");
    writeFile(home + "/notes.txt", "mine");
    start();
    auto* save = control<QPushButton>("cmdSave");
    auto* mail = control<QPushButton>("cmdMail");

    save->click();
    const std::string first = report();
    EXPECT_NE(first.find("<Quorvel Reg Dir>: /old/cache\r\n"), std::string::npos);
    EXPECT_FALSE(qv::test::fileExists(home + "/cacheinfo.TXT"));
    EXPECT_EQ(readFile(home + "/notes.txt"), "mine");
    EXPECT_TRUE(mail->isEnabled());

    boxes.answers.push_back(true);
    control<QPushButton>("cmdReset")->click();
    save->click();
    const std::string second = report();
    EXPECT_NE(second.find("<Quorvel Reg Dir>: \r\n"), std::string::npos);
    EXPECT_EQ(second.size(), first.size() - std::string("/old/cache").size());
    EXPECT_EQ(qv::test::listNames(home), (std::vector<std::string>{"CacheInfo.txt", "notes.txt"}));
    EXPECT_TRUE(mail->isEnabled());
    EXPECT_EQ(mail->text(), QStringLiteral("&Email the Info"));
}

TEST_F(Report, AFailedSaveSaysWhyAndKeepsMailDisabled) {
    setGameFolder("/g/");
    picker.folders.push_back(makeCache("Cache", "[Cache]\r\n"));
    const std::string gone = tmp / "no such home";
    ::setenv("HOME", gone.c_str(), 1);
    start();
    control<QPushButton>("cmdSave")->click();

    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].title, "Quorvel Troubleshooter");
    EXPECT_EQ(boxes.shown[0].text, "The report could not be saved to " + gone +
                                       "/CacheInfo.txt: No such file or directory");
    auto* mail = control<QPushButton>("cmdMail");
    EXPECT_FALSE(mail->isEnabled());
    EXPECT_EQ(mail->text(), QStringLiteral("** Save the file FIRST **"));
}

TEST_F(Report, UnreadableCacheIniSaysSoInTheList) {
    setGameFolder("/g/");
    const std::string cache = makeCache("Cache", "[Cache]\r\n", {"a.uxx"});
    picker.folders.push_back(cache);
    FaultyFileSystem faulty(realFileSystem());
    faulty.failAt(1, EACCES);  // the first counted operation is reading cache.ini
    Services s = services();
    s.fs = &faulty;
    start(s);

    EXPECT_EQ(faulty.lastFailedOperation(), "readAll");
    EXPECT_EQ(window->cacheIniEntries(),
              std::vector<std::string>{"(cache.ini could not be read: Permission denied)"});
    EXPECT_EQ(window->cacheDirEntries(), (std::vector<std::string>{"a.uxx", "cache.ini"}));
    EXPECT_EQ(control<QListWidget>("lstCacheINI")->count(), 1);
}

TEST(CacheInfoReaders, LineEndsOfEveryKindAndLogsThatAreNotThere) {
    qv::test::TempDir dir;
    writeFile(dir / "cache.ini", "a\r\nb\rc\n\r\n\nd");
    EXPECT_EQ(readCacheIni(realFileSystem(), dir / "cache.ini"),
              (std::vector<std::string>{"a", "b", "c", "", "", "d"}));
    // A missing or unreadable log gives no lines.
    EXPECT_TRUE(readLogLines(realFileSystem(), "").empty());
    EXPECT_TRUE(readLogLines(realFileSystem(), dir.path()).empty());
    makeDirs(dir / "Quorvel.log");  // a folder where the log should be
    EXPECT_TRUE(readLogLines(realFileSystem(), dir.path()).empty());
    // The name the main program writes; another letter case is another file.
    qv::test::TempDir other;
    writeFile(other / "quorvel.log", "lower case\n");
    EXPECT_TRUE(readLogLines(realFileSystem(), other.path()).empty());
}

}  // namespace
}  // namespace qv::troubleshooter::test
