#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

enum class LineEnd { CRLF, LF, CR };

// Splits 8-bit text into lines. A line ends at CR LF, a lone CR or a lone LF; the last line
// needs no line end (a final line end does not produce an extra empty line).
std::vector<std::string> splitLines(std::string_view text);
// The same lines as views into `text`, which must outlive them: no copy of a large file's lines.
std::vector<std::string_view> splitLineViews(std::string_view text);

// Lines of a file by the line ends it was written with. Where its lines end in CR LF (as the
// game writes cache.ini), a lone LF is part of its line: a name may hold one. Where its first
// line and most of its lines end in a lone LF (a file written on Linux), a lone LF ends the line
// as well. CR LF and a lone CR end a line either way.
std::vector<std::string_view> splitOwnLineViews(std::string_view text);
std::vector<std::string> splitOwnLines(std::string_view text);
// Whether `found` holds for a line of `text` (split as splitOwnLineViews splits it), asked of
// each in order until one answers true: no table of a large file's lines is made.
bool anyOwnLine(std::string_view text, const std::function<bool(std::string_view)>& found);
// Calls `each` with every line of `text`, split so, in order.
void forEachOwnLine(std::string_view text, const std::function<void(std::string_view)>& each);

// The line-end style a file uses: the first line end found; CRLF when it has none.
LineEnd detectLineEnd(std::string_view text);

const char* lineEndChars(LineEnd style);

// Joins lines, each followed by the given line end.
std::string joinLines(const std::vector<std::string>& lines, LineEnd style);

}  // namespace qv
