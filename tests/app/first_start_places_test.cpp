#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QListView>
#include <QScrollBar>
#include <QSettings>
#include <QTest>
#include <QTimer>
#include <algorithm>

#include "platform/filesystem.h"
#include "settings/cls_registry.h"
#include "settings/game_finder.h"
#include "settings/program_settings.h"
#include "tests/support/game_home.h"
#include "tests/support/scripted_boxes.h"
#include "tests/support/temp_dir.h"
#include "tests/widgets/qt_app.h"
#include "widgets/qt_dialogs.h"

namespace qv {

// A first start without a stored game folder: the message says how many copies were found;
// the picker opens at the most likely one with every copy in its side bar, named by what it is,
// where, and how many packages it holds, readable in full and wider as the dialog widens. The
// player presses Enter on the home folder, which holds no game, is asked, says No, and picks
// the native install: its folder and its cache folder in ~/.utpg are stored. Ctrl+H shows the
// hidden folders. Qt's settings file,
// which every Qt program's file dialog reads, is left as it was.
TEST(FirstStart, PickerOffersTheGamesFound) {
    test::ensureQtApp();
    test::TempDir tmp;
    const std::string home = test::makeGameHome(tmp.path());
    const std::string native = home + "/.local/share/OldUnreal/UnrealTournament";
    const QString qtSettings = QSettings(QSettings::UserScope, "QtProject").fileName();
    const auto qtSettingsNow = [&] {
        QFile f(qtSettings);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<none>");
    };
    const QByteArray qtSettingsBefore = qtSettingsNow();
    ScriptedMessageBoxes boxes;
    boxes.answers = {false};
    QtDialogs dialogs(nullptr, "Quorvel");
    clsRegistry gameKey = clsRegistry::gameKey(&dialogs, home + "/registry.reg");
    clsRegistry programKey = clsRegistry::programKey(&dialogs, home + "/registry.reg");

    QStringList sidebar;
    QString openedAt;
    int picks = 0, cut = -1, narrowest = 0, wider = 0;
    bool hiddenShown = false;  // after Ctrl+H
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        auto* picker = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!picker || !picker->isVisible()) return;
        if (picks++ == 0) {
            QApplication::processEvents();  // the side bar learns its folders' details
            auto* view = picker->findChild<QListView*>("sidebar");
            for (int row = 0; row < view->model()->rowCount(); ++row)
                sidebar << view->model()->index(row, 0).data().toString();
            cut = view->horizontalScrollBar()->maximum();  // a name wider than the side bar
            narrowest = view->viewport()->width();
            openedAt = picker->directory().absolutePath();
            picker->resize(picker->width() + 400, picker->height());
            QApplication::processEvents();
            wider = view->viewport()->width();
            QTest::keyClick(picker, Qt::Key_H, Qt::ControlModifier);
            hiddenShown = picker->findChild<QCheckBox*>("chkHidden")->isChecked() &&
                          picker->filter().testFlag(QDir::Hidden);
        }
        picker->setDirectory(QString::fromStdString(picks == 1 ? home : native));
        QMetaObject::invokeMethod(picker, "accept");
    });
    tick.start(10);
    const auto findCopies = [&] { return findGames({home, "", home, "", ""}, realFileSystem()); };
    EXPECT_EQ(findGameDir(gameKey, dialogs, nullptr, findCopies, &programKey), native + "/");

    const QStringList games = QString::fromStdString(test::expectedListing(home)).split('\n');
    EXPECT_EQ(openedAt, games[0].section('\t', 0, 0));
    for (const QString& game : games.mid(0, games.size() - 1)) {
        const QString count = game.section('\t', 3, 3);
        const QString packages = game.section('\t', 2, 2) == "-"
                                     ? QString("no cache found")
                                     : count + (count == "1" ? " package" : " packages");
        EXPECT_TRUE(sidebar.contains(game.section('\t', 1, 1) + "\n~" +
                                     game.section('\t', 0, 0).mid(home.size()) + " (" + packages +
                                     ")"))
            << game.toStdString() << "\n"
            << sidebar.join(" | ").toStdString();
    }
    EXPECT_EQ(cut, 0);
    EXPECT_GT(wider, narrowest);
    EXPECT_TRUE(hiddenShown);
    ASSERT_EQ(boxes.shown.size(), 2u);
    EXPECT_EQ(boxes.texts()[0],
              "Quorvel found 5 copies of Unreal Tournament.\r\nChoose one in the side bar, or "
              "another folder.");
    EXPECT_TRUE(boxes.shown[1].defaultNo);
    EXPECT_TRUE(boxes.texts()[1].starts_with(home + " holds none of Unreal Tournament's files"));
    EXPECT_EQ(programKey.ReadEntry("CacheDir", ""), home + "/.utpg/Cache");
    EXPECT_EQ(qtSettingsNow(), qtSettingsBefore);
}

// No copy found: the message's example is a folder the search looks in, so a copy put there is
// found (~/.utpg, the settings folder, never is).
TEST(FirstStart, NothingFoundNamesAFolderTheSearchLooksIn) {
    test::ensureQtApp();
    test::TempDir tmp;
    const std::string home = test::makeGameHome(tmp.path());
    ScriptedMessageBoxes boxes;
    ScriptedFolderPicker picker;
    const std::string native = home + "/.local/share/OldUnreal/UnrealTournament";
    picker.folders = {native};
    QtDialogs dialogs(nullptr, "Quorvel");
    clsRegistry gameKey = clsRegistry::gameKey(&dialogs, home + "/registry.reg");
    const auto none = [] { return std::vector<FoundGame>(); };
    EXPECT_EQ(findGameDir(gameKey, dialogs, nullptr, none), native + "/");
    ASSERT_FALSE(boxes.shown.empty());
    const std::string text = boxes.texts()[0];
    const std::string start = "(example - /home/you", end = ")";
    ASSERT_TRUE(text.starts_with("Unreal Tournament not found.") &&
                text.find(start) != std::string::npos && text.ends_with(end))
        << text;
    const std::string example =
        home + text.substr(text.find(start) + start.size(),
                           text.size() - text.find(start) - start.size() - end.size());
    std::vector<std::string> found;
    for (const FoundGame& game : findGames({home, "", home, "", ""}, realFileSystem()))
        found.push_back(game.folder);
    EXPECT_NE(std::find(found.begin(), found.end(), example), found.end()) << example;
}

}  // namespace qv
