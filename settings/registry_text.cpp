#include "settings/registry_text.h"

#include <cstdio>
#include <optional>
#include <unordered_map>

#include "platform/ascii.h"
#include "platform/textfile.h"
#include "platform/utf16_text.h"

namespace qv {

namespace {

bool startsWithNoCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && sameNameNoCase(s.substr(0, prefix.size()), prefix);
}

// A quoted text starting at s[0] == '"', with \\ and \" escapes. On success `s` is left after
// the closing quote.
std::optional<std::string> readQuoted(std::string_view& s) {
    if (s.empty() || s.front() != '"') return std::nullopt;
    std::string out;
    std::size_t i = 1;
    while (i < s.size()) {
        const char c = s[i];
        if (c == '"') {
            s.remove_prefix(i + 1);
            return out;
        }
        if (c == '\\' && i + 1 < s.size() && (s[i + 1] == '\\' || s[i + 1] == '"')) {
            out += s[i + 1];
            i += 2;
            continue;
        }
        out += c;
        ++i;
    }
    return std::nullopt;  // no closing quote: the line was cut short
}

// "01,ff,2a" (blanks allowed around the bytes); empty text is no bytes.
std::optional<std::string> readHexBytes(std::string_view s) {
    std::string out;
    s = trimAscii(s);
    if (s.empty()) return out;
    for (;;) {
        s = trimAscii(s, kBlanks, "");
        if (s.size() < 2) return std::nullopt;
        const int hi = hexDigitValue(s[0]);
        const int lo = hexDigitValue(s[1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        out += static_cast<char>(hi * 16 + lo);
        s = trimAscii(s.substr(2), kBlanks, "");
        if (s.empty()) return out;
        if (s.front() != ',') return std::nullopt;
        s.remove_prefix(1);
    }
}

std::optional<RegValue> readData(std::string_view data) {
    data = trimAscii(data, "", kBlanks);
    if (!data.empty() && data.front() == '"') {
        std::optional<std::string> text = readQuoted(data);
        if (!text || !trimAscii(data, kBlanks, "").empty()) return std::nullopt;
        return RegValue{REG_SZ_TYPE, *text + '\0'};
    }
    if (startsWithNoCase(data, "dword:")) {
        const std::string_view digits = data.substr(6);
        if (digits.empty() || digits.size() > 8) return std::nullopt;
        std::uint32_t n = 0;
        for (char c : digits) {
            const int d = hexDigitValue(c);
            if (d < 0) return std::nullopt;
            n = n * 16 + static_cast<std::uint32_t>(d);
        }
        std::string bytes;
        for (int i = 0; i < 4; ++i) bytes += static_cast<char>((n >> (8 * i)) & 0xff);
        return RegValue{REG_DWORD_TYPE, bytes};
    }
    if (!startsWithNoCase(data, "hex")) return std::nullopt;
    data.remove_prefix(3);
    std::uint32_t type = REG_BINARY_TYPE;
    if (!data.empty() && data.front() == '(') {
        const std::size_t close = data.find(')');
        if (close == std::string_view::npos || close == 1 || close > 9) return std::nullopt;
        type = 0;
        for (char c : data.substr(1, close - 1)) {
            const int d = hexDigitValue(c);
            if (d < 0) return std::nullopt;
            type = type * 16 + static_cast<std::uint32_t>(d);
        }
        data.remove_prefix(close + 1);
    }
    if (data.empty() || data.front() != ':') return std::nullopt;
    std::optional<std::string> bytes = readHexBytes(data.substr(1));
    if (!bytes) return std::nullopt;
    return RegValue{type, *bytes};
}

struct ParsedValue {
    std::string name;
    std::string_view data;
};

// `"Name"=data` or `@=data`.
std::optional<ParsedValue> readValueLine(std::string_view line) {
    ParsedValue v;
    line = trimAscii(line, kBlanks, "");
    if (!line.empty() && line.front() == '@') {
        line.remove_prefix(1);
    } else {
        std::optional<std::string> name = readQuoted(line);
        if (!name) return std::nullopt;
        v.name = std::move(*name);
    }
    line = trimAscii(line, kBlanks, "");
    if (line.empty() || line.front() != '=') return std::nullopt;
    v.data = trimAscii(line.substr(1), kBlanks, "");
    return v;
}

constexpr const char* kHives[] = {
    "HKEY_CLASSES_ROOT",     "HKEY_CURRENT_USER",   "HKEY_LOCAL_MACHINE", "HKEY_USERS",
    "HKEY_PERFORMANCE_DATA", "HKEY_CURRENT_CONFIG", "HKEY_DYN_DATA"};

bool knownHive(std::string_view keyName) {
    const std::size_t slash = keyName.find('\\');
    const std::string_view hive = keyName.substr(0, slash);
    for (const char* h : kHives)
        if (sameNameNoCase(hive, h)) return true;
    return false;
}

std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out + '"';
}

std::string hexList(const std::string& bytes) {
    std::string out;
    char buf[4];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(buf, sizeof buf, "%02x", static_cast<unsigned char>(bytes[i]));
        if (i) out += ',';
        out += buf;
    }
    return out;
}

// A REG_SZ can be written as a quoted text only when its bytes are that text and one final NUL.
bool quotable(const std::string& data) {
    if (data.empty() || data.back() != '\0') return false;
    return data.find_first_of(std::string_view("\0\r\n", 3)) == data.size() - 1;
}

std::string formatData(const RegValue& v) {
    if (v.type == REG_SZ_TYPE && quotable(v.data))
        return quoted(v.data.substr(0, v.data.size() - 1));
    if (v.type == REG_DWORD_TYPE && v.data.size() == 4) {
        std::uint32_t n = 0;
        for (int i = 3; i >= 0; --i) n = n * 256 + static_cast<unsigned char>(v.data[i]);
        char buf[16];
        std::snprintf(buf, sizeof buf, "dword:%08x", n);
        return buf;
    }
    if (v.type == REG_BINARY_TYPE) return "hex:" + hexList(v.data);
    char buf[24];
    std::snprintf(buf, sizeof buf, "hex(%x):", v.type);
    return buf + hexList(v.data);
}

}  // namespace

