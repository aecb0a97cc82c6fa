// Walkthroughs of the troubleshooter: start-up, its lists, the report on disk, mail, reset.

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <cerrno>
#include <map>
#include <memory>

#include "platform/textfile.h"
#include "settings/cls_registry.h"
#include "tests/support/faulty_filesystem.h"
#include "tests/support/scripted_boxes.h"
#include "tests/support/temp_dir.h"
#include "tests/widgets/qt_app.h"
#include "troubleshooter/cache_info.h"
#include "troubleshooter/frm_main.h"
#include "widgets/browse_for_folder.h"
#include "widgets/qt_dialogs.h"

namespace qv::troubleshooter {
namespace {

using qv::test::makeDirs;
using qv::test::readFile;
using qv::test::writeFile;
using Texts = std::vector<std::string>;

std::string crlf(const Texts& lines) {
    std::string text;
    for (const auto& l : lines) text += l + "\r\n";
    return text;
}

// A home folder and a registry file of its own, a scripted picker and message boxes, and a
// record of what the window asked the desktop to open.
class Troubleshooter : public ::testing::Test {
  protected:
    void SetUp() override {
        qv::test::ensureQtApp();
        makeDirs(home);
    }
    // A cache folder with the given cache.ini text (none when `ini` is null) and files.
    std::string makeCache(const std::string& name, const char* ini, const Texts& files = {}) {
        const std::string folder = tmp / name;
        makeDirs(folder);
        if (ini) writeFile(folder + "/cache.ini", ini);
        for (const auto& f : files) writeFile(folder + "/" + f, "data of " + f);
        return folder;
    }
    frmMain& start(bool kernelAnswers = true) {
        Services s;
        s.openUrl = [this](const QUrl& url) { return opened.push_back(url), launches; };
        s.versionQuery = [kernelAnswers](VersionInfo& v) {
            v.platformId = kPlatformKernel, v.kernelName = "Linux", v.kernelRelease = "6.1.0-test";
            return kernelAnswers;
        };
        s.fs = fs;
        s.pickReportFile = [this](const std::string&) { return reportChoice; };
        window = std::make_unique<frmMain>(std::move(s));
        window->Form_Load();
        return *window;
    }
    QPushButton* button(const char* name) { return window->findChild<QPushButton*>(name); }
    Texts shown(const char* list) { return qv::test::shownTexts(*window, list); }

