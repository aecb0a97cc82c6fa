#pragma once

#include <string>
#include <string_view>

namespace qv::trace {

// A diagnostic trace of the decisions that matter, off by default: which process was taken for
// the game and why, each read of cache.ini, each exchange and its result, the finder's
// candidates, the locks taken where a file system refuses flock. Never part of the run log. The
// categories are Qt's logging categories in the windows
// (QT_LOGGING_RULES="quorvel.game.debug=true"); the command line reads the same rules from the
// environment, or takes -v for all of them, and writes to standard error.
enum class Category : unsigned { Game, Index, Finder, Lock };
constexpr unsigned kCategories = 4;

// "quorvel.game", "quorvel.index", "quorvel.finder", "quorvel.lock".
const char* nameOf(Category c);

// Where the lines go: the command line's standard error, or the windows' logging categories.
using Sink = void (*)(Category c, const std::string& line);
void setSink(Sink sink);

// Switches categories on or off; all are off at the start.
void enable(Category c, bool on);
void enableAll(bool on);
// Reads rules in QT_LOGGING_RULES' form ("quorvel.*=true;quorvel.index.debug=false", separated
// by ';' or line ends); later rules win.
void applyRules(std::string_view rules);

bool enabled(Category c);
// Hands one line to the sink when the category is on; control bytes of names are escaped.
void line(Category c, std::string_view text);

}  // namespace qv::trace
