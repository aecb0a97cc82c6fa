#include "widgets/desktop_open.h"

#include <QDesktopServices>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QMimeDatabase>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>

namespace qv {

namespace {

// How long xdg-open has to fail before the program it started counts as having taken the link.
constexpr int kFailureWaitMs = 1500;

// The types xdg-mime is asked about: the link's scheme, or the file's type and those it
// derives from (a log is text/plain too).
QStringList typesOf(const QUrl& url) {
    if (!url.isLocalFile())
        return {QStringLiteral("x-scheme-handler/") + url.scheme()};  // not a path
    const QMimeType type = QMimeDatabase().mimeTypeForFile(url.toLocalFile());
    return QStringList{type.name()} + type.allAncestors();
}

QString defaultProgramFor(const QString& type) {
    QProcess query;
    query.start(QStringLiteral("xdg-mime"),
                {QStringLiteral("query"), QStringLiteral("default"), type});
    if (!query.waitForFinished(3000) || query.exitCode() != 0) return {};
    return QString::fromLocal8Bit(query.readAllStandardOutput()).trimmed();
}

// The desktop entry's file, where the desktop looks for it.
QString desktopFileOf(const QString& id) {
    QString home = qEnvironmentVariable("XDG_DATA_HOME");
    if (home.isEmpty()) home = QDir::homePath() + QStringLiteral("/.local/share");  // Qt path
    QString dirs = qEnvironmentVariable("XDG_DATA_DIRS");
    if (dirs.isEmpty()) dirs = QStringLiteral("/usr/local/share:/usr/share");  // Qt path
    for (const QString& dir :
         QStringList{home} + dirs.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        const QString path = dir + QStringLiteral("/applications/") + id;  // Qt path
        if (QFile::exists(path)) return path;
    }
    return {};
}

// A program with a window of its own: its entry is there and does not ask for a terminal.
bool isGraphical(const QString& desktopId) {
    QFile entry(desktopFileOf(desktopId));
    if (desktopId.isEmpty() || !entry.open(QIODevice::ReadOnly)) return false;
    bool inMainGroup = false;
    while (!entry.atEnd()) {
        const QByteArray line = entry.readLine().trimmed();
        if (line.startsWith('[')) inMainGroup = line == "[Desktop Entry]";
        if (inMainGroup && line.startsWith("Terminal=")) return line.mid(9).trimmed() != "true";
    }
    return true;
}

bool graphicalProgramFor(const QUrl& url) {
    for (const QString& type : typesOf(url))
        if (const QString id = defaultProgramFor(type); !id.isEmpty()) return isGraphical(id);
    return false;
}

// Starts xdg-open and waits a moment (the window goes on painting) for it to fail.
bool startXdgOpen(const QUrl& url) {
    // Not parented: a process still running when the program ends is left running.
    auto* open = new QProcess;
    open->setStandardInputFile(QProcess::nullDevice());
    open->setStandardOutputFile(QProcess::nullDevice());
    open->setStandardErrorFile(QProcess::nullDevice());
    const QString target = url.isLocalFile() ? url.toLocalFile() : url.toString(QUrl::FullyEncoded);
    open->start(QStringLiteral("xdg-open"), {target});
    if (!open->waitForStarted(3000)) {
        delete open;
        return false;
    }
    QEventLoop wait;
    QTimer::singleShot(kFailureWaitMs, &wait, &QEventLoop::quit);
    QObject::connect(open, &QProcess::finished, &wait, &QEventLoop::quit);
    wait.exec();
    if (open->state() != QProcess::NotRunning) {
        QObject::connect(open, &QProcess::finished, open, &QObject::deleteLater);
        return true;
    }
    const bool ok = open->exitStatus() == QProcess::NormalExit && open->exitCode() == 0;
    delete open;
    return ok;
}

}  // namespace

bool openOnDesktop(const QUrl& url) {
    if (QStandardPaths::findExecutable(QStringLiteral("xdg-open")).isEmpty() ||
        QStandardPaths::findExecutable(QStringLiteral("xdg-mime")).isEmpty())
        return QDesktopServices::openUrl(url);
    return graphicalProgramFor(url) && startXdgOpen(url);
}

}  // namespace qv
