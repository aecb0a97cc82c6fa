// quorvel-bench-window ROOT PROGRAM_FOLDER GAME_FOLDER: the main window's figures over a game
// folder that quorvel-bench prepared (offscreen). A program of its own, started by
// quorvel-bench, so the Qt libraries do not count in the engine's memory figure.

#include "bench/window_bench.h"

#include <stdlib.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QFile>
#include <QPushButton>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <memory>
#include <thread>

#include "app/file_list_model.h"
#include "app/frm_main.h"
#include "platform/forwarding_filesystem.h"
#include "platform/paths.h"
#include "settings/cls_registry.h"
#include "widgets/qt_dialogs.h"

namespace qv::bench {

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The busy window needs its animation beside the program; the built one when it is there.
bool placeAnimation(const std::string& programFolder) {
    const QString target = QString::fromLocal8Bit(programFolder + "/search.avi");
    if (QFile::exists(target)) return true;
    const QString built = QString::fromLocal8Bit(qv::programFolder() + "/search.avi");
    if (QFile::copy(built, target)) return true;
    QFile f(target);
    return f.open(QIODevice::WriteOnly) && f.write("RIFF") == 4;
}

// A file system made slow on purpose: every move first sleeps, as on a stalled network share.
class SlowFileSystem final : public ForwardingFileSystem {
  public:
    using ForwardingFileSystem::ForwardingFileSystem;
    static constexpr std::chrono::milliseconds kPerMove{20};
    Status moveNoReplace(const std::string& f, const std::string& t) override {
        std::this_thread::sleep_for(kPerMove);
        return inner_.moveNoReplace(f, t);
    }
    Status moveListedFile(const std::string& f, const std::string& t) override {
        std::this_thread::sleep_for(kPerMove);
        return inner_.moveListedFile(f, t);
    }
};

// The longest time the event loop left a 10 ms timer waiting while `work` ran: how long the
// window could not repaint or take a click. `midway` runs once, about a second in.
double longestWaitMs(const std::function<void()>& work, const std::function<void()>& midway = {}) {
    QTimer ticker;
    ticker.setInterval(10);
    auto last = Clock::now();
    const auto start = last;
    double longest = 0;
    bool midwayDone = !midway;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const auto now = Clock::now();
        longest = std::max(longest, std::chrono::duration<double, std::milli>(now - last).count());
        last = now;
        if (!midwayDone && now - start > std::chrono::seconds(1)) midwayDone = true, midway();
    });
    ticker.start();
    work();
    const auto end = Clock::now();  // the wait up to the work's end counts too
    return std::max(longest, std::chrono::duration<double, std::milli>(end - last).count());
}

// A run of `packages` packages on the slowed file system, in a window of its own: the longest
// wait of its event loop, a screenshot of it a second in (window-mid-run.png in `root`) and
// whether Stop could be clicked then.
bool measureSlowRun(const std::string& root, const std::string& programFolder, int packages,
                    WindowFigures& out) {
    SyntheticGame slow;
    slow.programFolder = programFolder;
    std::vector<std::string> names;
    for (int i = 0; i < packages; ++i) names.push_back("Slow" + std::to_string(i) + ".unr");
    if (!writeGameFolder(root, "slow", names, slow)) return false;
    clsRegistry::gameKey(nullptr, root + "/registry.reg").WriteEntry("Folder", slow.gameDir + "/");
    // The first window stored its cache folder at shutdown; this run empties the slow game's.
    clsRegistry::programKey(nullptr, root + "/registry.reg").WriteEntry("CacheDir", slow.cacheDir);
    SlowFileSystem fs(realFileSystem());
    frmMainServices services;
    services.fs = &fs;
    frmMain window(programFolder, services);
    if (!window.Form_Load()) return false;
    window.show();
    window.cmdCheck_Click();
    const auto start = Clock::now();
    out.slowLongestWaitMs =
        longestWaitMs([&] { window.cmdRun_Click(); },
                      [&] {
                          window.grab().save(QString::fromLocal8Bit(root + "/window-mid-run.png"));
                          auto* stop = window.findChild<QPushButton*>(QStringLiteral("cmdStop"));
                          out.stopEnabledMidRun = stop && stop->isVisible() && stop->isEnabled();
                      });
    out.slowRun = secondsSince(start);
    out.slowPackages = static_cast<std::size_t>(packages);
    window.close();
    return true;
}

}  // namespace

