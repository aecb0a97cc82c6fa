#include "widgets/qt_dialogs.h"

#include <QMessageBox>
#include <utility>

#include "widgets/browse_for_folder.h"

namespace qv {

namespace {

MessageBoxHook& messageBoxHook() {
    static MessageBoxHook hook;
    return hook;
}

}  // namespace

QtDialogs::QtDialogs(QWidget* owner, std::string programTitle)
    : owner_(owner), programTitle_(std::move(programTitle)) {}

void QtDialogs::message(const std::string& title, const std::string& text) {
    MessageBoxCall call{MessageBoxCall::Ok, title.empty() ? programTitle_ : title, text};
    if (const MessageBoxHook& hook = messageBoxHook()) {
        hook(call);
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, QString::fromLocal8Bit(call.title),
                    QString::fromLocal8Bit(call.text), QMessageBox::Ok, owner_.data());
    box.exec();
}

bool QtDialogs::askYesNo(const std::string& title, const std::string& text) {
    MessageBoxCall call{MessageBoxCall::YesNo, title.empty() ? programTitle_ : title, text};
    if (const MessageBoxHook& hook = messageBoxHook()) return hook(call);
    QMessageBox box(QMessageBox::NoIcon, QString::fromLocal8Bit(call.title),
                    QString::fromLocal8Bit(call.text), QMessageBox::Yes | QMessageBox::No,
                    owner_.data());
    box.setDefaultButton(QMessageBox::Yes);
    // Escape and the close box answer No, as a two-button box without Cancel does.
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

std::string QtDialogs::pickFolder(const std::string& prompt) {
    return BrowseForFolder(owner_.data(), prompt, 0, 10);
}

std::string QtDialogs::pickFolderAmong(const std::string& prompt, const std::string& start,
                                       const std::vector<FolderPlace>& places) {
    return BrowseForFolder(owner_.data(), prompt, start, places);
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
