#include "troubleshooter/frm_main.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QTime>
#include <cstdio>

#include "platform/escaped_text.h"
#include "platform/paths.h"
#include "settings/cls_registry.h"
#include "settings/program_files.h"
#include "troubleshooter/cache_info.h"
#include "troubleshooter/maker_contact.h"
#include "widgets/desktop_open.h"
#include "widgets/display.h"
#include "widgets/worker_thread.h"

namespace qv::troubleshooter {

namespace {

// Shown as the report writes it: a control byte in a name does not break the line.
QString display(const std::string& text) {
    return displayText(escapedField(text, EscapeForm::ControlBytes));
}

// Characters that would end the mail link's body early are escaped; blanks stay plain.
std::string mailSafe(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '%')
            out += "%25";
        else if (c == '&')
            out += "%26";
        else if (c == '#')
            out += "%23";
        else
            out += c;
    }
    return out;
}

}  // namespace

frmMain::frmMain(Services services, QWidget* parent)
    : QWidget(parent),
      services_(std::move(services)),
      fs_(services_.fs ? *services_.fs : realFileSystem()),
      dialogs_(this, kProgramTitle),
      reportFolder_(homeFolder()),
      reportPath_(joinClean(reportFolder_, kReportName)) {
    buildControls();
}

void frmMain::message(const std::string& text) {
    dialogs_.message(kProgramTitle, text);
}

std::string frmMain::reportPathShown() const {
    return homeRelative(reportPath_, reportFolder_);
}

void frmMain::fillList(QListWidget* list, const std::vector<std::string>& entries) {
    list->clear();
    QStringList items;
    items.reserve(static_cast<qsizetype>(entries.size()));
    for (const std::string& entry : entries) items.push_back(display(entry));
    list->addItems(items);
}

void frmMain::setUtRegDir(std::string text) {
    utRegDirText_ = std::move(text);
    txtUTRegDir->setText(display(utRegDirText_));
}

void frmMain::setCacheRegDir(std::string text) {
    cacheRegDirText_ = std::move(text);
    txtCacheRegDir->setText(display(cacheRegDirText_));
}

void frmMain::Form_Load() {
    setWindowTitle(QString::fromLatin1(kProgramTitle) + QStringLiteral(" v") +
                   QString::number(kVersionMajor) + QLatin1Char('.') +
                   QString::number(kVersionMinor) + QString::fromLatin1(kCredit));
    // Wide enough for the window manager to show the whole title (bold, beside the icon and
    // three buttons).
    QFont bold = font();
    bold.setBold(true);
    const int titleRoom = QFontMetrics(bold).horizontalAdvance(windowTitle()) + 140;
    if (width() < titleRoom) {
        resize(titleRoom, height());
        fitScreen();
    }
    ReadUTRegistry();
    ReadQuorvelRegistry();
    ChooseCacheFolder();
    ReadOsName();
    LoadLog();
}

void frmMain::ReadUTRegistry() {
    clsRegistry gameKey = clsRegistry::gameKey(&dialogs_);
    setUtRegDir(gameKey.ReadEntry("Folder", ""));
    if (utRegDirText_.empty()) {
        // The notice stays in the box after a folder is stored; only Set UT reads it anew.
        setUtRegDir("UT's registry entry NOT found - please set it");
        SetUTFolder(true);
    }
}

void frmMain::SetUTFolder(bool mustChoose) {
    for (;;) {
        dialogs_.startNextPickIn(clsRegistry::gameKey(&dialogs_).ReadEntry("Folder", ""));
        const std::string chosen = dialogs_.pickFolder("Choose the root UT folder:");
        if (!chosen.empty()) {
            clsRegistry gameKey = clsRegistry::gameKey(&dialogs_);
            gameKey.WriteEntry("Folder", endsWithSeparator(chosen) ? chosen : chosen + kSep);
            return;
        }
        if (!mustChoose) return;
        message("You MUST select the root UT folder..");
    }
}

