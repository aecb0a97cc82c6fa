// The main window's menus, its first start without a game folder, and the About window.
#include <gtest/gtest.h>

#include <QDesktopServices>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTextBrowser>

#include "app/frm_about.h"
#include "app/maker.h"
#include "tests/app/main_window_fixture.h"

namespace qv {
namespace {

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

    // A folder without the game's files is asked about, No the default: No picks again (here
    // cancelled, nothing changes), Yes stores it.
    test::makeDirs(tmp / "UT2");
    picker.folders = {tmp / "UT2", "", tmp / "UT2", ""};
    boxes.answers = {false, true};
    const std::string before = w.cacheDir();
    menu("mnuToolsSetUT");
    EXPECT_EQ(w.cacheDir(), before);
    EXPECT_EQ(boxes.texts().back().rfind(tmp / "UT2 holds none of Unreal Tournament's files", 0),
              0u);
    EXPECT_TRUE(boxes.shown.back().defaultNo);
    menu("mnuToolsSetUT");
    menu("mnuToolsSetUT");  // cancelled
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

#include "frm_main_menus_test.moc"
