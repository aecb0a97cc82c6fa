// The main window over a program folder, a game folder and a registry file of its own, for the
// window's walkthroughs (one fixture class for every file that includes it, as GoogleTest wants
// for one test suite).
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QLabel>
#include <QSemaphore>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/frm_main.h"
#include "platform/posix_filesystem.h"
#include "settings/cls_registry.h"
#include "tests/support/faulty_filesystem.h"
#include "tests/support/scripted_boxes.h"
#include "tests/support/temp_dir.h"
#include "tests/widgets/qt_app.h"
#include "tools/package_objects.h"
#include "tools/package_writer.h"

namespace qv {

using test::readFile;
using test::writeFile;
using Texts = std::vector<std::string>;

// The real file system, whose calls an operation's worker thread can be held at: before each call
// `holdWhen` picks, the worker waits until the test has looked at the window (on the GUI thread,
// from its event loop) and lets it go.
struct HeldWorker {
    PosixFileSystem posix;
    FaultyFileSystem fs{posix};
    QSemaphore reached, go;
    QTimer look;

    // `hold` runs on the worker thread before each call, with the call's name and path.
    void holdWhen(std::function<bool(const std::string& op, const std::string& path)> hold) {
        fs.watch = [this, hold](const char* op, const std::string& path, const std::string&,
                                bool done) {
            if (!done && hold(op, path)) reached.release(), go.acquire();
        };
    }
    // `atHold` runs on the GUI thread each time the worker is held; it lets the worker go itself.
    void whenHeld(QObject* window, std::function<void()> atHold) {
        QObject::connect(&look, &QTimer::timeout, window, [this, atHold] {
            if (reached.tryAcquire()) atHold();
        });
        look.start(1);
    }
    void letGo() { go.release(); }
};

// A program folder with its three files, a game folder with its type folders, a home and a
// registry file of its own; boxes and pickers scripted, the files and pages opened recorded.
class MainWindow : public ::testing::Test {
  protected:
    test::TempDir tmp;
    std::string prog = tmp / "prog", game = tmp / "UT", cache = tmp / "UT/Cache";
    std::string registry = tmp / "registry.reg", neverMove = prog + "/QuorvelDontMove.ini";
    test::ScopedEnv homeEnv{"HOME", tmp / "home"}, dataEnv{"XDG_DATA_HOME", tmp / "data"};
    test::ScopedEnv registryEnv{"QUORVEL_REGISTRY", registry};
    ScriptedMessageBoxes boxes;
    ScriptedFolderPicker picker;
    std::vector<QUrl> opened;
    bool launches = true;  // whether the desktop finds a program for what is opened
    std::unique_ptr<frmMain> window;
    unsigned packages = 0;

    void SetUp() override {
        test::ensureQtApp();
        test::makeDirs(prog + "/help");
        writeFile(prog + "/Quorvel.ini",
                  "[Dirs]\r\nCachePath=Cache\r\nCacheExt=uxx\r\nMaps=Maps\r\nTextures=Textures\r\n"
                  "Sounds=Sounds\r\nMusic=Music\r\n");
        writeFile(neverMove, "");
        writeFile(prog + "/search.avi", "RIFF");
        for (const char* sub : {"Maps", "Textures", "Sounds", "Music", "System", "Cache"})
            test::makeDirs(game + "/" + sub);
        writeFile(game + "/System/UnrealTournament.ini", "[Core.System]\r\nPurgeCacheDays=30\r\n");
        clsRegistry::gameKey(nullptr, registry).WriteEntry("Folder", game + "/");
    }
    void TearDown() override { window.reset(); }

    // A package whose GUID is its cache file's name, its body naming it.
    static std::string packageOf(const std::string& file, const std::string& name) {
        pkg::PackageSpec spec;
        spec.guid = file.substr(0, 32);
        return pkg::writePackage(spec) + "bytes of " + name;
    }
    static bool endsWith(const std::string& bytes, const std::string& tail) {
        return bytes.size() >= tail.size() && bytes.substr(bytes.size() - tail.size()) == tail;
    }

