#include "settings/mdl_ini.h"

#include <cerrno>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/ascii.h"
#include "platform/dialogs.h"
#include "platform/filesystem.h"
#include "platform/textfile.h"
#include "platform/utf16_text.h"

namespace qv {

namespace {

// The profile layer copies at most this many characters of a value.
constexpr std::size_t kMaxValue = 255;

// One line of the file by byte offsets: content is [start, contentEnd), its line end runs to
// `end` (empty for a last line without one).
struct LineSpan {
    std::size_t start = 0;
    std::size_t contentEnd = 0;
    std::size_t end = 0;
};

std::vector<LineSpan> lineSpans(std::string_view text) {
    std::vector<LineSpan> lines;
    std::size_t start = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            const std::size_t len =
                (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
            lines.push_back({start, i, i + len});
            i += len;
            start = i;
        } else {
            ++i;
        }
    }
    if (start < text.size()) lines.push_back({start, text.size(), text.size()});
    return lines;
}

// What a line of a profile file is.
struct ParsedLine {
    enum Kind { Other, Section, Key } kind = Other;
    std::string_view name;       // section or key name, trimmed
    std::size_t valueStart = 0;  // offset in the line where the value's bytes begin
    std::string_view value;      // raw value, trimmed
};

ParsedLine parseLine(std::string_view line) {
    ParsedLine p;
    std::string_view t = trimAscii(line);
    if (t.empty() || t.front() == ';') return p;
    if (t.front() == '[') {
        const std::size_t close = t.rfind(']');
        if (close == std::string_view::npos || close == 0) return p;
        p.kind = ParsedLine::Section;
        p.name = trimAscii(t.substr(1, close - 1));
        return p;
    }
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) return p;
    p.kind = ParsedLine::Key;
    p.name = trimAscii(line.substr(0, eq));
    std::size_t v = eq + 1;
    while (v < line.size() && isBlankAscii(line[v])) ++v;
    p.valueStart = v;
    p.value = trimAscii(line.substr(v));
    return p;
}

// Where a section and a key stand in the file. Both are the first occurrence, as the system's
// profile functions find them.
struct Location {
    std::optional<std::size_t> sectionLine;
    std::optional<std::size_t> keyLine;
    std::size_t lastContentLine = 0;  // last non-blank line of the section (its header at least)
    ParsedLine key;
};

Location locate(std::string_view text, const std::vector<LineSpan>& lines,
                const std::string& section, const std::string& key) {
    Location loc;
    bool inSection = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view line =
            text.substr(lines[i].start, lines[i].contentEnd - lines[i].start);
        const ParsedLine p = parseLine(line);
        if (p.kind == ParsedLine::Section) {
            if (inSection) break;
            if (!loc.sectionLine && equalsNoCaseAscii(p.name, section)) {
                loc.sectionLine = i;
                loc.lastContentLine = i;
                inSection = true;
            }
            continue;
        }
        if (!inSection) continue;
        if (!trimAscii(line).empty()) loc.lastContentLine = i;
        if (p.kind == ParsedLine::Key && !loc.keyLine && equalsNoCaseAscii(p.name, key)) {
            loc.keyLine = i;
            loc.key = p;
        }
    }
    return loc;
}

std::string unquote(std::string_view v) {
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.substr(1, v.size() - 2);
    return std::string(v);
}

std::string cut(std::string s) {
    if (s.size() > kMaxValue) s.resize(kMaxValue);
    return s;
}

void showError(Dialogs* dialogs, const char* routine, const Status& s) {
    if (dialogs) dialogs->message(routine, "Error: " + std::to_string(s.code) + ". " + s.text);
}

bool endsWithLineEnd(std::string_view text) {
    return !text.empty() && (text.back() == '\n' || text.back() == '\r');
}

// The file with Section/Key set to Value; every other byte stays as it was.
std::string withSetting(const std::string& text, const std::string& section, const std::string& key,
                        const std::string& value) {
    const std::string eol = lineEndChars(text.empty() ? LineEnd::CRLF : detectLineEnd(text));
    const std::vector<LineSpan> lines = lineSpans(text);
    const Location loc = locate(text, lines, section, key);

    if (!loc.sectionLine) {
        std::string out = text;
        if (!out.empty()) {
            if (!endsWithLineEnd(out)) out += eol;
            // A blank line between sections, as the game's own files have them.
            if (!trimAscii(
                     text.substr(lines.back().start, lines.back().contentEnd - lines.back().start))
                     .empty())
                out += eol;
        }
        return out + "[" + section + "]" + eol + key + "=" + value + eol;
    }
    if (loc.keyLine) {
        const LineSpan& l = lines[*loc.keyLine];
        const std::size_t from = l.start + loc.key.valueStart;
        return text.substr(0, from) + value + text.substr(l.contentEnd);
    }
    const LineSpan& after = lines[loc.lastContentLine];
    std::string out = text.substr(0, after.end);
    if (after.end == after.contentEnd) out += eol;  // the last line had no line end
    out += key + "=" + value + eol;
    out += text.substr(after.end);
    return out;
}

