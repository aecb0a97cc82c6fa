// The game started or closed while the window is open: looked for every few seconds off the
// window's thread, and told in the status bar beside the count of files to process.
#include <QLabel>
#include <QThreadPool>

#include "app/frm_main.h"
#include "engine/game_check.h"
#include "widgets/display.h"
#include "widgets/line_list.h"

namespace qv {

namespace {

constexpr int kLookEvery = 4000;  // ms; a look reads the process table, a few ms at most

}  // namespace

void frmMain::startGameWatch() {
    gameLook_ = new QThreadPool(this);
    gameLook_->setMaxThreadCount(1);
    gameWatch_ = new QTimer(this);
    gameWatch_->setObjectName(QStringLiteral("tmrGameWatch"));
    gameWatch_->setInterval(kLookEvery);
    connect(gameWatch_, &QTimer::timeout, this, &frmMain::lookForGame);
    gameWatch_->start();
}

void frmMain::stopGameWatch() {
    if (gameWatch_) gameWatch_->stop();
    if (gameLook_) gameLook_->waitForDone();  // the look uses the window's context
}

void frmMain::lookForGame() {
    // An operation looks for itself before it changes anything; a look already going is enough.
    if (busy_ > 0 || !loaded_ || gameLook_->activeThreadCount() > 0) return;
    const std::vector<std::string> folders{pv_.GameDir, cacheDir_};
    gameLook_->start([this, folders] {
        std::string brief;
        std::string line = gameRunningLine(ctx_, folders, &brief);
        QMetaObject::invokeMethod(
            this,
            [this, line = std::move(line), brief = std::move(brief)] {
                if (busy_ == 0 && line != gameLine_) showGameState(line, brief);
            },
            Qt::QueuedConnection);
    });
}

void frmMain::showCount(const QString& text) {
    countText_ = text;
    showIdleStatus();
}

void frmMain::showGameState(const std::string& line, const std::string& brief) {
    sbrText->setToolTip(displayText(line));
    if (!line.empty() && line != gameLine_) statusModel_->addLine(line);
    gameLine_ = line;
    gameBrief_ = displayText(brief);
    showIdleStatus();
}

void frmMain::showIdleStatus() {
    if (gameBrief_.isEmpty()) {
        sbrText->setText(countText_);
        return;
    }
    sbrText->setText(countText_.isEmpty() ? gameBrief_ : countText_ + " - " + gameBrief_);
}

}  // namespace qv
