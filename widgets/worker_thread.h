#pragma once

#include <QObject>
#include <functional>
#include <string>
#include <type_traits>
#include <vector>

#include "platform/dialogs.h"

namespace qv {

// Runs `job` on a thread of its own and returns once it has ended. Meanwhile the calling (GUI)
// thread's event loop goes on: the window repaints, queued signals arrive, a Stop button can be
// clicked. One job at a time: the caller disables what would start another.
void runOffGuiThread(const std::function<void()>& job);

// Dialogs for work running on a worker thread: each box and picker is shown by `gui` on the
// thread of `context` (the GUI thread) while the worker waits for the answer. Called on the GUI
// thread itself, it asks `gui` directly. `beforeEach` runs on the GUI thread first (the window
// shows the status lines that came before the question).
class GuiThreadDialogs final : public Dialogs {
  public:
    GuiThreadDialogs(Dialogs& gui, QObject* context, std::function<void()> beforeEach = {})
        : gui_(gui), context_(context), beforeEach_(std::move(beforeEach)) {}

    void message(const std::string& title, const std::string& text) override {
        onGui([&] { gui_.message(title, text); });
    }
    bool askYesNo(const std::string& title, const std::string& text) override {
        return onGui([&] { return gui_.askYesNo(title, text); });
    }
    bool askYesNoDefaultNo(const std::string& title, const std::string& text) override {
        return onGui([&] { return gui_.askYesNoDefaultNo(title, text); });
    }
    std::string pickFolder(const std::string& prompt) override {
        return onGui([&] { return gui_.pickFolder(prompt); });
    }
    std::string pickFolderAmong(const std::string& prompt, const std::string& start,
                                const std::vector<FolderPlace>& places) override {
        return onGui([&] { return gui_.pickFolderAmong(prompt, start, places); });
    }

  private:
    template <class F>
    auto onGui(F&& ask) -> decltype(ask()) {
        using R = decltype(ask());
        if constexpr (std::is_void_v<R>) {
            onGuiThread([&] {
                if (beforeEach_) beforeEach_();
                ask();
            });
        } else {
            R answer{};
            onGuiThread([&] {
                if (beforeEach_) beforeEach_();
                answer = ask();
            });
            return answer;
        }
    }
    // Runs `call` on the context's thread and waits for it.
    void onGuiThread(const std::function<void()>& call);

    Dialogs& gui_;
    QObject* context_;
    std::function<void()> beforeEach_;
};

}  // namespace qv
