#include "app/frm_main.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QResizeEvent>
#include <QScreen>
#include <QShortcut>
#include <QStyle>
#include <QTabWidget>
#include <QTreeView>
#include <algorithm>
#include <ctime>
#include <mutex>
#include <optional>

#include "app/byte_line_edit.h"
#include "app/file_list_model.h"
#include "app/frm_about.h"
#include "app/frm_main_sink.h"
#include "app/frm_splash.h"
#include "engine/cache/scan.h"
#include "platform/filesystem.h"
#include "platform/paths.h"
#include "settings/cls_registry.h"
#include "settings/game_finder.h"
#include "widgets/desktop_open.h"
#include "widgets/display.h"
#include "widgets/line_list.h"

namespace qv {

namespace {

// The three files that must stand beside the program, with the message for each.
struct RequiredFile {
    const char* name;
    const char* message;
};
constexpr RequiredFile kRequiredFiles[] = {
    {"Quorvel.ini", "A critical file (Quorvel.ini) is missing...please re-install the program."},
    {"QuorvelDontMove.ini",
     "A critical file (QuorvelDontMove.ini) is missing...please re-install the program."},
    {"search.avi", "A critical file (Search.avi) is missing...please re-install the program."},
};
constexpr const char* kReinstallReminder =
    "Remember to copy the latest program file over the one installed...";
constexpr const char* kCredit = " - by the Quorvel developers";
// The window's place and size, beside the user's other choices.
constexpr const char* kWindowPlacement = "WindowPlacement";

// Sets an option button the way a stored value does: true selects it (and clears the others
// of its group), false clears it even when that leaves the group with none selected.
void setOption(QRadioButton* button, bool value) {
    if (value) {
        button->setChecked(true);
        return;
    }
    button->setAutoExclusive(false);
    button->setChecked(false);
    button->setAutoExclusive(true);
}

// Check box values as stored: 0 clear, 1 checked, 2 grey.
void setCheckValue(QCheckBox* box, int value) {
    box->setTristate(value == 2);
    box->setCheckState(value == 1   ? Qt::Checked
                       : value == 2 ? Qt::PartiallyChecked
                                    : Qt::Unchecked);
}

int checkValue(const QCheckBox* box) {
    switch (box->checkState()) {
        case Qt::Checked:
            return 1;
        case Qt::PartiallyChecked:
            return 2;
        default:
            return 0;
    }
}

}  // namespace

// The Run button's text is dark blue (&H800000), a lighter blue on a dark button, while it can be
// pressed; disabled, it keeps the style's own disabled colour so that it looks disabled.
void setRunButtonColour(QPushButton* button) {
    setTextColour(button, QColor(0, 0, 128), QPalette::ButtonText, QPalette::Button);
}

frmMain::OperationGuard::OperationGuard(frmMain& w) : w_(w) {
    QWidget* focus = w_.focusWidget();
    ++w_.busy_;
    w_.updateCommandStates();
    // Disabling the focused button moved the focus on, to whatever came next (Exit, where a
    // Space would ask to end the program). While the operation goes on the focus rests on the
    // list in view, where a key starts and stops nothing.
    if (focus && !focus->isEnabled()) disabledFocus_ = focus;
    if (disabledFocus_ || w_.focusWidget() == w_.cmdExit || w_.focusWidget() == w_.cmdStop)
        w_.listInView()->setFocus(Qt::OtherFocusReason);
}

frmMain::OperationGuard::~OperationGuard() {
    // The operation's last status lines are shown before it counts as done.
    w_.sink_->flush();
    w_.statusModel_->flush();
    --w_.busy_;
    w_.updateCommandStates();
    // The focus goes back where it was, or to the list in view when that is not shown.
    if (w_.busy_ == 0 && (disabledFocus_ || focusList_)) {
        QWidget* back = disabledFocus_;
        if (focusList_ || !back->isEnabled() || !back->isVisible()) back = w_.listInView();
        back->setFocus(Qt::OtherFocusReason);
    }
    if (w_.busy_ == 0 && w_.closePending_) {
        w_.closePending_ = false;
        QTimer::singleShot(0, &w_, &QWidget::close);
    }
}

frmMain::frmMain(std::string programFolder, frmMainServices services, QWidget* parent)
    : QMainWindow(parent),
      programFolder_(std::move(programFolder)),
      services_(std::move(services)),
      fs_(services_.fs ? *services_.fs : realFileSystem()),
      dialogs_(this, kProgramTitle),
      workerDialogs_(dialogs_, this, [this] { sink_->flush(); }),
      ctx_{fs_, workerDialogs_, &stop_, WhenGameRuns::Ask},
      sink_(std::make_unique<WindowSink>(*this)) {
    setObjectName(QStringLiteral("frmMain"));
    pv_.ProgramFolder = programFolder_;
    setWindowTitle(QString::fromLatin1(kProgramTitle));
    buildControls();
}

frmMain::~frmMain() {
    stopGameWatch();
}

bool frmMain::checkRequiredFiles() {
    for (const RequiredFile& f : kRequiredFiles) {
        if (fs_.isFile(joinPath(programFolder_, f.name))) continue;
        message(f.message);
        message(kReinstallReminder);
        return false;
    }
    return true;
}

bool frmMain::Form_Load() {
    pv_.FormLoading = true;
    if (!checkRequiredFiles()) return false;

    clsRegistry gameKey = clsRegistry::gameKey(&dialogs_);
    clsRegistry programKey = clsRegistry::programKey(&dialogs_);

    std::string askedCacheDir;
    // Without a stored game folder, the picker offers the copies of the game found here; the
    // busy window and a busy cursor show while they are looked for.
    const auto findCopies = [this] {
        BusyWindow busy(programFolderText(), this,
                        QStringLiteral("Looking for Unreal Tournament........"));
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        std::vector<FoundGame> found;
        onWorker([&] { found = findGames(gameSearchFromEnvironment(), fs_); });
        QGuiApplication::restoreOverrideCursor();
        return found;
    };
    pv_.GameDir = findGameDir(gameKey, dialogs_, &askedCacheDir, findCopies, &programKey, &fs_);
    if (!askedCacheDir.empty()) setCacheDir(askedCacheDir);

    ensureInstallPath(programKey, programFolder_);
    applyOptions(restoreOptions(programKey, currentOptions()));
    // The window comes back where and as large as the user left it.
    restoreGeometry(QByteArray::fromBase64(
        QByteArray::fromStdString(programKey.ReadEntry(kWindowPlacement, ""))));
    keepOnScreen();

    setWindowTitle(QStringLiteral("%1 v%2.%3%4")
                       .arg(QLatin1String(kProgramTitle))
                       .arg(kVersionMajor)
                       .arg(kVersionMinor)
                       .arg(QLatin1String(kCredit)));
    {
        BusyWindow busy(programFolderText(), this);
        OperationGuard guard(*this);
        ScanCache();
        lblUTName->setText(displayText(readPlayerName(pv_.UserIniPath, &fs_)));
        lblRemind->clear();
        SSTab1->setCurrentIndex(1);  // "File List"
        pv_.FormLoading = false;
    }
    loaded_ = true;
    return true;
}

// A place saved at another scale or on another screen can reach past the screen's edges: the
// window is made to fit the screen it is mostly on and moved inside it, title bar included.
void frmMain::keepOnScreen() {
    const QScreen* screen = QGuiApplication::screenAt(geometry().center());
    if (!screen) screen = this->screen();
    if (!screen) return;
    const int titleBar = style()->pixelMetric(QStyle::PM_TitleBarHeight);
    const QRect area = screen->availableGeometry().adjusted(0, titleBar, 0, 0);
    QRect placed = geometry();
    placed.setSize(placed.size().boundedTo(area.size()).expandedTo(minimumSizeHint()));
    placed.moveLeft(
        std::max(area.left(), std::min(placed.left(), area.right() - placed.width() + 1)));
    placed.moveTop(
        std::max(area.top(), std::min(placed.top(), area.bottom() - placed.height() + 1)));
    if (placed != geometry()) setGeometry(placed);
}

void frmMain::Form_Unload() {
    if (!loaded_ || unloaded_) return;
    unloaded_ = true;
    clsRegistry programKey = clsRegistry::programKey(&dialogs_);
    saveOptions(programKey, currentOptions(),
                {{kWindowPlacement, saveGeometry().toBase64().toStdString()}});
    Timer1->stop();
    if (frmAbout* about = frmAbout::openWindow()) about->close();
}

void frmMain::closeEvent(QCloseEvent* event) {
    // A run or purge is never left half done: the window closes once it has ended. A run, a
    // purge or an undo can be stopped after its current package, when the user says so.
    if (busy_ > 0) {
        event->ignore();
        if (closeAsked_ || closePending_) return;
        if (!work_ || stop_ || askToStopAndQuit()) closePending_ = true;
        // The work may have ended while the question was up.
        if (closePending_ && busy_ == 0) {
            closePending_ = false;
            QTimer::singleShot(0, this, &QWidget::close);
        }
        return;
    }
    Form_Unload();
    event->accept();
}

QWidget* frmMain::listInView() const {
    if (SSTab1->currentIndex() == 0) return List1;
    return ListView1;
}

bool frmMain::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ListView1->viewport() && event->type() == QEvent::MouseButtonRelease)
        ListView1_MouseUp(static_cast<QMouseEvent*>(event)->button());
    // The columns share the list's width anew when it changes (the window placed, or resized).
    if (watched == ListView1->viewport() && event->type() == QEvent::Resize &&
        static_cast<QResizeEvent*>(event)->oldSize().width() !=
            static_cast<QResizeEvent*>(event)->size().width())
        QTimer::singleShot(0, this, &frmMain::sizeFileListColumns);
    if (watched == ListView1->viewport() && event->type() == QEvent::ToolTip)
        return showCutNameTip(static_cast<QHelpEvent*>(event));
    return QMainWindow::eventFilter(watched, event);
}

