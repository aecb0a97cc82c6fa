#pragma once

// Fuzz target body: a profile file (UnrealTournament.ini and the like) as the input, read and
// written through the profile routines.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/textfile.h"
#include "settings/mdlINI.h"
#include "tests/fuzz/fuzz_support.h"

namespace qv::fuzz {

constexpr std::size_t kProfileMaxBytes = 64 * 1024;

struct ProfileProbe {
    std::string section;
    std::string key;
};

inline std::string_view trimBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// Section and key names and values as a rough reading of the text finds them: a guide to
// names the file holds, not a second parser to compare with.
inline void harvest(std::string_view text, std::vector<ProfileProbe>& probes,
                    std::vector<std::string>& values) {
    std::string section;
    for (const std::string& line : splitLines(text)) {
        if (probes.size() >= 12) break;
        const std::string_view t = trimBlanks(line);
        if (!t.empty() && t.front() == '[') {
            const std::size_t close = t.find(']');
            if (close != std::string_view::npos) section = std::string(t.substr(1, close - 1));
            continue;
        }
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        probes.push_back({section, std::string(trimBlanks(std::string_view(line).substr(0, eq)))});
        values.emplace_back(trimBlanks(std::string_view(line).substr(eq + 1)));
    }
}

inline bool blank(char c) {
    return c == ' ' || c == '\t';
}

// A name the profile format can hold and find again as written.
inline bool saneName(const std::string& s, bool isKey) {
    if (s.empty() || blank(s.front()) || blank(s.back())) return false;
    if (s.find_first_of("\r\n") != std::string::npos) return false;
    if (isKey) return s.front() != ';' && s.front() != '[' && s.find('=') == std::string::npos;
    return s.find(']') == std::string::npos;
}

inline bool saneValue(const std::string& v) {
    if (v.size() > 255 || v.find_first_of("\r\n") != std::string::npos) return false;
    if (!v.empty() && (blank(v.front()) || blank(v.back()))) return false;
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        return false;
    return true;
}

inline bool sameNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

inline void profileTarget(std::string_view data) {
    if (data.size() > kProfileMaxBytes) return;
    static const std::string path = scratchFolder() + "/profile.ini";
    putFile(path, data);

    std::vector<ProfileProbe> probes = {{"Core.System", "PurgeCacheDays"},
                                        {"Engine.Engine", "GameRenderDevice"},
                                        {"URL", "Map"},
                                        {"Dirs", "CachePath"}};
    std::vector<std::string> values = {"30", "OpenGLDrv.OpenGLRenderDevice", "", "a=b;c"};
    harvest(data, probes, values);

    const std::string def = std::string(1, '\x01') + "default";
    std::vector<std::string> read;
    for (const ProfileProbe& p : probes) {
        QuietDialogs dialogs;
        std::string v = INIGetSettingString(p.section, p.key, path, def, &dialogs);
        check(dialogs.messages == 0, "reading a readable file showed an error");
        check(v.size() <= 255, "a value longer than 255 characters");
        read.push_back(std::move(v));
    }

    // The input's length picks which name to set and which value to give it.
    const ProfileProbe target = probes[data.size() % probes.size()];
    const std::string value = values[(data.size() / probes.size()) % values.size()];
    QuietDialogs dialogs;
    const bool written = INIWriteSetting(target.section, target.key, value, path, &dialogs);
    const std::string after = getFile(path);

    const bool refused = target.section.find_first_of("\r\n]") != std::string::npos ||
                         target.key.find_first_of("\r\n=") != std::string::npos ||
                         value.find_first_of("\r\n") != std::string::npos;
    if (refused) {
        check(!written && dialogs.messages == 1, "an unsafe setting was written silently");
        check(after == data, "a refused write changed the file");
        return;
    }
    check(written && dialogs.messages == 0, "a write to a writable file failed");
    if (!saneName(target.section, false) || !saneName(target.key, true) || !saneValue(value))
        return;

    check(INIGetSettingString(target.section, target.key, path, def) == value,
          "the value written does not read back");
    for (std::size_t i = 0; i < probes.size(); ++i) {
        if (sameNoCase(probes[i].section, target.section) && sameNoCase(probes[i].key, target.key))
            continue;
        check(INIGetSettingString(probes[i].section, probes[i].key, path, def) == read[i],
              "writing one key changed another");
    }
}

}  // namespace qv::fuzz
