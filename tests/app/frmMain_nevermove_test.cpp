#include <QTest>

#include "app/frmAbout.h"
#include "tests/app/frmMain_fixture.h"

namespace qv::apptest {
namespace {

class NeverMove : public MainWindowTest {
  protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        addPackage("CTF-Face.unr");
        addPackage("Skaarj.utx");
        writeIndex();
    }
    void add(const char* text) {
        child<ByteLineEdit>("txtNMAdd")->setBytes(text);
        buttonNamed("cmdNMAdd")->click();
    }
    void select(std::initializer_list<int> rows, int current) {
        QListWidget* list = child<QListWidget>("lstNM");
        list->setCurrentRow(current, QItemSelectionModel::NoUpdate);
        list->clearSelection();
        for (int r : rows) list->item(r)->setSelected(true);
    }
    std::string listFile() const { return readFile(programFolder + "/QuorvelDontMove.ini"); }
};

TEST_F(NeverMove, AddTakesThreeCharactersOrMoreUnchanged) {
    load();
    add("ab");
    EXPECT_TRUE(neverMoveBox().empty());
    EXPECT_EQ(child<ByteLineEdit>("txtNMAdd")->bytes(), "ab");
    add(" abc");
    add(" abc");
    EXPECT_EQ(neverMoveBox(), (std::vector<std::string>{" abc", " abc"}));
    EXPECT_EQ(child<ByteLineEdit>("txtNMAdd")->text().toStdString(), "");
    EXPECT_EQ(listFile(), "");  // only the box changed
}

TEST_F(NeverMove, RemoveSelectedFollowsTheSelectionCases) {
    load();
    add("first");
    add("second");
    add("third");
    select({0, 2}, 2);
    buttonNamed("cmdNMRemove")->click();
    EXPECT_EQ(neverMoveBox(), std::vector<std::string>{"second"});

    // One entry, none selected: nothing happens.
    select({}, 0);
    buttonNamed("cmdNMRemove")->click();
    EXPECT_EQ(neverMoveBox(), std::vector<std::string>{"second"});

    // Exactly one selected: the current entry goes.
    add("fourth");
    select({1}, 1);
    buttonNamed("cmdNMRemove")->click();
    EXPECT_EQ(neverMoveBox(), std::vector<std::string>{"second"});

    // Several entries, none selected: nothing happens.
    add("fifth");
    select({}, 0);
    buttonNamed("cmdNMRemove")->click();
    EXPECT_EQ(neverMoveBox(), (std::vector<std::string>{"second", "fifth"}));
}

TEST_F(NeverMove, SaveWritesLastToFirstThenReloadsAndMarks) {
    load();
    add("first");
    add("CTF-FACE.UNR");
    add("third");
    buttonNamed("cmdNMSave")->click();
    EXPECT_EQ(listFile(), "third\r\nCTF-FACE.UNR\r\nfirst\r\n");
    EXPECT_EQ(neverMoveBox(), (std::vector<std::string>{"third", "CTF-FACE.UNR", "first"}));
    EXPECT_EQ(window->neverMoveItems(), neverMoveBox());
    EXPECT_EQ(shownRows()[0], (Shown{"CTF-Face.unr", false, true}));
    EXPECT_EQ(window->publicVariables().NeverMoveNames, neverMoveBox());
    EXPECT_TRUE(buttonNamed("cmdNMSave")->isEnabled());
}

TEST_F(NeverMove, AScanDiscardsUnsavedEdits) {
    writeFile(programFolder + "/QuorvelDontMove.ini", "kept.unr\r\n");
    load();
    add("unsaved.unr");
    select({0}, 0);
    buttonNamed("cmdNMRemove")->click();
    EXPECT_EQ(neverMoveBox(), std::vector<std::string>{"unsaved.unr"});
    buttonNamed("cmdRescan")->click();
    EXPECT_EQ(neverMoveBox(), std::vector<std::string>{"kept.unr"});
}

TEST_F(NeverMove, NamesThatAreNotValidTextKeepTheirBytes) {
    writeFile(programFolder + "/QuorvelDontMove.ini", "Caf\xe9.unr\r\n");
    load();
    buttonNamed("cmdNMSave")->click();
    EXPECT_EQ(listFile(), "Caf\xe9.unr\r\n");
}

// "&Set the UT dir" and the other menu entries.
class Menus : public NeverMove {
  protected:
    std::vector<QUrl> opened;
    bool openResult = true;
    frmMain& loadWithServices() {
        frmMainServices services;
        services.openUrl = [this](const QUrl& url) {
            opened.push_back(url);
            return openResult;
        };
        window = std::make_unique<frmMain>(programFolder, services);
        EXPECT_TRUE(window->Form_Load());
        return *window;
    }
};

TEST_F(Menus, SetTheGameFolderShowsItsCacheFolderWithoutRescanning) {
    frmMain& w = loadWithServices();
    const std::string other = tmp / "UT2";
    makeDirs(other);

    picker.folders = {other + "/"};
    menuEntry("mnuToolsSetUT")->trigger();
    EXPECT_EQ(picker.prompts.back(), "Choose the root UT folder:");
    EXPECT_EQ(gameFolderStored(), other + "/");
    EXPECT_EQ(w.publicVariables().GameDir, other + "/");
    EXPECT_EQ(w.cacheDir(), other + "/Cache");
    EXPECT_EQ(shownRows().size(), 2u);  // not re-scanned

    // Chosen without a final separator: stored with one, the same cache folder.
    picker.folders = {other};
    w.mnuToolsSetUT_Click();
    EXPECT_EQ(gameFolderStored(), other + "/");
    EXPECT_EQ(w.cacheDir(), other + "/Cache");

    // Cancelled: nothing changes, not even an alternative cache folder.
    picker.folders = {""};
    storeGameFolder(game);
    w.mnuToolsSetUT_Click();
    EXPECT_EQ(w.cacheDir(), other + "/Cache");
    EXPECT_EQ(w.publicVariables().GameDir, other + "/");
    EXPECT_EQ(gameFolderStored(), game);
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(Menus, OpenTheUpdatePageTheFilesAndTheHelp) {
    frmMain& w = loadWithServices();
    menuEntry("mnuToolsCheckForUpdates")->trigger();
    menuEntry("mnuToolsEdit")->trigger();
    writeFile(programFolder + "/Quorvel.log", "log\r\n");
    menuEntry("mnuToolsView")->trigger();
    menuEntry("mnuHelpContents")->trigger();
    writeFile(programFolder + "/Quorvel3.chm", "chm");
    w.mnuHelpContents_Click();  // no HTML help: the compiled help
    makeDirs(programFolder + "/help");
    writeFile(programFolder + "/help/index.html", "<html></html>");
    w.mnuHelpContents_Click();  // the HTML help comes first
    ASSERT_EQ(opened.size(), 6u);
    EXPECT_EQ(opened[0].toString().toStdString(), "https://velmora.example/quorvel/updates");
    EXPECT_EQ(opened[1].toLocalFile().toStdString(), programFolder + "/Quorvel.ini");
    EXPECT_EQ(opened[2].toLocalFile().toStdString(), programFolder + "/Quorvel.log");
    EXPECT_EQ(opened[3].toLocalFile().toStdString(), programFolder + "/help/index.html");
    EXPECT_EQ(opened[4].toLocalFile().toStdString(), programFolder + "/Quorvel3.chm");
    EXPECT_EQ(opened[5].toLocalFile().toStdString(), programFolder + "/help/index.html");
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(Menus, AnEditorThatCannotStartIsReported) {
    loadWithServices();
    openResult = false;
    menuEntry("mnuToolsEdit")->trigger();
    menuEntry("mnuToolsCheckForUpdates")->trigger();  // not reported
    menuEntry("mnuHelpContents")->trigger();          // not reported
    menuEntry("mnuToolsView")->trigger();             // no log yet
    EXPECT_EQ(boxes.texts(),
              (std::vector<std::string>{
                  "No text editor could be started to open " + programFolder + "/Quorvel.ini.",
                  "There is no run log yet: " + programFolder +
                      "/Quorvel.log is written by the first run."}));
    EXPECT_EQ(boxes.shown[0].title, "Quorvel");
}

TEST_F(Menus, AboutShowsOneWindowAndClosesWithTheMainWindow) {
    frmMain& w = loadWithServices();
    menuEntry("mnuHelpAbout")->trigger();
    frmAbout* about = frmAbout::openWindow();
    ASSERT_NE(about, nullptr);
    w.mnuHelpAbout_Click();
    EXPECT_EQ(frmAbout::openWindow(), about);
    w.close();
    QTest::qWait(10);
    EXPECT_EQ(frmAbout::openWindow(), nullptr);
}

}  // namespace
}  // namespace qv::apptest
