// Walkthroughs of the main and About windows: what a user does, sees, and finds on disk.

#include "app/frm_main.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractItemModelTester>
#include <QAction>
#include <QDesktopServices>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLabel>
#include <QListView>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSemaphore>
#include <QTabWidget>
#include <QTest>
#include <QTextBrowser>
#include <QToolTip>
#include <QTreeView>
#include <memory>

#include "app/byte_line_edit.h"
#include "app/file_list_model.h"
#include "app/frm_about.h"
#include "app/maker.h"
#include "platform/posix_filesystem.h"
#include "platform/textfile.h"
#include "settings/cls_registry.h"
#include "tests/support/faulty_filesystem.h"
#include "tests/support/scripted_boxes.h"
#include "tests/support/temp_dir.h"
#include "tests/widgets/qt_app.h"
#include "widgets/browse_for_folder.h"
#include "widgets/line_list.h"
#include "widgets/qt_dialogs.h"

namespace qv {
namespace {

using test::readFile;
using test::writeFile;
using Texts = std::vector<std::string>;

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

    // Packages and their index in `dir` (the cache by default); returns their file names.
    Texts fill(const Texts& names, std::string dir = {}) {
        test::makeDirs(dir = dir.empty() ? cache : dir);
        std::string index = "[Cache]\r\n";
        Texts files;
        for (const std::string& name : names) {
            files.push_back(test::guidOf(++packages));
            index += files.back() + "=" + name + "\r\n";
            writeFile(dir + "/" + (files.back() += ".uxx"), "bytes of " + name);
        }
        writeFile(dir + "/cache.ini", index);
        return files;
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
    QModelIndex rowOf(const std::string& name) const {
        const QAbstractItemModel* m = child<QTreeView>("ListView1")->model();
        return m->match(m->index(0, 0), Qt::DisplayRole, QString::fromStdString(name)).value(0);
    }
};

// Guards: a check mark that reaches the wrong row of a sorted list, a package moved to the
// wrong type folder, an unchecked one moved, an index that keeps moved lines or loses kept
// ones, no index backup, a status that claims a move of the package left behind.
TEST_F(MainWindow, FileListCheckUncheckSortAndRun) {
    const Texts files =
        fill({"CTF-Face.unr", "Skaarj.utx", "botpack.u", "Organic.uax", "Mech8.umx"});
    frmMain& w = load();
    w.show();
    // One date format in the window: the status bar's day as the list shows today's files.
    const std::string date = rows(All, 1)[0];
    EXPECT_EQ(date.rfind(label("sbrDate") + " ", 0), 0u) << date;
    QAbstractItemModelTester tester(w.fileList(),
                                    QAbstractItemModelTester::FailureReportingMode::Fatal);
    click("cmdUncheck");
    EXPECT_TRUE(rows(Checked).empty());
    click("cmdCheck");
    EXPECT_EQ(rows(Checked).size(), 5u);

    // The name column's header sorts without regard to letter case.
    QTreeView* view = child<QTreeView>("ListView1");
    QTest::mouseClick(view->header()->viewport(), Qt::LeftButton, {}, QPoint(20, 5));
    EXPECT_EQ(rows(),
              (Texts{"botpack.u", "CTF-Face.unr", "Mech8.umx", "Organic.uax", "Skaarj.utx"}));
    view->model()->setData(rowOf("Skaarj.utx"), Qt::Unchecked, Qt::CheckStateRole);
    // Columns as wide as their texts in a larger font; a name cut by a narrowed column shows
    // whole in its tooltip.
    QFont large = w.font();
    large.setPointSize(large.pointSize() * 2);
    w.setFont(large);
    EXPECT_GE(view->columnWidth(1), view->sizeHintForIndex(view->model()->index(0, 1)).width());
    view->setColumnWidth(0, 40);
    const QRect cell = view->visualRect(rowOf("CTF-Face.unr"));
    QHelpEvent tip(QEvent::ToolTip, cell.center(), view->viewport()->mapToGlobal(cell.center()));
    QCoreApplication::sendEvent(view->viewport(), &tip);
    EXPECT_EQ(QToolTip::text(), QStringLiteral("CTF-Face.unr"));

    const std::string oldIndex = readFile(cache + "/cache.ini");
    child("cmdRun")->setFocus();
    click("cmdRun");
    EXPECT_EQ(w.focusWidget(), child("cmdRun"));  // not Exit, where Space would quit
    EXPECT_TRUE(boxes.shown.empty());
    for (const std::string moved :
         {"Maps/CTF-Face.unr", "System/botpack.u", "Sounds/Organic.uax", "Music/Mech8.umx"})
        EXPECT_EQ(readFile(game + "/" + moved), "bytes of " + moved.substr(moved.find('/') + 1));
    EXPECT_EQ(visible(cache).size(), 3u);  // the package left, the index and its backup
    EXPECT_TRUE(test::fileExists(cache + "/" + files[1]));
    EXPECT_EQ(readFile(cache + "/cache.ini"),
              "[Cache]\r\n" + files[1].substr(0, 32) + "=Skaarj.utx\r\n");
    EXPECT_EQ(readFile(cache + "/cachebak.ini"), oldIndex);
    const Texts status = test::shownTexts(w, "List1");
    ASSERT_GE(status.size(), 5u);
    EXPECT_EQ(status[4], files[1] + " {Skaarj.utx} was not moved.");
    EXPECT_EQ(rows(), Texts{"Skaarj.utx"});
}

// Guards: choices lost or garbled between sessions (a folder name's bytes above all), the
// type selection not applied, a run ignoring the chosen folder, the purge days not written; a
// purge answered No that deletes, one that leaves packages or index lines or no backup.
TEST_F(MainWindow, OptionsTabChoicesStoredAtShutdownAndPurge) {
    const Texts files = fill({"CTF-Face.unr", "Skaarj.utx", "botpack.u"});
    const std::string other = tmp / "Other", target = tmp / "caf\xe9";  // not valid UTF-8
    fill({"AS-Frigate.unr", "Bonus.utx"}, other);
    load();
    click("optSelectOnly");
    click("chkUTX");
    EXPECT_FALSE(label("lblRemind").empty());  // reminds to commit
    click("cmdCommitFileTypes");
    EXPECT_TRUE(label("lblRemind").empty());
    EXPECT_EQ(rows(Checked), Texts{"Skaarj.utx"});

    const int compact = child<QWidget>("Frame2")->sizeHint().height();
    click("optMoveDir");  // the folder row takes room only when it is shown
    EXPECT_GT(child<QWidget>("Frame2")->sizeHint().height(), compact);
    child<ByteLineEdit>("txtMoveDir")->setBytes(target + "/");
    child<ByteLineEdit>("txtPurgeCacheDays")->setBytes("7");
    click("cmdSetPurge");
    EXPECT_NE(readFile(game + "/System/UnrealTournament.ini").find("PurgeCacheDays=7\r\n"),
              std::string::npos);
    EXPECT_EQ(label("sbrText"), "Purge Cache Setting set to 7 days");
    click("cmdRun");
    EXPECT_EQ(readFile(target + "/Skaarj.utx"), "bytes of Skaarj.utx");
    EXPECT_TRUE(test::fileExists(cache + "/" + files[0]));
    // Undo asks how many go back, No the default; Yes puts it back and re-scans.
    boxes.answers = {false, true};
    menu("mnuToolsUndo");
    EXPECT_NE(boxes.texts().back().find("1 package of the last run will go back into " + cache),
              std::string::npos)
        << boxes.texts().back();
    EXPECT_TRUE(boxes.shown.back().defaultNo);
    EXPECT_TRUE(test::fileExists(target + "/Skaarj.utx"));
    menu("mnuToolsUndo");
    EXPECT_FALSE(test::fileExists(target + "/Skaarj.utx"));
    EXPECT_EQ(rows(Checked), Texts{"Skaarj.utx"});  // re-scanned: back in the list
    EXPECT_EQ(label("sbrText"), "Undo: 1 package moved back");
    click("cmdRun");
    writeFile(game + "/a.tmp", std::string(1500, 'x'));  // temporary files, then a purge
    click("cmdDelCacheTmp");
    EXPECT_FALSE(test::fileExists(game + "/a.tmp"));
    const Texts before = visible(cache);
    const std::string oldIndex = readFile(cache + "/cache.ini");
    boxes.answers = {false, true};
    click("cmdPurgeNow");
    EXPECT_EQ(boxes.texts().back(), "Purge cancelled.");
    EXPECT_TRUE(boxes.shown.end()[-2].defaultNo);  // Enter alone does not delete
    EXPECT_EQ(visible(cache), before);
    click("cmdPurgeNow");
    EXPECT_EQ(visible(cache), (Texts{"cache.ini", "cachebak.ini"}));
    EXPECT_EQ(readFile(cache + "/cache.ini"), "[Cache]\r\n");
    EXPECT_EQ(readFile(cache + "/cachebak.ini"), oldIndex);
    EXPECT_TRUE(rows().empty());
    picker.folders = {other + "/"};  // another cache folder: scanned at once
    click("cmdCacheDir");
    EXPECT_EQ(picker.starts.back(), cache);  // the picker opened at the folder shown
    EXPECT_EQ(rows(), (Texts{"AS-Frigate.unr", "Bonus.utx"}));

    // A place saved at another scale, half off the screen and larger than it, comes back on it.
    const QRect screen = window->screen()->availableGeometry();
    window->setGeometry(QRect(screen.topLeft() - QPoint(300, 200), screen.size() * 2));
    menu("mnuFileExit");
    load();
    EXPECT_TRUE(screen.contains(window->geometry())) << window->geometry().x();
    const QSize size = window->size() - QSize(30, 20);
    window->resize(size);
    menu("mnuFileExit");
    EXPECT_FALSE(window->isVisible());
    const std::pair<const char*, std::string> expected[] = {
        {"SelectAll", "False"}, {"SelectOnly", "True"},  {"UTX", "1"},       {"UNR", "0"},
        {"MoveDir", "True"},    {"MoveDirText", target}, {"CacheDir", other}};
    for (const auto& [name, value] : expected) EXPECT_EQ(stored(name), value) << name;

    load();  // the next start shows the same choices and size, without a reminder
    EXPECT_EQ(window->size(), size);
    for (const char* on : {"optSelectOnly", "chkUTX", "optMoveDir"})
        EXPECT_TRUE(child(on)->isChecked()) << on;
    EXPECT_EQ(child<ByteLineEdit>("txtMoveDir")->bytes(), target);
    EXPECT_TRUE(label("lblRemind").empty());
    EXPECT_EQ(rows(Checked), Texts{"Bonus.utx"});
}

// Guards: a never-move name matched in only one letter case, an unsaved edit written, a save
// that drops or reorders names, a right click answered No that still writes.
TEST_F(MainWindow, NeverMoveTabAddSaveAndRightClick) {
    fill({"CTF-Face.unr", "Skaarj.utx", "botpack.u", "DM-Caf\xe9.unr", "DM-Caf\xe8.unr"});
    writeFile(neverMove, "skaarj.UTX\r\n");
    load().show();
    EXPECT_EQ(rows(Marked), Texts{"Skaarj.utx"});
    child<ByteLineEdit>("txtNMAdd")->setBytes("CTF-FACE.UNR");
    QTest::keyClick(child<ByteLineEdit>("txtNMAdd"), Qt::Key_Return);  // as the Add button
    EXPECT_EQ(test::shownTexts(*window, "lstNM"), (Texts{"skaarj.UTX", "CTF-FACE.UNR"}));
    EXPECT_EQ(readFile(neverMove), "skaarj.UTX\r\n");  // not saved yet
    click("cmdNMSave");
    EXPECT_EQ(readFile(neverMove), "CTF-FACE.UNR\r\nskaarj.UTX\r\n");
    // Names the server wrote in Windows-1252 show as such, each its own.
    EXPECT_EQ(rows(Checked), (Texts{"botpack.u", "DM-Caf\u00e9.unr", "DM-Caf\u00e8.unr"}));

    QTreeView* view = child<QTreeView>("ListView1");  // a right click on a row offers to add it
    for (bool yes : {false, true}) {
        boxes.answers = {yes};
        QTest::mouseClick(view->viewport(), Qt::RightButton, {},
                          view->visualRect(rowOf("botpack.u")).center());
    }
    EXPECT_EQ(boxes.texts(), Texts(2, "Add BOTPACK.U to the never move list?"));
    EXPECT_EQ(readFile(neverMove), "CTF-FACE.UNR\r\nskaarj.UTX\r\nbotpack.u\r\n");
    EXPECT_EQ(rows(Marked).size(), 3u);

    // The same by keyboard: the menu key and Shift+F10 on a row, Ctrl+Tab to the next tab,
    // Delete in the never-move list, F1 for the help, Ctrl+Q to quit. The name goes to the
    // file under its own bytes.
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    view->setFocus();
    view->setCurrentIndex(rowOf("DM-Caf\u00e9.unr"));
    boxes.answers = {false, true};
    QTest::keyClick(view, Qt::Key_Menu);
    QTest::keyClick(view, Qt::Key_F10, Qt::ShiftModifier);
    EXPECT_EQ(boxes.texts().back(), "Add DM-CAF\xe9.UNR to the never move list?");
    EXPECT_EQ(boxes.shown.size(), 4u);
    EXPECT_EQ(readFile(neverMove), "CTF-FACE.UNR\r\nskaarj.UTX\r\nbotpack.u\r\nDM-Caf\xe9.unr\r\n");
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));  // the busy window gave it back
    for (int tab : {2, 3}) {
        QTest::keyClick(window.get(), Qt::Key_Tab, Qt::ControlModifier);
        EXPECT_EQ(child<QTabWidget>("SSTab1")->currentIndex(), tab);
    }
    auto* nm = child<QListWidget>("lstNM");
    nm->setFocus();
    nm->setCurrentRow(0);
    QTest::keyClick(nm, Qt::Key_Delete);
    EXPECT_EQ(test::shownTexts(*window, "lstNM"),
              (Texts{"skaarj.UTX", "botpack.u", "DM-Caf\u00e9.unr"}));
    QTest::keyClick(window.get(), Qt::Key_F1);
    EXPECT_EQ(opened.back().toLocalFile().toStdString(), prog + "/help/index.html");
    QTest::keyClick(window.get(), Qt::Key_Q, Qt::ControlModifier);
    EXPECT_FALSE(window->isVisible());
}

