#include "widgets/browse_for_folder.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QTimer>
#include <cstdlib>
#include <stdexcept>

#include "tests/support/temp_dir.h"
#include "tests/widgets/qt_app.h"

namespace qv {
namespace {

// Points $HOME at a temporary folder for one test.
class FolderPickerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        test::ensureQtApp();
        const char* old = std::getenv("HOME");
        hadHome_ = old != nullptr;
        if (old) oldHome_ = old;
        ::setenv("HOME", home_.path().c_str(), 1);
    }
    void TearDown() override {
        if (hadHome_)
            ::setenv("HOME", oldHome_.c_str(), 1);
        else
            ::unsetenv("HOME");
    }

    test::TempDir home_;

  private:
    bool hadHome_ = false;
    std::string oldHome_;
};

TEST_F(FolderPickerTest, StartsInUtpgWhenThePlayerHasOneElseAtHome) {
    EXPECT_EQ(pickerStartFolder(), QString::fromStdString(home_.path()));
    test::writeFile(home_ / ".utpg", "a file, not a folder");
    EXPECT_EQ(pickerStartFolder(), QString::fromStdString(home_.path()));
    std::remove((home_ / ".utpg").c_str());
    test::makeDirs(home_ / ".utpg/System");
    EXPECT_EQ(pickerStartFolder(), QString::fromStdString(home_ / ".utpg"));
}

TEST_F(FolderPickerTest, ResultsLoseTheirTrailingSeparatorButTheRootKeepsIt) {
    EXPECT_EQ(withoutTrailingSeparator("/games/ut/"), "/games/ut");
    EXPECT_EQ(withoutTrailingSeparator("/games/ut//"), "/games/ut");
    EXPECT_EQ(withoutTrailingSeparator("/games/ut"), "/games/ut");
    EXPECT_EQ(withoutTrailingSeparator("/"), "/");
    EXPECT_EQ(withoutTrailingSeparator("//"), "/");
    EXPECT_EQ(withoutTrailingSeparator(""), "");
}

TEST_F(FolderPickerTest, ScriptedPickerAnswersInOrderAndCancelsWhenEmpty) {
    ScriptedFolderPicker picker;
    picker.folders = {"/tmp/x/", "/"};
    EXPECT_EQ(BrowseForFolder(nullptr, "Choose a folder:"), "/tmp/x");
    EXPECT_EQ(BrowseForFolder(nullptr, "Choose a folder:"), "/");
    EXPECT_EQ(BrowseForFolder(nullptr, "Choose the UT Cache folder:"), "");
    EXPECT_EQ(picker.prompts.size(), 3u);
    EXPECT_EQ(picker.prompts[2], "Choose the UT Cache folder:");
}

TEST_F(FolderPickerTest, APickerLoopThatNeverGetsAnAnswerFailsInsteadOfHanging) {
    ScriptedFolderPicker picker;
    picker.maxUnansweredPicks = 3;
    for (int i = 0; i < 3; ++i) EXPECT_EQ(BrowseForFolder(nullptr, "again"), "");
    EXPECT_THROW(BrowseForFolder(nullptr, "again"), std::runtime_error);
}

TEST_F(FolderPickerTest, SpecialFoldersWithoutAPathGiveTheEmptyText) {
    EXPECT_EQ(GetSpecialFolderPath(10), "");      // Recycle Bin
    EXPECT_EQ(GetSpecialFolderPath(0x7fff), "");  // unknown
    EXPECT_EQ(GetSpecialFolderPath(0x28), home_.path());
}

TEST_F(FolderPickerTest, TheRealDialogOpensWithThePromptAtTheStartFolder) {
    test::makeDirs(home_ / ".utpg/Cache");
    QString caption, directory;
    bool sawDialog = false;
    auto finish = [&](bool accept) {
        QTimer::singleShot(0, [&, accept]() {
            auto* dlg = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dlg, nullptr);
            sawDialog = true;
            caption = dlg->windowTitle();
            directory = dlg->directory().absolutePath();
            if (accept)
                static_cast<QDialog*>(dlg)->accept();
            else
                dlg->reject();
        });
    };
    finish(false);
    EXPECT_EQ(BrowseForFolder(nullptr, "Choose the root UT folder:"), "");
    EXPECT_TRUE(sawDialog);
    EXPECT_EQ(caption, QStringLiteral("Choose the root UT folder:"));
    EXPECT_EQ(directory, QString::fromStdString(home_ / ".utpg"));

    finish(true);  // accepting without a selection picks the folder shown
    EXPECT_EQ(BrowseForFolder(nullptr, "Choose a folder:"), home_ / ".utpg");
}

}  // namespace
}  // namespace qv
