#include "widgets/qt_dialogs.h"

#include <QApplication>
#include <QGridLayout>
#include <QMessageBox>
#include <QScreen>
#include <utility>

#include "widgets/browse_for_folder.h"

namespace qv {

namespace {

MessageBoxHook& messageBoxHook() {
    static MessageBoxHook hook;
    return hook;
}

// A message box as a fixed-size dialog should be: a title bar with a close button only, wide
// enough to show its whole title, and centred on its window (on the screen while that window
// is not shown yet, as at start-up).
class MessageBox final : public QMessageBox {
  public:
    MessageBox(const MessageBoxCall& call, StandardButtons buttons, QWidget* owner)
        : QMessageBox(NoIcon, QString::fromLocal8Bit(call.title), QString::fromLocal8Bit(call.text),
                      buttons, owner) {
        setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                       Qt::WindowCloseButtonHint);
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
    // The box takes its final size when it is shown; it is placed then, before it appears.
    void showEvent(QShowEvent* event) override {
        QMessageBox::showEvent(event);
        const QWidget* owner = parentWidget() ? parentWidget()->window() : nullptr;
        QRect area;
        if (owner && owner->isVisible())
            area = owner->frameGeometry();
        else if (const QScreen* screen = QGuiApplication::primaryScreen())
            area = screen->availableGeometry();
        if (area.isValid()) move(area.center() - rect().center());
    }
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

ScriptedMessageBoxes::ScriptedMessageBoxes() {
    setMessageBoxHookForTests([this](const MessageBoxCall& call) {
        shown.push_back(call);
        if (call.kind != MessageBoxCall::YesNo || answers.empty()) return false;
        bool answer = answers.front();
        answers.pop_front();
        return answer;
    });
}

ScriptedMessageBoxes::~ScriptedMessageBoxes() {
    setMessageBoxHookForTests(nullptr);
}

std::vector<std::string> ScriptedMessageBoxes::texts() const {
    std::vector<std::string> out;
    for (const auto& call : shown) out.push_back(call.text);
    return out;
}

}  // namespace qv