// Guards: a second operation started while a run goes on, a close that cuts a run short; the
// purge days set, or a right-clicked name added to the never-move list, during a run; a Run button
// that looks enabled while disabled, a progress bar that counts index lines or cuts its text, the
// cache folder line left blank during the run; status lines cut short or ending out of view.
TEST_F(MainWindow, NothingElseStartsWhileARunGoesOnAndStopEndsIt) {
    Texts names(400);
    for (int i = 0; i < 400; ++i) names[i] = "DM-Map" + std::to_string(i) + ".unr";
    fill(names);
    // The run (on its worker thread) waits at its first move until the window has been looked at
    // and Stop clicked.
    PosixFileSystem posix;
    FaultyFileSystem fs(posix);
    QSemaphore reached, go;
    bool paused = false;  // the worker's own
    fs.watch = [&](const char* op, const std::string&, const std::string&, bool done) {
        if (!done && !paused && std::string(op) == "moveListedFile")
            paused = true, reached.release(), go.acquire();
    };
    frmMain& w = load(&fs);
    w.resize(700, 500);
    w.show();
    const std::string gameIni = readFile(game + "/System/UnrealTournament.ini");
    bool called = false, stopOffered = false, setPurgeOffered = true;
    QColor disabledRun, disabledExit;
    std::string progress, cacheLine;
    int barRoom = 0;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, &w, [&] {
        if (called || !reached.tryAcquire()) return;
        QCoreApplication::sendPostedEvents(&w);  // what the run has sent so far
        called = true;
        auto* stop = child<QPushButton>("cmdStop");
        stopOffered = stop->isVisible() && stop->isEnabled();
        const auto textColour = [&](const char* b) {
            return child(b)->palette().color(QPalette::Disabled, QPalette::ButtonText);
        };
        disabledRun = textColour("cmdRun"), disabledExit = textColour("cmdExit");
        auto* bar = child<QProgressBar>("sbrProgress");
        progress = bar->text().toStdString();
        barRoom = bar->width() - bar->fontMetrics().horizontalAdvance(QStringLiteral("400 of 400"));
        cacheLine = label("Label1");
        boxes.answers = {true};  // Yes, were the purge question asked
        w.cmdPurgeNow_Click();
        w.cmdRun_Click();
        setPurgeOffered = child("cmdSetPurge")->isEnabled();
        child<ByteLineEdit>("txtPurgeCacheDays")->setBytes("7");
        w.cmdSetPurge_Click();  // as its Alt+S or a click queued before the run
        auto* view = child<QTreeView>("ListView1");
        const QModelIndex first = view->model()->index(0, 0);
        view->setCurrentIndex(first);
        QTest::mouseClick(view->viewport(), Qt::RightButton, {}, view->visualRect(first).center());
        w.close();
        stop->click();
        go.release();
    });
    look.start(1);
    click("cmdRun");
    ASSERT_TRUE(called);
    EXPECT_TRUE(stopOffered);
    EXPECT_FALSE(child("cmdStop")->isVisible());
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_FALSE(setPurgeOffered);
    EXPECT_TRUE(child("cmdSetPurge")->isEnabled());  // again once the run has ended
    EXPECT_EQ(readFile(game + "/System/UnrealTournament.ini"), gameIni);
    EXPECT_EQ(readFile(neverMove), "");
    EXPECT_EQ(label("sbrText"), "Stopped after 1 of 400 packages");
    EXPECT_EQ(splitLines(readFile(cache + "/cache.ini")).size(), 400u);  // "[Cache]" and 399
    EXPECT_NE(disabledRun, QColor(0, 0, 128));
    EXPECT_EQ(disabledRun, disabledExit);
    EXPECT_EQ(progress, "0 of 400");
    EXPECT_GT(barRoom, 0);
    EXPECT_EQ(cacheLine, "Cache Directory = " + cache);
    auto* list = child<QListView>("List1");
    const QAbstractItemModel* lines = list->model();
    ASSERT_GT(lines->rowCount(), 400);  // a line per package, then the index's lines
    const auto* sizing = static_cast<const WidestRowDelegate*>(list->itemDelegate());
    const QModelIndex widest = lines->index(sizing->widestRow(), 0);
    EXPECT_GE(list->visualRect(lines->index(0, 0)).width(),
              list->fontMetrics().horizontalAdvance(widest.data().toString()));
    const QRect last = list->visualRect(lines->index(lines->rowCount() - 1, 0));
    EXPECT_TRUE(list->viewport()->rect().contains(last.center()));
    QTest::qWait(20);
    EXPECT_FALSE(w.isVisible());  // the close came once the run had ended
}

