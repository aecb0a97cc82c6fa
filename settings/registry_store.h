#pragma once

#include <cstdint>
#include <memory>
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

// Where both programs keep their settings and the game's folder, in the registry's shape: keys
// under a hive (HKEY_LOCAL_MACHINE_ROOT, ...) named by a path of names between backslashes,
// each holding named values of a type. Key paths and value names match without regard to case.
// Every call stands on its own; nothing stays open between calls. RegistryFile keeps the store
// in a REGEDIT4 text file; the system's own registry can stand behind this interface as well.
class RegistryStore {
  public:
    virtual ~RegistryStore() = default;

    // nullopt when the key or value does not exist; status carries a failure to read.
    virtual Result<std::optional<RegValue>> getValue(std::int32_t rootKey,
                                                     const std::string& keyPath,
                                                     const std::string& name) const = 0;
    virtual Result<bool> keyExists(std::int32_t rootKey, const std::string& keyPath) const = 0;

    // Every value in one change of the store, creating the key and its missing parents.
    virtual Status setValues(std::int32_t rootKey, const std::string& keyPath,
                             const std::vector<std::pair<std::string, RegValue>>& values) = 0;
    virtual Status createKey(std::int32_t rootKey, const std::string& keyPath) = 0;

    // One value, as setValues stores it.
    Status setValue(std::int32_t rootKey, const std::string& keyPath, const std::string& name,
                    const RegValue& value) {
        return setValues(rootKey, keyPath, {{name, value}});
    }
};

// Where the store is: $QUORVEL_REGISTRY when set, else $XDG_CONFIG_HOME/Quorvel/registry.reg
// (~/.config/Quorvel/registry.reg).
std::string defaultRegistryPath();

// The store both programs share, at `location` (a RegistryFile there); its reads and writes go
// through `fs`, the real file system when null.
std::shared_ptr<RegistryStore> openRegistryStore(
    const std::string& location = defaultRegistryPath(), FileSystem* fs = nullptr);

}  // namespace qv
