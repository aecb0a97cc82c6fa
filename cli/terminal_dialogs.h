#pragma once

#include <istream>
#include <ostream>
#include <string>

#include "platform/dialogs.h"

namespace qv::cli {

// The dialogs on a terminal: messages go to standard error as "title: text"; a Yes/No
// question is asked on the terminal and refused when there is none; the folder picker
// always cancels (a terminal program takes its folders as arguments).
class TerminalDialogs final : public Dialogs {
  public:
    // `interactive`: `in` is a terminal a person can answer on. `assumeYes` answers every
    // question with Yes without asking (purge --yes).
    TerminalDialogs(std::ostream& err, std::istream& in, bool interactive, bool assumeYes = false);

    void message(const std::string& title, const std::string& text) override;
    bool askYesNo(const std::string& title, const std::string& text) override;
    std::string pickFolder(const std::string& prompt) override;

    void setAssumeYes(bool on) { assumeYes_ = on; }

  private:
    std::ostream& err_;
    std::istream& in_;
    bool interactive_;
    bool assumeYes_;
};

// Message texts use CR LF inside; a terminal wants plain line feeds. Each line is escaped as list
// escapes its names: a message may carry a name a server chose.
std::string terminalText(const std::string& text);

}  // namespace qv::cli
