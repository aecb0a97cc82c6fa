#include "widgets/line_list.h"

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

#include "tests/widgets/qt_app.h"

namespace qv {
namespace {

// Lines wait in the queue and go into the list in one insertion; the widest row is tracked
// for sizing.
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
    EXPECT_EQ(m.widestRow(), 1000);
    EXPECT_EQ(m.index(7).data().toString(), QStringLiteral("line 7"));

    m.addLine("after");
    m.flush();  // at once, as the end of a run does
    EXPECT_EQ(m.lines().back(), "after");
    EXPECT_EQ(inserts.count(), 2);
    m.clear();
    EXPECT_EQ(m.widestRow(), -1);
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

}  // namespace
}  // namespace qv