    qv::test::TempDir tmp;
    std::string home = tmp / "home";
    qv::test::ScopedEnv homeEnv{"HOME", home}, dataEnv{"XDG_DATA_HOME", tmp / "data"};
    qv::test::ScopedEnv registryEnv{"QUORVEL_REGISTRY", tmp / "registry.reg"};
    ScriptedFolderPicker picker;
    ScriptedMessageBoxes boxes;
    std::vector<QUrl> opened;
    bool launches = true;      // whether the desktop finds a program for what is opened
    std::string reportChoice;  // where the user saves the report when its place fails
    FileSystem* fs = nullptr;
    std::unique_ptr<frmMain> window;
};

// Guards: a start that goes on without a game folder or a cache index, a folder stored without
// its separator, lists that show subfolders or hidden files or lose index lines; focus on a
// button that overwrites the game folder, folder boxes that cannot be read or copied, a missing
// log left without a word.
TEST_F(Troubleshooter, StartUpAsksUntilItHasAGameFolderAndACacheIndex) {
    const std::string game = tmp / "ut", noIndex = makeCache("NoIndex", nullptr, {"stray.uxx"});
    makeDirs(game);
    makeDirs(tmp / "nolog");
    clsRegistry::programKey().WriteEntry("InstallPath", tmp / "nolog");
    const std::string cache = makeCache("Cache", "[Cache]\r\n\r\nA=b.unr", {"b.uxx", ".hidden"});
    makeDirs(cache + "/Sub");
    picker.folders = {"", game, "", noIndex, cache};
    start();
    ASSERT_EQ(picker.prompts.size(), 5u);
    EXPECT_EQ(picker.prompts[1] + picker.prompts[2],
              "Choose the root UT folder:Choose the UT Cache folder:");
    EXPECT_EQ(boxes.texts(), (Texts{"You MUST select the root UT folder..",
                                    "You MUST select the UT Cache folder..",
                                    "Cache.INI not found in " + noIndex + " ...try again."}));
    EXPECT_EQ(clsRegistry::gameKey().ReadEntry("Folder", ""), game + "/");
    EXPECT_EQ(shown("lstCacheINI"), (Texts{"[Cache]", "", "A=b.unr"}));
    EXPECT_EQ(shown("lstCacheDir"), (Texts{"b.uxx", "cache.ini"}));
    EXPECT_EQ(window->focusWidget(), button("cmdSave"));
    EXPECT_EQ(picker.starts.back(), game + "/Cache");  // the game's own, the picker's start
    for (const char* name : {"txtUTRegDir", "txtCacheRegDir"}) {
        auto* box = window->findChild<QLineEdit*>(name);
        EXPECT_TRUE(box->isEnabled() && box->isReadOnly()) << name;
    }
    EXPECT_EQ(window->module1().logNote, "(no log: " + tmp / "nolog/Quorvel.log does not exist)");
}

// Guards: a report that drops, reorders or re-ends lines, a log cut short or holding other
// caches' runs or more than the last five, another file whose
// name differs only in letter case deleted, a mail offered before the file exists, the
// wrong log shown, a reset answered No that clears or one that clears more than it should.
TEST_F(Troubleshooter, SavedReportMailLogAndReset) {
    const std::string install = tmp / "Quorvel Install";
    makeDirs(install);
    // The log every cache shares: a run on another cache, then seven on this one (the first two
    // left out), the last long enough to show a log cut short.
    const auto run = [](const std::string& cache, const std::string& text) {
        return Texts{"{{ Using " + cache + " as the CACHE directory }}", "", text};
    };
    Texts log = run("/other/Cache", "not this cache's"), kept;
    for (int i = 1; i <= 7; ++i) {
        const Texts one = run(tmp / "Cache/", "run " + std::to_string(i));
        log.insert(log.end(), one.begin(), one.end());
        if (i > 2) kept.insert(kept.end(), one.begin(), one.end());
    }
    for (int i = 1; i <= 600; ++i) kept.push_back("entry " + std::to_string(i));
    log.insert(log.end(), kept.end() - 600, kept.end());
    writeFile(install + "/Quorvel.log", crlf(log));
    clsRegistry::gameKey().WriteEntry("Folder", "/games/ut/");
    clsRegistry::programKey().WriteEntry("CacheDir", "/games/ut/Cache");
    clsRegistry::programKey().WriteEntry("InstallPath", install);
    picker.folders = {makeCache("Cache", "[Cache]\r\nAB=DM-][.unr\n\rCD=Skins.utx",
                                {"CD.uxx", "AB.uxx", "line\nfeed", "DM-Caf\xe9.uxx"})};
    writeFile(home + "/cacheinfo.TXT", "stale");
    start();
    EXPECT_FALSE(button("cmdMail")->isEnabled());
    EXPECT_EQ(button("cmdSave")->text(), QStringLiteral("&Save to ~/CacheInfo.txt"));
    button("cmdSave")->click();
    auto* saved = window->findChild<QLabel*>("lblSaved");
    EXPECT_TRUE(saved->text().startsWith(QStringLiteral("Saved to ~/CacheInfo.txt at ")));

    const std::string rule(56, '-');
    // clang-format off
    Texts expected = {"Quorvel Troubleshooter Info", std::string(36, '='), "",
        "<Windows Version>: Linux 6.1.0-test", rule, "<UT Reg Dir>: /games/ut/", rule,
        "<Quorvel Reg Dir>: /games/ut/Cache", rule, "<Quorvel InstallPath>: " + install, rule,
        "<Cache.INI Contents>:    ", "[Cache]", "AB=DM-][.unr\\x0A", "CD=Skins.utx", rule,
        "<Cache Directory listing of " + tmp / "Cache" + ">:", "AB.uxx", "CD.uxx", "DM-Caf\xe9.uxx", "cache.ini",
        "line\\x0Afeed", rule, "<Quorvel.LOG from " + install + ">"};
    // clang-format on
    expected.push_back("(the last 5 of 7 runs on " + tmp / "Cache" +
                       "; 3 runs left out, 1 of them on other cache folders)");
    expected.insert(expected.end(), kept.begin(), kept.end());
    expected.insert(expected.end(), {rule, "*** END OF INFO ***"});
    EXPECT_EQ(readFile(home + "/CacheInfo.txt"), crlf(expected));
    EXPECT_EQ(qv::test::listNames(home), (Texts{"CacheInfo.txt", "cacheinfo.TXT"}));
    EXPECT_EQ(readFile(home + "/cacheinfo.TXT"), "stale");
    EXPECT_EQ(shown("lstCacheDir")[2], "DM-Caf\u00e9.uxx");  // shown readably, written as found

    // Every button its own Alt key, the mail button's included.
    std::map<QChar, QString> keys;
    for (const QPushButton* b : window->findChildren<QPushButton*>()) {
        const qsizetype amp = b->text().indexOf(QLatin1Char('&'));
        if (amp < 0) continue;
        const QChar key = b->text().at(amp + 1).toLower();
        EXPECT_TRUE(keys.emplace(key, b->text()).second) << b->text().toStdString();
    }
    EXPECT_EQ(keys[QLatin1Char('m')], QStringLiteral("E&mail the Info"));
    button("cmdMail")->click();
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].scheme() + ":" + opened[0].path(),
              "mailto:quorvel-support@velmora.example");
    EXPECT_TRUE(opened[0].query(QUrl::FullyDecoded).contains(QStringLiteral("CacheInfo.txt")));
    launches = false;  // no mail program: said so, with what to do instead
    button("cmdMail")->click();
    EXPECT_EQ(boxes.texts(), Texts{"No mail program could be started. Please mail ~/CacheInfo.txt "
                                   "to quorvel-support@velmora.example yourself."});
    launches = true;
    boxes.shown.clear();
    button("cmdViewLog")->click();
    EXPECT_EQ(opened.back().toLocalFile().toStdString(), install + "/Quorvel.log");

