// Quorvel: empties Unreal Tournament's download cache into the game's folders in an orderly way.

#include <QApplication>
#include <QIcon>
#include <QLoggingCategory>
#include <clocale>

#include "app/frm_main.h"
#include "app/maker.h"
#include "platform/paths.h"
#include "platform/trace.h"

namespace {

// The engine's trace through Qt's logging categories: QT_LOGGING_RULES="quorvel.*.debug=true".
Q_LOGGING_CATEGORY(lcGame, "quorvel.game", QtInfoMsg)
Q_LOGGING_CATEGORY(lcIndex, "quorvel.index", QtInfoMsg)
Q_LOGGING_CATEGORY(lcFinder, "quorvel.finder", QtInfoMsg)
Q_LOGGING_CATEGORY(lcLock, "quorvel.lock", QtInfoMsg)

const QLoggingCategory& categoryOf(qv::trace::Category c) {
    switch (c) {
        case qv::trace::Category::Game:
            return lcGame();
        case qv::trace::Category::Index:
            return lcIndex();
        case qv::trace::Category::Lock:
            return lcLock();
        case qv::trace::Category::Finder:
            break;
    }
    return lcFinder();
}

void traceToQt(qv::trace::Category c, const std::string& line) {
    qCDebug(categoryOf(c), "%s", line.c_str());
}

void startTrace() {
    qv::trace::setSink(traceToQt);
    for (unsigned k = 0; k < qv::trace::kCategories; ++k) {
        const auto c = static_cast<qv::trace::Category>(k);
        qv::trace::enable(c, categoryOf(c).isDebugEnabled());
    }
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    // Dates in the file list follow the user's locale.
    std::setlocale(LC_ALL, "");
    QApplication::setApplicationName(QStringLiteral("Quorvel"));
    startTrace();

    const std::string folder = qv::programFolder();
    // Every window of the program (main, busy, about, message boxes) carries its icon.
    QApplication::setWindowIcon(QIcon(QString::fromLocal8Bit(qv::joinPath(folder, qv::kIconFile))));

    qv::frmMain window(folder);
    // The start-up messages and pickers come before the window shows; closing one of them
    // must not end the program.
    QApplication::setQuitOnLastWindowClosed(false);
    if (!window.Form_Load()) return 1;
    QApplication::setQuitOnLastWindowClosed(true);
    window.show();
    return QApplication::exec();
}