// Records the addresses the desktop would open.
class UrlCatcher final : public QObject {
    Q_OBJECT
  public Q_SLOTS:
    void open(const QUrl& url) { opened.push_back(url); }

  public:
    QList<QUrl> opened;
};

// Guards: a start that goes on without a required file or a game folder, or stores anything
// then, a game folder stored without its final separator, a list without a cache index; menus
// that open the wrong file or none, a game folder changed by a cancelled pick; About links
// that open the wrong address, a second About window, one left open after OK.
TEST_F(MainWindow, FirstStartWithoutGameFolderThenMenusAndAbout) {
    std::remove((prog + "/search.avi").c_str());
    frmMain ended(prog);
    EXPECT_FALSE(ended.Form_Load());
    ended.close();
    EXPECT_EQ(boxes.shown.size(), 2u);
    EXPECT_EQ(stored("SelectAll"), "<missing>");
    writeFile(prog + "/search.avi", "RIFF");
    clsRegistry::gameKey(nullptr, registry).WriteEntry("Folder", "");
    picker.folders = {"", game};
    frmMain& w = load();
    EXPECT_EQ(picker.prompts, Texts(2, "Choose the root UT folder:"));
    ASSERT_EQ(boxes.shown.size(), 5u);  // not found, you must choose, no cache index
    EXPECT_EQ(boxes.texts()[4], "Cache.INI is MISSING...can't proceed!");
    EXPECT_EQ(clsRegistry::gameKey(nullptr, registry).ReadEntry("Folder", ""), game + "/");
    EXPECT_TRUE(rows().empty());

    menu("mnuToolsView");  // no log yet: said so
    EXPECT_EQ(boxes.shown.size(), 6u);
    writeFile(prog + "/Quorvel.log", "log\r\n");
    writeFile(prog + "/help/index.html", "<html><body><p>Contents</p></body></html>");
    for (const char* entry :
         {"mnuToolsEdit", "mnuToolsView", "mnuHelpContents", "mnuToolsCheckForUpdates"})
        menu(entry);
    ASSERT_EQ(opened.size(), 4u);
    for (int i = 0; const char* file : {"Quorvel.ini", "Quorvel.log", "help/index.html"})
        EXPECT_EQ(opened[i++].toLocalFile().toStdString(), prog + "/" + file);
    launches = false;  // without a browser or viewer the user is told
    menu("mnuToolsCheckForUpdates");
    menu("mnuHelpContents");
    EXPECT_EQ(boxes.texts().back(),
              "No web browser could be started to open " + std::string(kUpdatePage) + ".");
    // The help shows in a window of its own instead, its links followed inside it.
    auto* help = w.findChild<QTextBrowser*>(QStringLiteral("txtHelp"));
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->window()->isVisible());
    EXPECT_EQ(help->toPlainText(), QStringLiteral("Contents"));
    help->window()->close();
    launches = true;

    test::makeDirs(tmp / "UT2");
    picker.folders = {tmp / "UT2", ""};  // chosen, then cancelled
    menu("mnuToolsSetUT");
    menu("mnuToolsSetUT");
    EXPECT_EQ(clsRegistry::gameKey(nullptr, registry).ReadEntry("Folder", ""), tmp / "UT2/");
    EXPECT_EQ(w.cacheDir(), tmp / "UT2/Cache");

    menu("mnuHelpAbout");
    QPointer<frmAbout> about = frmAbout::openWindow();
    menu("mnuHelpAbout");
    ASSERT_EQ(frmAbout::openWindow(), about.data());
    UrlCatcher links;
    QDesktopServices::setUrlHandler("mailto", &links, "open");
    QDesktopServices::setUrlHandler("https", &links, "open");
    for (const char* link : {"lblEmail", "lblWebsite", "lblTitle"})
        QTest::mouseClick(about->findChild<QLabel*>(link), Qt::LeftButton);
    QDesktopServices::unsetUrlHandler("mailto");
    QDesktopServices::unsetUrlHandler("https");
    ASSERT_EQ(links.opened.size(), 2);  // the title is no link
    EXPECT_EQ(links.opened[0].scheme() + ":" + links.opened[0].path(),
              "mailto:" + QString(kSupportEmail));
    EXPECT_EQ(links.opened[1], QUrl(QString::fromLatin1(kWebsite)));

    about->findChild<QPushButton*>("cmdOK")->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(about.isNull());
}

}  // namespace
}  // namespace qv

#include "frm_main_test.moc"
