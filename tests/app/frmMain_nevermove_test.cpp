#include <QTest>

#include "app/frmAbout.h"
#include "tests/app/frmMain_fixture.h"

namespace qv::apptest {
namespace {

class NeverMove : public MainWindowTest {
  protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        fillCache({"CTF-Face.unr", "Skaarj.utx"});
    }
    void add(const char* text) {
        edit("txtNMAdd")->setBytes(text);
        button("cmdNMAdd")->click();
    }
    // Removes with the given rows selected and `current` as the current row.
    std::vector<std::string> removeSelected(std::initializer_list<int> rows, int current) {
        QListWidget* list = child<QListWidget>("lstNM");
        list->setCurrentRow(current, QItemSelectionModel::NoUpdate);
        list->clearSelection();
        for (int r : rows) list->item(r)->setSelected(true);
        button("cmdNMRemove")->click();
        EXPECT_EQ(neverMoveBox().size(), window->neverMoveItems().size());  // box and bytes agree
        return window->neverMoveItems();
    }
};

TEST_F(NeverMove, AddRemoveRescanAndSave) {
    using Texts = std::vector<std::string>;
    writeFile(programFolder + "/QuorvelDontMove.ini", "Caf\xe9.unr\r\n");  // not valid UTF-8
    load();
    add("ab");  // too short
    EXPECT_EQ(window->neverMoveItems(), Texts{"Caf\xe9.unr"});
    EXPECT_EQ(edit("txtNMAdd")->bytes(), "ab");
    add(" abc");  // taken unchanged, twice
    add(" abc");
    EXPECT_EQ(window->neverMoveItems(), (Texts{"Caf\xe9.unr", " abc", " abc"}));
    EXPECT_EQ(edit("txtNMAdd")->text().toStdString(), "");
    EXPECT_EQ(listFile(), "Caf\xe9.unr\r\n");  // only the box changed

    EXPECT_EQ(removeSelected({0, 2}, 2), Texts{" abc"});
    EXPECT_EQ(removeSelected({}, 0), Texts{" abc"});  // one entry, none selected: nothing
    add("fourth");
    EXPECT_EQ(removeSelected({1}, 1), Texts{" abc"});  // exactly one selected: it goes
    add("fifth");
    EXPECT_EQ(removeSelected({}, 0), (Texts{" abc", "fifth"}));  // several, none selected

    // A scan discards the unsaved edits.
    button("cmdRescan")->click();
    EXPECT_EQ(window->neverMoveItems(), Texts{"Caf\xe9.unr"});

    // Saving writes last to first, reloads, and marks the rows.
    add("CTF-FACE.UNR");
    add("third");
    button("cmdNMSave")->click();
    EXPECT_EQ(listFile(), "third\r\nCTF-FACE.UNR\r\nCaf\xe9.unr\r\n");
    EXPECT_EQ(window->neverMoveItems(), (Texts{"third", "CTF-FACE.UNR", "Caf\xe9.unr"}));
    EXPECT_EQ(neverMoveBox().size(), 3u);  // the box shows them, decoded for display
    EXPECT_EQ(neverMoveBox()[1], "CTF-FACE.UNR");
    EXPECT_EQ(window->publicVariables().NeverMoveNames, window->neverMoveItems());
    EXPECT_EQ(shownRows()[0], (Shown{"CTF-Face.unr", false, true}));
    EXPECT_TRUE(button("cmdNMSave")->isEnabled());
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

TEST_F(Menus, OpenTheUpdatePageTheFilesTheHelpAndAbout) {
    frmMain& w = loadWithServices();
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

    boxes.shown.clear();
    opened.clear();
    openResult = true;
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
    const std::string files[] = {"Quorvel.ini", "Quorvel.log", "help/index.html", "Quorvel3.chm",
                                 "help/index.html"};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(opened[i + 1].toLocalFile().toStdString(), programFolder + "/" + files[i]);
    EXPECT_TRUE(boxes.shown.empty());

    // One About window, closed with the main window.
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
