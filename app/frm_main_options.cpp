// The Options tab: file selection with its reminder, the placement mode, and the Misc frame.

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/byte_line_edit.h"
#include "app/file_list_model.h"
#include "app/frm_main.h"
#include "app/frm_main_controls.h"
#include "app/frm_splash.h"
#include "engine/maintenance/maintenance.h"
#include "platform/filesystem.h"
#include "platform/paths.h"
#include "widgets/display.h"

namespace qv {

using namespace controls;

namespace {

constexpr const char* kReminder =
    "Remember to click the 'Commit Changes to List' button before clicking 'Run'";

// The frames' rows close together, so that the tab fits a 1280x960 screen at scale 2 (640 by 480
// points, title bar, menus and status bar included) without a scroll bar.
template <class L>
L* tight(L* layout) {
    layout->setSpacing(2);
    layout->setContentsMargins(8, 2, 8, 4);
    return layout;
}

// A row of controls side by side keeps the usual room between them.
QHBoxLayout* row() {
    auto* layout = new QHBoxLayout;
    layout->setSpacing(6);
    return layout;
}

}  // namespace

void frmMain::optSelectAll_Click() {
    lblRemind->clear();
    cmdCommitFileTypes_Click();
    for (QCheckBox* box : {chkU, chkUAX, chkUMX, chkUNR, chkUTX}) box->setEnabled(false);
    cmdCommitFileTypes->setEnabled(false);
}

void frmMain::optSelectOnly_Click() {
    // The list changes only when the user commits.
    for (QCheckBox* box : {chkU, chkUAX, chkUMX, chkUNR, chkUTX}) box->setEnabled(true);
    cmdCommitFileTypes->setEnabled(busy_ == 0);
}

void frmMain::typeBoxClicked() {
    if (!pv_.FormLoading) ShowReminder(true);
}

void frmMain::chkU_Click() {
    typeBoxClicked();
}
void frmMain::chkUAX_Click() {
    typeBoxClicked();
}
void frmMain::chkUMX_Click() {
    typeBoxClicked();
}
void frmMain::chkUNR_Click() {
    typeBoxClicked();
}
void frmMain::chkUTX_Click() {
    typeBoxClicked();
}

void frmMain::ShowReminder(bool enable) {
    lblRemind->setText(QString::fromLatin1(kReminder));
    if (enable)
        Timer1->start();
    else
        Timer1->stop();
}

void frmMain::Timer1_Timer() {
    if (!lblRemind->text().isEmpty())
        lblRemind->clear();
    else
        lblRemind->setText(QString::fromLatin1(kReminder));
}

void frmMain::cmdCommitFileTypes_Click() {
    ShowReminder(false);
    lblRemind->clear();
    if (busy_ > 0) return;  // the list is being rebuilt already
    OperationGuard guard(*this);
    model_->clear();
    BusyWindow busy(programFolderText(), this);
    ScanCache();
}

void frmMain::optMoveNorm_Click() {
    for (QWidget* w : {static_cast<QWidget*>(txtMoveDir), static_cast<QWidget*>(cmdMoveDir),
                       static_cast<QWidget*>(txtMoveDir2), static_cast<QWidget*>(cmdMoveDir2)})
        w->hide();
}

void frmMain::optMoveDir_Click() {
    txtMoveDir->show();
    cmdMoveDir->show();
    txtMoveDir2->hide();
    cmdMoveDir2->hide();
}

void frmMain::optMoveDir2_Click() {
    txtMoveDir->hide();
    cmdMoveDir->hide();
    txtMoveDir2->show();
    cmdMoveDir2->show();
}

// The picker opens at the folder the box names, else at the game folder.
std::string frmMain::pickerStart(const std::string& named) const {
    const std::string folder = toNativeSeparators(named);
    return fs_.isFolder(folder) ? folder : pv_.GameDir;
}

void frmMain::cmdMoveDir_Click() {
    dialogs_.startNextPickIn(pickerStart(txtMoveDir->bytes()));
    std::string chosen = dialogs_.pickFolder("Choose a folder:");
    if (!chosen.empty()) txtMoveDir->setBytes(std::move(chosen));
}

void frmMain::cmdMoveDir2_Click() {
    dialogs_.startNextPickIn(pickerStart(txtMoveDir2->bytes()));
    std::string chosen = dialogs_.pickFolder("Choose a folder:");
    if (!chosen.empty()) txtMoveDir2->setBytes(std::move(chosen));
}

void frmMain::cmdSetPurge_Click() {
    if (busy_ > 0) return;  // the operation's thread uses the same settings
    // The game's own setting, written as typed; the status bar confirms it (a failure has shown
    // its message already).
    const std::string days = txtPurgeCacheDays->bytes();
    if (SetPurgeInterval(days, pv_, ctx_))
        sbrText->setText(displayText("Purge Cache Setting set to " + days + " days"));
    else
        sbrText->setText(QStringLiteral("Purge Cache Setting was not changed"));
}

void frmMain::cmdDelCacheTmp_Click() {
    if (busy_ > 0) return;
    OperationGuard guard(*this);
    onWorker([&] { DeleteCacheTmpFiles(pv_, ctx_); });
}

void frmMain::cmdPurgeNow_Click() {
    if (busy_ > 0) return;
    OperationGuard guard(*this);
    // The folder the file list shows is the one purged.
    PurgeOutcome outcome = PurgeOutcome::NotDone;
    offerStop("purge");
    onWorker([&] { outcome = PurgeCache(pv_, ctx_, sink(), cacheDir_); });
    offerStop(nullptr);
    if (outcome == PurgeOutcome::Done) rescan();
    if (outcome == PurgeOutcome::NoIndex)
        sbrText->setText(
            QString::fromLocal8Bit("No cache.ini in " + cacheDir_ + "; nothing to purge"));
}

QWidget* frmMain::buildOptionsTab() {
    auto* page = new QWidget;
    auto* v = new QVBoxLayout(page);
    v->setSpacing(4);
    v->setContentsMargins(6, 2, 6, 2);
    v->addWidget(buildReminderLabel());
    v->addWidget(buildFileSelectionFrame());
    v->addWidget(buildFileProcessingFrame());
    v->addWidget(buildMiscFrame());
    v->addStretch(1);
    return page;
}

// The commit reminder above the frames, a line high even while empty.
QLabel* frmMain::buildReminderLabel() {
    lblRemind = colouredLabel("lblRemind", "", QColor(128, 0, 0));
    QFont narrow(QStringLiteral("Arial Narrow"));
    narrow.setStretch(QFont::SemiCondensed);
    lblRemind->setFont(narrow);
    lblRemind->setMinimumHeight(lblRemind->fontMetrics().height());
    return lblRemind;
}

// All files or only the chosen types, with the button that applies the types to the list.
QGroupBox* frmMain::buildFileSelectionFrame() {
    Frame1 = named(new QGroupBox(QStringLiteral("File Selection")), "Frame1");
    optSelectAll = option("optSelectAll", "S&elect all files automatically", "Default");
    optSelectAll->setChecked(true);
    optSelectOnly =
        option("optSelectOnly", "Se&lect only these file types :", "Pick the file types to move");
    chkU = check("chkU", "U", "System files");
    chkUAX = check("chkUAX", "UAX", "Sound files");
    chkUMX = check("chkUMX", "UMX", "Music files");
    chkUNR = check("chkUNR", "UNR", "Map files");
    chkUTX = check("chkUTX", "UTX", "Texture files");
    cmdCommitFileTypes = button("cmdCommitFileTypes", "&Commit Changes to List",
                                "Apply the changes in file types to the File List selections");
    auto* f1 = tight(new QVBoxLayout(Frame1));
    f1->addWidget(optSelectAll);
    f1->addWidget(optSelectOnly);
    auto* types = row();
    types->addSpacing(24);
    for (QCheckBox* box : {chkU, chkUAX, chkUMX, chkUNR, chkUTX}) types->addWidget(box);
    types->addStretch(1);
    types->addWidget(cmdCommitFileTypes);
    f1->addLayout(types);
    return Frame1;
}

// The placement modes; each folder box and its picker show only with their own mode.
QGroupBox* frmMain::buildFileProcessingFrame() {
    Frame2 = named(new QGroupBox(QStringLiteral("File Processing")), "Frame2");
    optMoveNorm = option("optMoveNorm", "&Move all files to proper directories",
                         "Move all files to your UT dir and places them in their relative dirs");
    optMoveNorm->setChecked(true);
    optMoveDir = option("optMoveDir", "M&ove all files to one directory :",
                        "Moves all files to one dir with no subdirs created");
    optMoveDir2 =
        option("optMoveDir2", "Mo&ve all files to other directory with proper filetype structure:",
               "Moves files and creates proper dirs if needed");
    txtMoveDir = named(new ByteLineEdit, "txtMoveDir");
    txtMoveDir2 = named(new ByteLineEdit, "txtMoveDir2");
    cmdMoveDir = button("cmdMoveDir", "...", "Selects a directory");
    cmdMoveDir2 = button("cmdMoveDir2", "...", "Selects a directory");
    auto* f2 = tight(new QVBoxLayout(Frame2));
    f2->addWidget(optMoveNorm);
    f2->addWidget(optMoveDir);
    for (auto [box, pick] :
         {std::pair{txtMoveDir, cmdMoveDir}, std::pair{txtMoveDir2, cmdMoveDir2}}) {
        if (box == txtMoveDir2) f2->addWidget(optMoveDir2);
        pick->setFixedWidth(32);
        box->hide();
        pick->hide();
        auto* folder = row();
        folder->addSpacing(24);
        folder->addWidget(box, 1);
        folder->addWidget(pick);
        f2->addLayout(folder);
    }
    return Frame2;
}

// The purge days, the TMP files' deletion and the purge.
QGroupBox* frmMain::buildMiscFrame() {
    Frame3 = named(new QGroupBox(QStringLiteral("Misc")), "Frame3");
    txtPurgeCacheDays = named(new ByteLineEdit, "txtPurgeCacheDays",
                              "Change this to set the number of days until the cache is cleaned.");
    txtPurgeCacheDays->setMaximumWidth(48);
    cmdSetPurge =
        button("cmdSetPurge", "&Set", "Sets the number of days before the cache is purged");
    cmdDelCacheTmp =
        button("cmdDelCacheTmp", "&Delete cache TMP files",
               "Deletes TMP files in the main UT directory - does NOT affect the Cache dir");
    cmdPurgeNow = button("cmdPurgeNow", "&Purge cache files", "Deletes ALL cache files {CAUTION}");
    // The purge days above the two deletions: narrow enough for a small screen.
    auto* f3v = tight(new QVBoxLayout(Frame3));
    auto* purgeDays = row();
    purgeDays->addWidget(label("Label2", "Purge Cache Setting :"));
    purgeDays->addWidget(txtPurgeCacheDays);
    purgeDays->addWidget(label("Label3", "days"));
    purgeDays->addWidget(cmdSetPurge);
    purgeDays->addStretch(1);
    f3v->addLayout(purgeDays);
    auto* f3 = row();
    f3v->addLayout(f3);
    auto* safe = new QVBoxLayout;
    safe->setSpacing(2);
    safe->addWidget(colouredLabel("Label4", "SAFE to do anytime", QColor(0, 128, 0)));
    safe->addWidget(cmdDelCacheTmp);
    f3->addLayout(safe);
    auto* warn = new QVBoxLayout;
    warn->setSpacing(2);
    QLabel* warning = label("Label7", "WARNING - this DELETES all cache files!");
    setWarningColours(warning, Qt::red);
    warn->addWidget(warning);
    warn->addWidget(cmdPurgeNow);
    f3->addLayout(warn);
    f3->addStretch(1);
    return Frame3;
}

}  // namespace qv