    boxes.answers = {false, true};  // a reset answered No, then Yes: the cache folder only
    button("cmdReset")->click();
    EXPECT_EQ(clsRegistry::programKey().ReadEntry("CacheDir", ""), "/games/ut/Cache");
    EXPECT_TRUE(boxes.shown.back().defaultNo);  // Enter alone does not clear it
    button("cmdReset")->click();
    EXPECT_EQ(clsRegistry::programKey().ReadEntry("CacheDir", "<empty>"), "<empty>");
    EXPECT_EQ(clsRegistry::programKey().ReadEntry("InstallPath", ""), install);
}

// Guards: a report that takes another cache's lines or loses its own when two runs write the
// shared log at once (a short run ending inside a long one's, or the long one ending first), the
// log read whole.
TEST(SharedRunLog, EachCachesReportHoldsItsOwnRunsWhole) {
    qv::test::TempDir tmp;
    const std::string path = tmp / "Quorvel.log";
    for (const bool longEndsFirst : {false, true}) {
        writeFile(path, "an older run's log\r\n");
        struct Run {
            std::string cache;
            std::unique_ptr<OutFile> file;
            Texts lines;
            void line(const std::string& text) {
                lines.push_back(text);
                ASSERT_TRUE(file->write(text + "\r\n").ok());
            }
        } a{"/games/A/Cache", nullptr, {}}, b{"/games/B/Cache", nullptr, {}};
        for (Run* r : {&a, &b}) {
            bool alone = false;
            Result<std::unique_ptr<OutFile>> opened =
                realFileSystem().openSharedLog(path, {}, alone);
            ASSERT_TRUE(opened.ok()) << opened.status.text;
            EXPECT_EQ(alone, r == &a);
            r->file = std::move(opened.value);
            r->line("{{ Using " + r->cache + " as the CACHE directory }}");
            r->line("");
        }
        for (int i = 0; i < 3000; ++i) {
            a.line("AAAAAAAAAAAAAAAAAAAAAAAAAAAAAA.uxx moved " + std::to_string(i));
            if (i % 30 == 0) b.line("B" + std::to_string(i) + ".uxx moved");
        }
        Run& first = longEndsFirst ? a : b;
        Run& second = longEndsFirst ? b : a;
        first.line("A new CACHE.INI was created in " + first.cache);
        EXPECT_TRUE(first.file->close().ok());
        second.line("A new CACHE.INI was created in " + second.cache);
        EXPECT_TRUE(second.file->close().ok());
        std::string note;
        const Texts log = splitLines(readFile(path));
        EXPECT_EQ(runsOnCache(log, a.cache, kReportRuns, note), a.lines) << longEndsFirst;
        EXPECT_EQ(runsOnCache(log, b.cache, kReportRuns, note), b.lines) << longEndsFirst;
        EXPECT_EQ(log.size(), a.lines.size() + b.lines.size());
    }
}

// Guards: an unreadable index shown as empty, a start broken by a system that cannot be named,
// a failed save reported as done with the mail offered.
TEST_F(Troubleshooter, WhatCannotBeReadOrWrittenIsSaid) {
    clsRegistry::gameKey().WriteEntry("Folder", "/g/");
    picker.folders = {makeCache("Cache", "[Cache]\r\n", {"a.uxx"})};
    FaultyFileSystem faulty(realFileSystem());
    faulty.failAt(1, EACCES);  // the first counted operation is reading cache.ini
    fs = &faulty;
    ::setenv("HOME", (tmp / "gone/").c_str(), 1);  // joined without a doubled separator
    start(false);
    EXPECT_EQ(shown("lstCacheINI"), Texts{"(cache.ini could not be read: Permission denied)"});
    EXPECT_EQ(window->module1().strWinVersion,
              "(not known: Cannot get operating system name, error 0x800443E7)");
    button("cmdSave")->click();  // answered No: nothing saved, nothing to mail
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, "The report could not be saved to " + tmp / "gone" +
                                       "/CacheInfo.txt: No such file or directory\n\n"
                                       "Save it somewhere else?");
    EXPECT_FALSE(button("cmdMail")->isEnabled());
    // Saved elsewhere, the mail names that file.
    boxes.answers = {true};
    reportChoice = tmp / "Caf\xe9 report.txt";
    button("cmdSave")->click();
    EXPECT_EQ(readFile(reportChoice).rfind("Quorvel Troubleshooter Info\r\n", 0), 0u);
    ASSERT_TRUE(button("cmdMail")->isEnabled());
    button("cmdMail")->click();
    EXPECT_TRUE(
        opened.back().query(QUrl::FullyDecoded).contains(QStringLiteral("Caf\u00e9 report")));
}

}  // namespace
}  // namespace qv::troubleshooter
