#include "settings/wine_registry.h"

#include <algorithm>
#include <optional>
#include <unordered_map>

#include "platform/ascii.h"
#include "platform/utf16_text.h"

namespace qv {

namespace {

// The line that starts at `pos`, without its line end; `pos` moves to the next one.
std::string_view nextLine(std::string_view text, std::size_t& pos) {
    const std::size_t end = text.find('\n', pos);
    std::string_view line = text.substr(pos, end == std::string_view::npos ? text.npos : end - pos);
    pos = end == std::string_view::npos ? text.size() : end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
}

// Wine's escaped text from s[0] up to the first unescaped `stop`, as UTF-8: \xH to \xHHHH are
// UTF-16 units, \NNN octal ones, \a \b \t \n \v \f \r \e control characters, and a backslash
// before any other character stands for that character. Bytes above 0x7f (never written by
// Wine, but a hand-edited file may hold them) pass through. On success `s` is left after the
// stop character; nullopt when there is none.
std::optional<std::string> unescape(std::string_view& s, char stop) {
    std::string out;
    Utf16Decoder units(out);
    std::size_t i = 0;
    while (i < s.size() && s[i] != stop) {
        const char c = s[i++];
        if (c != '\\' || i >= s.size()) {
            units.finish();
            out += c;
            continue;
        }
        const char e = s[i++];
        std::uint32_t unit = 0;
        if (e == 'x' && i < s.size() && hexDigitValue(s[i]) >= 0) {
            for (int n = 0; n < 4 && i < s.size() && hexDigitValue(s[i]) >= 0; ++n)
                unit = unit * 16 + static_cast<std::uint32_t>(hexDigitValue(s[i++]));
        } else if (e >= '0' && e <= '7') {
            unit = static_cast<std::uint32_t>(e - '0');
            for (int n = 1; n < 3 && i < s.size() && s[i] >= '0' && s[i] <= '7'; ++n)
                unit = unit * 8 + static_cast<std::uint32_t>(s[i++] - '0');
        } else {
            static constexpr std::string_view kLetters = "abtnvfre", kCodes = "\a\b\t\n\v\f\r\x1b";
            const std::size_t at = kLetters.find(e);
            unit = static_cast<unsigned char>(at == kLetters.npos ? e : kCodes[at]);
        }
        units.add(unit);
    }
    units.finish();
    if (i >= s.size()) return std::nullopt;
    s.remove_prefix(i + 1);
    return out;
}

// "01,ff,2a" as bytes; blanks around the bytes are allowed, and a final comma (where the line
// went on).
std::optional<std::string> hexBytes(std::string_view s) {
    std::string out;
    out.reserve(s.size() / 3 + 1);
    for (s = trimAscii(s); !s.empty(); s = trimAscii(s)) {
        if (s.size() < 2 || hexDigitValue(s[0]) < 0 || hexDigitValue(s[1]) < 0) return std::nullopt;
        out += static_cast<char>(hexDigitValue(s[0]) * 16 + hexDigitValue(s[1]));
        s = trimAscii(s.substr(2));
        if (s.empty()) break;
        if (s.front() != ',') return std::nullopt;
        s.remove_prefix(1);
    }
    return out;
}

// "(N)" after "hex" or "str": the type in hex. `s` is left after it.
std::optional<std::uint32_t> typeInParentheses(std::string_view& s) {
    const std::size_t close = s.find(')');
    if (s.empty() || s.front() != '(' || close == s.npos || close < 2 || close > 9)
        return std::nullopt;
    std::uint32_t type = 0;
    for (char c : s.substr(1, close - 1)) {
        if (hexDigitValue(c) < 0) return std::nullopt;
        type = type * 16 + static_cast<std::uint32_t>(hexDigitValue(c));
    }
    s.remove_prefix(close + 1);
    return type;
}

bool isTextType(std::uint32_t type) {
    return type == REG_SZ_TYPE || type == REG_EXPAND_SZ_TYPE || type == REG_MULTI_SZ_TYPE;
}

class WineReader {
  public:
    WineReader(std::string_view text, const std::vector<std::string>& only,
               const std::vector<std::string>& under)
        : text_(text), left_(only.size()) {
        for (const std::string& name : only)
            wanted_.emplace(lowerAscii(normalKeyName(name)), false);
        for (const std::string& name : under)
            under_.push_back(lowerAscii(normalKeyName(name)) + "\\");
    }

