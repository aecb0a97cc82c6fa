// Walkthroughs of a run under way: what else a user starts or presses meanwhile, Stop, and the
// close question.

#include <gtest/gtest.h>

#include <QListView>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <atomic>
#include <deque>
#include <vector>

#include "app/byte_line_edit.h"
#include "platform/textfile.h"
#include "tests/app/main_window_fixture.h"
#include "widgets/line_list.h"

namespace qv {
namespace {

// Guards: a Space and an Enter after a mouse-clicked Run that reach Exit and the close question
// (whose default quits); a run that goes on behind that question, or that goes on after Yes.
TEST_F(MainWindow, KeysDuringARunDoNothingAndTheCloseQuestionHoldsTheRun) {
    fillMaps(400);
    // The worker waits at its 1st and 100th moves until the window has been looked at.
    HeldWorker worker;
    std::atomic<int> moves{0};
    worker.holdWhen([&](const std::string& op, const std::string&) {
        if (op != "moveListedFile") return false;
        const int n = ++moves;
        return n == 1 || n == 100;
    });
    frmMain& w = load(&worker.fs);
    w.show();
    // Each question lets the worker go on, waits until it holds (or has gone well past where it
    // should), then answers.
    std::vector<bool> defaultNo, held;
    std::vector<int> heldAt;
    std::deque<bool> answers = {false, true};
    setMessageBoxHookForTests([&](const MessageBoxCall& call) {
        defaultNo.push_back(call.defaultNo);
        const int asked = moves;
        worker.letGo();
        while (!w.isHeld() && moves < asked + 20) QThread::yieldCurrentThread();
        held.push_back(w.isHeld());
        heldAt.push_back(moves);
        const bool yes = answers.front();
        return answers.pop_front(), yes;
    });
    std::string focus;
    worker.whenHeld(&w, [&] {
        if (focus.empty()) {
            focus = w.focusWidget()->objectName().toStdString();
            QTest::keyClick(w.focusWidget(), Qt::Key_Space);
            QTest::keyClick(w.focusWidget(), Qt::Key_Return);
            if (!defaultNo.empty()) return worker.letGo();  // a key asked to quit
        }
        w.close();
    });
    QTest::mouseClick(child("cmdRun"), Qt::LeftButton);
    EXPECT_EQ(focus, "List1");
    ASSERT_EQ(defaultNo, (std::vector<bool>{true, true}));
    EXPECT_EQ(held, (std::vector<bool>{true, true}));
    EXPECT_EQ(heldAt[1], 100);
    EXPECT_EQ(label("sbrText"), "Stopped after 100 of 400 packages");
    EXPECT_EQ(visible(game + "/Maps").size(), 100u);
}

// Guards: a second operation started while a run goes on, a close that cuts a run short; the
// purge days set, or a right-clicked name added to the never-move list, during a run; a Run button
// that looks enabled while disabled, a progress bar that counts index lines or cuts its text, the
// cache folder line left blank during the run; status lines cut short or ending out of view.
TEST_F(MainWindow, NothingElseStartsWhileARunGoesOnAndStopEndsIt) {
    fillMaps(400);
    // The run (on its worker thread) waits at its first move until the window has been looked at
    // and Stop clicked.
    HeldWorker worker;
    bool paused = false;  // the worker's own
    worker.holdWhen([&](const std::string& op, const std::string&) {
        if (paused || op != "moveListedFile") return false;
        return paused = true;
    });
    frmMain& w = load(&worker.fs);
    w.resize(700, 500);
    w.show();
    const std::string gameIni = readFile(game + "/System/UnrealTournament.ini");
    bool called = false, stopOffered = false, setPurgeOffered = true, checksOffered = true;
    QColor disabledRun, disabledExit;
    std::string progress, cacheLine;
    int barRoom = 0;
    worker.whenHeld(&w, [&] {
        if (called) return;
        QCoreApplication::sendPostedEvents(&w);  // what the run has sent so far
        called = true;
        auto* stop = child<QPushButton>("cmdStop");
        stopOffered = stop->isVisible() && stop->isEnabled();
        const auto textColour = [&](const char* b) {
            return child(b)->palette().color(QPalette::Disabled, QPalette::ButtonText);
        };
        disabledRun = textColour("cmdRun"), disabledExit = textColour("cmdExit");
        auto* bar = child<QProgressBar>("sbrProgress");
        progress = bar->text().toStdString();
        barRoom = bar->width() - bar->fontMetrics().horizontalAdvance(QStringLiteral("400 of 400"));
        cacheLine = label("Label1");
        // Check All, Uncheck All and the check boxes change nothing of the run: disabled.
        auto* view = child<QTreeView>("ListView1");
        const QModelIndex first = view->model()->index(0, 0);
        checksOffered = child("cmdCheck")->isEnabled() || child("cmdUncheck")->isEnabled() ||
                        view->model()->flags(first).testFlag(Qt::ItemIsUserCheckable) ||
                        view->model()->setData(first, Qt::Unchecked, Qt::CheckStateRole);
        boxes.answers = {true};  // Yes to the close question, not to a purge
        w.cmdPurgeNow_Click();
        w.cmdRun_Click();
        setPurgeOffered = child("cmdSetPurge")->isEnabled();
        child<ByteLineEdit>("txtPurgeCacheDays")->setBytes("7");
        w.cmdSetPurge_Click();  // as its Alt+S or a click queued before the run
        view->setCurrentIndex(first);
        QTest::mouseClick(view->viewport(), Qt::RightButton, {}, view->visualRect(first).center());
        w.close();  // asks, and Yes stops the run as Stop does
        worker.letGo();
    });
    click("cmdRun");
    ASSERT_TRUE(called);
    EXPECT_TRUE(stopOffered);
    EXPECT_FALSE(checksOffered);
    EXPECT_FALSE(child("cmdStop")->isVisible());
    EXPECT_EQ(boxes.texts(),
              Texts{"A run is in progress. Stop it after the current package and quit?"});
    EXPECT_FALSE(setPurgeOffered);
    EXPECT_TRUE(child("cmdSetPurge")->isEnabled());  // again once the run has ended
    EXPECT_EQ(readFile(game + "/System/UnrealTournament.ini"), gameIni);
    EXPECT_EQ(readFile(neverMove), "");
    EXPECT_EQ(label("sbrText"), "Stopped after 1 of 400 packages");
    EXPECT_EQ(splitLines(readFile(cache + "/cache.ini")).size(), 400u);  // "[Cache]" and 399
    EXPECT_NE(disabledRun, QColor(0, 0, 128));
    EXPECT_EQ(disabledRun, disabledExit);
    EXPECT_EQ(progress, "0 of 400");
    EXPECT_GT(barRoom, 0);
    EXPECT_EQ(cacheLine, "Cache Directory = " + cache);
    auto* list = child<QListView>("List1");
    const QAbstractItemModel* lines = list->model();
    // The stop said once at the end, not a "was not moved" line per package left.
    const Texts status = test::shownTexts(w, "List1");
    ASSERT_GE(status.size(), 5u);
    EXPECT_EQ(Texts(status.end() - 5, status.end() - 2),
              (Texts{"Stopped after 1 of 400 packages",
                     "The run was stopped: the other 399 packages stay in the cache, with their "
                     "lines in cache.ini.",
                     ""}));
    for (const std::string& line : status)
        EXPECT_TRUE(line.find("was not moved") == std::string::npos && line.find("NOTE") != 0)
            << line;
    const auto* sizing = static_cast<const WidestRowDelegate*>(list->itemDelegate());
    const QModelIndex widest = lines->index(sizing->widestRow(), 0);
    EXPECT_GE(list->visualRect(lines->index(0, 0)).width(),
              list->fontMetrics().horizontalAdvance(widest.data().toString()));
    const QRect last = list->visualRect(lines->index(lines->rowCount() - 1, 0));
    EXPECT_TRUE(list->viewport()->rect().contains(last.center()));
    QTest::qWait(20);
    EXPECT_FALSE(w.isVisible());  // the close came once the run had ended
}

}  // namespace
}  // namespace qv