void frmMain::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::FontChange && ListView1) sizeFileListColumns();
}

// The one place the window's controls become the engine's inputs: the option buttons, the type
// boxes, the folder boxes and the cache folder the label shows (its bytes in cacheDir_).
Options frmMain::currentOptions() const {
    Options o;
    o.SelectAll = optSelectAll->isChecked();
    o.SelectOnly = optSelectOnly->isChecked();
    o.U = checkValue(chkU);
    o.UAX = checkValue(chkUAX);
    o.UMX = checkValue(chkUMX);
    o.UNR = checkValue(chkUNR);
    o.UTX = checkValue(chkUTX);
    o.MoveNorm = optMoveNorm->isChecked();
    o.MoveDir = optMoveDir->isChecked();
    o.MoveDirText = txtMoveDir->bytes();
    o.MoveDir2 = optMoveDir2->isChecked();
    o.MoveDir2Text = txtMoveDir2->bytes();
    o.CacheDir = cacheDir_;
    return o;
}

// The stored choices go into their controls in the order they are stored.
void frmMain::applyOptions(const Options& o) {
    setOption(optSelectAll, o.SelectAll);
    setOption(optSelectOnly, o.SelectOnly);
    setCheckValue(chkU, o.U);
    setCheckValue(chkUAX, o.UAX);
    setCheckValue(chkUMX, o.UMX);
    setCheckValue(chkUNR, o.UNR);
    setCheckValue(chkUTX, o.UTX);
    setOption(optMoveNorm, o.MoveNorm);
    setOption(optMoveDir, o.MoveDir);
    txtMoveDir->setBytes(o.MoveDirText);
    setOption(optMoveDir2, o.MoveDir2);
    txtMoveDir2->setBytes(o.MoveDir2Text);
    setCacheDir(o.CacheDir);
    applySelectionRules();
}

