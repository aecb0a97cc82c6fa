// The Options tab: file selection with its reminder, the placement mode, and the Misc frame.

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

#include "app/byte_line_edit.h"
#include "app/file_list_model.h"
#include "app/frm_main.h"
#include "app/frm_splash.h"
#include "engine/maintenance.h"
#include "platform/filesystem.h"
#include "platform/paths.h"
#include "widgets/display.h"

namespace qv {

namespace {

constexpr const char* kReminder =
    "Remember to click the 'Commit Changes to List' button before clicking 'Run'";

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
    PurgeOutcome outcome = PurgeOutcome::NoIndex;
    offerStop("purge");
    onWorker([&] { outcome = PurgeCache(pv_, ctx_, sink(), cacheDir_); });
    offerStop(nullptr);
    if (outcome == PurgeOutcome::Done) rescan();
    if (outcome == PurgeOutcome::NoIndex)
        sbrText->setText(
            QString::fromLocal8Bit("No cache.ini in " + cacheDir_ + "; nothing to purge"));
}

}  // namespace qv
