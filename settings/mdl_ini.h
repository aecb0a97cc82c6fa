#pragma once

#include <string>

namespace qv {

class Dialogs;
class FileSystem;

// Profile-file access with the semantics of the Windows profile functions: section and key
// names match without regard to case; a missing file, section or key gives `def`; a value is
// trimmed of spaces and one pair of enclosing quotes, and cut to 255 characters. A write keeps
// every other byte of the file and replaces it atomically. On an unexpected failure the routine
// shows "Error: N. description" titled with its own name through `dialogs` (when given) and
// returns "" / false.
std::string INIGetSettingString(const std::string& section, const std::string& key,
                                const std::string& fileName, const std::string& def,
                                Dialogs* dialogs = nullptr, FileSystem* fs = nullptr);

bool INIWriteSetting(const std::string& section, const std::string& key, const std::string& value,
                     const std::string& fileName, Dialogs* dialogs = nullptr,
                     FileSystem* fs = nullptr);

}  // namespace qv
