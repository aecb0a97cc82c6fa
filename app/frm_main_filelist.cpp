// The File List tab, the Run and Exit buttons, and the run itself.

#include <QAction>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTreeView>

#include "app/byte_line_edit.h"
#include "app/file_list_model.h"
#include "app/frm_main.h"
#include "app/frm_splash.h"
#include "engine/run/run.h"
#include "platform/ascii.h"
#include "platform/filesystem.h"
#include "settings/never_move.h"
#include "widgets/display.h"

namespace qv {

void frmMain::cmdCheck_Click() {
    model_->setAllChecked(true);
}

void frmMain::cmdUncheck_Click() {
    model_->setAllChecked(false);
}

void frmMain::ListView1_ColumnClick(int column) {
    model_->sortByColumnClick(column);
    QHeaderView* header = ListView1->header();
    header->setSortIndicatorShown(true);
    header->setSortIndicator(model_->sortColumn(), model_->sortOrder());
    sizeFileListColumns();
}

void frmMain::ListView1_MouseUp(Qt::MouseButton button) {
    if (button != Qt::RightButton || busy_ > 0) return;
    // An empty list, or a click beside every row, offers nothing to add.
    const QModelIndexList selected = ListView1->selectionModel()->selectedRows();
    if (selected.isEmpty()) return;
    const std::string text = model_->rowAt(selected.front().row()).text;

    if (!dialogs_.askYesNo("Add File", "Add " + upperAscii(text) + " to the never move list?"))
        return;
    // An operation like Save: nothing else starts while the list is written and read again.
    OperationGuard guard(*this);
    updateNeverMoveFile(
        [&](const std::string& file) { return AppendNeverMoveName(file, text, fs_); },
        "The name could not be added to ");
}

void frmMain::cmdCacheDir_Click() {
    if (busy_ > 0) return;
    dialogs_.startNextPickIn(fs_.isFolder(cacheDir_) ? cacheDir_ : pv_.GameDir);
    std::string chosen = dialogs_.pickFolder("Choose a folder:");
    if (chosen.empty()) return;
    OperationGuard guard(*this);
    setCacheDir(std::move(chosen));
    model_->clear();
    ScanCache();
}

void frmMain::cmdRescan_Click() {
    if (busy_ > 0) return;
    OperationGuard guard(*this);
    rescan();
}

void frmMain::cmdExit_Click() {
    close();
}

void frmMain::cmdRun_Click() {
    if (busy_ > 0) return;
    // A run of nothing would still replace the index and its backup (the backup of the run
    // before would be lost) and take the undo history's last place.
    if (model_->checkedCount() == 0) {
        message(model_->rowCount() == 0
                    ? "There is nothing to run: the File List is empty."
                    : "There is nothing to run: no package is checked in the File List.");
        return;
    }
    RunRequest request;
    request.options = currentOptions();
    bool checksPassed = false;
    const bool prepared = PrepareRun(request.options, ctx_, &checksPassed);
    if (!checksPassed) return;  // the drive-letter message was shown; nothing changed

    // Both boxes keep their trimmed texts, whatever the mode.
    txtMoveDir->setBytes(request.options.MoveDirText);
    txtMoveDir2->setBytes(request.options.MoveDir2Text);
    SSTab1->setCurrentIndex(0);  // "Status"
    if (!prepared) {
        sbrText->setText(QStringLiteral("Run stopped: nothing was processed"));
        return;  // a destination folder could not be created (message shown)
    }
    sbrText->setText(QStringLiteral("Processing files..."));

    OperationGuard guard(*this);
    guard.focusListAfter();
    request.cacheDir = request.options.CacheDir;
    request.checkedEntries = model_->checkedEntries();
    request.wholeHeaders = &wholeHeaders_;
    std::unordered_map<std::string, std::string> stayReasons;
    for (auto& [entry, reason] : model_->stayReasons())
        if (entry < pv_.EntryCount()) stayReasons.emplace(pv_.CacheFileNames[entry], reason);
    request.stayReasons = &stayReasons;
    // The cache folder is shown before processing starts (the run names it again when it had
    // to form it itself).
    if (!cacheDir_.empty()) Label1->setText(displayText("Cache Directory = " + cacheDir_));
    sbrProgress->setRange(0, 0);
    sbrProgress->setValue(0);
    RunResult result;
    offerStop("run");
    onWorker([&] { result = ProcessCache(pv_, request, ctx_, sink()); });
    offerStop(nullptr);
    setCacheDir(request.cacheDir);
    if (!result.cacheDirLine.empty()) Label1->setText(displayText(result.cacheDirLine));

    showRunResult(result);
    // The Run button's text colour, set again as the last step of a run.
    setRunButtonColour(cmdRun);
}

void frmMain::showRunResult(const RunResult& result) {
    switch (result.outcome) {
        case RunOutcome::Completed: {
            // A stopped run says how far it got, before and after the re-scan.
            const std::size_t done = result.moved + result.kept + result.missing + result.failed;
            const QString text = result.stopped ? displayText(stoppedLine(done, result.selected))
                                                : QStringLiteral("Done processing files");
            sbrText->setText(text);
            rescan();
            sbrText->setText(text);
            break;
        }
        case RunOutcome::NoIndex:
            sbrText->setText(QStringLiteral("Done processing files"));
            break;
        case RunOutcome::IndexUnreadable:
        case RunOutcome::Busy:
        case RunOutcome::Refused:
        case RunOutcome::GameRunning:
        case RunOutcome::NotDone:
            // The reason was shown in a message; nothing was moved or rewritten.
            sbrText->setText(QStringLiteral("Run stopped: nothing was processed"));
            break;
    }
}

void frmMain::mnuFileRun_Click() {
    cmdRun_Click();
}

void frmMain::mnuFileExit_Click() {
    close();
}

void frmMain::reloadNeverMoveList() {
    BusyWindow busy(programFolderText(), this);
    Result<std::vector<std::string>> names = LoadNeverMoveList(neverMoveFile(), fs_);
    if (!names) {
        message("The never move list could not be read from " + neverMoveFile() + " (" +
                names.status.text + ")");
        return;
    }
    pv_.NeverMoveNames = names.value;
    fillNeverMoveBox(names.value);
    model_->markNeverMove(pv_.NeverMoveNames);
}

}  // namespace qv
