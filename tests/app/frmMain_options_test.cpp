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
        addPackage("CTF-Face.unr");
        addPackage("Skaarj.utx");
        addPackage("Botpack.u");
        writeIndex();
    }
    QTimer* timer() const { return window->findChild<QTimer*>("Timer1"); }
};

TEST_F(Options, CommitReminderBlinksUntilTheListIsRebuilt) {
    load();
    child<QRadioButton>("optSelectOnly")->click();
    // Choosing the mode changes nothing in the list until the commit.
    EXPECT_EQ(shownRows()[1], (Shown{"Skaarj.utx", true, false}));
    EXPECT_EQ(labelText("lblRemind"), "");

    child<QCheckBox>("chkUTX")->click();
    EXPECT_EQ(labelText("lblRemind"), kReminderText);
    EXPECT_TRUE(timer()->isActive());
    EXPECT_EQ(timer()->interval(), 2500);
    window->Timer1_Timer();
    EXPECT_EQ(labelText("lblRemind"), "");
    window->Timer1_Timer();
    EXPECT_EQ(labelText("lblRemind"), kReminderText);

    buttonNamed("cmdCommitFileTypes")->click();
    EXPECT_FALSE(timer()->isActive());
    EXPECT_EQ(labelText("lblRemind"), "");
    EXPECT_EQ(shownRows(), (std::vector<Shown>{{"CTF-Face.unr", false, false},
                                               {"Skaarj.utx", true, false},
                                               {"Botpack.u", false, false}}));
    EXPECT_EQ(statusText(), "Found 1 files to process");
}

TEST_F(Options, CheckMarksSetByHandAreLostByACommit) {
    load();
    child<QRadioButton>("optSelectOnly")->click();
    child<QCheckBox>("chkU")->click();
    window->cmdUncheck_Click();
    window->fileList()->setData(window->fileList()->index(0, 0), Qt::Checked, Qt::CheckStateRole);
    window->cmdCommitFileTypes_Click();
    EXPECT_EQ(shownRows(), (std::vector<Shown>{{"CTF-Face.unr", false, false},
                                               {"Skaarj.utx", false, false},
                                               {"Botpack.u", true, false}}));
}

TEST_F(Options, SelectAllStopsTheReminderAndSelectsEverything) {
    load();
    child<QRadioButton>("optSelectOnly")->click();
    child<QCheckBox>("chkUNR")->click();
    window->cmdCommitFileTypes_Click();
    child<QCheckBox>("chkUTX")->click();
    ASSERT_TRUE(timer()->isActive());

    child<QRadioButton>("optSelectAll")->click();
    EXPECT_FALSE(timer()->isActive());
    EXPECT_EQ(labelText("lblRemind"), "");
    for (const char* box : {"chkU", "chkUAX", "chkUMX", "chkUNR", "chkUTX"})
        EXPECT_FALSE(child<QCheckBox>(box)->isEnabled()) << box;
    EXPECT_FALSE(buttonNamed("cmdCommitFileTypes")->isEnabled());
    EXPECT_EQ(statusText(), "Found 3 files to process");
}

TEST_F(Options, FolderBoxesFollowThePlacementModeAndKeepTheirTexts) {
    load();
    auto* txtMoveDir = child<ByteLineEdit>("txtMoveDir");
    auto* txtMoveDir2 = child<ByteLineEdit>("txtMoveDir2");
    child<QRadioButton>("optMoveDir")->click();
    EXPECT_FALSE(txtMoveDir->isHidden());
    EXPECT_FALSE(buttonNamed("cmdMoveDir")->isHidden());
    EXPECT_TRUE(txtMoveDir2->isHidden());
    QTest::keyClicks(txtMoveDir, "/one");

    child<QRadioButton>("optMoveDir2")->click();
    EXPECT_TRUE(txtMoveDir->isHidden());
    EXPECT_FALSE(txtMoveDir2->isHidden());
    EXPECT_FALSE(buttonNamed("cmdMoveDir2")->isHidden());

    child<QRadioButton>("optMoveNorm")->click();
    EXPECT_TRUE(txtMoveDir->isHidden());
    EXPECT_TRUE(txtMoveDir2->isHidden());
    EXPECT_EQ(txtMoveDir->bytes(), "/one");
}

