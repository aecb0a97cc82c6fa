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
    void SetUp() override { test::ensureQtApp(); }
    test::TempDir home_;
    test::ScopedEnv homeEnv_{"HOME", home_.path()};
};

TEST_F(FolderPickerTest, StartFolderSpecialFoldersAndTheRealDialog) {
    const QString home = QString::fromStdString(home_.path());
    EXPECT_EQ(pickerStartFolder(), home);
    test::writeFile(home_ / ".utpg", "a file, not a folder");
    EXPECT_EQ(pickerStartFolder(), home);
    std::remove((home_ / ".utpg").c_str());
    test::makeDirs(home_ / ".utpg/System");
    EXPECT_EQ(pickerStartFolder(), QString::fromStdString(home_ / ".utpg"));

    EXPECT_EQ(GetSpecialFolderPath(10), "");      // Recycle Bin: no path
    EXPECT_EQ(GetSpecialFolderPath(0x7fff), "");  // unknown
    EXPECT_EQ(GetSpecialFolderPath(0x28), home_.path());

    QString caption, directory;
    bool sawDialog = false;
    auto finish = [&](bool accept) {
        QTimer::singleShot(0, [&, accept]() {
            auto* dlg = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dlg, nullptr);
            sawDialog = true;
            caption = dlg->windowTitle();
            directory = dlg->directory().absolutePath();
            accept ? static_cast<QDialog*>(dlg)->accept() : dlg->reject();
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

TEST_F(FolderPickerTest, ResultsLoseTheirTrailingSeparatorButTheRootKeepsIt) {
    const std::pair<const char*, const char*> cases[] = {{"/games/ut/", "/games/ut"},
                                                         {"/games/ut//", "/games/ut"},
                                                         {"/games/ut", "/games/ut"},
                                                         {"/", "/"},
                                                         {"//", "/"},
                                                         {"", ""}};
    for (const auto& [given, result] : cases) EXPECT_EQ(withoutTrailingSeparator(given), result);
}

TEST_F(FolderPickerTest, ScriptedPickerAnswersInOrderCancelsWhenEmptyAndNeverHangs) {
    ScriptedFolderPicker picker;
    picker.folders = {"/tmp/x/", "/"};
    picker.maxUnansweredPicks = 3;
    EXPECT_EQ(BrowseForFolder(nullptr, "Choose a folder:"), "/tmp/x");
    EXPECT_EQ(BrowseForFolder(nullptr, "Choose a folder:"), "/");
    EXPECT_EQ(BrowseForFolder(nullptr, "Choose the UT Cache folder:"), "");
    EXPECT_EQ(picker.prompts.size(), 3u);
    EXPECT_EQ(picker.prompts[2], "Choose the UT Cache folder:");
    // A picker loop that never gets an answer fails instead of hanging.
    for (int i = 0; i < 2; ++i) EXPECT_EQ(BrowseForFolder(nullptr, "again"), "");
    EXPECT_THROW(BrowseForFolder(nullptr, "again"), std::runtime_error);
}

}  // namespace
}  // namespace qv
