#include "app/frm_splash.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>
#include <QVBoxLayout>

#include "app/animation_widget.h"
#include "widgets/qt_dialogs.h"

namespace qv {

frmSplash::frmSplash(const QString& programFolder, QWidget* parent, const QString& caption)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus) {
    setObjectName(QStringLiteral("frmSplash"));
    setWindowTitle(QString());
    setAttribute(Qt::WA_ShowWithoutActivating);
    // Message boxes shown while it is up stand clear of it (QtDialogs).
    setProperty(kBusyWindowProperty, true);

    Frame1 = new QFrame(this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setFrameShape(QFrame::Panel);
    Frame1->setFrameShadow(QFrame::Raised);
    Frame1->setLineWidth(2);

    Animation1 = new AnimationWidget(Frame1);
    Label1 = new QLabel(caption, Frame1);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setAlignment(Qt::AlignCenter);

    auto* inner = new QVBoxLayout(Frame1);
    inner->setContentsMargins(16, 12, 16, 12);
    inner->addWidget(Animation1, 0, Qt::AlignHCenter);
    inner->addWidget(Label1);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(Frame1);

    // A missing or damaged file leaves the animation empty; the label still shows.
    Animation1->open(programFolder + QStringLiteral("/search.avi"));  // Qt path
    adjustSize();
    setFixedSize(size());
}

void frmSplash::showEvent(QShowEvent* event) {
    centreOnScreen();
    Animation1->play();
    QWidget::showEvent(event);
}

void frmSplash::hideEvent(QHideEvent* event) {
    Animation1->stop();
    QWidget::hideEvent(event);
}

void frmSplash::closeEvent(QCloseEvent* event) {
    // The window system's close (Alt+F4) is not the caller's: the window stays.
    if (event->spontaneous()) {
        event->ignore();
        return;
    }
    Animation1->stop();
    QWidget::closeEvent(event);
}

void frmSplash::keyPressEvent(QKeyEvent* event) {
    event->accept();
}

void frmSplash::centreOnScreen() {
    QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    QRect area = screen->availableGeometry();
    move(area.center() - QPoint(width() / 2, height() / 2));
}

BusyWindow::BusyWindow(const QString& programFolder, QWidget* owner, const QString& caption)
    : splash_(new frmSplash(programFolder, owner, caption)),
      owner_(owner && owner->window()->isActiveWindow() ? owner->window() : nullptr) {
    splash_->show();
    QCoreApplication::processEvents();
}

BusyWindow::~BusyWindow() {
    if (splash_) {
        splash_->close();
        delete splash_.data();
    }
    // The window that had the keyboard keeps it once the busy window has gone.
    if (owner_ && owner_->isVisible()) owner_->activateWindow();
}

}  // namespace qv
