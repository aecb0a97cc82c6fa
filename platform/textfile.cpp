#include "platform/textfile.h"

namespace qv {

namespace {

std::vector<std::string_view> splitViews(std::string_view text, bool loneLfEnds) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c == '\r' || (c == '\n' && loneLfEnds)) {
            lines.push_back(text.substr(start, i - start));
            // CR LF is one line end; a lone CR or a lone LF is one too.
            i += (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
            start = i;
        } else {
            ++i;
        }
    }
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

// True when the first line of `text` ends in a lone LF and lone LFs are most of its line ends:
// a name inside that holds LFs does not make a CR LF file one of LF lines by itself.
bool endsInLoneLf(std::string_view text) {
    const std::size_t first = text.find_first_of("\r\n");
    if (first == std::string_view::npos || text[first] != '\n') return false;
    std::size_t loneLf = 0, others = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n') {
            ++loneLf;
        } else if (text[i] == '\r') {
            ++others;
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        }
    }
    return loneLf > others;
}

}  // namespace

std::vector<std::string_view> splitLineViews(std::string_view text) {
    return splitViews(text, true);
}

std::vector<std::string_view> splitOwnLineViews(std::string_view text) {
    return splitViews(text, endsInLoneLf(text));
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
