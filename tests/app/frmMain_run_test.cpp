#include <QProgressBar>
#include <QTest>

#include "tests/app/frmMain_fixture.h"

namespace qv::apptest {
namespace {

class Run : public MainWindowTest {};

TEST_F(Run, RunButtonMovesTheCheckedPackagesAndRebuildsTheList) {
    const std::string face = addPackage("CTF-Face.unr");
    const std::string skaarj = addPackage("Skaarj.utx");
    const std::string botpack = addPackage("Botpack.u");
    writeIndex();
    frmMain& w = load();
    // Leave the texture in the cache.
    w.fileList()->setData(w.fileList()->index(1, 0), Qt::Unchecked, Qt::CheckStateRole);

    button("cmdRun")->click();

    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(readFile(game + "/Maps/CTF-Face.unr"), "bytes of CTF-Face.unr");
    EXPECT_EQ(readFile(game + "/System/Botpack.u"), "bytes of Botpack.u");
    EXPECT_TRUE(fileExists(cacheDir + "/" + skaarj));
    EXPECT_FALSE(fileExists(cacheDir + "/" + face));

    // The status lines in order: each move, the package left behind, the index replaced.
    const std::vector<std::string> lines = statusLines();
    ASSERT_GE(lines.size(), 6u);
    EXPECT_EQ(lines[0], "**OLD** " + face + "  ---->  **NEW** " + game + "/Maps/CTF-Face.unr");
    EXPECT_EQ(lines[1], "**OLD** " + botpack + "  ---->  **NEW** " + game + "/System/Botpack.u");
    EXPECT_EQ(lines[2], skaarj + " {Skaarj.utx} was not moved.");
    EXPECT_EQ(lines[3], programFolder + "/Quorvel.log was created.");
    EXPECT_EQ(lines[4], cacheDir + "/CACHE.INI was renamed to CACHEBAK.INI");
    EXPECT_EQ(lines[5], "A new CACHE.INI was created in " + cacheDir);

    EXPECT_EQ(currentTab(), 0);
    EXPECT_EQ(labelText("Label1"), "Cache Directory = " + cacheDir);
    EXPECT_EQ(statusText(), "Done processing files");
    EXPECT_EQ(shownRows(), (std::vector<Shown>{{"Skaarj.utx", true, false}}));
    EXPECT_TRUE(button("cmdRun")->isEnabled());
    EXPECT_TRUE(menuEntry("mnuFileRun")->isEnabled());
    EXPECT_TRUE(button("cmdRescan")->isEnabled());
    EXPECT_TRUE(child<QProgressBar>("sbrProgress")->isHidden());
    EXPECT_EQ(button("cmdRun")->palette().color(QPalette::ButtonText), QColor(0, 0, 128));
}

// A run without an index, one with nothing checked, folder texts refused and trimmed.
TEST_F(Run, MenuEntryEmptyRunsAndFolderTexts) {
    fillCache({"CTF-Face.unr"});
    load();
    std::remove((cacheDir + "/cache.ini").c_str());
    button("cmdRun")->click();
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(statusText(), "Done processing files");
    EXPECT_FALSE(fileExists(programFolder + "/Quorvel.log"));
    EXPECT_EQ(shownRows().size(), 1u);  // no re-scan

    writeIndex();
    button("cmdUncheck")->click();
    menuEntry("mnuFileRun")->trigger();
    EXPECT_FALSE(fileExists(game + "/Maps/CTF-Face.unr"));
    EXPECT_EQ(shownRows(), (std::vector<Shown>{{"CTF-Face.unr", true, false}}));
    EXPECT_EQ(statusText(), "Done processing files");

    child<QTabWidget>("SSTab1")->setCurrentIndex(1);
    button("optMoveDir")->click();
    QTest::keyClicks(edit("txtMoveDir"), "/");
    button("cmdRun")->click();
    EXPECT_EQ(boxes.texts(), std::vector<std::string>{
                                 "You must select a minimum of a drive letter (example - D:)"});
    EXPECT_EQ(currentTab(), 1);
    EXPECT_TRUE(fileExists(cacheDir + "/cache.ini"));

    const std::string one = tmp / "one";
    edit("txtMoveDir")->setBytes(one + "/");
    edit("txtMoveDir2")->setBytes("/elsewhere/");
    button("cmdRun")->click();
    EXPECT_EQ(edit("txtMoveDir")->bytes(), one);
    EXPECT_EQ(edit("txtMoveDir2")->bytes(), "/elsewhere");
    EXPECT_EQ(readFile(one + "/CTF-Face.unr"), "bytes of CTF-Face.unr");
}

// While a run goes on the window keeps handling events, but nothing can start a second
// operation; a close asked for meanwhile waits for the run's end.
TEST_F(Run, NoSecondOperationWhileARunGoesOn) {
    for (int i = 0; i < 400; ++i) addPackage("DM-Map" + std::to_string(i) + ".unr");
    writeIndex();
    frmMain& w = load();
    w.show();

    struct Seen {
        bool called = false;
        bool busy = false;
        std::vector<bool> enabled;
        bool progressShown = false;
        std::string progressText;
    } seen;
    QTimer::singleShot(0, &w, [&] {
        seen.called = true;
        seen.busy = w.isBusy();
        for (const char* name : {"cmdRun", "cmdRescan", "cmdCommitFileTypes", "cmdCacheDir",
                                 "cmdPurgeNow", "cmdNMSave"})
            seen.enabled.push_back(button(name)->isEnabled());
        seen.enabled.push_back(menuEntry("mnuFileRun")->isEnabled());
        seen.enabled.push_back(menuEntry("mnuToolsSetUT")->isEnabled());
        auto* bar = child<QProgressBar>("sbrProgress");
        seen.progressShown = !bar->isHidden();
        seen.progressText = bar->text().toStdString();
        // Clicks that would start another operation do nothing.
        w.cmdRun_Click();
        w.cmdRescan_Click();
        w.cmdPurgeNow_Click();
        w.close();
    });
    w.cmdRun_Click();

    ASSERT_TRUE(seen.called);
    EXPECT_TRUE(seen.busy);
    EXPECT_EQ(seen.enabled, std::vector<bool>(8, false));
    EXPECT_TRUE(seen.progressShown);
    EXPECT_EQ(seen.progressText, "1 of 401");
    EXPECT_TRUE(boxes.shown.empty());  // the purge question never came
    EXPECT_EQ(test::listNames(game + "/Maps").size(), 400u);

    // The close took effect once the run had ended, and the options were saved.
    EXPECT_TRUE(w.isVisible());
    QTest::qWait(20);
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(storedOption("SelectAll"), "True");
}

}  // namespace
}  // namespace qv::apptest
