// The troubleshooter's window: start-up with its picker loops, the buttons, and its look.

#include <sys/utsname.h>

#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "tests/troubleshooter/troubleshooter_fixture.h"

namespace qv::troubleshooter::test {
namespace {

using Strings = std::vector<std::string>;

const std::string kPickCache = "Choose the UT Cache folder:";
const std::string kPickGame = "Choose the root UT folder:";

class StartUp : public TroubleshooterTest {};

TEST_F(StartUp, KnownGameFolderAsksOnlyForTheCache) {
    setGameFolder("/games/ut/");
    setQuorvel("/games/ut/Cache", "/opt/quorvel");
    const std::string cache = makeCache("Cache", "[Cache]\r\nA=b.unr\r\n", {"x.uxx"});
    picker.folders.push_back(cache);
    frmMain& w = start();

    EXPECT_EQ(picker.prompts, Strings{kPickCache});
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(w.windowTitle(),
              QStringLiteral("Quorvel Troubleshooter v1.0 - by the Quorvel developers"));
    EXPECT_EQ(control<QLineEdit>("txtUTRegDir")->text(), QStringLiteral("/games/ut/"));
    EXPECT_EQ(control<QLineEdit>("txtCacheRegDir")->text(), QStringLiteral("/games/ut/Cache"));
    EXPECT_EQ(w.module1().strInstallPath, "/opt/quorvel");
    EXPECT_EQ(w.module1().strCacheFolder, cache);
    EXPECT_EQ(w.module1().strWinVersion, "Linux 6.1.0-test");
    EXPECT_EQ(w.module1().lngLogCount(), 0u);  // no log in /opt/quorvel

    auto* ini = control<QListWidget>("lstCacheINI");
    ASSERT_EQ(ini->count(), 2);
    EXPECT_EQ(ini->item(1)->text(), QStringLiteral("A=b.unr"));
    auto* dir = control<QListWidget>("lstCacheDir");
    ASSERT_EQ(dir->count(), 2);
    EXPECT_EQ(dir->item(0)->text(), QStringLiteral("cache.ini"));
    EXPECT_EQ(dir->item(1)->text(), QStringLiteral("x.uxx"));
}

TEST_F(StartUp, MissingGameFolderMustBeChosenAndKeepsTheNotice) {
    const std::string game = tmp / "ut";
    makeDirs(game);
    picker.folders = {"", "", game, makeCache("Cache", "")};
    start();

    EXPECT_EQ(picker.prompts, (Strings{kPickGame, kPickGame, kPickGame, kPickCache}));
    EXPECT_EQ(boxes.texts(), (Strings{"You MUST select the root UT folder..",
                                      "You MUST select the root UT folder.."}));
    for (const auto& box : boxes.shown) EXPECT_EQ(box.title, "Quorvel Troubleshooter");
    EXPECT_EQ(storedGameFolder(), game + "/");
    EXPECT_EQ(window->utRegDirText(), "UT's registry entry NOT found - please set it");

    control<QPushButton>("cmdSave")->click();
    EXPECT_NE(report().find("\r\n<UT Reg Dir>: UT's registry entry NOT found - please set it\r\n"),
              std::string::npos);
}

TEST_F(StartUp, CacheFolderLoopUntilOneHoldsCacheIni) {
    setGameFolder("/g/");
    const std::string empty = makeCache("NoIndex", nullptr, {"stray.uxx"});
    const std::string good = makeCache("Cache", "only line", {"good.uxx"});
    picker.folders = {"", empty, good};
    start();

    EXPECT_EQ(picker.prompts, (Strings{kPickCache, kPickCache, kPickCache}));
    EXPECT_EQ(boxes.texts(), (Strings{"You MUST select the UT Cache folder..",
                                      "Cache.INI not found in " + empty + " ...try again."}));
    EXPECT_EQ(window->module1().strCacheFolder, good);
    EXPECT_EQ(window->cacheIniEntries(), Strings{"only line"});
    EXPECT_EQ(window->cacheDirEntries(), (Strings{"cache.ini", "good.uxx"}));
    EXPECT_EQ(control<QListWidget>("lstCacheDir")->count(), 2);
}

TEST_F(StartUp, ReadsTheLogWholeAndTheKernelNameOrWhyNot) {
    const std::string install = tmp / "quorvel";
    makeDirs(install);
    std::string log;
    for (int i = 1; i <= 600; ++i) log += "entry " + std::to_string(i) + "\n";
    writeFile(install + "/Quorvel.log", log);
    setGameFolder("/g/");
    setQuorvel("", install);
    picker.folders.push_back(makeCache("Cache", ""));
    Services s = services();
    s.versionQuery = nullptr;  // the running kernel
    frmMain& w = start(s);

    ASSERT_EQ(w.module1().lngLogCount(), 600u);
    EXPECT_EQ(w.module1().LogLines[599], "entry 600");
    utsname u{};
    ASSERT_EQ(::uname(&u), 0);
    EXPECT_EQ(w.module1().strWinVersion, std::string(u.sysname) + " " + u.release);

    // A failure to name the system becomes readable text.
    picker.folders.push_back(tmp / "Cache");
    s.versionQuery = [](VersionInfo&) { return false; };
    start(s);
    EXPECT_EQ(window->module1().strWinVersion,
              "(not known: Cannot get operating system name, error 0x800443E7)");
}

class Buttons : public TroubleshooterTest {
  protected:
    void SetUp() override {
        TroubleshooterTest::SetUp();
        install = tmp / "quorvel";
        makeDirs(install);
        setGameFolder("/games/ut/");
        setQuorvel("/games/ut/Cache", install);
        picker.folders.push_back(makeCache("Cache", "[Cache]\r\n"));
        start();
        picker.prompts.clear();
    }
    std::string install;
};

TEST_F(Buttons, SetUtAndReset) {
    setGameFolder("/elsewhere/");               // changed behind the window's back
    control<QPushButton>("cmdSetUT")->click();  // cancelled: nothing written, stored value shown
    EXPECT_EQ(picker.prompts, Strings{kPickGame});
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(storedGameFolder(), "/elsewhere/");
    EXPECT_EQ(control<QLineEdit>("txtUTRegDir")->text(), QStringLiteral("/elsewhere/"));
    picker.folders.push_back(tmp / "newut");
    control<QPushButton>("cmdSetUT")->click();
    EXPECT_EQ(storedGameFolder(), tmp / "newut/");
    EXPECT_EQ(window->utRegDirText(), tmp / "newut/");

    control<QPushButton>("cmdReset")->click();  // answered no: nothing changes
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].kind, MessageBoxCall::YesNo);
    EXPECT_EQ(boxes.shown[0].text, "Definately reset Quorvel's registry entry?");
    EXPECT_EQ(boxes.shown[0].title, "Quorvel Troubleshooter");
    EXPECT_EQ(clsRegistry::programKey().ReadEntry("CacheDir", ""), "/games/ut/Cache");
    EXPECT_EQ(window->cacheRegDirText(), "/games/ut/Cache");

