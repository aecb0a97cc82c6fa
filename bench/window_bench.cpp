// quorvel-bench-window ROOT PROGRAM_FOLDER GAME_FOLDER: the main window's figures over a game
// folder that quorvel-bench prepared (offscreen). A program of its own, started by
// quorvel-bench, so the Qt libraries do not count in the engine's memory figure.

#include "bench/window_bench.h"

#include <stdlib.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QFile>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <memory>

#include "app/file_list_model.h"
#include "app/frmMain.h"
#include "platform/paths.h"
#include "settings/clsRegistry.h"
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
    window->cmdRun_Click();
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
    setMessageBoxHookForTests(nullptr);
    window->close();
    window.reset();
    return true;
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
    return 0;
}
