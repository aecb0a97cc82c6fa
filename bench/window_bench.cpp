// quorvel-bench-window ROOT PROGRAM_FOLDER GAME_FOLDER: the main window's figures over a game
// folder that quorvel-bench prepared (offscreen). A program of its own, started by
// quorvel-bench, so the Qt libraries do not count in the engine's memory figure.

#include "bench/window_bench.h"

#include <stdlib.h>
#include <sys/stat.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QFile>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <thread>

#include "app/byte_line_edit.h"
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
    Status moveListedFile(const std::string& f, const std::string& t,
                          FileIdentity* landed = nullptr) override {
        std::this_thread::sleep_for(kPerMove);
        return inner_.moveListedFile(f, t, landed);
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

// Opens the window on `game` (with `fs` when given) as the registry file in `root` names it.
std::unique_ptr<frmMain> windowOn(const std::string& root, const std::string& programFolder,
                                  const SyntheticGame& game, FileSystem* fs = nullptr) {
    clsRegistry::gameKey(nullptr, root + "/registry.reg").WriteEntry("Folder", game.gameDir + "/");
    // The window before stored its cache folder at shutdown; this one empties its own game's.
    clsRegistry::programKey(nullptr, root + "/registry.reg").WriteEntry("CacheDir", game.cacheDir);
    frmMainServices services;
    if (fs) services.fs = fs;
    auto window = std::make_unique<frmMain>(programFolder, services);
    if (!window->Form_Load()) return nullptr;
    window->show();
    return window;
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
    SlowFileSystem fs(realFileSystem());
    std::unique_ptr<frmMain> shown = windowOn(root, programFolder, slow, &fs);
    if (!shown) return false;
    frmMain& window = *shown;
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

// A run that copies one package of kBigCopyMiB to a folder on another file system (/dev/shm,
// or $QUORVEL_BENCH_OTHER_FS), in the one-folder mode: the event loop's longest wait and the
// seconds it took. False (figures left at 0) when there is no other file system at hand.
constexpr int kBigCopyMiB = 500;
bool measureBigCopy(const std::string& root, const std::string& programFolder, WindowFigures& out) {
    const char* other = std::getenv("QUORVEL_BENCH_OTHER_FS");
    std::string target = std::string(other && *other ? other : "/dev/shm") + "/quorvel-big-XXXXXX";
    struct stat here {
    }, there{};
    if (::stat(root.c_str(), &here) != 0 || !::mkdtemp(target.data())) return false;
    const auto cleanUp = [&] {
        std::error_code ec;
        std::filesystem::remove_all(target, ec);
    };
    if (::stat(target.c_str(), &there) != 0 || there.st_dev == here.st_dev) {
        cleanUp();
        return false;
    }
    SyntheticGame big;
    if (!writeGameFolder(root, "big", {"BigCopy.unr"}, big)) return false;
    std::string package;
    for (const auto& f : std::filesystem::directory_iterator(big.cacheDir))
        if (f.path().extension() == ".uxx") package = f.path().string();
    {
        // The package the writer made grows a body: its header still names its cache file, so
        // the run moves it (a file that is no package would stay as damaged).
        std::ofstream bytes(package, std::ios::binary | std::ios::app);
        std::string chunk(1 << 20, '\0');
        for (std::size_t i = 0; i < chunk.size(); ++i) chunk[i] = static_cast<char>(i * 131 + 7);
        for (int i = 0; i < kBigCopyMiB && bytes; ++i) bytes.write(chunk.data(), chunk.size());
        if (!bytes) return cleanUp(), false;
    }
    ::sync();  // the setup's writes are not the run's
    std::unique_ptr<frmMain> window = windowOn(root, programFolder, big);
    auto* oneFolder =
        window ? window->findChild<QRadioButton*>(QStringLiteral("optMoveDir")) : nullptr;
    auto* folderText =
        window ? window->findChild<ByteLineEdit*>(QStringLiteral("txtMoveDir")) : nullptr;
    if (!oneFolder || !folderText) return cleanUp(), false;
    oneFolder->setChecked(true);
    folderText->setBytes(target);
    window->cmdCheck_Click();
    const auto start = Clock::now();
    out.bigCopyLongestWaitMs = longestWaitMs([&] { window->cmdRun_Click(); });
    out.bigCopy = secondsSince(start);
    std::error_code ec;
    const std::uintmax_t landed = std::filesystem::file_size(target + "/BigCopy.unr", ec);
    out.bigCopyMiB = ec ? 0 : static_cast<std::size_t>(landed >> 20);
    window->close();
    cleanUp();
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
    if (!measureBigCopy(root, game.programFolder, out))
        std::cerr << "quorvel-bench: no copy across file systems measured (no other file system)\n";
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
    std::printf("window_big_copy_mib %zu\n", w.bigCopyMiB);
    std::printf("window_big_copy %.6f\n", w.bigCopy);
    std::printf("window_big_copy_longest_wait_ms %.1f\n", w.bigCopyLongestWaitMs);
    return 0;
}
