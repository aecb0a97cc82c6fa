#include "settings/program_settings.h"

#include <gtest/gtest.h>

#include "settings/clsRegistry.h"
#include "tests/support/scripted_dialogs.h"
#include "tests/support/temp_dir.h"

namespace qv {
namespace {

using test::ScriptedDialogs;
using test::TempDir;

const char* const kNotFound =
    "Unreal Tournament not found.\r\n\r\nPlease click OK to select the main directory..\r\n"
    "(example - E:\\Games\\UnrealTournament)";

class ProgramSettingsTest : public ::testing::Test {
  protected:
    TempDir dir;
    std::string store = dir / "registry.reg";
    ScriptedDialogs dialogs;
    clsRegistry program = clsRegistry::programKey(&dialogs, store);
    clsRegistry game = clsRegistry::gameKey(&dialogs, store);
};

TEST_F(ProgramSettingsTest, FirstRunGivesEveryDefault) {
    Options designed;
    designed.SelectAll = false;
    designed.U = 1;
    designed.MoveNorm = false;
    designed.MoveDir2 = true;
    designed.MoveDirText = "typed";
    const Options o = restoreOptions(program, designed);
    EXPECT_TRUE(o.SelectAll);
    EXPECT_FALSE(o.SelectOnly);
    EXPECT_EQ(o.U + o.UAX + o.UMX + o.UNR + o.UTX, 0);
    EXPECT_TRUE(o.MoveNorm);
    EXPECT_FALSE(o.MoveDir);
    EXPECT_FALSE(o.MoveDir2);
    EXPECT_EQ(o.MoveDirText, "");
    EXPECT_EQ(o.CacheDir, "");
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(ProgramSettingsTest, SavedChoicesComeBackAsTheyWere) {
    Options o;
    o.SelectAll = false;
    o.SelectOnly = true;
    o.UAX = 1;
    o.UTX = 1;
    o.MoveNorm = false;
    o.MoveDir2 = true;
    o.MoveDirText = "/one/folder";
    o.MoveDir2Text = "/tree root/with \"quotes\"";
    o.CacheDir = "/games/ut/cache";
    saveOptions(program, o);
    const std::string text = test::readFile(store);
    EXPECT_NE(text.find("\"SelectAll\"=\"False\"\r\n\"SelectOnly\"=\"True\"\r\n\"U\"=\"0\"\r\n"
                        "\"UAX\"=\"1\""),
              std::string::npos);
    const Options back = restoreOptions(program);
    EXPECT_FALSE(back.SelectAll);
    EXPECT_TRUE(back.SelectOnly);
    EXPECT_EQ(back.U, 0);
    EXPECT_EQ(back.UAX, 1);
    EXPECT_EQ(back.UTX, 1);
    EXPECT_FALSE(back.MoveNorm);
    EXPECT_FALSE(back.MoveDir);
    EXPECT_TRUE(back.MoveDir2);
    EXPECT_EQ(back.MoveDirText, "/one/folder");
    EXPECT_EQ(back.MoveDir2Text, o.MoveDir2Text);
    EXPECT_EQ(back.CacheDir, "/games/ut/cache");
}

TEST_F(ProgramSettingsTest, StoredTextsConvertLikeTheControlsTakeThem) {
    program.WriteEntry("SelectAll", "fALSE");
    program.WriteEntry("SelectOnly", " -1 ");
    program.WriteEntry("U", "1");
    program.WriteEntry("UAX", "abc");  // not a number: the box keeps its state
    program.WriteEntry("UMX", "5");    // no such check box value
    program.WriteEntry("UNR", "1.5");  // not a whole number
    program.WriteEntry("UTX", " 2 ");
    program.WriteEntry("MoveNorm", "maybe");  // neither a truth word nor a number
    program.WriteEntry("MoveDir", "0");
    program.WriteEntry("MoveDir2", "0.5");
    Options designed;
    designed.UAX = 1;
    designed.UMX = 1;
    designed.UNR = 1;
    const Options o = restoreOptions(program, designed);
    EXPECT_FALSE(o.SelectAll);
    EXPECT_TRUE(o.SelectOnly);
    EXPECT_EQ(o.U, 1);
    EXPECT_EQ(o.UAX, 1);
    EXPECT_EQ(o.UMX, 1);
    EXPECT_EQ(o.UNR, 1);
    EXPECT_EQ(o.UTX, 2);
    // MoveNorm kept its designed state until MoveDir2 was chosen, which clears it.
    EXPECT_FALSE(o.MoveNorm);
    EXPECT_FALSE(o.MoveDir);
    EXPECT_TRUE(o.MoveDir2);
}

TEST_F(ProgramSettingsTest, ChoosingAnOptionClearsTheOthersOfItsGroup) {
    program.WriteEntry("SelectAll", "True");
    program.WriteEntry("SelectOnly", "True");
    program.WriteEntry("MoveDir", "True");
    const Options o = restoreOptions(program);
    EXPECT_FALSE(o.SelectAll);
    EXPECT_TRUE(o.SelectOnly);
    EXPECT_FALSE(o.MoveNorm);
    EXPECT_TRUE(o.MoveDir);
    EXPECT_FALSE(o.MoveDir2);
}

TEST(TextConversionTest, TruthWordsAndNumbers) {
    bool ok = false;
    EXPECT_TRUE(textToBool("TrUe", ok) && ok);
    EXPECT_FALSE(textToBool("false", ok));
    EXPECT_TRUE(ok);
    EXPECT_TRUE(textToBool("-1", ok) && ok);
    EXPECT_FALSE(textToBool("0", ok));
    EXPECT_TRUE(ok);
    for (const char* bad : {"", "yes", "inf", "nan", "0x1", "1 2", "True!"}) {
        textToBool(bad, ok);
        EXPECT_FALSE(ok) << bad;
    }
    EXPECT_EQ(textToInt(" 7 ", ok), 7);
    EXPECT_TRUE(ok);
    for (const char* bad : {"", "1.0", "one", "99999999999", "1e2"}) {
        textToInt(bad, ok);
        EXPECT_FALSE(ok) << bad;
    }
}

TEST_F(ProgramSettingsTest, InstallPathIsWrittenOnlyWhenMissingOrEmpty) {
    ensureInstallPath(program, "/opt/quorvel");
    EXPECT_EQ(program.ReadEntry("InstallPath", ""), "/opt/quorvel");
    ensureInstallPath(program, "/elsewhere");
    EXPECT_EQ(program.ReadEntry("InstallPath", ""), "/opt/quorvel");
    program.WriteEntry("InstallPath", "");
    ensureInstallPath(program, "/again");
    EXPECT_EQ(program.ReadEntry("InstallPath", ""), "/again");
}

TEST_F(ProgramSettingsTest, SetGameFolderCancelledWithoutMustSelectChangesNothing) {
    game.WriteEntry("Folder", "/old/");
    EXPECT_FALSE(SetGameFolder(false, game, dialogs));
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].kind, ScriptedDialogs::Shown::Picker);
    EXPECT_EQ(dialogs.shown[0].title, "Choose the root UT folder:");
    EXPECT_EQ(game.ReadEntry("Folder", ""), "/old/");
}

TEST_F(ProgramSettingsTest, SetGameFolderAsksUntilAFolderIsChosen) {
    dialogs.folders = {"", "", "/games/ut"};
    EXPECT_TRUE(SetGameFolder(true, game, dialogs));
    ASSERT_EQ(dialogs.shown.size(), 5u);
    for (int i : {0, 2, 4}) EXPECT_EQ(dialogs.shown[i].kind, ScriptedDialogs::Shown::Picker);
    for (int i : {1, 3}) {
        EXPECT_EQ(dialogs.shown[i].title, "Quorvel");
        EXPECT_EQ(dialogs.shown[i].text, "You MUST select the root UT folder..");
    }
    EXPECT_EQ(game.ReadEntry("Folder", ""), "/games/ut/");
}

TEST_F(ProgramSettingsTest, StoredGameFolderGetsOneSeparatorAtTheEnd) {
    std::string lbl = "unchanged";
    game.WriteEntry("Folder", "/games/ut");
    EXPECT_EQ(findGameDir(game, dialogs, &lbl), "/games/ut/");
    game.WriteEntry("Folder", "/games/ut/");
    EXPECT_EQ(findGameDir(game, dialogs, &lbl), "/games/ut/");
    EXPECT_EQ(lbl, "unchanged");
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(ProgramSettingsTest, MissingGameFolderIsAskedForAndStored) {
    std::string lbl;
    dialogs.folders = {"", "/home/p/UnrealTournament"};
    EXPECT_EQ(findGameDir(game, dialogs, &lbl), "/home/p/UnrealTournament/");
    EXPECT_EQ(lbl, "/home/p/UnrealTournament/cache");
    ASSERT_EQ(dialogs.shown.size(), 4u);
    EXPECT_EQ(dialogs.shown[0].title, "Quorvel");
    EXPECT_EQ(dialogs.shown[0].text, kNotFound);
    EXPECT_EQ(dialogs.shown[2].text, "You MUST select the root UT folder..");
    EXPECT_EQ(game.ReadEntry("Folder", ""), "/home/p/UnrealTournament/");
    EXPECT_NE(test::readFile(store).find(
                  "[HKEY_LOCAL_MACHINE\\Software\\Unreal Technology\\Installed "
                  "Apps\\UnrealTournament]\r\n\"Folder\"=\"/home/p/UnrealTournament/\""),
              std::string::npos);
}

TEST_F(ProgramSettingsTest, UnwritableStoreStillGivesTheChosenFolder) {
    test::makeDirs(store);  // the store cannot be read or written
    std::string lbl;
    dialogs.folders = {"/games/ut"};
    EXPECT_EQ(findGameDir(game, dialogs, &lbl), "/games/ut/");
    EXPECT_EQ(lbl, "/games/ut/cache");
}

TEST_F(ProgramSettingsTest, GameFilesAndPlayerName) {
    EXPECT_EQ(gameIniPath("/g/ut/"), "/g/ut//System/UnrealTournament.ini");
    EXPECT_EQ(userIniPath("/g/ut"), "/g/ut/System/User.ini");
    const std::string userIni = dir / "User.ini";
    EXPECT_EQ(readPlayerName(userIni), "");
    test::writeFile(userIni, "[Engine.Input]\r\nName=NotThis\r\n[DefaultPlayer]\r\nName= Ace \r\n");
    EXPECT_EQ(readPlayerName(userIni), "Ace");
}

}  // namespace
}  // namespace qv
