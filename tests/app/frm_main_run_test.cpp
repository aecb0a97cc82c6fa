// Walkthroughs of a run under way: the keys a user presses meanwhile, and the close question.

#include <gtest/gtest.h>

#include <QPushButton>
#include <QSemaphore>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <deque>
#include <vector>

#include "platform/posix_filesystem.h"
#include "tests/app/main_window_fixture.h"
#include "tests/support/faulty_filesystem.h"

namespace qv {
namespace {

// Guards: a Space and an Enter after a mouse-clicked Run that reach Exit and the close question
// (whose default quits); a run that goes on behind that question, or that goes on after Yes.
TEST_F(MainWindow, KeysDuringARunDoNothingAndTheCloseQuestionHoldsTheRun) {
    Texts names(400);
    for (int i = 0; i < 400; ++i) names[i] = "DM-Map" + std::to_string(i) + ".unr";
    fill(names);
    // The worker waits at its 1st and 100th moves until the window has been looked at.
    PosixFileSystem posix;
    FaultyFileSystem fs(posix);
    QSemaphore reached, go;
    std::atomic<int> moves{0};
    fs.watch = [&](const char* op, const std::string&, const std::string&, bool done) {
        if (done || std::string(op) != "moveListedFile") return;
        if (const int n = ++moves; n == 1 || n == 100) reached.release(), go.acquire();
    };
    frmMain& w = load(&fs);
    w.show();
    // Each question lets the worker go on, waits until it holds (or has gone well past where it
    // should), then answers.
    std::vector<bool> defaultNo, held;
    std::vector<int> heldAt;
    std::deque<bool> answers = {false, true};
    setMessageBoxHookForTests([&](const MessageBoxCall& call) {
        defaultNo.push_back(call.defaultNo);
        const int asked = moves;
        go.release();
        while (!w.isHeld() && moves < asked + 20) QThread::yieldCurrentThread();
        held.push_back(w.isHeld());
        heldAt.push_back(moves);
        const bool yes = answers.front();
        return answers.pop_front(), yes;
    });
    std::string focus;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, &w, [&] {
        if (!reached.tryAcquire()) return;
        if (focus.empty()) {
            focus = w.focusWidget()->objectName().toStdString();
            QTest::keyClick(w.focusWidget(), Qt::Key_Space);
            QTest::keyClick(w.focusWidget(), Qt::Key_Return);
            if (!defaultNo.empty()) return go.release();  // a key asked to quit
        }
        w.close();
    });
    look.start(1);
    QTest::mouseClick(child("cmdRun"), Qt::LeftButton);
    EXPECT_EQ(focus, "List1");
    ASSERT_EQ(defaultNo, (std::vector<bool>{true, true}));
    EXPECT_EQ(held, (std::vector<bool>{true, true}));
    EXPECT_EQ(heldAt[1], 100);
    EXPECT_EQ(label("sbrText"), "Stopped after 100 of 400 packages");
    EXPECT_EQ(visible(game + "/Maps").size(), 100u);
}

}  // namespace
}  // namespace qv
