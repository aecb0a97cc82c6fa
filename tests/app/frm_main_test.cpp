// Walkthroughs of the main and About windows: what a user does, sees, and finds on disk.

#include "app/frm_main.h"

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QHeaderView>
#include <QHelpEvent>
#include <QListWidget>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabWidget>
#include <QTest>
#include <QToolTip>
#include <QTreeView>
#include <atomic>
#include <filesystem>
#include <memory>

#include "app/byte_line_edit.h"
#include "app/file_list_model.h"
#include "platform/textfile.h"
#include "tests/app/main_window_fixture.h"

namespace qv {
namespace {

// Guards: a check mark that reaches the wrong row of a sorted list, a package moved to the
// wrong type folder, an unchecked one moved, an index that keeps moved lines or loses kept
// ones, no index backup, a status that claims a move of the package left behind.
TEST_F(MainWindow, FileListCheckUncheckSortAndRun) {
    const Texts files =
        fill({"CTF-Face.unr", "Skaarj.utx", "botpack.u", "Organic.uax", "Mech8.umx"});
    frmMain& w = load();
    w.show();
    // One date format in the window: the status bar's day as the list shows today's files.
    const std::string date = rows(All, 1)[0];
    EXPECT_EQ(date.rfind(label("sbrDate") + " ", 0), 0u) << date;
    QAbstractItemModelTester tester(w.fileList(),
                                    QAbstractItemModelTester::FailureReportingMode::Fatal);
    click("cmdUncheck");
    EXPECT_TRUE(rows(Checked).empty());
    click("cmdCheck");
    EXPECT_EQ(rows(Checked).size(), 5u);

    // The name column's header sorts without regard to letter case.
    QTreeView* view = child<QTreeView>("ListView1");
    QTest::mouseClick(view->header()->viewport(), Qt::LeftButton, {}, QPoint(20, 5));
    EXPECT_EQ(rows(),
              (Texts{"botpack.u", "CTF-Face.unr", "Mech8.umx", "Organic.uax", "Skaarj.utx"}));
    view->model()->setData(rowOf("Skaarj.utx"), Qt::Unchecked, Qt::CheckStateRole);
    // Columns as wide as their texts in a larger font; a name cut by a narrowed column shows
    // whole in its tooltip.
    QFont large = w.font();
    large.setPointSize(large.pointSize() * 2);
    w.setFont(large);
    EXPECT_GE(view->columnWidth(1), view->sizeHintForIndex(view->model()->index(0, 1)).width());
    // No header cut ("Never Move?"); the sorted column's beside its arrow, which the others
    // do not draw.
    QHeaderView* header = view->header();
    const auto caption = [header](int c) {
        if (c == header->sortIndicatorSection()) return header->sectionSizeHint(c);
        header->setSortIndicatorShown(false);
        const int plain = header->sectionSizeHint(c);
        header->setSortIndicatorShown(true);
        return plain;
    };
    for (int c = 0; c < FileListModel::Package; ++c)
        EXPECT_GE(view->columnWidth(c), caption(c)) << c;
    view->setColumnWidth(0, 40);
    const QRect cell = view->visualRect(rowOf("CTF-Face.unr"));
    QHelpEvent tip(QEvent::ToolTip, cell.center(), view->viewport()->mapToGlobal(cell.center()));
    QCoreApplication::sendEvent(view->viewport(), &tip);
    EXPECT_EQ(QToolTip::text(), QStringLiteral("CTF-Face.unr"));

    // A run of nothing does not start: the index and its backup stay as they are.
    click("cmdUncheck");
    click("cmdRun");
    EXPECT_EQ(boxes.texts(),
              Texts{"There is nothing to run: no package is checked in the File List."});
    EXPECT_FALSE(test::fileExists(cache + "/cachebak.ini"));
    click("cmdCheck");
    view->model()->setData(rowOf("Skaarj.utx"), Qt::Unchecked, Qt::CheckStateRole);
    boxes.shown.clear();

    const std::string oldIndex = readFile(cache + "/cache.ini");
    QTest::mouseClick(child("cmdRun"), Qt::LeftButton);
    // The focus is on the list in view, not on Run (a Space would start a second run that
    // replaces the backup) nor on Exit (where it would quit).
    EXPECT_EQ(w.focusWidget(), child<QWidget>("List1"));
    QTest::keyClick(w.focusWidget(), Qt::Key_Space);
    EXPECT_TRUE(boxes.shown.empty());
    for (const std::string moved :
         {"Maps/CTF-Face.unr", "System/botpack.u", "Sounds/Organic.uax", "Music/Mech8.umx"})
        EXPECT_TRUE(endsWith(readFile(game + "/" + moved),
                             "bytes of " + moved.substr(moved.find('/') + 1)));
    EXPECT_EQ(visible(cache).size(), 3u);  // the package left, the index and its backup
    EXPECT_TRUE(test::fileExists(cache + "/" + files[1]));
    EXPECT_EQ(readFile(cache + "/cache.ini"),
              "[Cache]\r\n" + files[1].substr(0, 32) + "=Skaarj.utx\r\n");
    EXPECT_EQ(readFile(cache + "/cachebak.ini"), oldIndex);
    const Texts status = test::shownTexts(w, "List1");
    ASSERT_GE(status.size(), 5u);
    EXPECT_EQ(status[4], files[1] + " {Skaarj.utx} was not moved.");
    EXPECT_EQ(rows(), Texts{"Skaarj.utx"});
}

// Guards: a question that does not name the game's program and process, Yes as its default, a
// No that changes anything or says nothing, a Yes that does not run; the game started after the
// list was read not noticed, the count lost beside it (a re-scan too).
TEST_F(MainWindow, RunWhileTheGameRunsAsksFirstAndNoChangesNothing) {
    fill({"CTF-Face.unr", "Skaarj.utx"});
    frmMain& w = load();
    const std::string count = label("sbrText");
    EXPECT_EQ(count, "Found 2 files to process");
    test::FakeGame ut(game + "/System", tmp / "ut-bin-amd64");
    const std::string running = "ut-bin-amd64 (process " + std::to_string(ut.pid) + ") uses " +
                                cache + ": the game is running";
    const std::string told =
        count + " - The game is running (ut-bin-amd64, process " + std::to_string(ut.pid) + ")";
    child<QTimer>("tmrGameWatch")->setInterval(5);  // the watch looks again at once
    for (int i = 0; i < 1000 && label("sbrText") != told; ++i) QTest::qWait(10);
    EXPECT_EQ(label("sbrText"), told);
    click("cmdRescan");
    EXPECT_EQ(label("sbrText"), told);
    const std::string said = running +
                             "; run, purge and undo ask first, as the game may undo "
                             "what they change";
    EXPECT_EQ(child<QLabel>("sbrText")->toolTip().toStdString(), said);
    EXPECT_EQ(test::shownTexts(w, "List1").at(0), said);
    const std::string index = readFile(cache + "/cache.ini");
    const Texts before = visible(cache);
    click("cmdRun");  // answered No
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_TRUE(boxes.shown[0].defaultNo);
    EXPECT_EQ(boxes.texts()[0].rfind(running + ". The game keeps CACHE.INI in memory", 0), 0u);
    EXPECT_TRUE(boxes.texts()[0].ends_with("Close the game first.\n\nGo on anyway?"));
    EXPECT_EQ(label("sbrText"), "Run stopped: nothing was processed");
    EXPECT_EQ(readFile(cache + "/cache.ini"), index);
    EXPECT_EQ(visible(cache), before);
    boxes.answers = {true};
    click("cmdRun");
    EXPECT_TRUE(endsWith(readFile(game + "/Maps/CTF-Face.unr"), "bytes of CTF-Face.unr"));
    EXPECT_EQ(test::shownTexts(w, "List1").at(1).rfind(running + "; going on as asked", 0), 0u);
    EXPECT_EQ(label("sbrText"), "Done processing files");
    // An undo asks about the game first, and once.
    boxes.shown.clear();
    menu("mnuToolsUndo");  // No to the game
    ASSERT_EQ(boxes.texts().size(), 1u);
    EXPECT_TRUE(boxes.texts()[0].ends_with("Go on anyway?"));
    boxes.answers = {true, true};
    menu("mnuToolsUndo");
    ASSERT_EQ(boxes.texts().size(), 3u);
    EXPECT_TRUE(boxes.texts()[1].ends_with("Go on anyway?"));
    EXPECT_TRUE(boxes.texts()[2].ends_with("Undo this run?"));
    EXPECT_FALSE(std::filesystem::exists(game + "/Maps/CTF-Face.unr"));
}

// Guards: choices lost or garbled between sessions (a folder name's bytes above all), the
// type selection not applied, a run ignoring the chosen folder, the purge days not written; a
// purge answered No that deletes, one that leaves packages or index lines or no backup.
TEST_F(MainWindow, OptionsTabChoicesStoredAtShutdownAndPurge) {
    const Texts files = fill({"CTF-Face.unr", "Skaarj.utx", "botpack.u"});
    const std::string other = tmp / "Other", target = tmp / "caf\xe9";  // not valid UTF-8
    fill({"AS-Frigate.unr", "Bonus.utx"}, other);
    load();
    click("optSelectOnly");
    click("chkUTX");
    EXPECT_FALSE(label("lblRemind").empty());  // reminds to commit
    click("cmdCommitFileTypes");
    EXPECT_TRUE(label("lblRemind").empty());
    EXPECT_EQ(rows(Checked), Texts{"Skaarj.utx"});

    const int compact = child<QWidget>("Frame2")->sizeHint().height();
    click("optMoveDir");  // the folder row takes room only when it is shown
    EXPECT_GT(child<QWidget>("Frame2")->sizeHint().height(), compact);
    // 640 by 460 points, what the window gets on 1280x960 at scale 2: the tab shows whole.
    window->show();
    window->resize(640, 460);
    child<QTabWidget>("SSTab1")->setCurrentIndex(2);
    QCoreApplication::processEvents();
    auto* options = qobject_cast<QScrollArea*>(child<QTabWidget>("SSTab1")->currentWidget());
    EXPECT_EQ(options->verticalScrollBar()->maximum(), 0) << options->viewport()->height();
    child<ByteLineEdit>("txtMoveDir")->setBytes(target + "/");
    child<ByteLineEdit>("txtPurgeCacheDays")->setBytes("7");
    click("cmdSetPurge");
    EXPECT_TRUE(test::has(readFile(game + "/System/UnrealTournament.ini"), "PurgeCacheDays=7\r\n"));
    EXPECT_EQ(label("sbrText"), "Purge Cache Setting set to 7 days");
    click("cmdRun");
    EXPECT_TRUE(endsWith(readFile(target + "/Skaarj.utx"), "bytes of Skaarj.utx"));
    EXPECT_TRUE(test::fileExists(cache + "/" + files[0]));
    // Undo names the last run on this cache folder and how many go back, No the default; Yes
    // puts it back and re-scans.
    boxes.answers = {false, true};
    menu("mnuToolsUndo");
    EXPECT_EQ(boxes.texts().back().rfind("The last run on " + cache + " is run ", 0), 0u);
    EXPECT_TRUE(test::has(boxes.texts().back(),
                          "1 package of it will go back into the cache, with its line"));
    EXPECT_TRUE(boxes.shown.back().defaultNo);
    EXPECT_TRUE(test::fileExists(target + "/Skaarj.utx"));
    menu("mnuToolsUndo");
    EXPECT_FALSE(test::fileExists(target + "/Skaarj.utx"));
    EXPECT_EQ(rows(Checked), Texts{"Skaarj.utx"});  // re-scanned: back in the list
    EXPECT_EQ(label("sbrText"), "Undo: 1 package moved back");
    click("cmdRun");
    writeFile(game + "/a.tmp", std::string(1500, 'x'));  // temporary files, then a purge
    click("cmdDelCacheTmp");
    EXPECT_FALSE(test::fileExists(game + "/a.tmp"));
    const Texts before = visible(cache);
    const std::string oldIndex = readFile(cache + "/cache.ini");
    boxes.answers = {false, true};
    click("cmdPurgeNow");
    EXPECT_EQ(boxes.texts().back(), "Purge cancelled.");
    EXPECT_TRUE(boxes.shown.end()[-2].defaultNo);  // Enter alone does not delete
    EXPECT_EQ(visible(cache), before);
    click("cmdPurgeNow");
    EXPECT_EQ(visible(cache), (Texts{"cache.ini", "cachebak.ini"}));
    EXPECT_EQ(readFile(cache + "/cache.ini"), "[Cache]\r\n");
    EXPECT_EQ(readFile(cache + "/cachebak.ini"), oldIndex);
    EXPECT_TRUE(rows().empty());
    EXPECT_TRUE(child<QWidget>("sbrProgress")->isHidden());  // no "1 of 1" left behind
    picker.folders = {other + "/"};  // another cache folder: scanned at once
    click("cmdCacheDir");
    EXPECT_EQ(picker.starts.back(), cache);  // the picker opened at the folder shown
    EXPECT_EQ(rows(), (Texts{"AS-Frigate.unr", "Bonus.utx"}));
    // The run on the other folder is not offered for this one.
    menu("mnuToolsUndo");
    EXPECT_EQ(boxes.texts().back(), "There is no run to undo on " + other +
                                        ".\n\nThe last run not undone was on " + cache +
                                        "; choose that cache folder in the File List to undo it.");
    EXPECT_TRUE(test::fileExists(target + "/Skaarj.utx"));

    // A place saved at another scale, half off the screen and larger than it, comes back on it.
    const QRect screen = window->screen()->availableGeometry();
    window->setGeometry(QRect(screen.topLeft() - QPoint(300, 200), screen.size() * 2));
    menu("mnuFileExit");
    load();
    EXPECT_TRUE(screen.contains(window->geometry())) << window->geometry().x();
    const QSize size = window->size() - QSize(30, 20);
    window->resize(size);
    menu("mnuFileExit");
    EXPECT_FALSE(window->isVisible());
    const std::pair<const char*, std::string> expected[] = {
        {"SelectAll", "False"}, {"SelectOnly", "True"},  {"UTX", "1"},       {"UNR", "0"},
        {"MoveDir", "True"},    {"MoveDirText", target}, {"CacheDir", other}};
    for (const auto& [name, value] : expected) EXPECT_EQ(stored(name), value) << name;

    load();  // the next start shows the same choices and size, without a reminder
    EXPECT_EQ(window->size(), size);
    for (const char* on : {"optSelectOnly", "chkUTX", "optMoveDir"})
        EXPECT_TRUE(child(on)->isChecked()) << on;
    EXPECT_EQ(child<ByteLineEdit>("txtMoveDir")->bytes(), target);
    EXPECT_TRUE(label("lblRemind").empty());
    EXPECT_EQ(rows(Checked), Texts{"Bonus.utx"});
}

// Guards: a never-move name matched in only one letter case, an unsaved edit written, a save
// that drops or reorders names, a right click answered No that still writes.
TEST_F(MainWindow, NeverMoveTabAddSaveAndRightClick) {
    fill({"CTF-Face.unr", "Skaarj.utx", "botpack.u", "DM-Caf\xe9.unr", "DM-Caf\xe8.unr"});
    writeFile(neverMove, "skaarj.UTX\r\n");
    load().show();
    EXPECT_EQ(rows(Marked), Texts{"Skaarj.utx"});
    child<ByteLineEdit>("txtNMAdd")->setBytes("CTF-FACE.UNR");
    QTest::keyClick(child<ByteLineEdit>("txtNMAdd"), Qt::Key_Return);  // as the Add button
    EXPECT_EQ(test::shownTexts(*window, "lstNM"), (Texts{"skaarj.UTX", "CTF-FACE.UNR"}));
    EXPECT_EQ(readFile(neverMove), "skaarj.UTX\r\n");  // not saved yet
    click("cmdNMSave");
    EXPECT_EQ(readFile(neverMove), "CTF-FACE.UNR\r\nskaarj.UTX\r\n");
    // Names the server wrote in Windows-1252 show as such, each its own.
    EXPECT_EQ(rows(Checked), (Texts{"botpack.u", "DM-Caf\u00e9.unr", "DM-Caf\u00e8.unr"}));

    QTreeView* view = child<QTreeView>("ListView1");  // a right click on a row offers to add it
    for (bool yes : {false, true}) {
        boxes.answers = {yes};
        QTest::mouseClick(view->viewport(), Qt::RightButton, {},
                          view->visualRect(rowOf("botpack.u")).center());
    }
    EXPECT_EQ(boxes.texts(), Texts(2, "Add BOTPACK.U to the never move list?"));
    EXPECT_EQ(readFile(neverMove), "CTF-FACE.UNR\r\nskaarj.UTX\r\nbotpack.u\r\n");
    EXPECT_EQ(rows(Marked).size(), 3u);

    // The same by keyboard: the menu key and Shift+F10 on a row, Ctrl+Tab to the next tab,
    // Delete in the never-move list, F1 for the help, Ctrl+Q to quit. The name goes to the
    // file under its own bytes.
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    view->setFocus();
    view->setCurrentIndex(rowOf("DM-Caf\u00e9.unr"));
    boxes.answers = {false, true};
    QTest::keyClick(view, Qt::Key_Menu);
    QTest::keyClick(view, Qt::Key_F10, Qt::ShiftModifier);
    EXPECT_EQ(boxes.texts().back(), "Add DM-CAF\xe9.UNR to the never move list?");
    EXPECT_EQ(boxes.shown.size(), 4u);
    EXPECT_EQ(readFile(neverMove), "CTF-FACE.UNR\r\nskaarj.UTX\r\nbotpack.u\r\nDM-Caf\xe9.unr\r\n");
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));  // the busy window gave it back
    for (int tab : {2, 3}) {
        QTest::keyClick(window.get(), Qt::Key_Tab, Qt::ControlModifier);
        EXPECT_EQ(child<QTabWidget>("SSTab1")->currentIndex(), tab);
    }
    auto* nm = child<QListWidget>("lstNM");
    nm->setFocus();
    nm->setCurrentRow(0);
    QTest::keyClick(nm, Qt::Key_Delete);
    EXPECT_EQ(test::shownTexts(*window, "lstNM"),
              (Texts{"skaarj.UTX", "botpack.u", "DM-Caf\u00e9.unr"}));
    QTest::keyClick(window.get(), Qt::Key_F1);
    EXPECT_EQ(opened.back().toLocalFile().toStdString(), prog + "/help/index.html");
    QTest::keyClick(window.get(), Qt::Key_Q, Qt::ControlModifier);
    EXPECT_FALSE(window->isVisible());
}