    // Packages and their index in `dir` (the cache by default); returns their file names.
    Texts fill(const Texts& names, std::string dir = {}) {
        test::makeDirs(dir = dir.empty() ? cache : dir);
        std::string index = "[Cache]\r\n";
        Texts files;
        for (const std::string& name : names) {
            files.push_back(test::guidOf(++packages));
            index += files.back() + "=" + name + "\r\n";
            writeFile(dir + "/" + (files.back() += ".uxx"), packageOf(files.back(), name));
        }
        writeFile(dir + "/cache.ini", index);
        return files;
    }
    // Cache file `file` becomes a whole map titled `title` with a 256 x 256 screenshot.
    void writeMapWithPicture(const std::string& file, const std::string& title) {
        pkg::PackageSpec spec;
        spec.guid = file.substr(0, 32);
        const pkg::DemoPicture p = pkg::demoPicture(3);
        const pkg::MapFactsSpec facts{title, "Writer", "2-4", "Shot"};
        spec.exports = {pkg::levelSummary(facts), pkg::palette("Pal", p.palette),
                        pkg::texture("Shot", 0, 256, 256, {p.pixels}, "Pal"),
                        pkg::levelInfo(facts)};
        writeFile(cache + "/" + file, pkg::writePackage(spec));
    }
    // `count` maps, "DM-Map0.unr" onwards.
    Texts fillMaps(int count) {
        Texts names(count);
        for (int i = 0; i < count; ++i) names[i] = "DM-Map" + std::to_string(i) + ".unr";
        return fill(names);
    }
    frmMain& load(FileSystem* fs = nullptr) {
        frmMainServices services;
        services.fs = fs;
        services.openUrl = [this](const QUrl& url) { return opened.push_back(url), launches; };
        window = std::make_unique<frmMain>(prog, services);
        EXPECT_TRUE(window->Form_Load());
        return *window;
    }

    template <class T = QAbstractButton>
    T* child(const char* name) const {
        T* w = window->findChild<T*>(QLatin1String(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    void click(const char* button) const { child(button)->click(); }
    void menu(const char* entry) const { child<QAction>(entry)->trigger(); }
    std::string label(const char* name) const { return child<QLabel>(name)->text().toStdString(); }
    std::string stored(const char* name) const {
        return clsRegistry::programKey(nullptr, registry).ReadEntry(name, "<missing>");
    }
    // A folder's files without the hidden ones (the cache folder's lock file).
    static Texts visible(const std::string& folder) {
        Texts names = test::listNames(folder);
        std::erase_if(names, [](const std::string& n) { return n[0] == '.'; });
        return names;
    }
    // The file list's rows as shown: all, those checked, or those marked "never move".
    enum Which { All, Checked, Marked };
    Texts rows(Which which = All, int column = 0) const {
        const QAbstractItemModel* m = child<QTreeView>("ListView1")->model();
        Texts out;
        for (int r = 0; r < m->rowCount(); ++r)
            if (which == All ||
                (which == Checked && m->index(r, 0).data(Qt::CheckStateRole) == Qt::Checked) ||
                (which == Marked && !m->index(r, 2).data().toString().isEmpty()))
                out.push_back(m->index(r, column).data().toString().toStdString());
        return out;
    }
    // Clicks the file list's row of `name`, as a user selects it.
    void clickRow(const std::string& name) const {
        QTreeView* view = child<QTreeView>("ListView1");
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                          view->visualRect(rowOf(name)).center());
    }
    QModelIndex rowOf(const std::string& name) const {
        const QAbstractItemModel* m = child<QTreeView>("ListView1")->model();
        return m->match(m->index(0, 0), Qt::DisplayRole, QString::fromStdString(name)).value(0);
    }
};

}  // namespace qv
