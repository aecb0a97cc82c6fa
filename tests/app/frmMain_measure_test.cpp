// Figures for a very large cache, printed rather than asserted. Run with QV_MEASURE=1;
// QV_MEASURE_ENTRIES sets the number of entries (100,000 by default).

#include <QElapsedTimer>
#include <QScrollBar>
#include <cstdio>

#include "tests/app/frmMain_fixture.h"

namespace qv::apptest {
namespace {

class Measure : public MainWindowTest {};

TEST_F(Measure, LargeCacheOpensAndScrolls) {
    const char* on = std::getenv("QV_MEASURE");
    if (!on || !*on) GTEST_SKIP() << "set QV_MEASURE=1 to measure";
    const char* n = std::getenv("QV_MEASURE_ENTRIES");
    const unsigned entries = n && *n ? static_cast<unsigned>(std::strtoul(n, nullptr, 10)) : 100000;

    const char* kinds[] = {".unr", ".utx", ".uax", ".umx", ".u"};
    std::string index = "[Cache]\r\n";
    for (unsigned i = 0; i < entries; ++i) {
        const std::string guid = guidOf(i + 1);
        const std::string name = "Package" + std::to_string(i) + kinds[i % 5];
        index += guid + "=" + name + "\r\n";
        writeFile(cacheDir + "/" + guid + ".uxx", "x");
    }
    writeFile(cacheDir + "/cache.ini", index);

    // Milliseconds taken by `step`.
    const auto ms = [](auto&& step) {
        QElapsedTimer clock;
        clock.start();
        step();
        return static_cast<double>(clock.nsecsElapsed()) / 1e6;
    };
    const double loadMs = ms([&] {
        window = std::make_unique<frmMain>(programFolder);
        ASSERT_TRUE(window->Form_Load());
    });
    ASSERT_EQ(window->fileList()->rowCount(), static_cast<int>(entries));
    window->show();
    QTreeView* view = child<QTreeView>("ListView1");
    QCoreApplication::processEvents();
    const double firstPaintMs = ms([&] { view->viewport()->repaint(); });

    // Scroll through the list in 200 steps, painting each step at once.
    QScrollBar* bar = view->verticalScrollBar();
    double worstMs = 0, allMs = 0;
    for (int s = 1; s <= 200; ++s) {
        const double one = ms([&] {
            bar->setValue(static_cast<int>(static_cast<qint64>(bar->maximum()) * s / 200));
            view->viewport()->repaint();
        });
        worstMs = std::max(worstMs, one);
        allMs += one;
    }
    const double sortMs = ms([&] { window->ListView1_ColumnClick(0); });
    // A run that moves every package, with a status line for each.
    window->cmdCheck_Click();
    const double runMs = ms([&] { window->cmdRun_Click(); });
    auto* status = child<QListWidget>("List1");
    const double statusPaintMs = ms([&] {
        status->scrollToBottom();
        status->viewport()->repaint();
    });
    std::printf(
        "entries %u: Form_Load to filled list %.0f ms; first paint %.0f ms; scroll step mean "
        "%.2f ms, worst %.2f ms; sort by name %.0f ms; run %.0f ms (%d status lines, bottom "
        "painted in %.0f ms)\n",
        entries, loadMs, firstPaintMs, allMs / 200, worstMs, sortMs, runMs, status->count(),
        statusPaintMs);
}

}  // namespace
}  // namespace qv::apptest