bool hasLineBreak(const std::string& s) {
    return s.find_first_of("\r\n") != std::string::npos;
}

// A profile as an editor may have saved it. A UTF-8 byte-order mark is set aside (and written
// back); UTF-16 with its mark is decoded to UTF-8 for reading, and never written.
struct ProfileText {
    std::string text;
    std::string mark;  // the UTF-8 byte-order mark, or empty
    bool utf16 = false;
};

ProfileText decodeProfile(std::string raw) {
    ProfileText p;
    static const std::string kUtf8Mark = "\xEF\xBB\xBF";
    const bool le = raw.starts_with("\xFF\xFE"), be = raw.starts_with("\xFE\xFF");
    if (raw.starts_with(kUtf8Mark)) {
        p.mark = kUtf8Mark;
        p.text = raw.substr(kUtf8Mark.size());
    } else if (le || be) {
        p.utf16 = true;
        p.text = utf16ToUtf8(std::string_view(raw).substr(2), le);
    } else {
        p.text = std::move(raw);
    }
    return p;
}

}  // namespace

std::string INIGetSettingString(const std::string& section, const std::string& key,
                                const std::string& fileName, const std::string& def,
                                Dialogs* dialogs, FileSystem* fs) {
    FileSystem& files = fs ? *fs : realFileSystem();
    try {
        Result<std::string> content = files.readAll(fileName);
        if (!content) {
            const int err = content.status.code;
            // A file that is not there gives the default, and so does a folder of that name;
            // a file that is there must be readable.
            if (err == ENOENT || err == ENOTDIR || err == EISDIR || !files.exists(fileName) ||
                files.isFolder(fileName))
                return cut(def);
            showError(dialogs, "INIGetSettingString", content.status);
            return "";
        }
        const std::string text = decodeProfile(std::move(content.value)).text;
        const Location loc = locate(text, lineSpans(text), section, key);
        if (!loc.keyLine) return cut(def);
        return cut(unquote(loc.key.value));
    } catch (const std::bad_alloc&) {
        showError(dialogs, "INIGetSettingString", Status::fromErrno(ENOMEM));
    } catch (const std::exception& e) {
        showError(dialogs, "INIGetSettingString", Status::failure(e.what()));
    }
    return "";
}

bool INIWriteSetting(const std::string& section, const std::string& key, const std::string& value,
                     const std::string& fileName, Dialogs* dialogs, FileSystem* fs) {
    FileSystem& files = fs ? *fs : realFileSystem();
    try {
        // A line break would split the entry and plant other lines in the player's files.
        if (hasLineBreak(section) || hasLineBreak(key) || hasLineBreak(value) ||
            section.find(']') != std::string::npos || key.find('=') != std::string::npos) {
            showError(dialogs, "INIWriteSetting", Status::fromErrno(EINVAL));
            return false;
        }
        Result<std::string> content = files.readAll(fileName);
        if (!content) {
            if (content.status.code != ENOENT || files.exists(fileName)) {
                showError(dialogs, "INIWriteSetting", content.status);
                return false;
            }
            content.value.clear();
        }
        const ProfileText profile = decodeProfile(std::move(content.value));
        if (profile.utf16) {
            showError(
                dialogs, "INIWriteSetting",
                Status::failure(fileName + " is saved as UTF-16 text, which Quorvel reads but "
                                           "does not write; it was left as it is",
                                EILSEQ));
            return false;
        }
        const std::string updated = profile.mark + withSetting(profile.text, section, key, value);
        // A link is written through: its target is replaced, in the target's own folder.
        const Result<std::string> target = files.canonicalPath(fileName);
        if (Status s = files.writeAtomic(target.ok() ? target.value : fileName, updated); !s) {
            showError(dialogs, "INIWriteSetting", s);
            return false;
        }
        return true;
    } catch (const std::bad_alloc&) {
        showError(dialogs, "INIWriteSetting", Status::fromErrno(ENOMEM));
    } catch (const std::exception& e) {
        showError(dialogs, "INIWriteSetting", Status::failure(e.what()));
    }
    return false;
}

}  // namespace qv
