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

    buttonNamed("cmdRun")->click();

    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(readFile(game + "/Maps/CTF-Face.unr"), "bytes of CTF-Face.unr");
    EXPECT_EQ(readFile(game + "/System/Botpack.u"), "bytes of Botpack.u");
    EXPECT_TRUE(fileExists(cacheDir + "/" + skaarj));
    EXPECT_FALSE(fileExists(cacheDir + "/" + face));

    // The status lines in order: each move, the package left behind, the index replaced.
    const std::vector<std::string> lines = statusLines();
    ASSERT_GE(lines.size(), 6u);
    const std::string& runCache = cacheDir;  // the scan put it into lblCacheDir
    EXPECT_EQ(lines[0], "**OLD** " + face + "  ---->  **NEW** " + game + "/Maps/CTF-Face.unr");
    EXPECT_EQ(lines[1], "**OLD** " + botpack + "  ---->  **NEW** " + game + "/System/Botpack.u");
    EXPECT_EQ(lines[2], skaarj + " {Skaarj.utx} was not moved.");
    EXPECT_EQ(lines[3], programFolder + "/Quorvel.log was created.");
    EXPECT_EQ(lines[4], runCache + "/CACHE.INI was renamed to CACHEBAK.INI");
    EXPECT_EQ(lines[5], "A new CACHE.INI was created in " + runCache);

    EXPECT_EQ(child<QTabWidget>("SSTab1")->currentIndex(), 0);
    EXPECT_EQ(labelText("Label1"), "Cache Directory = " + runCache);
    EXPECT_EQ(statusText(), "Done processing files");
    EXPECT_EQ(shownRows(), (std::vector<Shown>{{"Skaarj.utx", true, false}}));
    EXPECT_TRUE(buttonNamed("cmdRun")->isEnabled());
    EXPECT_TRUE(menuEntry("mnuFileRun")->isEnabled());
    EXPECT_TRUE(buttonNamed("cmdRescan")->isEnabled());
    EXPECT_TRUE(child<QProgressBar>("sbrProgress")->isHidden());
    EXPECT_EQ(buttonNamed("cmdRun")->palette().color(QPalette::ButtonText), QColor(0, 0, 128));
}

TEST_F(Run, MenuEntryRunsTheSameWayAndUncheckedListMovesNothing) {
    addPackage("CTF-Face.unr");
    writeIndex();
    load();
    buttonNamed("cmdUncheck")->click();
    menuEntry("mnuFileRun")->trigger();
    EXPECT_FALSE(fileExists(game + "/Maps/CTF-Face.unr"));
    EXPECT_EQ(shownRows(), (std::vector<Shown>{{"CTF-Face.unr", true, false}}));
    EXPECT_EQ(statusText(), "Done processing files");
}

TEST_F(Run, FolderTextsAreCheckedAndTrimmed) {
    addPackage("CTF-Face.unr");
    writeIndex();
    load();
    child<QRadioButton>("optMoveDir")->click();
    QTest::keyClicks(child<ByteLineEdit>("txtMoveDir"), "/");
    buttonNamed("cmdRun")->click();
    EXPECT_EQ(boxes.texts(), std::vector<std::string>{
                                 "You must select a minimum of a drive letter (example - D:)"});
    EXPECT_EQ(child<QTabWidget>("SSTab1")->currentIndex(), 1);
    EXPECT_TRUE(fileExists(cacheDir + "/cache.ini"));

    const std::string one = tmp / "one";
    child<ByteLineEdit>("txtMoveDir")->setBytes(one + "/");
    child<ByteLineEdit>("txtMoveDir2")->setBytes("/elsewhere/");
    buttonNamed("cmdRun")->click();
    EXPECT_EQ(child<ByteLineEdit>("txtMoveDir")->bytes(), one);
    EXPECT_EQ(child<ByteLineEdit>("txtMoveDir2")->bytes(), "/elsewhere");
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
            seen.enabled.push_back(buttonNamed(name)->isEnabled());
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

TEST_F(Run, NoIndexEndsTheRunQuietly) {
    addPackage("CTF-Face.unr");
    writeIndex();
    load();
    std::remove((cacheDir + "/cache.ini").c_str());
    buttonNamed("cmdRun")->click();
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(statusText(), "Done processing files");
    EXPECT_FALSE(fileExists(programFolder + "/Quorvel.log"));
    EXPECT_EQ(shownRows().size(), 1u);  // no re-scan
}

}  // namespace
}  // namespace qv::apptest
