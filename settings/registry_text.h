#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "settings/registry_file.h"

namespace qv {

// One key of the store: its full name as the file spells it ("HKEY_LOCAL_MACHINE\Software\X")
// and its values in file order.
struct RegKey {
    std::string name;
    std::vector<std::pair<std::string, RegValue>> values;

    RegValue* find(const std::string& valueName);
};

// The whole store in memory, keys in file order.
struct RegDocument {
    std::vector<RegKey> keys;

    RegKey* find(const std::string& fullName);
    // The key, created at the end (after its missing parents) when it is not there.
    RegKey& ensure(const std::string& fullName);
};

// ASCII comparison without regard to case, as key paths and value names match.
bool sameNameNoCase(std::string_view a, std::string_view b);

// "HKEY_LOCAL_MACHINE\" + keyPath; empty when the hive is not known.
std::string fullKeyName(std::int32_t rootKey, const std::string& keyPath);

// A key name with every run of backslashes made one and no backslash at its end: the name a
// doubled or trailing backslash stands for.
std::string normalKeyName(std::string_view name);

// Reads REGEDIT4 text as far as it makes sense: unknown lines, values that cannot be decoded
// and values outside a known key are skipped.
RegDocument parseRegistryText(std::string_view text);

// A store file's bytes as the store reads them. `writable` when a write may replace the file
// without losing anything it holds: no bytes or only blanks and line ends, or 8-bit text whose
// first line is "REGEDIT4" or "Windows Registry Editor Version 5.00" (after a UTF-8 mark).
// UTF-16 text with such a first line, with or without its mark, is read but not writable (the
// write would lose its encoding); anything else reads as no values and is not writable.
struct RegFileContent {
    RegDocument doc;
    bool writable = false;
};
RegFileContent readRegistryFile(std::string_view bytes);

// REGEDIT4 text with CR LF line ends.
std::string formatRegistryText(const RegDocument& doc);

}  // namespace qv
