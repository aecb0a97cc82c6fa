#pragma once

// Fuzz target body: the registry file's REGEDIT4 text. Whatever the parser makes of a file,
// writing that out and reading it again must give the same keys and values.

#include <string>
#include <string_view>

#include "settings/registry_text.h"
#include "tests/fuzz/fuzz_support.h"

namespace qv::fuzz {

constexpr std::size_t kRegistryMaxBytes = 64 * 1024;

inline void checkSameDocument(const RegDocument& a, const RegDocument& b) {
    check(a.keys.size() == b.keys.size(), "round trip changed the number of keys");
    for (std::size_t i = 0; i < a.keys.size(); ++i) {
        const RegKey& x = a.keys[i];
        const RegKey& y = b.keys[i];
        if (x.name != y.name) fail("round trip changed key name \"" + x.name + "\"");
        if (x.values.size() != y.values.size())
            fail("round trip changed the number of values of \"" + x.name + "\"");
        for (std::size_t j = 0; j < x.values.size(); ++j) {
            const auto& [nameX, valueX] = x.values[j];
            const auto& [nameY, valueY] = y.values[j];
            if (nameX != nameY) fail("round trip changed value name \"" + nameX + "\"");
            if (valueX.type != valueY.type || valueX.data != valueY.data)
                fail("round trip changed the data of \"" + x.name + "\" \"" + nameX + "\"");
        }
    }
}

inline void registryTarget(std::string_view data) {
    if (data.size() > kRegistryMaxBytes) return;
    const RegDocument first = parseRegistryText(data);
    for (const RegKey& k : first.keys)
        for (std::size_t i = 0; i < k.values.size(); ++i)
            for (std::size_t j = i + 1; j < k.values.size(); ++j)
                check(!sameNameNoCase(k.values[i].first, k.values[j].first),
                      "a key holds one value name twice");
    const std::string text = formatRegistryText(first);
    const RegDocument second = parseRegistryText(text);
    checkSameDocument(first, second);
    check(formatRegistryText(second) == text, "writing the same store twice differs");
}

}  // namespace qv::fuzz
