// The real message boxes behind the scripted ones the window tests use.

#include <gtest/gtest.h>

#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "tests/widgets/qt_app.h"
#include "widgets/qt_dialogs.h"

namespace qv {
namespace {

// Answers the next message box with `button` once its exec() runs; `seen` gets title|text.
void answerNextBox(QMessageBox::StandardButton button, QString& seen) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [=, &seen] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            seen = box->windowTitle() + "|" + box->text();
            poll->stop();
            poll->deleteLater();
            box->button(button)->click();
        }
    });
    poll->start(10);
}

// Guards: a question whose No counts as Yes (a purge answered No that deletes), a box without
// the program's title, scripted boxes left in force after their scope.
TEST(MessageBoxes, RealBoxesAnswerYesAndNo) {
    test::ensureQtApp();
    { ScriptedMessageBoxes scopedOnly; }
    QtDialogs dialogs(nullptr, "Quorvel Troubleshooter");
    QString seen;
    answerNextBox(QMessageBox::Yes, seen);
    EXPECT_TRUE(dialogs.askYesNo("", "Really?"));
    EXPECT_EQ(seen, QStringLiteral("Quorvel Troubleshooter|Really?"));
    answerNextBox(QMessageBox::No, seen);
    EXPECT_FALSE(dialogs.askYesNo("Purge", "Really not?"));
    EXPECT_EQ(seen, QStringLiteral("Purge|Really not?"));
}

}  // namespace
}  // namespace qv