    boxes.answers.push_back(true);  // yes: CacheDir only is emptied
    control<QPushButton>("cmdReset")->click();
    clsRegistry key = clsRegistry::programKey();
    EXPECT_EQ(key.ReadEntry("CacheDir", "<missing>"), "<missing>");  // empty reads as default
    EXPECT_NE(readFile(registryPath).find("\"CacheDir\"=\"\""), std::string::npos);
    EXPECT_EQ(key.ReadEntry("InstallPath", ""), install);
    EXPECT_TRUE(control<QLineEdit>("txtCacheRegDir")->text().isEmpty());
    EXPECT_EQ(window->module1().strInstallPath, install);
}

TEST_F(Buttons, ViewLogSaveMailAndExit) {
    control<QPushButton>("cmdViewLog")->click();
    EXPECT_TRUE(opened.empty());
    EXPECT_EQ(boxes.texts(), Strings{"Quorvel's log could not be opened: " + install +
                                     "/Quorvel.log does not exist."});
    writeFile(install + "/Quorvel.log", "x\r\n");
    control<QPushButton>("cmdViewLog")->click();
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], QUrl::fromLocalFile(QString::fromStdString(install + "/Quorvel.log")));
    EXPECT_EQ(boxes.shown.size(), 1u);
    openSucceeds = false;
    control<QPushButton>("cmdViewLog")->click();
    EXPECT_EQ(boxes.texts().back(), "Quorvel's log could not be opened: no program to show " +
                                        install + "/Quorvel.log was found.");

    // Saving enables the mail link; a mail program that fails to start is not reported.
    auto* save = control<QPushButton>("cmdSave");
    auto* mail = control<QPushButton>("cmdMail");
    EXPECT_EQ(save->text(), QString::fromStdString("&Save to " + home + "/CacheInfo.txt"));
    EXPECT_FALSE(mail->isEnabled());
    EXPECT_EQ(mail->text(), QStringLiteral("** Save the file FIRST **"));
    save->click();
    EXPECT_TRUE(mail->isEnabled());
    EXPECT_EQ(mail->text(), QStringLiteral("&Email the Info"));
    opened.clear();
    boxes.shown.clear();
    mail->click();
    const std::string link =
        "mailto:quorvel-support@velmora.example?subject=Quorvel "
        "Troubleshooter&Body=*** NOTE - remember to attach " +
        home + "/CacheInfo.txt before sending ***";
    EXPECT_EQ(window->mailLink(), link);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].scheme(), QStringLiteral("mailto"));
    EXPECT_EQ(opened[0].path(), QStringLiteral("quorvel-support@velmora.example"));
    EXPECT_EQ(opened[0].query(QUrl::FullyDecoded),
              QString::fromStdString(link.substr(link.find('?') + 1)));
    EXPECT_TRUE(boxes.shown.empty());

    window->show();
    control<QPushButton>("cmdExit")->click();
    EXPECT_FALSE(window->isVisible());
}

