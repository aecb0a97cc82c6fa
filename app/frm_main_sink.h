// The main window's bridge from the engine's worker thread: status lines, texts and progress,
// and the hold that keeps the work at a package boundary while a question is up.
#pragma once

#include <QLabel>
#include <QMetaObject>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/frm_main.h"
#include "widgets/display.h"
#include "widgets/line_list.h"

namespace qv {

// The engine's status lines, status texts and progress, from the worker thread: they gather here
// and reach the window in one queued call at a time, so the engine never waits on the window and
// the window's queue never holds one event per line.
class frmMain::WindowSink final : public StatusSink {
  public:
    explicit WindowSink(frmMain& w) : w_(w) {}

    void addLine(const std::string& line) override {
        post([&] { pending_.lines.push_back(line); });
    }
    void setStatusText(const std::string& text) override {
        post([&] { pending_.text = text; });
    }
    // A package boundary: the work waits here while it is held.
    void progress(std::size_t done, std::size_t total) override {
        post([&] { pending_.progress = {done, total}; });
        std::unique_lock<std::mutex> lock(mutex_);
        waiting_ = held_;
        released_.wait(lock, [this] { return !held_; });
        waiting_ = false;
    }

    // On the GUI thread: holds the work at its next package boundary, or lets it go on.
    void hold(bool on) {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            held_ = on;
        }
        if (!on) released_.notify_all();
    }
    bool waiting() {
        const std::lock_guard<std::mutex> lock(mutex_);
        return waiting_;
    }

    // On the GUI thread: shows what has come so far.
    void flush() {
        Pending now;
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            now = std::move(pending_);
            pending_ = {};
            posted_ = false;
        }
        for (const std::string& line : now.lines) w_.statusModel_->addLine(line);
        if (now.text) w_.sbrText->setText(displayText(*now.text));
        if (now.progress) w_.showProgress(now.progress->first, now.progress->second);
    }

  private:
    struct Pending {
        std::vector<std::string> lines;
        std::optional<std::string> text;
        std::optional<std::pair<std::size_t, std::size_t>> progress;
    };

    template <class Change>
    void post(Change&& change) {
        bool first = false;
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            change();
            first = !posted_;
            posted_ = true;
        }
        if (first)
            QMetaObject::invokeMethod(
                &w_, [this] { flush(); }, Qt::QueuedConnection);
    }

    frmMain& w_;
    std::mutex mutex_;
    Pending pending_;
    bool posted_ = false;
    std::condition_variable released_;
    bool held_ = false;
    bool waiting_ = false;  // the work waits at the hold
};

}  // namespace qv
