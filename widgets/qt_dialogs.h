#pragma once

#include <QPointer>
#include <QWidget>

#include "platform/dialogs.h"

namespace qv {

// Dialogs through Qt: QMessageBox (OK, or Yes/No) and the folder picker (BrowseForFolder).
// Texts are 8-bit and decoded for display with QString::fromLocal8Bit; an empty title shows
// the program's title given at construction.
class QtDialogs final : public Dialogs {
public:
    QtDialogs(QWidget* owner, std::string programTitle);
    void setOwner(QWidget* owner) { owner_ = owner; }

    void message(const std::string& title, const std::string& text) override;
    bool askYesNo(const std::string& title, const std::string& text) override;
    std::string pickFolder(const std::string& prompt) override;

private:
    QPointer<QWidget> owner_;
    std::string programTitle_;
};

}  // namespace qv
