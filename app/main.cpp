// Quorvel: empties Unreal Tournament's download cache into the game's folders in an orderly way.

#include <QApplication>
#include <clocale>

#include "app/frmMain.h"
#include "platform/paths.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    // Dates in the file list follow the user's locale.
    std::setlocale(LC_ALL, "");
    QApplication::setApplicationName(QStringLiteral("Quorvel"));

    qv::frmMain window(qv::programFolder());
    // The start-up messages and pickers come before the window shows; closing one of them
    // must not end the program.
    QApplication::setQuitOnLastWindowClosed(false);
    if (!window.Form_Load()) return 1;
    QApplication::setQuitOnLastWindowClosed(true);
    window.show();
    return QApplication::exec();
}
