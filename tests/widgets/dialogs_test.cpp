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
                return;
            }
            QTimer::singleShot(10, *poll);
        };
        QTimer::singleShot(0, *poll);
    }
};

TEST_F(QtDialogsTest, EmptyTitleShowsTheProgramTitleAndQuestionsAnswerFromTheQueue) {
    ScriptedMessageBoxes boxes;
    boxes.answers = {true, false};
    QtDialogs dialogs(nullptr, "Quorvel");

    dialogs.message("", "plain");
    dialogs.message("ReadEntry", "Error: 5. Access denied");
    EXPECT_TRUE(dialogs.askYesNo("", "first?"));
    EXPECT_FALSE(dialogs.askYesNo("Purge", "second?"));
    EXPECT_FALSE(dialogs.askYesNo("", "no answer left?"));

    ASSERT_EQ(boxes.shown.size(), 5u);
    EXPECT_EQ(boxes.shown[0].kind, MessageBoxCall::Ok);
    EXPECT_EQ(boxes.shown[0].title, "Quorvel");
    EXPECT_EQ(boxes.shown[1].title, "ReadEntry");
    EXPECT_EQ(boxes.shown[2].kind, MessageBoxCall::YesNo);
    EXPECT_EQ(boxes.shown[2].title, "Quorvel");
    EXPECT_EQ(boxes.shown[3].title, "Purge");
    EXPECT_EQ(boxes.texts(), (std::vector<std::string>{"plain", "Error: 5. Access denied", "first?",
                                                       "second?", "no answer left?"}));
}

TEST_F(QtDialogsTest, TheHookIsRemovedWithItsScope) {
    {
        ScriptedMessageBoxes boxes;
        ScriptedFolderPicker picker;
    }
    // Without the hooks the real boxes come up: answer them through the widgets themselves.
    QtDialogs dialogs(nullptr, "Quorvel Troubleshooter");
    QString seenTitle, seenText;
    whenModalShown([&](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_NE(box, nullptr);
        seenTitle = box->windowTitle();
        seenText = box->text();
        box->button(QMessageBox::Yes)->click();
    });
    EXPECT_TRUE(dialogs.askYesNo("", "Really?"));
    EXPECT_EQ(seenTitle, QStringLiteral("Quorvel Troubleshooter"));
    EXPECT_EQ(seenText, QStringLiteral("Really?"));

    whenModalShown([](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_NE(box, nullptr);
        box->button(QMessageBox::No)->click();
    });
    EXPECT_FALSE(dialogs.askYesNo("Title", "Really not?"));

    whenModalShown([&](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_NE(box, nullptr);
        seenTitle = box->windowTitle();
        box->button(QMessageBox::Ok)->click();
    });
    dialogs.message("", "Done");
    EXPECT_EQ(seenTitle, QStringLiteral("Quorvel Troubleshooter"));
}

TEST_F(QtDialogsTest, EightBitTextIsDecodedForDisplayOnly) {
    ScriptedMessageBoxes boxes;
    QtDialogs dialogs(nullptr, "Quorvel");
    const std::string latin1Name = "Caf\xe9.unr";  // not valid UTF-8
    dialogs.message("", latin1Name);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, latin1Name);  // the bytes as given
}

TEST_F(QtDialogsTest, PickFolderGoesThroughTheFolderPicker) {
    ScriptedFolderPicker picker;
    picker.folders = {"/games/ut/", "/", ""};
    QtDialogs dialogs(nullptr, "Quorvel");
    EXPECT_EQ(dialogs.pickFolder("Choose the root UT folder:"), "/games/ut");
    EXPECT_EQ(dialogs.pickFolder("Choose a folder:"), "/");
    EXPECT_EQ(dialogs.pickFolder("Choose a folder:"), "");
    EXPECT_EQ(picker.prompts, (std::vector<std::string>{"Choose the root UT folder:",
                                                        "Choose a folder:", "Choose a folder:"}));
}

}  // namespace
}  // namespace qv
