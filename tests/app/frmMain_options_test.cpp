#include <QTest>

#include "tests/app/frmMain_fixture.h"

namespace qv::apptest {
namespace {

constexpr const char* kReminderText =
    "Remember to click the 'Commit Changes to List' button before clicking 'Run'";

// The folder's files without the hidden ones (the cache folder's lock file).
std::vector<std::string> visibleNames(const std::string& folder) {
    std::vector<std::string> names;
    for (std::string& n : test::listNames(folder))
        if (n[0] != '.') names.push_back(std::move(n));
    return names;
}

class Options : public MainWindowTest {
  protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        fillCache({"CTF-Face.unr", "Skaarj.utx", "Botpack.u"});
    }
    QTimer* timer() const { return window->findChild<QTimer*>("Timer1"); }
};

TEST_F(Options, SelectionReminderCommitAndSelectAll) {
    load();
    button("optSelectOnly")->click();
    // Choosing the mode changes nothing in the list until the commit.
    EXPECT_EQ(shownRows()[1], (Shown{"Skaarj.utx", true, false}));
    EXPECT_EQ(labelText("lblRemind"), "");

    button("chkUTX")->click();
    EXPECT_EQ(labelText("lblRemind"), kReminderText);
    EXPECT_TRUE(timer()->isActive());
    EXPECT_EQ(timer()->interval(), 2500);
    window->Timer1_Timer();
    EXPECT_EQ(labelText("lblRemind"), "");
    window->Timer1_Timer();
    EXPECT_EQ(labelText("lblRemind"), kReminderText);

    button("cmdCommitFileTypes")->click();
    EXPECT_FALSE(timer()->isActive());
    EXPECT_EQ(labelText("lblRemind"), "");
    EXPECT_EQ(shownRows(), (std::vector<Shown>{{"CTF-Face.unr", false, false},
                                               {"Skaarj.utx", true, false},
                                               {"Botpack.u", false, false}}));
    EXPECT_EQ(statusText(), "Found 1 files to process");

    // Check marks set by hand are lost by a commit.
    button("chkU")->click();
    window->cmdUncheck_Click();
    window->fileList()->setData(window->fileList()->index(0, 0), Qt::Checked, Qt::CheckStateRole);
    window->cmdCommitFileTypes_Click();
    EXPECT_EQ(shownRows(), (std::vector<Shown>{{"CTF-Face.unr", false, false},
                                               {"Skaarj.utx", true, false},
                                               {"Botpack.u", true, false}}));

    // "Select all" stops the reminder and selects everything.
    button("chkUNR")->click();
    ASSERT_TRUE(timer()->isActive());
    button("optSelectAll")->click();
    EXPECT_FALSE(timer()->isActive());
    EXPECT_EQ(labelText("lblRemind"), "");
    for (const char* box : {"chkU", "chkUAX", "chkUMX", "chkUNR", "chkUTX"})
        EXPECT_FALSE(button(box)->isEnabled()) << box;
    EXPECT_FALSE(button("cmdCommitFileTypes")->isEnabled());
    EXPECT_EQ(statusText(), "Found 3 files to process");
}

TEST_F(Options, FolderBoxesFolderButtonsAndTheCacheFolder) {
    const std::string other = tmp / "Elsewhere";
    makeDirs(other);
    indexLines = {"[Cache]"};
    addPackage("AS-Frigate.unr", other);
    writeIndex(other);
    load();
    button("optMoveDir")->click();
    EXPECT_FALSE(edit("txtMoveDir")->isHidden());
    EXPECT_FALSE(button("cmdMoveDir")->isHidden());
    EXPECT_TRUE(edit("txtMoveDir2")->isHidden());
    QTest::keyClicks(edit("txtMoveDir"), "/one");
    button("optMoveDir2")->click();
    EXPECT_TRUE(edit("txtMoveDir")->isHidden());
    EXPECT_FALSE(edit("txtMoveDir2")->isHidden());
    EXPECT_FALSE(button("cmdMoveDir2")->isHidden());
    button("optMoveNorm")->click();
    EXPECT_TRUE(edit("txtMoveDir")->isHidden());
    EXPECT_TRUE(edit("txtMoveDir2")->isHidden());
    EXPECT_EQ(edit("txtMoveDir")->bytes(), "/one");

    // The folder buttons fill their box unless cancelled.
    picker.folders = {"", "/srv/packs/"};
    button("cmdMoveDir")->click();
    EXPECT_EQ(edit("txtMoveDir")->bytes(), "/one");
    window->cmdMoveDir2_Click();
    EXPECT_EQ(edit("txtMoveDir2")->bytes(), "/srv/packs");
    EXPECT_EQ(picker.prompts, (std::vector<std::string>{"Choose a folder:", "Choose a folder:"}));

    // The cache folder button re-scans the chosen folder.
    picker.folders = {""};
    button("cmdCacheDir")->click();
    EXPECT_EQ(window->cacheDir(), game + "/Cache");
    EXPECT_EQ(shownRows().size(), 3u);
    picker.folders = {other};
    button("cmdCacheDir")->click();
    EXPECT_EQ(window->cacheDir(), other);
    EXPECT_EQ(labelText("lblCacheDir"), other);
    EXPECT_EQ(shownRows(), (std::vector<Shown>{{"AS-Frigate.unr", true, false}}));
}

TEST_F(Options, PurgeIntervalTemporaryFilesAndPurge) {
    load();
    auto* days = edit("txtPurgeCacheDays");
    days->clear();
    QTest::keyClicks(days, "7");
    button("cmdSetPurge")->click();
    EXPECT_NE(readFile(game + "/System/UnrealTournament.ini").find("PurgeCacheDays=7"),
              std::string::npos);
    EXPECT_EQ(window->publicVariables().PurgeDaysText, "7");

    button("cmdDelCacheTmp")->click();
    writeFile(game + "/a.tmp", std::string(1500, 'x'));
    button("cmdDelCacheTmp")->click();
    EXPECT_FALSE(fileExists(game + "/a.tmp"));

    const std::string oldIndex = readFile(cacheDir + "/cache.ini");
    boxes.answers = {false};
    window->cmdPurgeNow_Click();
    EXPECT_EQ(boxes.texts(),
              (std::vector<std::string>{"No files found..", "Deleted 1K of temporary cache files.",
                                        "Are you sure you want to DELETE all cache files?",
                                        "Purge cancelled."}));
    EXPECT_EQ(readFile(cacheDir + "/cache.ini"), oldIndex);
    EXPECT_EQ(visibleNames(cacheDir).size(), 4u);
    EXPECT_TRUE(statusLines().empty());
    EXPECT_EQ(shownRows().size(), 3u);

    boxes.shown.clear();
    boxes.answers = {true};
    button("cmdPurgeNow")->click();
    EXPECT_EQ(boxes.texts(),
              std::vector<std::string>{"Are you sure you want to DELETE all cache files?"});
    EXPECT_EQ(readFile(cacheDir + "/cache.ini"), "[Cache]\r\n");
    EXPECT_EQ(readFile(cacheDir + "/cachebak.ini"), oldIndex);
    EXPECT_EQ(visibleNames(cacheDir), (std::vector<std::string>{"cache.ini", "cachebak.ini"}));
    ASSERT_GE(statusLines().size(), 3u);
    EXPECT_EQ(statusLines()[0], "All cache files have been deleted");
    EXPECT_EQ(window->fileList()->rowCount(), 0);
    EXPECT_EQ(statusText(), "Found 0 files to process");
    EXPECT_TRUE(button("cmdPurgeNow")->isEnabled());
    EXPECT_TRUE(button("cmdRun")->isEnabled());
}

}  // namespace
}  // namespace qv::apptest
