#include "widgets/qt_dialogs.h"

#include <QApplication>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QScreen>
#include <QStyle>
#include <algorithm>
#include <utility>

#include "platform/paths.h"
#include "widgets/browse_for_folder.h"
#include "widgets/display.h"

namespace qv {

namespace {

MessageBoxHook& messageBoxHook() {
    static MessageBoxHook hook;
    return hook;
}

// The text broken into lines at blanks only, each at most `soft` pixels wide where its words
// allow: a path, address or name is never broken, unless it alone is wider than `hard`, and then
// after a separator where one fits, else where the line is full.
QString wrapAtBlanks(const QString& text, const QFontMetrics& metrics, int soft, int hard) {
    QStringList out;
    for (const QString& paragraph : text.split(QLatin1Char('\n'))) {
        QString line;
        for (const QString& word : paragraph.split(QLatin1Char(' '))) {
            const QString joined = line.isEmpty() ? word : line + QLatin1Char(' ') + word;
            if (line.isEmpty() || metrics.horizontalAdvance(joined) <= soft) {
                line = joined;
            } else {
                out.push_back(line);
                line = word;
            }
            while (metrics.horizontalAdvance(line) > hard) {
                qsizetype fits = line.size() - 1;
                while (fits > 1 && metrics.horizontalAdvance(line.left(fits)) > hard) --fits;
                const qsizetype slash = line.lastIndexOf(QLatin1Char(kSep), fits - 1);
                const qsizetype cut = slash > 0 ? slash + 1 : fits;
                out.push_back(line.left(cut));
                line = line.mid(cut);
            }
        }
        out.push_back(line);
    }
    return out.join(QLatin1Char('\n'));
}

// A message box as a fixed-size dialog should be: a title bar with a close button only, wide
// enough to show its whole title, and centred on its window (on the screen while that window
// is not shown yet, as at start-up). Its text can be selected and copied, and its lines break
// at blanks only, so a path or an address stays whole on one line.
class MessageBox final : public QMessageBox {
  public:
    MessageBox(const MessageBoxCall& call, StandardButtons buttons, QWidget* owner)
        : QMessageBox(NoIcon, displayText(call.title), QString(), buttons, owner) {
        setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                       Qt::WindowCloseButtonHint);
        setTextFormat(Qt::PlainText);
        setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        const QScreen* screen = owner ? owner->screen() : QGuiApplication::primaryScreen();
        const int screenWidth = screen ? screen->availableGeometry().width() : 1024;
        hard_ = screenWidth <= 1024 ? screenWidth - 80 : std::min(screenWidth - 480, 1000);
        soft_ = std::min(screenWidth / 2, 500) - 40;
        text_ = displayText(call.text);
        setText(wrapAtBlanks(text_, fontMetrics(), soft_, hard_));
        // The window manager's title bar: a bold title between the icon and the close button.
        QFont titleFont = font();
        titleFont.setBold(true);
        const int titleWidth = QFontMetrics(titleFont).horizontalAdvance(windowTitle()) + 96;
        if (auto* grid = qobject_cast<QGridLayout*>(layout()))
            grid->addItem(
                new QSpacerItem(titleWidth, 0, QSizePolicy::Minimum, QSizePolicy::Minimum),
                grid->rowCount(), 0, 1, grid->columnCount());
    }

  protected:
    // A platform theme (qt6ct) may give the box another font once it is polished: the lines are
    // broken again for it, or Qt would break them once more at its own width.
    void changeEvent(QEvent* event) override {
        if (event->type() == QEvent::FontChange && !text_.isEmpty())
            setText(wrapAtBlanks(text_, fontMetrics(), soft_, hard_));
        QMessageBox::changeEvent(event);
    }

    // The box takes its final size when it is shown; it is placed then, before it appears.
    void showEvent(QShowEvent* event) override {
        QMessageBox::showEvent(event);
        // The lines are broken already: the box is as wide as its longest line.
        if (auto* label = findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
            label && label->wordWrap()) {
            label->setWordWrap(false);
            setMinimumSize(0, 0);
            setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
            layout()->activate();
            setFixedSize(layout()->totalMinimumSize().expandedTo(sizeHint()));
        }
        const QWidget* owner = parentWidget() ? parentWidget()->window() : nullptr;
        QRect area;
        if (owner && owner->isVisible())
            area = owner->frameGeometry();
        else if (const QScreen* screen = QGuiApplication::primaryScreen())
            area = screen->availableGeometry();
        if (!area.isValid()) return;
        QRect placed(area.center() - rect().center(), frameSize());
        // A busy window stays in sight: the box goes below it, or above where there is no room.
        for (const QWidget* busy : QApplication::topLevelWidgets()) {
            if (!busy->isVisible() || !busy->property(kBusyWindowProperty).toBool()) continue;
            const QRect b = busy->frameGeometry();
            if (!placed.intersects(b)) continue;
            const QScreen* screen = busy->screen();
            const QRect room = screen ? screen->availableGeometry() : area;
            // The window manager puts its title bar above the box.
            const int titleBar = style()->pixelMetric(QStyle::PM_TitleBarHeight) + 12;
            if (b.bottom() + titleBar + placed.height() <= room.bottom())
                placed.moveTop(b.bottom() + titleBar);
            else
                placed.moveBottom(b.top() - 12);
        }
        move(placed.topLeft());
    }

  private:
    QString text_;  // as given, before its lines are broken
    int soft_ = 0, hard_ = 0;
};

}  // namespace

QtDialogs::QtDialogs(QWidget* owner, std::string programTitle)
    : owner_(owner), programTitle_(std::move(programTitle)) {}

void QtDialogs::message(const std::string& title, const std::string& text) {
    MessageBoxCall call{MessageBoxCall::Ok, title.empty() ? programTitle_ : title, text};
    if (const MessageBoxHook& hook = messageBoxHook()) {
        hook(call);
        return;
    }
    MessageBox box(call, QMessageBox::Ok, owner_.data());
    box.exec();
}

bool QtDialogs::askYesNo(const std::string& title, const std::string& text) {
    return ask({MessageBoxCall::YesNo, title.empty() ? programTitle_ : title, text});
}

bool QtDialogs::askYesNoDefaultNo(const std::string& title, const std::string& text) {
    return ask({MessageBoxCall::YesNo, title.empty() ? programTitle_ : title, text, true});
}

bool QtDialogs::ask(const MessageBoxCall& call) {
    if (const MessageBoxHook& hook = messageBoxHook()) return hook(call);
    MessageBox box(call, QMessageBox::Yes | QMessageBox::No, owner_.data());
    box.setDefaultButton(call.defaultNo ? QMessageBox::No : QMessageBox::Yes);
    // Escape and the close box answer No, as a two-button box without Cancel does.
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

std::string QtDialogs::pickFolder(const std::string& prompt) {
    return BrowseForFolder(owner_.data(), prompt, 0, 10, std::exchange(nextStart_, {}));
}

std::string QtDialogs::pickFolderAmong(const std::string& prompt, const std::string& start,
                                       const std::vector<FolderPlace>& places) {
    // A start the caller names wins over the one set for the next pick; either way it is used up.
    std::string next = std::exchange(nextStart_, {});
    return BrowseForFolder(owner_.data(), prompt, start.empty() ? next : start, places);
}

void setMessageBoxHookForTests(MessageBoxHook hook) {
    messageBoxHook() = std::move(hook);
}

}  // namespace qv
