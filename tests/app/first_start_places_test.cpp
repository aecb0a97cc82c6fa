#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QListView>
#include <QTimer>

#include "settings/clsRegistry.h"
#include "settings/game_finder.h"
#include "settings/program_settings.h"
#include "tests/support/game_home.h"
#include "tests/support/temp_dir.h"
#include "tests/widgets/qt_app.h"
#include "widgets/qt_dialogs.h"

namespace qv {

// A first start without a stored game folder: after the message, the picker opens at the most
// likely copy of the game with every copy found in its side bar under what it is; the player
// picks the native install, and its folder and its cache folder in ~/.utpg are stored.
TEST(FirstStart, PickerOffersTheGamesFound) {
    test::ensureQtApp();
    test::TempDir tmp;
    const std::string home = test::makeGameHome(tmp.path());
    const std::string native = home + "/.local/share/OldUnreal/UnrealTournament";
    ScriptedMessageBoxes boxes;
    QtDialogs dialogs(nullptr, "Quorvel");
    clsRegistry gameKey = clsRegistry::gameKey(&dialogs, home + "/registry.reg");
    clsRegistry programKey = clsRegistry::programKey(&dialogs, home + "/registry.reg");

    QStringList sidebar;
    QString openedAt;
    QTimer::singleShot(0, [&] {
        auto* picker = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!picker) return;            // the walk fails below: nothing was seen
        QApplication::processEvents();  // the side bar learns its folders' details
        const QAbstractItemModel* places = picker->findChild<QListView*>("sidebar")->model();
        for (int row = 0; row < places->rowCount(); ++row)
            sidebar << places->index(row, 0).data().toString();
        openedAt = picker->directory().absolutePath();
        picker->setDirectory(QString::fromStdString(native));
        QMetaObject::invokeMethod(picker, "accept");
    });
    const GameSearch search{home, "", home};
    EXPECT_EQ(findGameDir(gameKey, dialogs, nullptr, &search, &programKey), native + "/");

    const QStringList games = QString::fromStdString(test::expectedListing(home)).split('\n');
    EXPECT_EQ(openedAt, games[0].section('\t', 0, 0));
    for (const QString& game : games.mid(0, games.size() - 1))
        EXPECT_TRUE(sidebar.contains(game.section('\t', 1, 1))) << game.toStdString();
    EXPECT_EQ(programKey.ReadEntry("CacheDir", ""), home + "/.utpg/Cache");
}

}  // namespace qv
