#pragma once

#include <deque>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/dialogs.h"

namespace qv::test {

// Records every message and answers questions and folder pickers from queues. An empty queue
// answers No / cancel; a picker asked more than `maxPicks` times in a row without an answer
// throws, so a loop that never ends fails the test instead of hanging.
class ScriptedDialogs final : public Dialogs {
  public:
    struct Shown {
        enum Kind { Message, Question, Picker } kind;
        std::string title;  // the prompt for a picker
        std::string text;
    };

    std::vector<Shown> shown;
    std::deque<bool> answers;
    std::deque<std::string> folders;
    int maxUnansweredPicks = 20;

    void message(const std::string& title, const std::string& text) override {
        shown.push_back({Shown::Message, title, text});
    }
    bool askYesNo(const std::string& title, const std::string& text) override {
        shown.push_back({Shown::Question, title, text});
        if (answers.empty()) return false;
        bool a = answers.front();
        answers.pop_front();
        return a;
    }
    std::string pickFolder(const std::string& prompt) override {
        shown.push_back({Shown::Picker, prompt, {}});
        if (folders.empty()) {
            if (++unanswered_ > maxUnansweredPicks)
                throw std::runtime_error("folder picker asked again and again: " + prompt);
            return {};
        }
        unanswered_ = 0;
        std::string f = folders.front();
        folders.pop_front();
        return f;
    }

    std::vector<std::string> messages() const {
        std::vector<std::string> out;
        for (const auto& s : shown)
            if (s.kind == Shown::Message) out.push_back(s.text);
        return out;
    }

  private:
    int unanswered_ = 0;
};

}  // namespace qv::test
