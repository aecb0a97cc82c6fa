#include "settings/launcher_files.h"

#include <algorithm>

#include "platform/ascii.h"
#include "platform/textfile.h"
#include "settings/utf16_text.h"

namespace qv {

namespace {

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

// The JSON text starting after the opening quote at s[i]; `i` is left on the closing quote.
std::string jsonText(std::string_view s, std::size_t& i) {
    std::string out;
    Utf16Decoder units(out);
    for (++i; i < s.size() && s[i] != '"'; ++i) {
        if (s[i] != '\\' || i + 1 >= s.size()) {
            units.finish();
            out += s[i];
            continue;
        }
        const char e = s[++i];
        if (e == 'u' && i + 4 < s.size()) {
            std::uint32_t unit = 0;
            for (int n = 1; n <= 4; ++n)
                unit = unit * 16 + static_cast<std::uint32_t>(std::max(0, hexDigitValue(s[i + n])));
            units.add(unit);
            i += 4;
            continue;
        }
        static constexpr std::string_view kLetters = "btnfr", kCodes = "\b\t\n\f\r";
        const std::size_t at = kLetters.find(e);
        units.finish();
        out += at == kLetters.npos ? e : kCodes[at];
    }
    units.finish();
    return out;
}

// The words of an Exec= line: blanks separate them, double quotes group them (with backslash
// escapes), as the desktop entry rules say.
std::vector<std::string> execWords(std::string_view line) {
    std::vector<std::string> words;
    std::string word;
    bool quoted = false, any = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted && c == '\\' && i + 1 < line.size()) {
            word += line[++i];
        } else if (c == '"') {
            quoted = !quoted;
            any = true;
        } else if (!quoted && (c == ' ' || c == '\t')) {
            if (any || !word.empty()) words.push_back(std::move(word));
            word.clear();
            any = false;
        } else {
            word += c;
        }
    }
    if (any || !word.empty()) words.push_back(std::move(word));
    return words;
}

}  // namespace

LutrisGame lutrisGame(std::string_view yaml, const std::string& home) {
    LutrisGame game;
    bool inGame = false;
    for (std::string_view line : splitLineViews(yaml)) {
        if (line.empty() || line.front() == '#') continue;
        if (line.front() != ' ' && line.front() != '\t') {
            inGame = line.starts_with("game:");
            continue;
        }
        const std::size_t colon = line.find(':');
        if (!inGame || colon == line.npos) continue;
        const std::string_view key = trimmed(line.substr(0, colon));
        std::string_view value = trimmed(line.substr(colon + 1));
        if (value.size() >= 2 && (value.front() == '\'' || value.front() == '"') &&
            value.back() == value.front())
            value = value.substr(1, value.size() - 2);
        std::string path(value);
        if (path.starts_with("~/")) path = home + path.substr(1);
        if (key == "prefix") game.prefix = path;
        if (key == "exe") game.exe = path;
    }
    return game;
}

std::vector<std::string> jsonTextValues(std::string_view json, std::string_view key) {
    std::vector<std::string> values;
    std::string last;       // the text before, when it was a key
    bool afterKey = false;  // a ':' followed the last text
    for (std::size_t i = 0; i < json.size(); ++i) {
        const char c = json[i];
        if (c == '"') {
            std::string text = jsonText(json, i);
            if (afterKey && last == key)
                values.push_back(std::move(text));
            else
                last = std::move(text);
            afterKey = false;
        } else if (c == ':') {
            afterKey = true;
        } else if (c != ' ' && c != '\t' && c != '\n' && c != '\r') {
            afterKey = false;
            last.clear();
        }
    }
    return values;
}

std::vector<std::string> desktopEntryPaths(std::string_view entry) {
    std::vector<std::string> paths;
    bool inEntry = false;
    for (std::string_view line : splitLineViews(entry)) {
        line = trimmed(line);
        if (line.starts_with("[")) {
            inEntry = line == "[Desktop Entry]";
            continue;
        }
        if (!inEntry) continue;
        if (line.starts_with("Path=")) {
            const std::string_view path = trimmed(line.substr(5));
            if (path.starts_with("/")) paths.emplace_back(path);
        } else if (line.starts_with("Exec=")) {
            for (std::string& word : execWords(line.substr(5))) {
                const std::size_t eq = word.find('=');
                if (!word.starts_with("/") && eq != word.npos && word.compare(eq + 1, 1, "/") == 0)
                    word.erase(0, eq + 1);
                if (word.starts_with("/")) paths.push_back(std::move(word));
            }
        }
    }
    return paths;
}

std::vector<std::string> logBaseFolders(std::string_view log) {
    std::vector<std::string> folders;
    static constexpr std::string_view kMark = "Base directory:";
    for (std::string_view line : splitLineViews(log)) {
        const std::size_t at = line.find(kMark);
        if (at == line.npos) continue;
        const std::string_view path = trimmed(line.substr(at + kMark.size()));
        if (path.starts_with("/")) folders.emplace_back(path);
    }
    return folders;
}

}  // namespace qv
