#include "platform/textfile.h"

#include <algorithm>
#include <cstring>

namespace qv {

namespace {

constexpr std::size_t kNone = std::string_view::npos;

// Where `c` is next in `text` from `from` on (a vector search, as the files are megabytes).
std::size_t nextOf(std::string_view text, char c, std::size_t from) {
    if (from >= text.size()) return kNone;
    const void* at = std::memchr(text.data() + from, c, text.size() - from);
    return at ? static_cast<std::size_t>(static_cast<const char*>(at) - text.data()) : kNone;
}

// Calls `each` with each line until it returns true; true when it did.
template <class Each>
bool eachLine(std::string_view text, bool loneLfEnds, Each&& each) {
    std::size_t start = 0, cr = nextOf(text, '\r', 0),
                lf = loneLfEnds ? nextOf(text, '\n', 0) : kNone;
    while (start < text.size()) {
        if (cr < start) cr = nextOf(text, '\r', start);
        if (lf < start) lf = nextOf(text, '\n', start);
        const std::size_t end = std::min(cr, lf);
        if (end == kNone) return each(text.substr(start));
        if (each(text.substr(start, end - start))) return true;
        // CR LF is one line end; a lone CR or a lone LF is one too.
        start = end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
    }
    return false;
}

// How many times `c` is in `text`.
std::size_t countOf(std::string_view text, char c) {
    std::size_t n = 0;
    for (std::size_t i = nextOf(text, c, 0); i != kNone; i = nextOf(text, c, i + 1)) ++n;
    return n;
}

std::vector<std::string_view> splitViews(std::string_view text, bool loneLfEnds) {
    std::vector<std::string_view> lines;
    // Room for every line at once: a file of 100,000 lines is not copied as its table grows.
    lines.reserve(countOf(text, '\r') + (loneLfEnds ? countOf(text, '\n') : 0) + 1);
    eachLine(text, loneLfEnds, [&](std::string_view line) {
        lines.push_back(line);
        return false;
    });
    return lines;
}

// True when the first line of `text` ends in a lone LF and lone LFs are most of its line ends:
// a name inside that holds LFs does not make a CR LF file one of LF lines by itself.
bool endsInLoneLf(std::string_view text) {
    const std::size_t first = std::min(nextOf(text, '\r', 0), nextOf(text, '\n', 0));
    if (first == kNone || text[first] != '\n') return false;
    std::size_t loneLf = 0;
    const std::size_t others = countOf(text, '\r');
    for (std::size_t i = first; i != kNone; i = nextOf(text, '\n', i + 1))
        loneLf += i == 0 || text[i - 1] != '\r';
    return loneLf > others;
}

}  // namespace

std::vector<std::string_view> splitLineViews(std::string_view text) {
    return splitViews(text, true);
}

std::vector<std::string_view> splitOwnLineViews(std::string_view text) {
    return splitViews(text, endsInLoneLf(text));
}

bool anyOwnLine(std::string_view text, const std::function<bool(std::string_view)>& found) {
    return eachLine(text, endsInLoneLf(text), found);
}

void forEachOwnLine(std::string_view text, const std::function<void(std::string_view)>& each) {
    eachLine(text, endsInLoneLf(text), [&](std::string_view line) {
        each(line);
        return false;
    });
}

std::vector<std::string> splitOwnLines(std::string_view text) {
    const std::vector<std::string_view> views = splitOwnLineViews(text);
    return std::vector<std::string>(views.begin(), views.end());
}

std::vector<std::string> splitLines(std::string_view text) {
    const std::vector<std::string_view> views = splitLineViews(text);
    return std::vector<std::string>(views.begin(), views.end());
}

LineEnd detectLineEnd(std::string_view text) {
    const std::size_t pos = text.find_first_of("\r\n");
    if (pos == std::string_view::npos) return LineEnd::CRLF;
    if (text[pos] == '\n') return LineEnd::LF;
    return (pos + 1 < text.size() && text[pos + 1] == '\n') ? LineEnd::CRLF : LineEnd::CR;
}

const char* lineEndChars(LineEnd style) {
    switch (style) {
        case LineEnd::LF:
            return "\n";
        case LineEnd::CR:
            return "\r";
        case LineEnd::CRLF:
            break;
    }
    return "\r\n";
}

std::string joinLines(const std::vector<std::string>& lines, LineEnd style) {
    const std::string_view end = lineEndChars(style);
    std::size_t total = 0;
    for (const auto& l : lines) total += l.size() + end.size();
    std::string out;
    out.reserve(total);
    for (const auto& l : lines) {
        out += l;
        out += end;
    }
    return out;
}

}  // namespace qv
