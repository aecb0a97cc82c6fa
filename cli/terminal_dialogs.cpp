#include "cli/terminal_dialogs.h"

#include "platform/ascii.h"

namespace qv::cli {

TerminalDialogs::TerminalDialogs(std::ostream& err, std::istream& in, bool interactive,
                                 bool assumeYes)
    : err_(err), in_(in), interactive_(interactive), assumeYes_(assumeYes) {}

void TerminalDialogs::message(const std::string& title, const std::string& text) {
    err_.line(Message{title}, ": ", Message{text});
    err_.flush();
}

bool TerminalDialogs::askYesNo(const std::string& title, const std::string& text) {
    if (assumeYes_ || !interactive_) {
        err_.line(
            Message{title}, ": ", Message{text}, " [y/N] ",
            assumeYes_ ? Fixed{"yes (--yes)"} : Fixed{"no (no terminal to ask on; use --yes)"});
        err_.flush();
        return assumeYes_;
    }
    for (;;) {
        err_.text(Message{title}, ": ", Message{text}, " [y/N] ");
        err_.flush();
        std::string answer;
        if (!std::getline(in_, answer)) {
            err_.line();
            err_.flush();
            return false;
        }
        std::string word;
        for (char c : answer)
            if (!isSpaceAscii(c)) word += lowerAscii(c);
        if (word == "y" || word == "yes") return true;
        if (word.empty() || word == "n" || word == "no") return false;
    }
}

std::string TerminalDialogs::pickFolder(const std::string& prompt) {
    err_.line(Message{prompt}, " (no folder picker on a terminal)");
    err_.flush();
    return {};
}

}  // namespace qv::cli
