#include "settings/launcher_files.h"

#include <algorithm>
#include <cstdint>
#include <utility>

#include "platform/ascii.h"
#include "platform/paths.h"
#include "platform/textfile.h"
#include "settings/registry_text.h"
#include "platform/utf16_text.h"

namespace qv {

namespace {

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

// A YAML value after its key's colon, without blanks around it and the quotes around it.
std::string_view yamlValue(std::string_view value) {
    value = trimAscii(value, kBlanks, kBlanksAndCr);
    if (value.size() >= 2 && (value.front() == '\'' || value.front() == '"') &&
        value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return value;
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
        const std::string_view key = trimAscii(line.substr(0, colon), kBlanks, kBlanksAndCr);
        std::string path(yamlValue(line.substr(colon + 1)));
        path = withHomeExpanded(std::move(path), home);
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
        line = trimAscii(line, kBlanks, kBlanksAndCr);
        if (line.starts_with("[")) {
            inEntry = line == "[Desktop Entry]";
            continue;
        }
        if (!inEntry) continue;
        if (line.starts_with("Path=")) {
            const std::string_view path = trimAscii(line.substr(5), kBlanks, kBlanksAndCr);
            if (isAbsolutePath(path)) paths.emplace_back(path);
        } else if (line.starts_with("Exec=")) {
            for (std::string& word : execWords(line.substr(5))) {
                const std::size_t eq = word.find('=');
                if (!isAbsolutePath(word) && eq != word.npos &&
                    isAbsolutePath(std::string_view(word).substr(eq + 1)))
                    word.erase(0, eq + 1);
                if (isAbsolutePath(word)) paths.push_back(std::move(word));
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
        const std::string_view path =
            trimAscii(line.substr(at + kMark.size()), kBlanks, kBlanksAndCr);
        if (isAbsolutePath(path)) folders.emplace_back(path);
    }
    return folders;
}

std::vector<std::string> steamLibraryPaths(std::string_view vdf) {
    // Keys and values are quoted texts (with \\ and \" escapes); a brace opens or closes a
    // section, after which a key comes next.
    std::vector<std::string> paths;
    bool expectKey = true;
    std::string key;
    int depth = 0;
    for (std::size_t i = 0; i < vdf.size(); ++i) {
        if (vdf[i] == '{' || vdf[i] == '}') {
            depth += vdf[i] == '{' ? 1 : -1;
            expectKey = true;
        }
        if (vdf[i] != '"') continue;
        std::string text;
        for (++i; i < vdf.size() && vdf[i] != '"'; ++i) {
            if (vdf[i] == '\\' && i + 1 < vdf.size()) ++i;
            text += vdf[i];
        }
        if (expectKey) {
            key = std::move(text);
        } else if (!text.empty()) {
            const bool numbered = !key.empty() && std::all_of(key.begin(), key.end(), [](char c) {
                return c >= '0' && c <= '9';
            });
            if (sameNameNoCase(key, "path") || (numbered && depth == 1)) paths.push_back(text);
        }
        expectKey = !expectKey;
    }
    return paths;
}

std::vector<std::string> bottleProgramPaths(std::string_view yaml) {
    std::vector<std::string> paths;
    bool inPrograms = false;
    for (std::string_view line : splitLineViews(yaml)) {
        if (line.empty() || line.front() == '#') continue;
        if (line.front() != ' ' && line.front() != '\t') {
            inPrograms = line.starts_with("External_Programs:");
            continue;
        }
        const std::string_view entry = trimAscii(line, kBlanks, kBlanksAndCr);
        if (inPrograms && entry.starts_with("path:")) {
            const std::string_view path = yamlValue(entry.substr(5));
            if (isAbsolutePath(path)) paths.emplace_back(path);
        }
    }
    return paths;
}

std::string yamlTopValue(std::string_view yaml, std::string_view key) {
    for (std::string_view line : splitLineViews(yaml))
        if (line.starts_with(key) && line.substr(key.size()).starts_with(":"))
            return std::string(yamlValue(line.substr(key.size() + 1)));
    return {};
}

namespace {

// A field of a shortcut, by its name in any case; the program's path and folder are quoted
// when Steam adds them, and not always when the player types them. `exeAsStored` keeps the
// program's path as the file holds it, quotes and all.
void setShortcutField(SteamShortcut& s, std::string& exeAsStored, std::string_view name,
                      std::string_view value) {
    if (equalsNoCaseAscii(name, "Exe")) exeAsStored = value;
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        value = value.substr(1, value.size() - 2);
    if (equalsNoCaseAscii(name, "AppName")) s.name = value;
    if (equalsNoCaseAscii(name, "Exe")) s.exe = value;
    if (equalsNoCaseAscii(name, "StartDir")) s.startDir = value;
}

// The CRC-32 of zlib and PNG (reflected, polynomial 0xEDB88320).
std::uint32_t crc32Of(std::string_view bytes) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (const char c : bytes) {
        crc ^= static_cast<unsigned char>(c);
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

}  // namespace

std::uint32_t steamShortcutId(std::string_view exeAsStored, std::string_view appName) {
    return crc32Of(std::string(exeAsStored) + std::string(appName)) | 0x80000000u;
}

std::vector<SteamShortcut> steamShortcuts(std::string_view vdf) {
    // Each field is a type byte and a NUL-ended name, then its value: 0x00 opens a map, 0x01 a
    // NUL-ended text, 0x02 a 32-bit number, 0x07 a 64-bit one, 0x08 closes the map. The top
    // map "shortcuts" holds a map per shortcut; anything else ends the reading. One pass, with
    // no recursion, so no nesting of maps holds it.
    std::vector<SteamShortcut> shortcuts;
    SteamShortcut current;
    std::string exeAsStored;
    const auto finish = [&] {
        if (current.appId == 0 && !exeAsStored.empty())
            current.appId = steamShortcutId(exeAsStored, current.name);
        shortcuts.push_back(std::exchange(current, {}));
        exeAsStored.clear();
    };
    int depth = 0;
    std::size_t i = 0;
    const auto text = [&](std::string_view& out) {
        const std::size_t end = vdf.find('\0', i);
        if (end == vdf.npos) return false;
        out = vdf.substr(i, end - i);
        i = end + 1;
        return true;
    };
    bool damaged = false;
    while (i < vdf.size() && !damaged) {
        const char type = vdf[i++];
        if (type == '\x08') {
            if (depth == 2) finish();
            if (--depth <= 0) return shortcuts;
            continue;
        }
        std::string_view name, value;
        damaged = !text(name);  // cut within a field's name
        if (damaged) break;
        if (type == '\x00') {
            ++depth;
        } else if (type == '\x01') {
            damaged = !text(value);
            if (!damaged && depth == 2) setShortcutField(current, exeAsStored, name, value);
        } else if (type == '\x02' && i + 4 <= vdf.size()) {
            std::uint32_t n = 0;
            for (int b = 3; b >= 0; --b) n = n << 8 | static_cast<unsigned char>(vdf[i + b]);
            if (depth == 2 && equalsNoCaseAscii(name, "appid")) current.appId = n;
            i += 4;
        } else if (type == '\x07' && i + 8 <= vdf.size()) {
            i += 8;
        } else {
            damaged = true;
        }
    }
    // A file cut short at the end of a field of a shortcut, with none of its own maps open:
    // every field read whole, only the closing bytes missing. The shortcut counts when it
    // names its program.
    if (!damaged && i == vdf.size() && depth == 2 && !current.exe.empty()) finish();
    return shortcuts;
}

}  // namespace qv
