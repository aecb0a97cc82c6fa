#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <cstdlib>
#include <functional>

#include "tests/support/temp_dir.h"
#include "tests/widgets/qt_app.h"
#include "widgets/browse_for_folder.h"
#include "widgets/qt_dialogs.h"

namespace qv {
namespace {

class QtDialogsTest : public ::testing::Test {
  protected:
    void SetUp() override { test::ensureQtApp(); }

    // Acts on the next modal window once the event loop of its exec() runs.
    static void whenModalShown(std::function<void(QWidget*)> act) {
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
};

TEST_F(QtDialogsTest, ScriptedBoxesAndPickerGetTheTitlesTextsBytesAndPrompts) {
    ScriptedMessageBoxes boxes;
    ScriptedFolderPicker picker;
    boxes.answers = {true, false};
    picker.folders = {"/games/ut/", "/", ""};
    QtDialogs dialogs(nullptr, "Quorvel");
    const std::string latin1Name = "Caf\xe9.unr";  // not valid UTF-8: handed on as bytes

    dialogs.message("", "plain");
    dialogs.message("ReadEntry", latin1Name);
    EXPECT_TRUE(dialogs.askYesNo("", "first?"));
    EXPECT_FALSE(dialogs.askYesNo("Purge", "second?"));
    EXPECT_FALSE(dialogs.askYesNo("", "no answer left?"));
    ASSERT_EQ(boxes.shown.size(), 5u);
    const std::pair<MessageBoxCall::Kind, const char*> shown[] = {
        {MessageBoxCall::Ok, "Quorvel"},
        {MessageBoxCall::Ok, "ReadEntry"},
        {MessageBoxCall::YesNo, "Quorvel"},
        {MessageBoxCall::YesNo, "Purge"},
        {MessageBoxCall::YesNo, "Quorvel"}};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(boxes.shown[i].kind, shown[i].first) << i;
        EXPECT_EQ(boxes.shown[i].title, shown[i].second) << i;
    }
    EXPECT_EQ(boxes.texts(), (std::vector<std::string>{"plain", latin1Name, "first?", "second?",
                                                       "no answer left?"}));

    EXPECT_EQ(dialogs.pickFolder("Choose the root UT folder:"), "/games/ut");
    EXPECT_EQ(dialogs.pickFolder("Choose a folder:"), "/");
    EXPECT_EQ(dialogs.pickFolder("Choose a folder:"), "");
    EXPECT_EQ(picker.prompts, (std::vector<std::string>{"Choose the root UT folder:",
                                                        "Choose a folder:", "Choose a folder:"}));
}

TEST_F(QtDialogsTest, TheHookIsRemovedWithItsScope) {
    {
        ScriptedMessageBoxes boxes;
        ScriptedFolderPicker picker;
    }
    // Without the hooks the real boxes come up: answer them through the widgets themselves.
    QtDialogs dialogs(nullptr, "Quorvel Troubleshooter");
    QString seenTitle, seenText;
    const auto answerWith = [&](QMessageBox::StandardButton button) {
        whenModalShown([&, button](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            ASSERT_NE(box, nullptr);
            seenTitle = box->windowTitle();
            seenText = box->text();
            box->button(button)->click();
        });
    };
    answerWith(QMessageBox::Yes);
    EXPECT_TRUE(dialogs.askYesNo("", "Really?"));
    EXPECT_EQ(seenTitle, QStringLiteral("Quorvel Troubleshooter"));
    EXPECT_EQ(seenText, QStringLiteral("Really?"));
    answerWith(QMessageBox::No);
    EXPECT_FALSE(dialogs.askYesNo("Title", "Really not?"));
    EXPECT_EQ(seenTitle, QStringLiteral("Title"));
    answerWith(QMessageBox::Ok);
    dialogs.message("", "Done");
    EXPECT_EQ(seenTitle, QStringLiteral("Quorvel Troubleshooter"));
    EXPECT_EQ(seenText, QStringLiteral("Done"));
}

}  // namespace
}  // namespace qv
