#include "cli/terminal_dialogs.h"

#include "platform/ascii.h"
#include "platform/escaped_text.h"

namespace qv::cli {

std::string terminalText(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find('\n', start);
        std::string_view line(text.data() + start,
                              (end == std::string::npos ? text.size() : end) - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        out += escapedField(line);
        if (end == std::string::npos) return out;
        out += '\n';
        start = end + 1;
    }
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