// The type boxes and the commit button follow the selection mode; with neither option button
// chosen they keep their designed states.
void frmMain::applySelectionRules() {
    bool enable = false;
    if (optSelectAll->isChecked())
        enable = false;
    else if (optSelectOnly->isChecked())
        enable = true;
    else
        return;
    for (QCheckBox* box : {chkU, chkUAX, chkUMX, chkUNR, chkUTX}) box->setEnabled(enable);
    cmdCommitFileTypes->setEnabled(enable && busy_ == 0);
}

void frmMain::setCacheDir(std::string dir) {
    cacheDir_ = std::move(dir);
    lblCacheDir->setText(displayText(cacheDir_));
    lblCacheDir->setToolTip(lblCacheDir->text());
}

void frmMain::updateCommandStates() {
    const bool idle = busy_ == 0;
    for (QPushButton* b : {cmdRun, cmdRescan, cmdCheck, cmdUncheck, cmdCacheDir, cmdSetPurge,
                           cmdPurgeNow, cmdDelCacheTmp, cmdNMSave})
        b->setEnabled(idle);
    model_->setLocked(!idle);
    for (QAction* a : {mnuFileRun, mnuToolsSetUT, mnuToolsUndo}) a->setEnabled(idle);
    // The file list's keys that ask to add a name to the never-move list; the list itself stays
    // enabled to be scrolled, and its right click is refused while busy.
    for (QShortcut* key : ListView1->findChildren<QShortcut*>()) key->setEnabled(idle);
    // The commit button is also disabled while all files are selected automatically.
    cmdCommitFileTypes->setEnabled(idle && !optSelectAll->isChecked());
}

