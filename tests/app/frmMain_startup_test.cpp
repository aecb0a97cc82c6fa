#include <QTest>
#include <cstdio>

#include "tests/app/frmMain_fixture.h"

namespace qv::apptest {
namespace {

using Startup = MainWindowTest;

// Only the first missing file is reported; nothing is saved whatever closes the window.
TEST_F(Startup, AMissingRequiredFileEndsTheProgramWithItsTwoMessages) {
    const struct {
        std::vector<const char*> removed;
        const char* shownName;
    } cases[] = {{{"Quorvel.ini"}, "Quorvel.ini"},
                 {{"QuorvelDontMove.ini"}, "QuorvelDontMove.ini"},
                 {{"search.avi"}, "Search.avi"},
                 {{"search.avi", "Quorvel.ini"}, "Quorvel.ini"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shownName);
        std::vector<std::pair<std::string, std::string>> kept;
        for (const char* f : c.removed) {
            kept.push_back({programFolder + "/" + f, readFile(programFolder + "/" + f)});
            std::remove(kept.back().first.c_str());
        }
        boxes.shown.clear();
        frmMain w(programFolder);
        EXPECT_FALSE(w.Form_Load());
        EXPECT_EQ(boxes.texts(), (std::vector<std::string>{
                                     std::string("A critical file (") + c.shownName +
                                         ") is missing...please re-install the program.",
                                     "Remember to copy the latest EXE over the one installed..."}));
        for (const auto& box : boxes.shown) EXPECT_EQ(box.title, "Quorvel");
        EXPECT_TRUE(picker.prompts.empty());
        w.close();
        expectStored({{"SelectAll", "<missing>"}, {"InstallPath", "<missing>"}});
        for (const auto& [path, bytes] : kept) writeFile(path, bytes);
    }
}

TEST_F(Startup, FirstStartWithoutGameFolderAsksUntilOneIsChosen) {
    storeGameFolder("");
    fillCache({"DM-Deck16.unr"});
    picker.folders = {"", "", game};  // cancel twice, then the game folder
    frmMain& w = load();
    EXPECT_EQ(picker.prompts, std::vector<std::string>(3, "Choose the root UT folder:"));
    EXPECT_EQ(boxes.texts(),
              (std::vector<std::string>{
                  "Unreal Tournament not found.\r\n\r\nPlease click OK to select "
                  "the main directory..\r\n(example - E:\\Games\\UnrealTournament)",
                  "You MUST select the root UT folder..", "You MUST select the root UT folder.."}));
    EXPECT_EQ(gameFolderStored(), game + "/");
    EXPECT_EQ(w.publicVariables().GameDir, game + "/");
    EXPECT_EQ(storedOption("InstallPath"), programFolder);
    EXPECT_EQ(w.cacheDir(), game + "/Cache");  // no stored CacheDir: formed from Quorvel.ini
    EXPECT_EQ(shownRows().size(), 1u);
}

TEST_F(Startup, FirstRunShowsTheDesignedStatesAndTheScannedList) {
    fillCache({"CTF-Face.unr", "Skaarj.utx", "Botpack.u"});
    storeGameFolder(game);  // without a final separator: one is added
    frmMain& w = load();
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(w.publicVariables().GameDir, game + "/");
    EXPECT_EQ(w.windowTitle().toStdString(), "Quorvel v3.0 - by the Quorvel developers");
    EXPECT_EQ(currentTab(), 1);
    EXPECT_EQ(child<QTabWidget>("SSTab1")->tabText(1).toStdString(), "File List");
    EXPECT_TRUE(isOn("optSelectAll"));
    EXPECT_TRUE(isOn("optMoveNorm"));
    for (const char* box : {"chkU", "chkUAX", "chkUMX", "chkUNR", "chkUTX"}) {
        EXPECT_FALSE(isOn(box)) << box;
        EXPECT_FALSE(button(box)->isEnabled()) << box;
    }
    EXPECT_FALSE(button("cmdCommitFileTypes")->isEnabled());
    EXPECT_TRUE(edit("txtMoveDir")->isHidden());
    EXPECT_TRUE(edit("txtMoveDir2")->isHidden());
    EXPECT_EQ(labelText("lblUTName"), "Xan");
    EXPECT_EQ(labelText("lblRemind"), "");
    EXPECT_EQ(edit("txtPurgeCacheDays")->bytes(), "30");
    EXPECT_EQ(statusText(), "Found 3 files to process");
    EXPECT_EQ(shownRows(), (std::vector<Shown>{{"CTF-Face.unr", true, false},
                                               {"Skaarj.utx", true, false},
                                               {"Botpack.u", true, false}}));
    EXPECT_TRUE(button("cmdRun")->isEnabled());
    EXPECT_TRUE(menuEntry("mnuFileRun")->isEnabled());
    EXPECT_FALSE(w.publicVariables().FormLoading);
    // InstallPath is written at once, the options only at exit.
    expectStored({{"InstallPath", programFolder}, {"SelectAll", "<missing>"}});
}

TEST_F(Startup, StoredOptionsAreRestoredWithoutTheReminderAndKeepTheirBytes) {
    fillCache({"CTF-Face.unr", "Skaarj.utx"});
    const std::string other = tmp / "OtherCache";
    makeDirs(other);
    indexLines = {"[Cache]"};
    addPackage("DM-Other.unr", other);
    writeIndex(other);
    const std::string latin1Folder = "/mnt/caf\xe9";  // not valid UTF-8
    for (const auto& [name, value] :
         std::vector<std::pair<const char*, std::string>>{{"SelectAll", "False"},
                                                          {"SelectOnly", "True"},
                                                          {"UNR", "1"},
                                                          {"MoveDir2", "True"},
                                                          {"MoveDir2Text", "/mnt/packs"},
                                                          {"MoveDirText", latin1Folder},
                                                          {"CacheDir", other}})
        storeOption(name, value);

    frmMain& w = load();
    EXPECT_TRUE(isOn("optSelectOnly"));
    EXPECT_FALSE(isOn("optSelectAll"));
    EXPECT_TRUE(isOn("chkUNR"));
    EXPECT_TRUE(button("chkUNR")->isEnabled());
    EXPECT_TRUE(button("cmdCommitFileTypes")->isEnabled());
    EXPECT_TRUE(isOn("optMoveDir2"));
    EXPECT_FALSE(edit("txtMoveDir2")->isHidden());
    EXPECT_TRUE(edit("txtMoveDir")->isHidden());
    EXPECT_EQ(edit("txtMoveDir")->bytes(), latin1Folder);
    EXPECT_EQ(edit("txtMoveDir2")->bytes(), "/mnt/packs");
    EXPECT_EQ(w.cacheDir(), other);
    EXPECT_EQ(labelText("lblRemind"), "");  // the restored check box raised no reminder
    EXPECT_FALSE(w.findChild<QTimer*>("Timer1")->isActive());
    EXPECT_EQ(shownRows(), (std::vector<Shown>{{"DM-Other.unr", true, false}}));
    w.close();
    EXPECT_EQ(storedOption("MoveDirText"), latin1Folder);
}

TEST_F(Startup, NeitherSelectionOptionStoredLeavesBothClear) {
    fillCache({"CTF-Face.unr", "Skaarj.utx"});
    storeOption("SelectAll", "False");
    storeOption("SelectOnly", "0");
    storeOption("UTX", "1");
    storeOption("MoveNorm", "maybe");  // cannot be converted: the designed state stays
    load();
    EXPECT_FALSE(isOn("optSelectAll"));
    EXPECT_FALSE(isOn("optSelectOnly"));
    EXPECT_TRUE(isOn("optMoveNorm"));
    // The type boxes apply as with "only these types".
    EXPECT_EQ(shownRows(),
              (std::vector<Shown>{{"CTF-Face.unr", false, false}, {"Skaarj.utx", true, false}}));
}

TEST_F(Startup, MissingIndexIsReportedAndTheWindowOpensEmpty) {
    frmMain& w = load();
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].title, "Critical file missing!");
    EXPECT_EQ(boxes.shown[0].text, "Cache.INI is MISSING...can't proceed!");
    EXPECT_EQ(w.fileList()->rowCount(), 0);
    EXPECT_EQ(currentTab(), 1);
}

