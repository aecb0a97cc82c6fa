#pragma once

#include <string>

#include "platform/filesystem.h"

namespace qv {

// Quorvel.ini read once: a run or a purge reads several keys, and all of them must come from
// the same reading. A read that fails half way through would otherwise send packages to
// folders formed from empty values.
class SettingsSnapshot final {
  public:
    SettingsSnapshot(FileSystem& fs, std::string iniPath);

    // False when the file exists but could not be read; `failure()` then says why.
    bool ok() const { return ok_; }
    const std::string& failure() const { return failure_; }

    // [Dirs] key, default "".
    std::string dirs(const std::string& key);

    FileSystem& fileSystem() { return fs_; }

  private:
    class View;
    FileSystem& fs_;
    std::string iniPath_;
    Result<std::string> content_;
    bool ok_ = false;  // set once the file was read, or found missing
    std::string failure_;
};

}  // namespace qv
