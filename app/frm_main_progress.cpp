// The main window's progress bar, busy state and Stop button.
#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>
#include <climits>

#include "app/frm_main.h"
#include "app/frm_main_sink.h"

namespace qv {

void frmMain::offerStop(const char* work) {
    stop_ = false;
    work_ = work;
    cmdStop->setEnabled(work != nullptr);
    if (!work) {
        cmdStop->hide();
        sbrProgress->hide();  // what the work did is in the status line
    }
}

void frmMain::showProgress(std::size_t done, std::size_t total) {
    QProgressBar* bar = sbrProgress;
    const int max = static_cast<int>(std::min<std::size_t>(total, INT_MAX));
    if (bar->maximum() != max) {
        bar->setRange(0, max);
        // Room for "<total> of <total>" on one line, whatever the count.
        const QString widest = QStringLiteral("%1 of %1").arg(max);
        bar->setMinimumWidth(bar->fontMetrics().horizontalAdvance(widest) + 48);
    }
    bar->setValue(static_cast<int>(std::min<std::size_t>(done, INT_MAX)));
    bar->setVisible(true);
    // Stop shows once the work is under way, not while a question comes first.
    if (work_ && !cmdStop->isVisible()) cmdStop->show();
}

void frmMain::showBusyBar(const QString& text) {
    sbrText->setText(text);
    sbrProgress->setRange(0, 0);
    sbrProgress->show();
    QGuiApplication::setOverrideCursor(Qt::BusyCursor);
}

void frmMain::endBusyBar() {
    QGuiApplication::restoreOverrideCursor();
    sbrProgress->hide();
}

bool frmMain::askToStopAndQuit() {
    const std::string what = work_;
    const std::string text = std::string(what == "undo" ? "An " : "A ") + what +
                             " is in progress. Stop it after the current package and quit?";
    closeAsked_ = true;
    // The work waits at its next package while the question is up, and goes on or stops by
    // the answer.
    sink_->hold(true);
    const bool yes = dialogs_.askYesNoDefaultNo(kProgramTitle, text);
    closeAsked_ = false;
    if (yes && busy_ > 0) cmdStop_Click();
    sink_->hold(false);
    return yes;
}

bool frmMain::isHeld() const {
    return sink_->waiting();
}

void frmMain::cmdStop_Click() {
    stop_ = true;
    cmdStop->setEnabled(false);
    sbrText->setText(QStringLiteral("Stopping after the current package..."));
}

}  // namespace qv
