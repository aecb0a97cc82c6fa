#pragma once

#include <deque>
#include <stdexcept>
#include <string>
#include <vector>

#include "widgets/browse_for_folder.h"
#include "widgets/qt_dialogs.h"

namespace qv {

// Scripted boxes for the duration of a scope: records every box in `shown` and answers
// questions from `answers` front to back; an empty queue answers No.
class ScriptedMessageBoxes final {
  public:
    ScriptedMessageBoxes() {
        setMessageBoxHookForTests([this](const MessageBoxCall& call) {
            shown.push_back(call);
            if (call.kind != MessageBoxCall::YesNo || answers.empty()) return false;
            const bool answer = answers.front();
            answers.pop_front();
            return answer;
        });
    }
    ~ScriptedMessageBoxes() { setMessageBoxHookForTests(nullptr); }
    ScriptedMessageBoxes(const ScriptedMessageBoxes&) = delete;
    ScriptedMessageBoxes& operator=(const ScriptedMessageBoxes&) = delete;

    std::vector<MessageBoxCall> shown;
    std::deque<bool> answers;

    // The texts of all boxes shown so far, in order.
    std::vector<std::string> texts() const {
        std::vector<std::string> out;
        for (const auto& call : shown) out.push_back(call.text);
        return out;
    }
};

// A scripted picker for the duration of a scope: records every prompt and start folder and
// answers from `folders` front to back; an empty queue answers cancel. Asked more than
// `maxUnansweredPicks` times in a row without an answer it throws std::runtime_error, so a
// "you must choose" loop that never ends fails the test instead of hanging.
class ScriptedFolderPicker final {
  public:
    ScriptedFolderPicker() {
        setFolderPickerForTests([this](const std::string& prompt, const std::string& start) {
            prompts.push_back(prompt);
            starts.push_back(start);
            if (folders.empty()) {
                if (++unanswered_ > maxUnansweredPicks)
                    throw std::runtime_error("folder picker asked again and again: " + prompt);
                return std::string();
            }
            unanswered_ = 0;
            std::string folder = folders.front();
            folders.pop_front();
            return folder;
        });
    }
    ~ScriptedFolderPicker() { setFolderPickerForTests(nullptr); }
    ScriptedFolderPicker(const ScriptedFolderPicker&) = delete;
    ScriptedFolderPicker& operator=(const ScriptedFolderPicker&) = delete;

    std::deque<std::string> folders;
    std::vector<std::string> prompts;
    std::vector<std::string> starts;  // the start folder each pick was given
    int maxUnansweredPicks = 20;

  private:
    int unanswered_ = 0;
};

}  // namespace qv
