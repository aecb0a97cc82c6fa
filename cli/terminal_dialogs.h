#pragma once

#include <istream>
#include <ostream>
#include <string>

#include "platform/dialogs.h"
#include "platform/line_writer.h"

namespace qv::cli {

// The dialogs on a terminal: messages go to standard error as "title: text"; a Yes/No
// question is asked on the terminal and refused when there is none; the folder picker
// always cancels (a terminal program takes its folders as arguments). Titles and texts are
// Messages: their CR LF breaks become line feeds, and a name a server chose in one is escaped.
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
    LineWriter err_;
    std::istream& in_;
    bool interactive_;
    bool assumeYes_;
};

}  // namespace qv::cli
