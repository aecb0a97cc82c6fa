// Quorvel Troubleshooter: shows what the registry says about the game and Quorvel, lists the
// cache, and writes the report the user mails to support.

#include <QApplication>

#include "troubleshooter/frm_main.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorvel Troubleshooter"));

    qv::troubleshooter::frmMain window;
    // The start-up pickers and messages come before the window shows; closing one of them
    // must not end the program.
    QApplication::setQuitOnLastWindowClosed(false);
    window.Form_Load();
    QApplication::setQuitOnLastWindowClosed(true);
    window.show();
    return QApplication::exec();
}
