#include <QHeaderView>
#include <QTest>

#include "tests/app/frmMain_fixture.h"

namespace qv::apptest {
namespace {

class FileList : public MainWindowTest {
  protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        addPackage("CTF-Face.unr");
        addPackage("botpack.u");
        addPackage("Skaarj.utx");
        writeIndex();
    }
    std::vector<std::string> shownTexts() const {
        std::vector<std::string> out;
        for (const Shown& s : shownRows()) out.push_back(s.text);
        return out;
    }
    void selectRow(int row) {
        QTreeView* view = child<QTreeView>("ListView1");
        view->selectionModel()->select(
            view->model()->index(row, 0),
            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
};

TEST_F(FileList, ListShowsTheThreeColumnsAtTheirWidths) {
    load();
    QTreeView* view = child<QTreeView>("ListView1");
    EXPECT_EQ(view->header()->sectionSize(0), 360);
    EXPECT_EQ(view->header()->sectionSize(1), 147);
    EXPECT_GE(view->header()->sectionSize(2), 80);
    EXPECT_TRUE(view->uniformRowHeights());
    EXPECT_EQ(view->model()->headerData(2, Qt::Horizontal).toString().toStdString(), "Never Move?");
}

TEST_F(FileList, CheckAllAndUncheckAllLeaveTheStatusText) {
    writeFile(programFolder + "/QuorvelDontMove.ini", "skaarj.UTX\r\n");
    load();
    EXPECT_EQ(statusText(), "Found 2 files to process");
    buttonNamed("cmdUncheck")->click();
    for (const Shown& s : shownRows()) EXPECT_FALSE(s.checked) << s.text;
    buttonNamed("cmdCheck")->click();
    for (const Shown& s : shownRows()) EXPECT_TRUE(s.checked) << s.text;
    EXPECT_TRUE(shownRows()[2].neverMove);
    EXPECT_EQ(statusText(), "Found 2 files to process");
}

TEST_F(FileList, HeaderClicksSortAndFlipTheOneOrder) {
    load();
    EXPECT_EQ(shownTexts(), (std::vector<std::string>{"CTF-Face.unr", "botpack.u", "Skaarj.utx"}));
    QHeaderView* header = child<QTreeView>("ListView1")->header();
    const int y = header->height() / 2;
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(20, y));
    EXPECT_EQ(shownTexts(), (std::vector<std::string>{"botpack.u", "CTF-Face.unr", "Skaarj.utx"}));
    window->ListView1_ColumnClick(0);
    EXPECT_EQ(shownTexts(), (std::vector<std::string>{"Skaarj.utx", "CTF-Face.unr", "botpack.u"}));
    // Another column flips the order again: "Never Move?" is empty everywhere, so the rows
    // keep their order.
    window->ListView1_ColumnClick(2);
    EXPECT_EQ(window->fileList()->sortOrder(), Qt::AscendingOrder);
    EXPECT_EQ(shownTexts(), (std::vector<std::string>{"Skaarj.utx", "CTF-Face.unr", "botpack.u"}));

    // The run takes the checked rows in the order shown.
    window->fileList()->setData(window->fileList()->index(1, 0), Qt::Unchecked, Qt::CheckStateRole);
    EXPECT_EQ(window->fileList()->checkedTexts(),
              (std::vector<std::string>{"Skaarj.utx", "botpack.u"}));
    // A re-scan keeps the list sorted.
    window->ListView1_ColumnClick(0);
    EXPECT_EQ(window->fileList()->sortOrder(), Qt::DescendingOrder);
    window->cmdRescan_Click();
    EXPECT_EQ(shownTexts(), (std::vector<std::string>{"Skaarj.utx", "CTF-Face.unr", "botpack.u"}));
}

TEST_F(FileList, RightClickAddsTheRowToTheNeverMoveListInItsOwnCase) {
    writeFile(programFolder + "/QuorvelDontMove.ini", "Old.utx\r\n");
    frmMain& w = load();
    // An unsaved edit of the box is dropped by the reload.
    child<ByteLineEdit>("txtNMAdd")->setBytes("Unsaved.unr");
    w.cmdNMAdd_Click();
    selectRow(0);

    boxes.answers = {true};
    w.ListView1_MouseUp(Qt::RightButton);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].kind, MessageBoxCall::YesNo);
    EXPECT_EQ(boxes.shown[0].title, "Add File");
    EXPECT_EQ(boxes.shown[0].text, "Add CTF-FACE.UNR to the never move list?");
    EXPECT_EQ(readFile(programFolder + "/QuorvelDontMove.ini"), "Old.utx\r\nCTF-Face.unr\r\n");
    EXPECT_EQ(shownRows()[0], (Shown{"CTF-Face.unr", false, true}));
    EXPECT_EQ(neverMoveBox(), (std::vector<std::string>{"Old.utx", "CTF-Face.unr"}));

    // A name already on the list is appended again.
    boxes.answers = {true};
    QTest::mouseClick(
        child<QTreeView>("ListView1")->viewport(), Qt::RightButton, {},
        child<QTreeView>("ListView1")->visualRect(w.fileList()->index(0, 0)).center());
    EXPECT_EQ(readFile(programFolder + "/QuorvelDontMove.ini"),
              "Old.utx\r\nCTF-Face.unr\r\nCTF-Face.unr\r\n");
}

TEST_F(FileList, RightClickAnsweredNoOrWithoutARowChangesNothing) {
    frmMain& w = load();
    w.ListView1_MouseUp(Qt::RightButton);  // nothing selected yet
    EXPECT_TRUE(boxes.shown.empty());

    selectRow(1);
    w.ListView1_MouseUp(Qt::LeftButton);
    EXPECT_TRUE(boxes.shown.empty());

    boxes.answers = {false};
    w.ListView1_MouseUp(Qt::RightButton);
    EXPECT_EQ(boxes.texts(), std::vector<std::string>{"Add BOTPACK.U to the never move list?"});
    EXPECT_EQ(readFile(programFolder + "/QuorvelDontMove.ini"), "");
    EXPECT_EQ(shownRows()[1], (Shown{"botpack.u", true, false}));
}

TEST_F(FileList, RescanShowsWhatTheIndexNowHolds) {
    frmMain& w = load();
    addPackage("DM-Turbine.unr");
    writeIndex();
    buttonNamed("cmdRescan")->click();
    EXPECT_EQ(shownRows().size(), 4u);
    EXPECT_EQ(statusText(), "Found 4 files to process");
    EXPECT_TRUE(buttonNamed("cmdRun")->isEnabled());
    EXPECT_FALSE(w.isBusy());
}

}  // namespace
}  // namespace qv::apptest