// The same choices are saved whichever way out is taken, and only once.
TEST_F(Startup, OptionsAreSavedOnceByEveryWayOut) {
    fillCache({"CTF-Face.unr"});
    const std::function<void(frmMain&)> waysOut[] = {
        [](frmMain& w) { w.close(); }, [this](frmMain&) { button("cmdExit")->click(); },
        [this](frmMain&) { menuEntry("mnuFileExit")->trigger(); }};
    int way = 0;
    for (const auto& exitBy : waysOut) {
        SCOPED_TRACE(way++);
        std::remove(registryPath.c_str());
        storeGameFolder(game + "/");
        frmMain& w = load();
        w.show();
        button("optSelectOnly")->click();
        button("chkUTX")->click();
        button("optMoveDir")->click();
        QTest::keyClicks(edit("txtMoveDir"), "/srv/ut");

        exitBy(w);
        EXPECT_FALSE(w.isVisible());
        expectStored({{"SelectAll", "False"},
                      {"SelectOnly", "True"},
                      {"U", "0"},
                      {"UTX", "1"},
                      {"MoveNorm", "False"},
                      {"MoveDir", "True"},
                      {"MoveDirText", "/srv/ut"},
                      {"MoveDir2", "False"},
                      {"CacheDir", game + "/Cache"}});
        EXPECT_NE(readFile(registryPath).find("\"MoveDir2Text\"=\"\""), std::string::npos);

        // A second way out after the first saves nothing more.
        storeOption("SelectOnly", "changed elsewhere");
        w.Form_Unload();
        button("cmdExit")->click();
        EXPECT_EQ(storedOption("SelectOnly"), "changed elsewhere");
        window.reset();
    }
}

}  // namespace
}  // namespace qv::apptest
