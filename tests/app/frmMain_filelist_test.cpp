#include <QHeaderView>
#include <QTest>

#include "tests/app/frmMain_fixture.h"

namespace qv::apptest {
namespace {

class FileList : public MainWindowTest {
  protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        fillCache({"CTF-Face.unr", "botpack.u", "Skaarj.utx"});
    }
    std::vector<std::string> shownTexts() const {
        std::vector<std::string> out;
        for (const Shown& s : shownRows()) out.push_back(s.text);
        return out;
    }
    QTreeView* view() const { return child<QTreeView>("ListView1"); }
};

TEST_F(FileList, ColumnsHeaderSortingAndRescan) {
    using Texts = std::vector<std::string>;
    load();
    EXPECT_EQ(view()->header()->sectionSize(0), 360);
    EXPECT_EQ(view()->header()->sectionSize(1), 147);
    EXPECT_GE(view()->header()->sectionSize(2), 80);
    EXPECT_TRUE(view()->uniformRowHeights());
    EXPECT_EQ(shownTexts(), (Texts{"CTF-Face.unr", "botpack.u", "Skaarj.utx"}));

    QHeaderView* header = view()->header();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(20, header->height() / 2));
    EXPECT_EQ(shownTexts(), (Texts{"botpack.u", "CTF-Face.unr", "Skaarj.utx"}));
    window->ListView1_ColumnClick(0);
    EXPECT_EQ(shownTexts(), (Texts{"Skaarj.utx", "CTF-Face.unr", "botpack.u"}));
    // Another column flips the order again; "Never Move?" is empty everywhere: same order.
    window->ListView1_ColumnClick(2);
    EXPECT_EQ(window->fileList()->sortOrder(), Qt::AscendingOrder);
    EXPECT_EQ(shownTexts(), (Texts{"Skaarj.utx", "CTF-Face.unr", "botpack.u"}));

    // The run takes the checked rows in the order shown.
    window->fileList()->setData(window->fileList()->index(1, 0), Qt::Unchecked, Qt::CheckStateRole);
    EXPECT_EQ(window->fileList()->checkedTexts(), (Texts{"Skaarj.utx", "botpack.u"}));
    // A re-scan keeps the list sorted and shows what the index now holds.
    window->ListView1_ColumnClick(0);
    EXPECT_EQ(window->fileList()->sortOrder(), Qt::DescendingOrder);
    addPackage("Ants.unr");
    writeIndex();
    button("cmdRescan")->click();
    EXPECT_EQ(shownTexts(), (Texts{"Skaarj.utx", "CTF-Face.unr", "botpack.u", "Ants.unr"}));
    EXPECT_EQ(statusText(), "Found 4 files to process");
    EXPECT_TRUE(button("cmdRun")->isEnabled());
    EXPECT_FALSE(window->isBusy());
}

TEST_F(FileList, CheckAllAndRightClickToTheNeverMoveList) {
    writeFile(programFolder + "/QuorvelDontMove.ini", "skaarj.UTX\r\n");
    frmMain& w = load();
    EXPECT_EQ(statusText(), "Found 2 files to process");
    button("cmdUncheck")->click();
    for (const Shown& s : shownRows()) EXPECT_FALSE(s.checked) << s.text;
    button("cmdCheck")->click();
    for (const Shown& s : shownRows()) EXPECT_TRUE(s.checked) << s.text;
    EXPECT_TRUE(shownRows()[2].neverMove);
    EXPECT_EQ(statusText(), "Found 2 files to process");  // the check buttons leave it

    // An unsaved edit of the never-move box is dropped by the reload below.
    edit("txtNMAdd")->setBytes("Unsaved.unr");
    w.cmdNMAdd_Click();
    w.ListView1_MouseUp(Qt::RightButton);  // nothing selected yet
    auto select = [&](int row) {
        view()->selectionModel()->select(
            view()->model()->index(row, 0),
            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    };
    select(1);
    w.ListView1_MouseUp(Qt::LeftButton);
    EXPECT_TRUE(boxes.shown.empty());
    boxes.answers = {false};
    w.ListView1_MouseUp(Qt::RightButton);
    EXPECT_EQ(boxes.texts(), std::vector<std::string>{"Add BOTPACK.U to the never move list?"});
    EXPECT_EQ(listFile(), "skaarj.UTX\r\n");
    EXPECT_EQ(shownRows()[1], (Shown{"botpack.u", true, false}));

    // Answered yes: the row's own case is appended, the list reloaded and marked.
    select(0);
    boxes.shown.clear();
    boxes.answers = {true};
    w.ListView1_MouseUp(Qt::RightButton);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].kind, MessageBoxCall::YesNo);
    EXPECT_EQ(boxes.shown[0].title, "Add File");
    EXPECT_EQ(boxes.shown[0].text, "Add CTF-FACE.UNR to the never move list?");
    EXPECT_EQ(listFile(), "skaarj.UTX\r\nCTF-Face.unr\r\n");
    EXPECT_EQ(shownRows()[0], (Shown{"CTF-Face.unr", false, true}));
    EXPECT_EQ(neverMoveBox(), (std::vector<std::string>{"skaarj.UTX", "CTF-Face.unr"}));

    // A name already on the list is appended again, here by a real right click.
    boxes.answers = {true};
    QTest::mouseClick(view()->viewport(), Qt::RightButton, {},
                      view()->visualRect(w.fileList()->index(0, 0)).center());
    EXPECT_EQ(listFile(), "skaarj.UTX\r\nCTF-Face.unr\r\nCTF-Face.unr\r\n");
}

}  // namespace
}  // namespace qv::apptest