    RegDocument read() {
        std::string hive = "HKEY_LOCAL_MACHINE";
        bool inKeys = false, inWanted = false;
        while (pos_ < text_.size()) {
            const std::string_view line = trimAscii(nextLine(text_, pos_));
            if (line.starts_with("[")) {
                // Every wanted key has been read.
                if (!wanted_.empty() && left_ == 0 && under_.empty()) break;
                inKeys = true;
                inWanted = openKey(hive, line.substr(1));
            } else if (inWanted && (line.starts_with("\"") || line.starts_with("@"))) {
                readValue(line);
            } else if (!inKeys && line.starts_with(";; All keys relative to") &&
                       line.find("\\\\User") != line.npos) {
                hive = "HKEY_CURRENT_USER";
            }
            if (inKeys && !inWanted) skipToNextKey();
        }
        return std::move(doc_);
    }

  private:
    // A key line "[Software\\Wine] 1700000000". False when the key is not one to read.
    bool openKey(const std::string& hive, std::string_view spelled) {
        current_ = npos;
        if (!mayBeWanted(hive, spelled)) return false;
        std::optional<std::string> name = unescape(spelled, ']');
        if (!name) return false;
        const std::string full = normalKeyName(hive + "\\" + *name);
        const std::string folded = lowerAscii(full);
        if (!wanted_.empty() || !under_.empty()) {
            auto it = wanted_.find(folded);
            if (it == wanted_.end()) {
                const auto below = [&](const std::string& top) { return folded.starts_with(top); };
                if (std::none_of(under_.begin(), under_.end(), below)) return false;
            } else {
                if (!it->second) --left_;
                it->second = true;
            }
        }
        auto [at, added] = index_.emplace(folded, doc_.keys.size());
        if (added) doc_.keys.push_back({full, {}});
        current_ = at->second;
        return true;
    }

    // Whether the key spelled so (after its "[") may be one to read, told without decoding it:
    // a name of plain characters and doubled backslashes is compared as the file spells it
    // with the wanted names spelled so; any other escape is decoded to tell. Keeps a large
    // registry's many other keys from costing a decoded copy each.
    bool mayBeWanted(const std::string& hive, std::string_view spelled) {
        if (wanted_.empty() && under_.empty()) return true;
        if (spelledHive_ != hive) spellWanted(hive);
        const std::size_t end = spelled.find(']');
        if (end == spelled.npos) return true;
        const std::string_view raw = spelled.substr(0, end);
        for (std::size_t i = raw.find('\\'); i != raw.npos; i = raw.find('\\', i + 2))
            if (i + 1 >= raw.size() || raw[i + 1] != '\\') return true;
        const auto sameStart = [&](const std::string& name, std::size_t n) {
            return raw.size() >= n && equalsNoCaseAscii(raw.substr(0, n), name.substr(0, n));
        };
        for (const std::string& w : spelledWanted_)
            if (raw.size() == w.size() && sameStart(w, w.size())) return true;
        for (const std::string& u : spelledUnder_)
            if (sameStart(u, u.size())) return true;
        return false;
    }

    // The wanted names below `hive` as its file spells them: relative, backslashes doubled.
    void spellWanted(const std::string& hive) {
        spelledHive_ = hive;
        spelledWanted_.clear();
        spelledUnder_.clear();
        const std::string top = lowerAscii(hive) + "\\";
        const auto spell = [&](const std::string& folded) {
            std::string out;
            for (char c : folded.substr(top.size()))
                out += c == '\\' ? std::string("\\\\") : std::string(1, c);
            return out;
        };
        for (const auto& [name, seen] : wanted_)
            if (name.starts_with(top)) spelledWanted_.push_back(spell(name));
        for (const std::string& name : under_)
            if (name.starts_with(top)) spelledUnder_.push_back(spell(name));
    }

    // Past every line up to the next key line (values of a key not read, continuation lines).
    // A key line starts with "[": looking for that character alone is faster than for a line
    // end followed by it, as line ends are many times more frequent.
    void skipToNextKey() {
        if (pos_ >= text_.size() || text_[pos_] == '[') return;
        for (std::size_t from = pos_;; from = pos_ + 1) {
            pos_ = text_.find('[', from);
            if (pos_ == text_.npos) {
                pos_ = text_.size();
                return;
            }
            if (text_[pos_ - 1] == '\n') return;
        }
    }

