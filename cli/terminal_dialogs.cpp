#include "cli/terminal_dialogs.h"

#include "platform/ascii.h"

namespace qv::cli {

std::string terminalText(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

TerminalDialogs::TerminalDialogs(std::ostream& err, std::istream& in, bool interactive,
                                 bool assumeYes)
    : err_(err), in_(in), interactive_(interactive), assumeYes_(assumeYes) {}

void TerminalDialogs::message(const std::string& title, const std::string& text) {
    err_ << terminalText(title) << ": " << terminalText(text) << '\n' << std::flush;
}

bool TerminalDialogs::askYesNo(const std::string& title, const std::string& text) {
    const std::string question = terminalText(title) + ": " + terminalText(text);
    if (assumeYes_) {
        err_ << question << " [y/N] yes (--yes)\n" << std::flush;
        return true;
    }
    if (!interactive_) {
        err_ << question << " [y/N] no (no terminal to ask on; use --yes)\n" << std::flush;
        return false;
    }
    for (;;) {
        err_ << question << " [y/N] " << std::flush;
        std::string answer;
        if (!std::getline(in_, answer)) {
            err_ << '\n' << std::flush;
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
    err_ << terminalText(prompt) << " (no folder picker on a terminal)\n" << std::flush;
    return {};
}

}  // namespace qv::cli
