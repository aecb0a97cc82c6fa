// The real message boxes behind the scripted ones the window tests use.

#include <gtest/gtest.h>

#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "tests/widgets/qt_app.h"
#include "widgets/qt_dialogs.h"

namespace qv {
namespace {

// Answers the next message box with `button` once its exec() runs; `seen` gets title|text|
// default button, and "|cut" when the box is narrower than its title or can be maximised.
void answerNextBox(QMessageBox::StandardButton button, QString& seen) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [=, &seen] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            seen = box->windowTitle() + "|" + box->text() + "|" + box->defaultButton()->text();
            if (box->width() <= box->fontMetrics().horizontalAdvance(box->windowTitle()) + 80 ||
                box->windowFlags() & Qt::WindowMaximizeButtonHint)
                seen += "|cut";
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
    EXPECT_EQ(seen, QStringLiteral("Quorvel Troubleshooter|Really?|&Yes"));
    answerNextBox(QMessageBox::No, seen);
    EXPECT_FALSE(dialogs.askYesNoDefaultNo("Purge", "Really not?"));
    EXPECT_EQ(seen, QStringLiteral("Purge|Really not?|&No"));  // Enter alone does not purge
}

}  // namespace
}  // namespace qv
