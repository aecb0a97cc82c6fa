#pragma once

#include <string>
#include <string_view>

namespace qv {

// The two forms of the one escaping of names that leave the program.
enum class EscapeForm {
    // As list writes a name, and every line for a terminal or the run log: a backslash becomes
    // "\\", a tab "\t", a carriage return "\r", a line feed "\n", and any other control byte
    // (below 0x20, 0x7F, and the C1 controls U+0080-U+009F: both bytes of their UTF-8 form, or a
    // stray byte 0x80-0x9F) "\xNN" with two upper-case hex digits. The form is reversible, so
    // the exact bytes can still be read from it.
    Field,
    // Every control byte as "\xNN", backslashes kept: for a report that quotes lines already
    // escaped once (the run log's) and Windows paths as they are written.
    ControlBytes,
};

// Appends `text` to `out` in `form`. Other bytes, UTF-8 or not, are written as they are. Names
// come from servers: written raw, an escape sequence in one would run in the player's terminal.
void appendEscaped(std::string& out, std::string_view text, EscapeForm form = EscapeForm::Field);

// `text` in `form`, as appendEscaped writes it.
std::string escapedField(std::string_view text, EscapeForm form = EscapeForm::Field);

}  // namespace qv
