#include "app/file_list_model.h"

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QSignalSpy>

#include "tests/widgets/qt_app.h"

namespace qv {
namespace {

FileRow row(std::string text, std::string date = {}, bool checked = true) {
    FileRow r;
    r.text = std::move(text);
    r.date = std::move(date);
    r.checked = checked;
    return r;
}

std::vector<std::string> shown(const FileListModel& m) {
    std::vector<std::string> out;
    for (int r = 0; r < m.rowCount(); ++r) out.push_back(m.rowAt(r).text);
    return out;
}

class FileListModelTest : public ::testing::Test {
  protected:
    void SetUp() override { test::ensureQtApp(); }
    FileListModel model;
    QAbstractItemModelTester tester{&model, QAbstractItemModelTester::FailureReportingMode::Fatal};
};

TEST_F(FileListModelTest, ColumnsCheckBoxesAndBytes) {
    FileRow marked = row("Skaarj.utx", "01/02/03 04:05:06", false);
    marked.neverMove = true;
    model.setRows({row("CTF-Face.unr"), marked});
    EXPECT_EQ(model.columnCount(), 3);
    EXPECT_EQ(model.headerData(0, Qt::Horizontal).toString(), QStringLiteral("File Name"));
    EXPECT_EQ(model.headerData(1, Qt::Horizontal).toString(), QStringLiteral("Date"));
    EXPECT_EQ(model.headerData(2, Qt::Horizontal).toString(), QStringLiteral("Never Move?"));
    EXPECT_EQ(model.data(model.index(1, 0)).toString(), QStringLiteral("Skaarj.utx"));
    EXPECT_EQ(model.data(model.index(1, 1)).toString(), QStringLiteral("01/02/03 04:05:06"));
    EXPECT_EQ(model.data(model.index(1, 2)).toString(), QStringLiteral("True"));
    EXPECT_EQ(model.data(model.index(0, 2)).toString(), QString());
    EXPECT_EQ(model.data(model.index(0, 0), Qt::CheckStateRole).value<Qt::CheckState>(),
              Qt::Checked);
    EXPECT_EQ(model.data(model.index(1, 0), Qt::CheckStateRole).value<Qt::CheckState>(),
              Qt::Unchecked);
    EXPECT_FALSE(model.data(model.index(0, 1), Qt::CheckStateRole).isValid());
    EXPECT_TRUE(model.flags(model.index(0, 0)) & Qt::ItemIsUserCheckable);
    EXPECT_FALSE(model.flags(model.index(0, 1)) & Qt::ItemIsUserCheckable);

    // The check box changes its row and nothing else.
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    EXPECT_TRUE(model.setData(model.index(0, 0), Qt::Unchecked, Qt::CheckStateRole));
    EXPECT_FALSE(model.rowAt(0).checked);
    EXPECT_EQ(changed.count(), 1);
    EXPECT_TRUE(model.setData(model.index(1, 0), Qt::Checked, Qt::CheckStateRole));
    EXPECT_FALSE(model.rowAt(0).checked);
    EXPECT_FALSE(model.setData(model.index(1, 0), QStringLiteral("x"), Qt::EditRole));
    EXPECT_FALSE(model.setData(model.index(0, 1), Qt::Checked, Qt::CheckStateRole));
    EXPECT_EQ(model.rowAt(1).text, "Skaarj.utx");
    EXPECT_EQ(model.checkedCount(), 1u);

    // Bytes stay bytes and are decoded only for display.
    const std::string latin1 = "Caf\xe9.unr";  // not valid UTF-8
    model.setRows({row(latin1)});
    EXPECT_FALSE(model.data(model.index(0, 0)).toString().isEmpty());
    EXPECT_EQ(model.checkedTexts(), std::vector<std::string>{latin1});
    EXPECT_EQ(model.rows()[0].text, latin1);
}

TEST_F(FileListModelTest, HeaderClicksFlipOneOrderAndRowsKeepTheirScanPosition) {
    model.setRows({row("b.unr", "2"), row("C.unr", "1"), row("a.unr", "3"), row("B.unr", "2")});
    EXPECT_FALSE(model.isSorted());
    model.sortByColumnClick(0);
    EXPECT_EQ(model.sortOrder(), Qt::AscendingOrder);
    // Letter case is ignored; equal texts keep their index order.
    EXPECT_EQ(shown(model), (std::vector<std::string>{"a.unr", "b.unr", "B.unr", "C.unr"}));
    EXPECT_EQ(model.scanRowOf(0), 2u);
    model.sortByColumnClick(0);
    EXPECT_EQ(shown(model), (std::vector<std::string>{"C.unr", "b.unr", "B.unr", "a.unr"}));
    model.sortByColumnClick(1);  // "Date" after "File Name": ascending again
    EXPECT_EQ(shown(model), (std::vector<std::string>{"C.unr", "b.unr", "B.unr", "a.unr"}));
    model.sortByColumnClick(7);  // no such column: nothing
    EXPECT_EQ(model.sortOrder(), Qt::AscendingOrder);

    // A check box set through a sorted view reaches the right row.
    model.setData(model.index(0, 0), Qt::Unchecked, Qt::CheckStateRole);
    EXPECT_FALSE(model.rows()[1].checked);
    EXPECT_EQ(model.checkedTexts(), (std::vector<std::string>{"b.unr", "B.unr", "a.unr"}));
}

TEST_F(FileListModelTest, PersistentIndexesFollowTheirRowsThroughASort) {
    model.setRows({row("z.unr"), row("m.unr"), row("a.unr")});
    QPersistentModelIndex z(model.index(0, 1));
    model.sortByColumnClick(0);
    EXPECT_EQ(z.row(), 2);
    EXPECT_EQ(z.column(), 1);
    EXPECT_EQ(model.rowAt(z.row()).text, "z.unr");
}

TEST_F(FileListModelTest, MarksAndCheckAllSpanEveryRow) {
    model.setRows({row("CTF-Face.unr"), row("Skaarj.utx"), row("ctf-face.unr")});
    model.sortByColumnClick(0);
    model.markNeverMove({"ctf-FACE.unr"});
    EXPECT_TRUE(model.rows()[0].neverMove);
    EXPECT_FALSE(model.rows()[0].checked);
    EXPECT_TRUE(model.rows()[2].neverMove);
    EXPECT_FALSE(model.rows()[1].neverMove);
    model.setAllChecked(true);
    EXPECT_EQ(model.checkedCount(), 3u);
    model.setAllChecked(false);
    EXPECT_TRUE(model.checkedTexts().empty());
    model.markNeverMove({});
    EXPECT_FALSE(model.rows()[0].neverMove);

    // A sorted list stays sorted when its rows are replaced.
    model.setRows({row("b"), row("a"), row("c")});
    EXPECT_EQ(shown(model), (std::vector<std::string>{"a", "b", "c"}));
    model.clear();
    EXPECT_EQ(model.rowCount(), 0);
    model.setAllChecked(true);  // an empty list is fine too
    model.markNeverMove({"a"});
}

}  // namespace
}  // namespace qv