// Guards: an undo question that keeps the user waiting with no sign of work, an undo that
// cannot be stopped, a stopped undo that leaves lines without their packages in the index or
// calls the run undone, so that a second undo cannot finish it.
TEST_F(MainWindow, UndoShowsItsWorkAndStopsAsARunDoes) {
    fillMaps(20);
    // The worker waits at the first listing of the journals, then at the first move back.
    HeldWorker worker;
    std::atomic<int> pauseAt{0};
    worker.holdWhen([&](const std::string& op, const std::string& path) {
        if ((pauseAt == 1 && op == "listFiles" && path.find("/runs") != path.npos) ||
            (pauseAt == 2 && op == "moveListedFile"))
            return pauseAt = 0, true;
        return false;
    });
    frmMain& w = load(&worker.fs);
    w.show();
    click("cmdRun");
    ASSERT_TRUE(rows().empty());
    std::string busyText;  // the status bar while the journals are read
    bool busyBar = false, stopShown = false;
    worker.whenHeld(&w, [&] {
        QCoreApplication::sendPostedEvents(&w);
        if (busyText.empty()) {
            busyText = label("sbrText");
            busyBar = !child<QWidget>("sbrProgress")->isHidden();
            boxes.answers = {true};
            pauseAt = 2;
        } else {
            stopShown = child("cmdStop")->isVisible();
            click("cmdStop");
        }
        worker.letGo();
    });
    pauseAt = 1;
    menu("mnuToolsUndo");
    EXPECT_EQ(busyText, "Looking for the last run on this cache folder...");
    EXPECT_TRUE(busyBar);
    EXPECT_TRUE(stopShown);
    EXPECT_EQ(label("sbrText"), "Undo stopped: 1 package moved back; undo again to finish");
    EXPECT_EQ(splitLines(readFile(cache + "/cache.ini")).size(), 2u);  // "[Cache]" and its line
    EXPECT_EQ(rows().size(), 1u);
    EXPECT_EQ(visible(game + "/Maps").size(), 19u);
    boxes.answers = {true};
    menu("mnuToolsUndo");  // the rest goes back
    EXPECT_EQ(label("sbrText"), "Undo: 19 packages moved back");
    EXPECT_EQ(rows().size(), 20u);
    EXPECT_TRUE(visible(game + "/Maps").empty());
}

}  // namespace
}  // namespace qv