void frmMain::updateClock() {
    // The same locale formats as the file list's dates.
    const std::time_t now = std::time(nullptr);
    sbrDate->setText(QString::fromLocal8Bit(formatLocalDate(now)));
    sbrTime->setText(QString::fromLocal8Bit(formatLocalTime(now)));
}

// ScanCache of the window: the controls' options and cache folder in, the list, the never-move
// box, the purge days and the status text out.
void frmMain::ScanCache() {
    ScanState state;
    state.options = currentOptions();
    state.cacheDir = state.options.CacheDir;
    model_->clear();
    onWorker([&] { ::qv::ScanCache(pv_, state, ctx_); });

    setCacheDir(state.cacheDir);
    txtPurgeCacheDays->setBytes(state.purgeDaysText);
    if (!state.indexRead) return;  // the scan stopped early
    model_->setRows(std::move(state.rows));
    sizeFileListColumns();
    fillNeverMoveBox(state.neverMoveNames);
    showCount(displayText(state.statusText));
    fillPackageColumns();  // says again how many files are found
    // The list only reads; a run, a purge or an undo asks first while the game runs. The status
    // bar says so briefly after the count, its tooltip and the status list in full.
    std::string brief;
    const std::string line = gameRunningLine(ctx_, {pv_.GameDir, state.cacheDir}, &brief);
    showGameState(line, brief);
}

void frmMain::rescan() {
    BusyWindow busy(programFolderText(), this);
    sbrText->setText(QStringLiteral("Re-scanning files..."));
    model_->clear();
    ScanCache();
}

void frmMain::fillNeverMoveBox(const std::vector<std::string>& names) {
    nmItems_ = names;
    lstNM->clear();
    for (const std::string& name : nmItems_) lstNM->addItem(displayText(name));
}

StatusSink& frmMain::sink() {
    return *sink_;
}

void frmMain::onWorker(const std::function<void()>& job) {
    runOffGuiThread(job);
    sink_->flush();
}

void frmMain::message(const std::string& text) {
    dialogs_.message(kProgramTitle, text);
}

ProgramFiles frmMain::files() const {
    return programFiles(programFolder_, fs_);
}

std::string frmMain::neverMoveFile() const {
    return files().neverMoveFile;
}

Status frmMain::prepareNeverMoveFile(std::string& path) {
    const ProgramFiles f = files();
    path = f.userNeverMoveFile;
    return makeUserCopy(f.shippedNeverMoveFile, f.userNeverMoveFile, fs_);
}

QString frmMain::programFolderText() const {
    return QString::fromLocal8Bit(programFolder_);
}

bool frmMain::openFile(const std::string& path) {
    const QUrl url = QUrl::fromLocalFile(QString::fromLocal8Bit(path));
    return services_.openUrl ? services_.openUrl(url) : openOnDesktop(url);
}

}  // namespace qv