TEST_F(Options, FolderButtonsFillTheirBoxUnlessCancelled) {
    load();
    child<QRadioButton>("optMoveDir")->click();
    window->findChild<ByteLineEdit*>("txtMoveDir")->setBytes("/kept");
    picker.folders = {""};
    buttonNamed("cmdMoveDir")->click();
    EXPECT_EQ(child<ByteLineEdit>("txtMoveDir")->bytes(), "/kept");
    picker.folders = {"/srv/packs/"};
    window->cmdMoveDir2_Click();
    EXPECT_EQ(child<ByteLineEdit>("txtMoveDir2")->bytes(), "/srv/packs");
    EXPECT_EQ(picker.prompts, (std::vector<std::string>{"Choose a folder:", "Choose a folder:"}));
}

TEST_F(Options, CacheFolderButtonRescansTheChosenFolder) {
    const std::string other = tmp / "Elsewhere";
    makeDirs(other);
    indexLines = {"[Cache]"};
    addPackage("AS-Frigate.unr", other);
    writeIndex(other);
    load();

    picker.folders = {""};
    buttonNamed("cmdCacheDir")->click();
    EXPECT_EQ(window->cacheDir(), game + "/Cache");
    EXPECT_EQ(shownRows().size(), 3u);

    picker.folders = {other};
    buttonNamed("cmdCacheDir")->click();
    EXPECT_EQ(window->cacheDir(), other);
    EXPECT_EQ(labelText("lblCacheDir"), other);
    EXPECT_EQ(shownRows(), (std::vector<Shown>{{"AS-Frigate.unr", true, false}}));
}

TEST_F(Options, PurgeAnsweredYesEmptiesTheCacheAndRescans) {
    load();
    const std::string oldIndex = readFile(cacheDir + "/cache.ini");
    boxes.answers = {true};
    buttonNamed("cmdPurgeNow")->click();
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, "Are you sure you want to DELETE all cache files?");
    EXPECT_EQ(readFile(cacheDir + "/cache.ini"), "[Cache]\r\n");
    EXPECT_EQ(readFile(cacheDir + "/cachebak.ini"), oldIndex);
    EXPECT_EQ(visibleNames(cacheDir), (std::vector<std::string>{"cache.ini", "cachebak.ini"}));
    const std::vector<std::string> lines = statusLines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], "All cache files have been deleted");
    EXPECT_EQ(window->fileList()->rowCount(), 0);
    EXPECT_EQ(statusText(), "Found 0 files to process");
    EXPECT_TRUE(buttonNamed("cmdPurgeNow")->isEnabled());
    EXPECT_TRUE(buttonNamed("cmdRun")->isEnabled());
}

TEST_F(Options, PurgeAnsweredNoChangesNothing) {
    load();
    const std::string oldIndex = readFile(cacheDir + "/cache.ini");
    boxes.answers = {false};
    window->cmdPurgeNow_Click();
    EXPECT_EQ(boxes.texts(),
              (std::vector<std::string>{"Are you sure you want to DELETE all cache files?",
                                        "Purge cancelled."}));
    EXPECT_EQ(readFile(cacheDir + "/cache.ini"), oldIndex);
    EXPECT_EQ(visibleNames(cacheDir).size(), 4u);
    EXPECT_TRUE(statusLines().empty());
    EXPECT_EQ(shownRows().size(), 3u);
}

TEST_F(Options, PurgeIntervalAndTemporaryFiles) {
    load();
    auto* days = child<ByteLineEdit>("txtPurgeCacheDays");
    days->clear();
    QTest::keyClicks(days, "7");
    buttonNamed("cmdSetPurge")->click();
    EXPECT_NE(readFile(game + "/System/UnrealTournament.ini").find("PurgeCacheDays=7"),
              std::string::npos);
    EXPECT_EQ(window->publicVariables().PurgeDaysText, "7");

    buttonNamed("cmdDelCacheTmp")->click();
    writeFile(game + "/a.tmp", std::string(1500, 'x'));
    buttonNamed("cmdDelCacheTmp")->click();
    EXPECT_EQ(boxes.texts(), (std::vector<std::string>{"No files found..",
                                                       "Deleted 1K of temporary cache files."}));
    EXPECT_FALSE(fileExists(game + "/a.tmp"));
}

}  // namespace
}  // namespace qv::apptest