void frmMain::ReadQuorvelRegistry() {
    clsRegistry programKey = clsRegistry::programKey(&dialogs_);
    setCacheRegDir(programKey.ReadEntry("CacheDir", ""));
    m_.strInstallPath = programKey.ReadEntry("InstallPath", "");
}

void frmMain::ChooseCacheFolder() {
    // The picker opens at the cache folder Quorvel last used, else at the game's own.
    std::string start = cacheRegDirText_;
    if (!fs_.isFolder(start))
        start = joinClean(clsRegistry::gameKey(&dialogs_).ReadEntry("Folder", ""), "Cache");
    for (;;) {
        dialogs_.startNextPickIn(start);
        const std::string chosen = dialogs_.pickFolder("Choose the UT Cache folder:");
        if (chosen.empty()) {
            message("You MUST select the UT Cache folder..");
            continue;
        }
        m_.strCacheFolder = chosen;
        // A folder given up on leaves nothing behind in the lists.
        cacheIniEntries_.clear();
        cacheDirEntries_.clear();
        if (LoadCacheIni() && ListCacheDir()) break;
    }
    fillList(lstCacheINI, cacheIniEntries_);
    fillList(lstCacheDir, cacheDirEntries_);
}

bool frmMain::LoadCacheIni() {
    const std::string path = joinClean(m_.strCacheFolder, "cache.ini");
    if (!fs_.isFile(path)) {
        message("Cache.INI not found in " + m_.strCacheFolder + " ...try again.");
        return false;
    }
    cacheIniEntries_ = readCacheIni(fs_, path);
    return true;
}

bool frmMain::ListCacheDir() {
    if (!fs_.isFile(joinClean(m_.strCacheFolder, "cache.ini"))) {
        message("UT Cache Directory not selected...try again.");
        return false;
    }
    // A folder on a stalled share can take long to list: the window goes on painting meanwhile,
    // and takes no clicks until the listing is in.
    std::vector<std::string> listed;
    const QPointer<QWidget> focused = focusWidget();
    setEnabled(false);
    runOffGuiThread([&] { listed = listCacheFolder(fs_, m_.strCacheFolder); });
    setEnabled(true);
    if (focused) focused->setFocus();
    cacheDirEntries_ = std::move(listed);
    return true;
}

void frmMain::ReadOsName() {
    try {
        CEnvironment env(services_.versionQuery ? services_.versionQuery
                                                : CEnvironment::VersionQuery(queryKernelVersion));
        m_.strWinVersion = env.OsName();
    } catch (const EnvironmentError& e) {
        // The report is still worth sending without the system's name.
        char number[16];
        std::snprintf(number, sizeof number, "0x%08X", static_cast<unsigned>(e.number()));
        m_.strWinVersion = "(not known: " + e.description() + ", error " + number + ")";
    }
}

void frmMain::LoadLog() {
    m_.LogLines = readLogLines(fs_, m_.strInstallPath, &m_.logNote);
}

void frmMain::cmdViewLog_Click() {
    if (m_.strInstallPath.empty()) {
        message("Quorvel's log cannot be found: the registry holds no InstallPath for Quorvel.");
        return;
    }
    const std::string path = runLogPath(fs_, m_.strInstallPath);
    if (!fs_.isFile(path)) {
        message("Quorvel's log could not be opened: " + path + " does not exist.");
        return;
    }
    const QUrl url = QUrl::fromLocalFile(QFile::decodeName(path.c_str()));
    const bool opened = services_.openUrl ? services_.openUrl(url) : openOnDesktop(url);
    if (!opened)
        message("Quorvel's log could not be opened: no program to show " + path + " was found.");
}

void frmMain::cmdSetUT_Click() {
    SetUTFolder(false);
    // Shown as stored now, also when it is empty.
    setUtRegDir(clsRegistry::gameKey(&dialogs_).ReadEntry("Folder", ""));
}

void frmMain::cmdReset_Click() {
    ResetQuorvelRegistry();
}

