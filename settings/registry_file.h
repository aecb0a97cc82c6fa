#pragma once

#include <cerrno>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/result.h"

namespace qv {

class FileSystem;

enum RegType : std::uint32_t {
    REG_SZ_TYPE = 1,
    REG_EXPAND_SZ_TYPE = 2,
    REG_BINARY_TYPE = 3,
    REG_DWORD_TYPE = 4,
    REG_MULTI_SZ_TYPE = 7,
};

// A value as stored: its type and its raw bytes (REG_SZ with or without the final NUL,
// REG_DWORD as 4 little-endian bytes).
struct RegValue {
    std::uint32_t type = REG_SZ_TYPE;
    std::string data;
};

// The registry store: a REGEDIT4-format text file shared by both programs.
// $QUORVEL_REGISTRY when set, else $XDG_CONFIG_HOME/Quorvel/registry.reg
// (~/.config/Quorvel/registry.reg).
std::string defaultRegistryPath();

// Hive names as they appear in the file: 0x80000002 -> "HKEY_LOCAL_MACHINE", ...
std::string hiveName(std::int32_t rootKey);

// The code of a write refused because the store is there but cannot be read as one (unreadable,
// not a plain file, UTF-16 or other data, a link to nothing): its text says why.
constexpr int kStoreNotWritten = EILSEQ;

// Key paths and value names match without regard to case. Every call opens the file, works
// under an exclusive lock (flock on a side lock file) and, for a change, replaces the file
// atomically; nothing stays open between calls. A damaged or hand-edited REGEDIT4 file is read
// as far as it makes sense and the next write keeps what could be read; a file that is no
// REGEDIT4 text is never written (see readRegistryFile). A link is written through: its target
// is replaced in the target's folder, where the lock file and the clean-up of temporary files
// left by a killed write also go.
class RegistryFile {
  public:
    // `fs` carries the reads and writes of the store (tests inject failures through it); the
    // real file system when null. The side lock file is always the real one.
    explicit RegistryFile(std::string path = defaultRegistryPath(), FileSystem* fs = nullptr);

    const std::string& path() const { return path_; }

    // nullopt when the key or value does not exist; status carries a failure to read.
    Result<std::optional<RegValue>> getValue(std::int32_t rootKey, const std::string& keyPath,
                                             const std::string& name) const;
    Result<bool> keyExists(std::int32_t rootKey, const std::string& keyPath) const;

    // Creates the key and its missing parents.
    Status setValue(std::int32_t rootKey, const std::string& keyPath, const std::string& name,
                    const RegValue& value);
    // Every value in one replacement of the file.
    Status setValues(std::int32_t rootKey, const std::string& keyPath,
                     const std::vector<std::pair<std::string, RegValue>>& values);
    Status createKey(std::int32_t rootKey, const std::string& keyPath);

  private:
    std::string path_;
    FileSystem* fs_;
};

}  // namespace qv
