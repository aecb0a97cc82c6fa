#pragma once

#include <string>
#include <string_view>

namespace qv {

// A name, or a line holding one, as it may reach a terminal or a log: a backslash becomes "\\",
// a tab "\t", a carriage return "\r", a line feed "\n", and any other control byte (below 0x20,
// and 0x7F) "\xNN" with two upper-case hex digits. Other bytes, UTF-8 or not, are written as
// they are. Names come from servers: written raw, an escape sequence in one would run in the
// player's terminal. The form is reversible, so the exact bytes can still be read from it.
std::string escapedField(std::string_view text);

}  // namespace qv
