#include <QTest>
#include <cstdio>

#include "tests/app/frmMain_fixture.h"

namespace qv::apptest {
namespace {

constexpr const char* kReminder = "Remember to copy the latest EXE over the one installed...";

using Startup = MainWindowTest;

TEST_F(Startup, EachMissingRequiredFileEndsTheProgramWithItsTwoMessages) {
    const struct {
        const char* file;
        const char* message;
    } cases[] = {
        {"Quorvel.ini",
         "A critical file (Quorvel.ini) is missing...please re-install the program."},
        {"QuorvelDontMove.ini",
         "A critical file (QuorvelDontMove.ini) is missing...please re-install the program."},
        {"search.avi", "A critical file (Search.avi) is missing...please re-install the program."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string path = programFolder + "/" + c.file;
        const std::string kept = readFile(path);
        std::remove(path.c_str());
        boxes.shown.clear();

        frmMain w(programFolder);
        EXPECT_FALSE(w.Form_Load());
        ASSERT_EQ(boxes.shown.size(), 2u);
        EXPECT_EQ(boxes.texts(), (std::vector<std::string>{c.message, kReminder}));
        EXPECT_EQ(boxes.shown[0].title, "Quorvel");
        EXPECT_EQ(boxes.shown[1].title, "Quorvel");
        EXPECT_TRUE(picker.prompts.empty());
        // Nothing is saved when the program ends this way, whatever closes the window.
        w.close();
        EXPECT_EQ(storedOption("SelectAll"), "<missing>");
        EXPECT_EQ(storedOption("InstallPath"), "<missing>");
        writeFile(path, kept);
    }
}

TEST_F(Startup, OnlyTheFirstMissingFileIsReported) {
    std::remove((programFolder + "/Quorvel.ini").c_str());
    std::remove((programFolder + "/search.avi").c_str());
    frmMain w(programFolder);
    EXPECT_FALSE(w.Form_Load());
    EXPECT_EQ(boxes.texts(),
              (std::vector<std::string>{
                  "A critical file (Quorvel.ini) is missing...please re-install the program.",
                  kReminder}));
}

TEST_F(Startup, FirstStartWithoutGameFolderAsksUntilOneIsChosen) {
    clsRegistry::gameKey(nullptr, registryPath).WriteEntry("Folder", "");
    addPackage("DM-Deck16.unr");
    writeIndex();
    picker.folders = {"", "", game};  // cancel twice, then the game folder

    frmMain& w = load();
    EXPECT_EQ(picker.prompts, std::vector<std::string>(3, "Choose the root UT folder:"));
    const std::vector<std::string> texts = boxes.texts();
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[0],
              "Unreal Tournament not found.\r\n\r\nPlease click OK to select the main "
              "directory..\r\n(example - E:\\Games\\UnrealTournament)");
    EXPECT_EQ(texts[1], "You MUST select the root UT folder..");
    EXPECT_EQ(texts[2], "You MUST select the root UT folder..");
    EXPECT_EQ(gameFolderStored(), game + "/");
    EXPECT_EQ(w.publicVariables().GameDir, game + "/");
    EXPECT_EQ(storedOption("InstallPath"), programFolder);
    // No stored CacheDir: the scan forms the cache folder from Quorvel.ini.
    EXPECT_EQ(w.cacheDir(), game + "/Cache");
    EXPECT_EQ(shownRows().size(), 1u);
}

TEST_F(Startup, FirstRunShowsTheDesignedStatesAndTheScannedList) {
    addPackage("CTF-Face.unr");
    addPackage("Skaarj.utx");
    addPackage("Botpack.u");
    writeIndex();
    storeGameFolder(game);  // without a final separator: one is added

    frmMain& w = load();
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(w.publicVariables().GameDir, game + "/");
    EXPECT_EQ(w.windowTitle().toStdString(), "Quorvel v3.0 - by the Quorvel developers");
    EXPECT_EQ(child<QTabWidget>("SSTab1")->currentIndex(), 1);
    EXPECT_EQ(child<QTabWidget>("SSTab1")->tabText(1).toStdString(), "File List");
    EXPECT_TRUE(child<QRadioButton>("optSelectAll")->isChecked());
    EXPECT_TRUE(child<QRadioButton>("optMoveNorm")->isChecked());
    for (const char* box : {"chkU", "chkUAX", "chkUMX", "chkUNR", "chkUTX"}) {
        EXPECT_FALSE(child<QCheckBox>(box)->isChecked()) << box;
        EXPECT_FALSE(child<QCheckBox>(box)->isEnabled()) << box;
    }
    EXPECT_FALSE(buttonNamed("cmdCommitFileTypes")->isEnabled());
    EXPECT_TRUE(child<ByteLineEdit>("txtMoveDir")->isHidden());
    EXPECT_TRUE(child<ByteLineEdit>("txtMoveDir2")->isHidden());
    EXPECT_EQ(labelText("lblUTName"), "Xan");
    EXPECT_EQ(labelText("lblRemind"), "");
    EXPECT_EQ(child<ByteLineEdit>("txtPurgeCacheDays")->bytes(), "30");
    EXPECT_EQ(statusText(), "Found 3 files to process");
    EXPECT_EQ(shownRows(), (std::vector<Shown>{{"CTF-Face.unr", true, false},
                                               {"Skaarj.utx", true, false},
                                               {"Botpack.u", true, false}}));
    EXPECT_TRUE(buttonNamed("cmdRun")->isEnabled());
    EXPECT_TRUE(menuEntry("mnuFileRun")->isEnabled());
    EXPECT_FALSE(w.publicVariables().FormLoading);
    // InstallPath is written at once, the options only at exit.
    EXPECT_EQ(storedOption("InstallPath"), programFolder);
    EXPECT_EQ(storedOption("SelectAll"), "<missing>");
}

TEST_F(Startup, StoredOptionsAreRestoredWithoutTheReminder) {
    addPackage("CTF-Face.unr");
    addPackage("Skaarj.utx");
    writeIndex();
    const std::string other = tmp / "OtherCache";
    makeDirs(other);
    indexLines = {"[Cache]"};
    addPackage("DM-Other.unr", other);
    writeIndex(other);
    storeOption("SelectAll", "False");
    storeOption("SelectOnly", "True");
    storeOption("UNR", "1");
    storeOption("MoveDir2", "True");
    storeOption("MoveDir2Text", "/mnt/packs");
    storeOption("MoveDirText", "/mnt/one");
    storeOption("CacheDir", other);

    frmMain& w = load();
    EXPECT_TRUE(child<QRadioButton>("optSelectOnly")->isChecked());
    EXPECT_FALSE(child<QRadioButton>("optSelectAll")->isChecked());
    EXPECT_TRUE(child<QCheckBox>("chkUNR")->isChecked());
    EXPECT_TRUE(child<QCheckBox>("chkUNR")->isEnabled());
    EXPECT_TRUE(buttonNamed("cmdCommitFileTypes")->isEnabled());
    EXPECT_TRUE(child<QRadioButton>("optMoveDir2")->isChecked());
    EXPECT_FALSE(child<ByteLineEdit>("txtMoveDir2")->isHidden());
    EXPECT_TRUE(child<ByteLineEdit>("txtMoveDir")->isHidden());
    EXPECT_EQ(child<ByteLineEdit>("txtMoveDir")->bytes(), "/mnt/one");
    EXPECT_EQ(child<ByteLineEdit>("txtMoveDir2")->bytes(), "/mnt/packs");
    EXPECT_EQ(w.cacheDir(), other);
    // The restored check box raised no reminder.
    EXPECT_EQ(labelText("lblRemind"), "");
    EXPECT_FALSE(w.findChild<QTimer*>("Timer1")->isActive());
    EXPECT_EQ(shownRows(), (std::vector<Shown>{{"DM-Other.unr", true, false}}));
}

TEST_F(Startup, NeitherSelectionOptionStoredLeavesBothClear) {
    addPackage("CTF-Face.unr");
    addPackage("Skaarj.utx");
    writeIndex();
    storeOption("SelectAll", "False");
    storeOption("SelectOnly", "0");
    storeOption("UTX", "1");
    storeOption("MoveNorm", "maybe");  // cannot be converted: the designed state stays

    load();
    EXPECT_FALSE(child<QRadioButton>("optSelectAll")->isChecked());
    EXPECT_FALSE(child<QRadioButton>("optSelectOnly")->isChecked());
    EXPECT_TRUE(child<QRadioButton>("optMoveNorm")->isChecked());
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
    EXPECT_EQ(child<QTabWidget>("SSTab1")->currentIndex(), 1);
}

// The same choices are saved whichever way out is taken, and only once.
TEST_F(Startup, OptionsAreSavedOnceByEveryWayOut) {
    addPackage("CTF-Face.unr");
    writeIndex();
    const std::function<void(frmMain&)> waysOut[] = {
        [](frmMain& w) { w.close(); },
        [this](frmMain&) { buttonNamed("cmdExit")->click(); },
        [this](frmMain&) { menuEntry("mnuFileExit")->trigger(); },
    };
    int way = 0;
    for (const auto& exitBy : waysOut) {
        SCOPED_TRACE(way++);
        std::remove(registryPath.c_str());
        storeGameFolder(game + "/");
        frmMain& w = load();
        w.show();
        child<QRadioButton>("optSelectOnly")->click();
        child<QCheckBox>("chkUTX")->click();
        child<QRadioButton>("optMoveDir")->click();
        QTest::keyClicks(child<ByteLineEdit>("txtMoveDir"), "/srv/ut");

        exitBy(w);
        EXPECT_FALSE(w.isVisible());
        EXPECT_EQ(storedOption("SelectAll"), "False");
        EXPECT_EQ(storedOption("SelectOnly"), "True");
        EXPECT_EQ(storedOption("U"), "0");
        EXPECT_EQ(storedOption("UTX"), "1");
        EXPECT_EQ(storedOption("MoveNorm"), "False");
        EXPECT_EQ(storedOption("MoveDir"), "True");
        EXPECT_EQ(storedOption("MoveDirText"), "/srv/ut");
        EXPECT_EQ(storedOption("MoveDir2"), "False");
        EXPECT_NE(readFile(registryPath).find("\"MoveDir2Text\"=\"\""), std::string::npos);
        EXPECT_EQ(storedOption("CacheDir"), game + "/Cache");

        // A second way out after the first saves nothing more.
        storeOption("SelectOnly", "changed elsewhere");
        w.Form_Unload();
        buttonNamed("cmdExit")->click();
        EXPECT_EQ(storedOption("SelectOnly"), "changed elsewhere");
        window.reset();
    }
}

TEST_F(Startup, BytesOfStoredTextsSurviveTheWindow) {
    addPackage("CTF-Face.unr");
    writeIndex();
    const std::string latin1Folder = "/mnt/caf\xe9";  // not valid UTF-8
    storeOption("MoveDirText", latin1Folder);
    load();
    window->close();
    EXPECT_EQ(storedOption("MoveDirText"), latin1Folder);
}

}  // namespace
}  // namespace qv::apptest
