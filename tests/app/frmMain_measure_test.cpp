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

    QElapsedTimer clock;
    clock.start();
    window = std::make_unique<frmMain>(programFolder);
    ASSERT_TRUE(window->Form_Load());
    const qint64 loadMs = clock.elapsed();
    ASSERT_EQ(window->fileList()->rowCount(), static_cast<int>(entries));

    window->show();
    QTreeView* view = child<QTreeView>("ListView1");
    QCoreApplication::processEvents();
    clock.restart();
    view->viewport()->repaint();
    const qint64 firstPaintMs = clock.elapsed();

    // Scroll through the list in 200 steps, painting each step at once.
    QScrollBar* bar = view->verticalScrollBar();
    const int steps = 200;
    qint64 worstNs = 0;
    QElapsedTimer all;
    all.start();
    for (int s = 1; s <= steps; ++s) {
        QElapsedTimer one;
        one.start();
        bar->setValue(static_cast<int>(static_cast<qint64>(bar->maximum()) * s / steps));
        view->viewport()->repaint();
        worstNs = std::max(worstNs, one.nsecsElapsed());
    }
    const double meanMs = static_cast<double>(all.nsecsElapsed()) / steps / 1e6;

    clock.restart();
    window->ListView1_ColumnClick(0);
    const qint64 sortMs = clock.elapsed();

    // A run that moves every package, with a status line for each.
    window->cmdCheck_Click();
    clock.restart();
    window->cmdRun_Click();
    const qint64 runMs = clock.elapsed();
    const int statusLines = child<QListWidget>("List1")->count();
    clock.restart();
    child<QListWidget>("List1")->scrollToBottom();
    child<QListWidget>("List1")->viewport()->repaint();
    const qint64 statusPaintMs = clock.elapsed();

    std::printf(
        "entries %u: Form_Load to filled list %lld ms; first paint %lld ms; scroll step "
        "mean %.2f ms, worst %.2f ms; sort by name %lld ms; run %lld ms (%d status lines, "
        "bottom painted in %lld ms)\n",
        entries, static_cast<long long>(loadMs), static_cast<long long>(firstPaintMs), meanMs,
        static_cast<double>(worstNs) / 1e6, static_cast<long long>(sortMs),
        static_cast<long long>(runMs), statusLines, static_cast<long long>(statusPaintMs));
}

}  // namespace
}  // namespace qv::apptest
