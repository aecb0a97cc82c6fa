#include "app/frm_help.h"

#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTextBrowser>
#include <QVBoxLayout>
#include <algorithm>

namespace qv {

// 720x600 where the screen has room, over the middle of the owner, title bar and all inside the
// screen's free area (a small screen, or a large scale, has less room than that).
void frmHelp::placeOnScreen(QWidget* owner) {
    const QScreen* screen = owner ? owner->screen() : QGuiApplication::primaryScreen();
    if (!screen) return resize(720, 600);
    const int titleBar = style()->pixelMetric(QStyle::PM_TitleBarHeight);
    const QRect area = screen->availableGeometry().adjusted(8, titleBar + 8, -8, -8);
    QRect placed(QPoint(), QSize(720, 600).boundedTo(area.size()));
    placed.moveCenter(owner ? owner->window()->geometry().center() : area.center());
    placed.moveLeft(std::clamp(placed.left(), area.left(), area.right() - placed.width() + 1));
    placed.moveTop(std::clamp(placed.top(), area.top(), area.bottom() - placed.height() + 1));
    setGeometry(placed);
}

frmHelp::frmHelp(const QString& indexPage, std::function<bool(const QUrl&)> openUrl, QWidget* owner)
    : QDialog(owner), browser_(new QTextBrowser(this)) {
    setObjectName(QStringLiteral("frmHelp"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowFlags(Qt::Window);
    setWindowTitle(QStringLiteral("Quorvel Help"));
    browser_->setObjectName(QStringLiteral("txtHelp"));
    browser_->setOpenLinks(false);
    // The pages are drawn for a light page (their style sheet sets dark text), in any palette.
    QPalette page = browser_->palette();
    page.setColor(QPalette::Base, Qt::white);
    page.setColor(QPalette::Text, QColor(0x1c, 0x27, 0x33));
    page.setColor(QPalette::Link, QColor(0x1f, 0x4e, 0x79));
    browser_->setPalette(page);
    connect(browser_, &QTextBrowser::anchorClicked, this,
            [this, openUrl = std::move(openUrl)](const QUrl& url) {
                if (url.isLocalFile() || url.isRelative())
                    browser_->setSource(browser_->source().resolved(url));
                else
                    openUrl ? openUrl(url) : QDesktopServices::openUrl(url);
            });
    browser_->setSearchPaths({QFileInfo(indexPage).absolutePath()});
    browser_->setSource(QUrl::fromLocalFile(indexPage));

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* back = buttons->addButton(QStringLiteral("&Back"), QDialogButtonBox::ActionRole);
    QPushButton* contents =
        buttons->addButton(QStringLiteral("&Contents"), QDialogButtonBox::ActionRole);
    buttons->addButton(QDialogButtonBox::Close);
    back->setEnabled(false);
    connect(back, &QPushButton::clicked, browser_, &QTextBrowser::backward);
    connect(browser_, &QTextBrowser::backwardAvailable, back, &QPushButton::setEnabled);
    connect(contents, &QPushButton::clicked, browser_, &QTextBrowser::home);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(browser_, 1);
    layout->addWidget(buttons);
    placeOnScreen(owner);
    browser_->setFocus();
}

}  // namespace qv