void frmMain::ResetQuorvelRegistry() {
    if (!dialogs_.askYesNoDefaultNo(kProgramTitle, "Definately reset Quorvel's registry entry?"))
        return;
    clsRegistry programKey = clsRegistry::programKey(&dialogs_);
    programKey.WriteEntry("CacheDir", "");
    setCacheRegDir(programKey.ReadEntry("CacheDir", ""));
}

void frmMain::cmdSave_Click() {
    ReportInput in;
    in.winVersion = m_.strWinVersion;
    in.utRegDir = utRegDirText_;
    in.cacheRegDir = cacheRegDirText_;
    in.installPath = m_.strInstallPath;
    in.cacheIniLines = cacheIniEntries_;
    in.cacheFolder = m_.strCacheFolder;
    in.cacheDirNames = cacheDirEntries_;
    in.logLines = m_.LogLines;
    std::string leftOut;
    if (!in.logLines.empty())
        in.logLines = runsOnCache(in.logLines, m_.strCacheFolder, kReportRuns, leftOut);
    // An installed Quorvel writes its log in the user's data folder, not in InstallPath.
    if (!m_.strInstallPath.empty()) in.logFolder = parentFolder(runLogPath(fs_, m_.strInstallPath));
    in.logNote = m_.LogLines.empty() ? m_.logNote : leftOut;

    const std::string report = buildReport(in);
    const bool ownPlace = reportPath_ == joinClean(reportFolder_, kReportName);
    Status saved =
        ownPlace ? saveReport(fs_, reportFolder_, report) : fs_.writeAtomic(reportPath_, report);
    // Where the report cannot be written (a read-only home), the user picks another place, and
    // the mail names that one.
    while (!saved) {
        lblSaved->clear();
        if (!dialogs_.askYesNo(kProgramTitle, "The report could not be saved to " + reportPath_ +
                                                  ": " + saved.text +
                                                  "\n\nSave it somewhere else?"))
            return;
        const std::string other = pickReportFile();
        if (other.empty()) return;
        reportPath_ = other;
        showReportTarget();
        saved = fs_.writeAtomic(reportPath_, report);
    }
    lblSaved->setText(QStringLiteral("Saved to %1 at %2.")
                          .arg(displayText(reportPathShown()),
                               QTime::currentTime().toString(QStringLiteral("HH:mm:ss"))));
    // The report walks each list to its end, leaving its last entry selected.
    for (QListWidget* list : {lstCacheINI, lstCacheDir})
        if (list->count() > 0) list->setCurrentRow(list->count() - 1);
    cmdMail->setText(QStringLiteral("E&mail the Info"));  // Alt+E is Set UT Registry's
    cmdMail->setEnabled(true);
}

std::string frmMain::pickReportFile() {
    const std::string suggested = joinClean(QDir::tempPath().toStdString(), kReportName);
    if (services_.pickReportFile) return services_.pickReportFile(suggested);
    const QString chosen = QFileDialog::getSaveFileName(
        this, QStringLiteral("Save the report as"), QFile::decodeName(suggested.c_str()),
        QStringLiteral("Text files (*.txt);;All files (*)"));
    return chosen.isEmpty() ? std::string() : QFile::encodeName(chosen).toStdString();
}

std::string frmMain::mailLink() const {
    return std::string("mailto:") + kSupportAddress +
           "?subject=Quorvel Troubleshooter&Body=*** NOTE - remember to attach " +
           mailSafe(reportPath_) + " before sending ***";
}

void frmMain::cmdMail_Click() {
    MailInfo();
}

void frmMain::MailInfo() {
    const QUrl url(displayText(mailLink()), QUrl::TolerantMode);
    const bool opened = services_.openUrl ? services_.openUrl(url) : openOnDesktop(url);
    // Without a mail program nothing would happen on screen; the user can still mail the file.
    if (!opened)
        message(std::string("No mail program could be started. Please mail ") + reportPathShown() +
                " to " + kSupportAddress + " yourself.");
}

void frmMain::cmdExit_Click() {
    close();
    QCoreApplication::quit();
}

}  // namespace qv::troubleshooter