bool measureWindow(const std::string& root, const SyntheticGame& game, WindowFigures& out) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const std::string registry = root + "/registry.reg";
    ::setenv("QUORVEL_REGISTRY", registry.c_str(), 1);
    clsRegistry::gameKey(nullptr, registry).WriteEntry("Folder", game.gameDir + "/");
    if (!placeAnimation(game.programFolder)) {
        std::cerr << "quorvel-bench: cannot place search.avi\n";
        return false;
    }

    static int argc = 1;
    static char arg0[] = "quorvel-bench";
    static char* argv[] = {arg0, nullptr};
    QApplication app(argc, argv);
    // A box would wait for a click nobody gives.
    setMessageBoxHookForTests([](const MessageBoxCall& call) {
        std::cerr << "quorvel-bench: window message: " << call.title << ": " << call.text << '\n';
        return false;
    });

    auto window = std::make_unique<frmMain>(game.programFolder);
    if (!window->Form_Load()) {
        std::cerr << "quorvel-bench: the window did not start\n";
        return false;
    }
    window->show();
    QCoreApplication::processEvents();

    // fill: the scan's rows into the list, laid out and painted.
    FileListModel* list = window->fileList();
    std::vector<FileRow> rows = list->rows();
    list->clear();
    QCoreApplication::processEvents();
    auto start = Clock::now();
    list->setRows(std::move(rows));
    QCoreApplication::processEvents();
    out.fill = secondsSince(start);
    out.filledRows = static_cast<std::size_t>(list->rowCount());

    // run: the Run button with every row checked (as the engine's run of the bench has them),
    // looking at the Status list now and then.
    window->cmdCheck_Click();
    auto* status = window->findChild<QAbstractItemView*>(QStringLiteral("List1"));
    if (!status || !status->model()) {
        std::cerr << "quorvel-bench: the window has no Status list\n";
        return false;
    }
    std::vector<int> seen;
    QTimer look;
    look.setInterval(100);
    QObject::connect(&look, &QTimer::timeout, [&] { seen.push_back(status->model()->rowCount()); });
    look.start();
    start = Clock::now();
    out.runLongestWaitMs = longestWaitMs([&] { window->cmdRun_Click(); });
    out.run = secondsSince(start);
    look.stop();

    const int final = status->model()->rowCount();
    out.statusLines = static_cast<std::size_t>(final);
    out.samples = seen.size();
    for (int n : seen)
        if (n > 0 && n < final) ++out.liveSamples;
    QCoreApplication::processEvents();
    if (final > 0) {
        const QRect last = status->visualRect(status->model()->index(final - 1, 0));
        out.lastLineInView = last.isValid() && status->viewport()->rect().intersects(last);
    }
    window->close();
    window.reset();
    const bool slowDone = measureSlowRun(root, game.programFolder, 150, out);
    setMessageBoxHookForTests(nullptr);
    return slowDone;
}

}  // namespace qv::bench

int main(int argc, char** argv) {
    if (argc != 4) {
        std::cerr << "Usage: quorvel-bench-window ROOT PROGRAM_FOLDER GAME_FOLDER\n";
        return 2;
    }
    qv::bench::SyntheticGame game;
    game.programFolder = argv[2];
    game.gameDir = argv[3];
    game.cacheDir = game.gameDir + "/Cache";
    qv::bench::WindowFigures w;
    if (!qv::bench::measureWindow(argv[1], game, w)) return 1;
    std::printf("window_fill_rows %zu\n", w.filledRows);
    std::printf("window_fill %.6f\n", w.fill);
    std::printf("window_run %.6f\n", w.run);
    std::printf("window_status_lines %zu\n", w.statusLines);
    std::printf("window_samples %zu\n", w.samples);
    std::printf("window_live_samples %zu\n", w.liveSamples);
    std::printf("window_last_line_in_view %d\n", w.lastLineInView ? 1 : 0);
    std::printf("window_run_longest_wait_ms %.1f\n", w.runLongestWaitMs);
    std::printf("window_slow_packages %zu\n", w.slowPackages);
    std::printf("window_slow_run %.6f\n", w.slowRun);
    std::printf("window_slow_longest_wait_ms %.1f\n", w.slowLongestWaitMs);
    std::printf("window_stop_enabled_mid_run %d\n", w.stopEnabledMidRun ? 1 : 0);
    return 0;
}