    struct Data {
        RegValue value;
        bool fromText = false;  // spelled as a quoted text, not as bytes
    };

    void readValue(std::string_view line) {
        std::string name;
        if (line.front() == '@') {
            line.remove_prefix(1);
        } else {
            line.remove_prefix(1);
            std::optional<std::string> quoted = unescape(line, '"');
            if (!quoted) return;
            name = std::move(*quoted);
        }
        line = trimAscii(line);
        if (line.empty() || line.front() != '=') return;
        std::optional<Data> value = readData(trimAscii(line.substr(1)));
        if (!value || current_ == npos) return;
        if (isTextType(value->value.type) && !value->fromText)
            value->value.data = utf16ToUtf8(value->value.data, true);  // as Windows keeps it
        RegKey& key = doc_.keys[current_];
        if (RegValue* existing = key.find(name))
            *existing = std::move(value->value);
        else
            key.values.emplace_back(std::move(name), std::move(value->value));
    }

    std::optional<Data> readData(std::string_view data) {
        std::uint32_t type = REG_SZ_TYPE;
        if (data.starts_with("str")) {
            data.remove_prefix(3);
            std::optional<std::uint32_t> t = typeInParentheses(data);
            if (!t || !data.starts_with(":")) return std::nullopt;
            type = *t;
            data.remove_prefix(1);
        }
        if (data.starts_with("\"")) {
            data.remove_prefix(1);
            std::optional<std::string> text = unescape(data, '"');
            if (!text) return std::nullopt;
            return Data{{type, *text + '\0'}, true};
        }
        if (data.starts_with("dword:")) {
            std::uint32_t n = 0;
            const std::string_view d = trimAscii(data.substr(6));
            if (d.empty() || d.size() > 8) return std::nullopt;
            for (char c : d) {
                if (hexDigitValue(c) < 0) return std::nullopt;
                n = n * 16 + static_cast<std::uint32_t>(hexDigitValue(c));
            }
            std::string bytes;
            for (int i = 0; i < 4; ++i) bytes += static_cast<char>((n >> (8 * i)) & 0xff);
            return Data{{REG_DWORD_TYPE, bytes}, false};
        }
        if (!data.starts_with("hex")) return std::nullopt;
        data.remove_prefix(3);
        type = REG_BINARY_TYPE;
        if (data.starts_with("(")) {
            std::optional<std::uint32_t> t = typeInParentheses(data);
            if (!t) return std::nullopt;
            type = *t;
        }
        if (!data.starts_with(":")) return std::nullopt;
        std::string spelled(data.substr(1));
        // Long data goes on over (indented) lines of bytes, each but the last ending in a
        // backslash; a key or value line after a cut-off value is never taken as more bytes.
        while (!spelled.empty() && spelled.back() == '\\') {
            spelled.pop_back();
            std::size_t next = pos_;
            const std::string_view more = trimAscii(nextLine(text_, next));
            if (more.empty() || hexDigitValue(more.front()) < 0) break;
            spelled += more;
            pos_ = next;
        }
        std::optional<std::string> bytes = hexBytes(spelled);
        if (!bytes) return std::nullopt;
        return Data{{type, std::move(*bytes)}, false};
    }

    static constexpr std::size_t npos = static_cast<std::size_t>(-1);
    std::string_view text_;
    std::size_t pos_ = 0;
    RegDocument doc_;
    std::unordered_map<std::string, std::size_t> index_;  // folded key name -> doc_.keys slot
    std::unordered_map<std::string, bool> wanted_;        // folded key name -> read yet
    std::string spelledHive_;                             // the hive spelledWanted_ is for
    std::vector<std::string> spelledWanted_, spelledUnder_;
    std::vector<std::string> under_;  // folded key names, each with a backslash after
    std::size_t left_ = 0;            // wanted keys not read yet
    std::size_t current_ = npos;
};

}  // namespace

RegDocument parseWineRegistryText(std::string_view text, const std::vector<std::string>& only,
                                  const std::vector<std::string>& under) {
    return WineReader(text, only, under).read();
}

}  // namespace qv
