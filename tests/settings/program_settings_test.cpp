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
const char* const kMustSelect = "You MUST select the root UT folder..";

class ProgramSettingsTest : public ::testing::Test {
  protected:
    TempDir dir;
    std::string store = dir / "registry.reg";
    ScriptedDialogs dialogs;
    clsRegistry program = clsRegistry::programKey(&dialogs, store);
    clsRegistry game = clsRegistry::gameKey(&dialogs, store);
};

TEST_F(ProgramSettingsTest, FirstRunGivesEveryDefaultAndSavedChoicesComeBack) {
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

    Options s;
    s.SelectAll = false;
    s.SelectOnly = true;
    s.UAX = 1;
    s.UTX = 1;
    s.MoveNorm = false;
    s.MoveDir2 = true;
    s.MoveDirText = "/one/folder";
    s.MoveDir2Text = "/tree root/with \"quotes\"";
    s.CacheDir = "/games/ut/cache";
    saveOptions(program, s);
    EXPECT_NE(test::readFile(store).find("\"SelectAll\"=\"False\"\r\n\"SelectOnly\"=\"True\"\r\n"
                                         "\"U\"=\"0\"\r\n\"UAX\"=\"1\""),
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
    EXPECT_EQ(back.MoveDir2Text, s.MoveDir2Text);
    EXPECT_EQ(back.CacheDir, "/games/ut/cache");
}

TEST_F(ProgramSettingsTest, StoredTextsConvertLikeTheControlsTakeThem) {
    const std::vector<std::pair<const char*, const char*>> stored = {
        {"SelectAll", "fALSE"}, {"SelectOnly", " -1 "}, {"U", "1"},
        {"UAX", "abc"},                                 // not a number: the box keeps its state
        {"UMX", "5"},                                   // no such check box value
        {"UNR", "1.5"},                                 // not a whole number
        {"UTX", " 2 "},         {"MoveNorm", "maybe"},  // neither a truth word nor a number
        {"MoveDir", "0"},       {"MoveDir2", "0.5"}};
    for (const auto& [name, text] : stored) program.WriteEntry(name, text);
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

    // Choosing an option clears the others of its group.
    for (const char* name : {"SelectAll", "SelectOnly", "MoveDir"})
        program.WriteEntry(name, "True");
    program.WriteEntry("MoveDir2", "False");
    const Options g = restoreOptions(program);
    EXPECT_FALSE(g.SelectAll);
    EXPECT_TRUE(g.SelectOnly);
    EXPECT_FALSE(g.MoveNorm);
    EXPECT_TRUE(g.MoveDir);
    EXPECT_FALSE(g.MoveDir2);
}

TEST(TextConversionTest, TruthWordsAndNumbers) {
    bool ok = false;
    for (const auto& [text, value] : std::vector<std::pair<const char*, bool>>{
             {"TrUe", true}, {"false", false}, {"-1", true}, {"0", false}}) {
        EXPECT_EQ(textToBool(text, ok), value) << text;
        EXPECT_TRUE(ok) << text;
    }
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

TEST_F(ProgramSettingsTest, SetGameFolderAsksUntilAFolderIsChosenOnlyWhenItMust) {
    game.WriteEntry("Folder", "/old/");
    EXPECT_FALSE(SetGameFolder(false, game, dialogs));  // cancelled: nothing changes
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].kind, ScriptedDialogs::Shown::Picker);
    EXPECT_EQ(dialogs.shown[0].title, "Choose the root UT folder:");
    EXPECT_EQ(game.ReadEntry("Folder", ""), "/old/");

    dialogs.shown.clear();
    dialogs.folders = {"", "", "/games/ut"};
    EXPECT_TRUE(SetGameFolder(true, game, dialogs));
    ASSERT_EQ(dialogs.shown.size(), 5u);
    for (int i : {0, 2, 4}) EXPECT_EQ(dialogs.shown[i].kind, ScriptedDialogs::Shown::Picker);
    for (int i : {1, 3}) {
        EXPECT_EQ(dialogs.shown[i].title, "Quorvel");
        EXPECT_EQ(dialogs.shown[i].text, kMustSelect);
    }
    EXPECT_EQ(game.ReadEntry("Folder", ""), "/games/ut/");
}

TEST_F(ProgramSettingsTest, FindGameDirAsksForAMissingFolderAndEndsItInOneSeparator) {
    std::string lbl;
    dialogs.folders = {"", "/home/p/UnrealTournament"};
    EXPECT_EQ(findGameDir(game, dialogs, &lbl), "/home/p/UnrealTournament/");
    EXPECT_EQ(lbl, "/home/p/UnrealTournament/cache");
    ASSERT_EQ(dialogs.shown.size(), 4u);
    EXPECT_EQ(dialogs.shown[0].title, "Quorvel");
    EXPECT_EQ(dialogs.shown[0].text, kNotFound);
    EXPECT_EQ(dialogs.shown[2].text, kMustSelect);
    EXPECT_NE(test::readFile(store).find(
                  "[HKEY_LOCAL_MACHINE\\Software\\Unreal Technology\\Installed "
                  "Apps\\UnrealTournament]\r\n\"Folder\"=\"/home/p/UnrealTournament/\""),
              std::string::npos);

    dialogs.shown.clear();
    lbl = "unchanged";
    for (const char* stored : {"/games/ut", "/games/ut/"}) {
        game.WriteEntry("Folder", stored);
        EXPECT_EQ(findGameDir(game, dialogs, &lbl), "/games/ut/") << stored;
    }
    EXPECT_EQ(lbl, "unchanged");
    EXPECT_TRUE(dialogs.shown.empty());

    // A store that cannot be read or written still gives the chosen folder.
    test::makeDirs(dir / "broken.reg");
    clsRegistry broken = clsRegistry::gameKey(&dialogs, dir / "broken.reg");
    dialogs.folders = {"/games/ut2"};
    EXPECT_EQ(findGameDir(broken, dialogs, &lbl), "/games/ut2/");
    EXPECT_EQ(lbl, "/games/ut2/cache");
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
