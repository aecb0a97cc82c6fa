// The real dialogs behind the scripted ones the window tests use.

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <functional>

#include "tests/widgets/qt_app.h"
#include "widgets/browse_for_folder.h"
#include "widgets/qt_dialogs.h"

namespace qv {
namespace {

// Acts on the next modal window once the event loop of its exec() runs.
void whenModalShown(std::function<void(QWidget*)> act) {
    auto poll = std::make_shared<std::function<void()>>();
    *poll = [act, poll]() {
        if (QWidget* w = QApplication::activeModalWidget()) {
            act(w);
            *poll = nullptr;  // breaks the function's hold on itself
            return;
        }
        QTimer::singleShot(10, *poll);
    };
    QTimer::singleShot(0, *poll);
}

// Guards: a folder kept with its trailing separator (doubled separators in every path formed
// from it), a root that loses its only one.
TEST(FolderPicker, AnswersLoseTheirTrailingSeparator) {
    const std::pair<const char*, const char*> cases[] = {{"/games/ut/", "/games/ut"},
                                                         {"/games/ut//", "/games/ut"},
                                                         {"/games/ut", "/games/ut"},
                                                         {"/", "/"},
                                                         {"//", "/"},
                                                         {"", ""}};
    for (const auto& [given, result] : cases) EXPECT_EQ(withoutTrailingSeparator(given), result);
}

// Guards: a question whose No counts as Yes, a box without the program's title, scripted
// boxes that stay in force after their scope (real boxes never shown again).
TEST(MessageBoxes, RealBoxesAnswerYesNoAndOk) {
    test::ensureQtApp();
    { ScriptedMessageBoxes scopedOnly; }
    QtDialogs dialogs(nullptr, "Quorvel Troubleshooter");
    QString title, text;
    const auto answerWith = [&](QMessageBox::StandardButton button) {
        whenModalShown([&, button](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            ASSERT_NE(box, nullptr);
            title = box->windowTitle();
            text = box->text();
            box->button(button)->click();
        });
    };
    answerWith(QMessageBox::Yes);
    EXPECT_TRUE(dialogs.askYesNo("", "Really?"));
    EXPECT_EQ(title, QStringLiteral("Quorvel Troubleshooter"));
    EXPECT_EQ(text, QStringLiteral("Really?"));
    answerWith(QMessageBox::No);
    EXPECT_FALSE(dialogs.askYesNo("Purge", "Really not?"));
    EXPECT_EQ(title, QStringLiteral("Purge"));
    answerWith(QMessageBox::Ok);
    dialogs.message("", "Done");
    EXPECT_EQ(text, QStringLiteral("Done"));
}

}  // namespace
}  // namespace qv
