// Quorvel: empties Unreal Tournament's download cache into the game's folders in an orderly way.

#include <QApplication>
#include <QIcon>
#include <clocale>

#include "app/frm_main.h"
#include "app/maker.h"
#include "platform/paths.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    // Dates in the file list follow the user's locale.
    std::setlocale(LC_ALL, "");
    QApplication::setApplicationName(QStringLiteral("Quorvel"));

    const std::string folder = qv::programFolder();
    // Every window of the program (main, busy, about, message boxes) carries its icon.
    QApplication::setWindowIcon(
        QIcon(QString::fromLocal8Bit(folder) + QLatin1Char('/') + QLatin1String(qv::kIconFile)));

    qv::frmMain window(folder);
    // The start-up messages and pickers come before the window shows; closing one of them
    // must not end the program.
    QApplication::setQuitOnLastWindowClosed(false);
    if (!window.Form_Load()) return 1;
    QApplication::setQuitOnLastWindowClosed(true);
    window.show();
    return QApplication::exec();
}
