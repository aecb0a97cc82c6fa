#include "widgets/line_list.h"

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QListView>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include "tests/widgets/qt_app.h"

namespace qv {
namespace {

// Lines wait in the queue and go into the list in one insertion.
TEST(LineListModel, QueuedLinesGoInTogetherOnceEventsRun) {
    test::ensureQtApp();
    LineListModel m(nullptr, 20);
    QAbstractItemModelTester tester(&m, QAbstractItemModelTester::FailureReportingMode::Warning);
    QSignalSpy inserts(&m, &QAbstractItemModel::rowsInserted);
    for (int i = 0; i < 1000; ++i) m.addLine("line " + std::to_string(i));
    m.addLine("\xc3\xa9t\xc3\xa9 and a longer line");
    EXPECT_EQ(m.rowCount(), 0);
    EXPECT_EQ(m.queued(), 1001u);
    for (int i = 0; i < 200 && m.rowCount() == 0; ++i) QTest::qWait(5);
    ASSERT_EQ(m.rowCount(), 1001);
    EXPECT_EQ(inserts.count(), 1);
    EXPECT_EQ(m.index(7).data().toString(), QStringLiteral("line 7"));

    m.addLine("after");
    m.flush();  // at once, as the end of a run does
    EXPECT_EQ(m.lines().back(), "after");
    EXPECT_EQ(inserts.count(), 2);
    m.clear();
    EXPECT_EQ(m.rowCount(), 0);
}

// After a quiet spell the first line shows as soon as events run; the lines right after it wait
// for the next batch.
TEST(LineListModel, TheFirstLineShowsAtOnceAndTheNextOnesWait) {
    test::ensureQtApp();
    LineListModel m(nullptr, 60000);
    m.addLine("first");
    QCoreApplication::processEvents();
    EXPECT_EQ(m.rowCount(), 1);
    m.addLine("second");
    QCoreApplication::processEvents();
    EXPECT_EQ(m.rowCount(), 1);
    EXPECT_EQ(m.queued(), 1u);
}

// Guards: rows sized by the longest line in bytes rather than the widest drawn, so a line is
// cut with no scroll bar to reach it; the last line pushed out of view when the list narrows.
TEST(LineListModel, EveryLineReachableAndTheLastInView) {
    test::ensureQtApp();
    LineListModel m(nullptr, 0);
    QListView view;
    view.setModel(&m);
    view.setUniformItemSizes(true);
    view.setItemDelegate(new WidestRowDelegate(&view));
    keepLastLineInView(&view);
    view.resize(400, 200);
    view.show();
    const std::string wide = "WWWWWWWWWWWWWWWWWWWWWWWWWWWWWW";  // fewer bytes, drawn wider
    for (int i = 0; i < 40; ++i) m.addLine(i == 20 ? wide : std::string(40, 'i'));
    m.flush();
    QCoreApplication::processEvents();
    const int drawn = view.fontMetrics().horizontalAdvance(QString::fromStdString(wide));
    EXPECT_GE(view.viewport()->width() + view.horizontalScrollBar()->maximum(), drawn);
    for (int width : {400, drawn / 2}) {
        view.resize(width, 200);
        QCoreApplication::processEvents();
        const QRect last = view.visualRect(m.index(39));
        EXPECT_LE(last.bottom(), view.viewport()->rect().bottom()) << width;
    }
}

}  // namespace
}  // namespace qv