class Look : public TroubleshooterTest {};

TEST_F(Look, ControlsSitWhereDesignedInPixelsInTheDesignedTabOrder) {
    setGameFolder("/g/");
    picker.folders.push_back(makeCache("Cache", ""));
    frmMain& w = start();
    EXPECT_EQ(w.objectName(), QStringLiteral("frmMain"));
    EXPECT_EQ(w.size(), QSize(401, 474));

    struct Where {
        const char* name;
        QRect rect;
    };
    const Where where[] = {{"Label1", {8, 8, 73, 17}},
                           {"txtUTRegDir", {104, 8, 289, 19}},
                           {"cmdSetUT", {104, 32, 153, 17}},
                           {"Label2", {8, 72, 89, 33}},
                           {"txtCacheRegDir", {104, 72, 289, 19}},
                           {"cmdReset", {104, 96, 153, 17}},
                           {"cmdViewLog", {8, 136, 145, 25}},
                           {"Label4", {8, 184, 137, 17}},
                           {"lstCacheINI", {8, 200, 385, 95}},
                           {"Label3", {8, 312, 129, 17}},
                           {"lstCacheDir", {8, 328, 385, 95}},
                           {"cmdSave", {8, 440, 145, 25}},
                           {"cmdMail", {160, 440, 145, 25}},
                           {"cmdExit", {312, 440, 81, 25}}};
    for (const Where& c : where) {
        QWidget* widget = w.findChild<QWidget*>(QString::fromLatin1(c.name));
        ASSERT_NE(widget, nullptr) << c.name;
        if (qobject_cast<QLabel*>(widget) && c.rect.height() < 20) {
            // A one-line label may grow to the right to keep its caption on its line.
            EXPECT_EQ(widget->pos(), c.rect.topLeft()) << c.name;
            EXPECT_EQ(widget->height(), c.rect.height()) << c.name;
            EXPECT_GE(widget->width(), c.rect.width()) << c.name;
            EXPECT_LE(widget->x() + widget->width(), 393) << c.name;
        } else {
            EXPECT_EQ(widget->geometry(), c.rect) << c.name;
        }
    }
    // Label1 stays clear of the box beside it.
    EXPECT_LE(control<QLabel>("Label1")->geometry().right(), 104);
    EXPECT_FALSE(control<QLineEdit>("txtUTRegDir")->isEnabled());
    EXPECT_FALSE(control<QLineEdit>("txtCacheRegDir")->isEnabled());
    for (const char* label : {"Label1", "Label2", "Label3", "Label4"})
        EXPECT_EQ(control<QLabel>(label)->palette().color(QPalette::WindowText), QColor(0, 0, 192));
    for (const char* small : {"cmdSetUT", "cmdReset"}) {
        const QFont font = control<QPushButton>(small)->font();
        EXPECT_EQ(font.family(), QStringLiteral("Arial"));
        EXPECT_DOUBLE_EQ(font.pointSizeF(), 6.75);
    }
    EXPECT_EQ(
        control<QPushButton>("cmdSetUT")->toolTip(),
        QStringLiteral("Use this to set the root UT dir if u installed or moved UT manually"));
    EXPECT_EQ(control<QPushButton>("cmdReset")->toolTip(),
              QStringLiteral("Clears the registry setting Quorvel uses for the directory"));
    EXPECT_EQ(control<QPushButton>("cmdExit")->text(), QStringLiteral("E&xit"));
    EXPECT_EQ(control<QPushButton>("cmdViewLog")->text(), QStringLiteral("&View Quorvel LOG"));

    // The tab order follows the design.
    Strings chain;
    QWidget* first = w.findChild<QWidget*>(QStringLiteral("cmdSave"));
    ASSERT_NE(first, nullptr);
    for (QWidget* at = first;;) {
        if (at->focusPolicy() & Qt::TabFocus) chain.push_back(at->objectName().toStdString());
        at = at->nextInFocusChain();
        if (at == first || chain.size() > 20) break;
    }
    EXPECT_EQ(chain,
              (Strings{"cmdSave", "txtUTRegDir", "txtCacheRegDir", "lstCacheINI", "lstCacheDir",
                       "cmdExit", "cmdMail", "cmdReset", "cmdSetUT", "cmdViewLog"}));
}

}  // namespace
}  // namespace qv::troubleshooter::test
