#pragma once

#include <QPointer>
#include <QWidget>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/dialogs.h"

namespace qv {

struct MessageBoxCall;

// A top-level window with this property set (a busy window) is not covered by message boxes:
// they are placed beside it.
inline constexpr const char* kBusyWindowProperty = "qvBusyWindow";

// Dialogs through Qt: QMessageBox (OK, or Yes/No) and the folder picker (BrowseForFolder).
// Texts are 8-bit and decoded for display with QString::fromLocal8Bit; an empty title shows
// the program's title given at construction.
class QtDialogs final : public Dialogs {
  public:
    QtDialogs(QWidget* owner, std::string programTitle);
    void setOwner(QWidget* owner) { owner_ = owner; }

    void message(const std::string& title, const std::string& text) override;
    bool askYesNo(const std::string& title, const std::string& text) override;
    bool askYesNoDefaultNo(const std::string& title, const std::string& text) override;
    std::string pickFolder(const std::string& prompt) override;
    std::string pickFolderAmong(const std::string& prompt, const std::string& start,
                                const std::vector<FolderPlace>& places) override;
    // The next folder picker opens at `folder` (when it exists): the one the caller's box names.
    void startNextPickIn(std::string folder) { nextStart_ = std::move(folder); }

  private:
    bool ask(const MessageBoxCall& call);
    QPointer<QWidget> owner_;
    std::string nextStart_;
    std::string programTitle_;
};

// One message box as it would be shown: the title after an empty one was replaced by the
// program's title, and the text, both as 8-bit text.
struct MessageBoxCall {
    enum Kind { Ok, YesNo } kind = Ok;
    std::string title;
    std::string text;
    bool defaultNo = false;  // a Yes/No question whose default answer is No
};

// --- Test hook -------------------------------------------------------------------------
// Widget tests replace the boxes: while a hook is set, every QtDialogs message and question
// calls it instead of showing a QMessageBox; its result answers a Yes/No question (true for
// Yes) and is ignored for an OK box. nullptr restores the real boxes. Process-wide; set it
// on the GUI thread only. Folder pickers go through setFolderPickerForTests
// (browse_for_folder.h).
using MessageBoxHook = std::function<bool(const MessageBoxCall&)>;
void setMessageBoxHookForTests(MessageBoxHook hook);

// Scripted boxes for the duration of a scope: records every box in `shown` and answers
// questions from `answers` front to back; an empty queue answers No.
//
//     qv::ScriptedMessageBoxes boxes;
//     boxes.answers.push_back(true);            // Yes to the first question
//     window.cmdPurgeNow_Click();
//     ASSERT_EQ(boxes.shown.size(), 1u);
//     EXPECT_EQ(boxes.shown[0].title, "Quorvel");
class ScriptedMessageBoxes final {
  public:
    ScriptedMessageBoxes();
    ~ScriptedMessageBoxes();
    ScriptedMessageBoxes(const ScriptedMessageBoxes&) = delete;
    ScriptedMessageBoxes& operator=(const ScriptedMessageBoxes&) = delete;

    std::vector<MessageBoxCall> shown;
    std::deque<bool> answers;

    // The texts of all boxes shown so far, in order.
    std::vector<std::string> texts() const;
};

}  // namespace qv