bool sameNameNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
    return true;
}

std::string fullKeyName(std::int32_t rootKey, const std::string& keyPath) {
    const std::string hive = hiveName(rootKey);
    if (hive.empty()) return {};
    return keyPath.empty() ? hive : hive + "\\" + keyPath;
}

std::string normalKeyName(std::string_view name) {
    std::string out;
    out.reserve(name.size());
    for (char c : name)
        if (c != '\\' || (!out.empty() && out.back() != '\\')) out += c;
    if (!out.empty() && out.back() == '\\') out.pop_back();
    return out;
}

RegValue* RegKey::find(const std::string& valueName) {
    for (auto& [name, value] : values)
        if (sameNameNoCase(name, valueName)) return &value;
    return nullptr;
}

RegKey* RegDocument::find(const std::string& fullName) {
    for (RegKey& k : keys)
        if (sameNameNoCase(k.name, fullName)) return &k;
    return nullptr;
}

RegKey& RegDocument::ensure(const std::string& fullName) {
    if (RegKey* k = find(fullName)) return *k;
    // Parents first: every prefix that ends before a backslash, past the hive itself. A prefix
    // that ends in a backslash (an empty component) is no key of its own.
    const std::size_t hiveEnd = fullName.find('\\');
    if (hiveEnd != std::string::npos) {
        for (std::size_t i = fullName.find('\\', hiveEnd + 1); i != std::string::npos;
             i = fullName.find('\\', i + 1)) {
            const std::string parent = fullName.substr(0, i);
            if (parent.back() == '\\' || find(parent)) continue;
            keys.push_back({parent, {}});
        }
    }
    keys.push_back({fullName, {}});
    return keys.back();
}

RegDocument parseRegistryText(std::string_view text) {
    RegDocument doc;
    const std::vector<std::string_view> lines = splitLineViews(text);
    std::unordered_map<std::string, std::size_t> index;  // folded key name -> doc.keys slot
    RegKey* current = nullptr;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view line = trimAscii(lines[i], "", kBlanks);
        const std::string_view t = trimAscii(line, kBlanks, "");
        if (t.empty() || t.front() == ';') continue;
        if (t.front() == '[') {
            const std::size_t close = t.rfind(']');
            current = nullptr;
            if (close == std::string_view::npos) continue;
            const std::string name = normalKeyName(t.substr(1, close - 1));
            // "[-KEY]" (a deletion in regedit's syntax) and foreign hives are skipped with
            // their values.
            if (!knownHive(name)) continue;
            auto [at, added] = index.emplace(lowerAscii(name), doc.keys.size());
            if (added) doc.keys.push_back({name, {}});
            current = &doc.keys[at->second];
            continue;
        }
        std::optional<ParsedValue> v = readValueLine(line);
        if (!v) continue;
        std::string data(v->data);
        // Long hex data may go on over further lines, each but the last ending in a backslash.
        if (startsWithNoCase(data, "hex")) {
            while (!data.empty() && data.back() == '\\' && i + 1 < lines.size()) {
                data.pop_back();
                data += trimAscii(lines[++i]);
            }
            if (!data.empty() && data.back() == '\\') data.pop_back();
        }
        std::optional<RegValue> value = readData(data);
        if (!value || !current) continue;
        if (RegValue* existing = current->find(v->name))
            *existing = std::move(*value);
        else
            current->values.emplace_back(v->name, std::move(*value));
    }
    return doc;
}

RegFileContent readRegistryFile(std::string_view bytes) {
    RegFileContent content;
    if (bytes.find_first_not_of(" \t\r\n") == std::string_view::npos) {
        content.writable = true;
        return content;
    }
    // UTF-16 is told by its mark or, without one, by a NUL beside the header's first letter.
    std::string decoded;
    bool utf16 = true;
    if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF"))
        decoded = utf16ToUtf8(bytes.substr(2), bytes[0] == '\xFF');
    else if (bytes.size() >= 2 && (bytes[0] == '\0') != (bytes[1] == '\0'))
        decoded = utf16ToUtf8(bytes, bytes[1] == '\0');
    else
        utf16 = false;
    std::string_view text = utf16 ? std::string_view(decoded) : bytes;
    if (!utf16 && text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    const std::string_view header =
        trimAscii(text.substr(0, text.find_first_of("\r\n")), "", kBlanks);
    if (header != "REGEDIT4" && header != "Windows Registry Editor Version 5.00") return content;
    content.doc = parseRegistryText(text);
    content.writable = !utf16;
    return content;
}

std::string formatRegistryText(const RegDocument& doc) {
    std::string out = "REGEDIT4\r\n\r\n";
    for (const RegKey& k : doc.keys) {
        out += "[" + k.name + "]\r\n";
        for (const auto& [name, value] : k.values)
            out +=
                (name.empty() ? std::string("@") : quoted(name)) + "=" + formatData(value) + "\r\n";
        out += "\r\n";
    }
    return out;
}

}  // namespace qv
