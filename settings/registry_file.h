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
#include "settings/registry_store.h"

namespace qv {

class FileSystem;

// Hive names as they appear in the file: 0x80000002 -> "HKEY_LOCAL_MACHINE", ...
std::string hiveName(std::int32_t rootKey);

// The code of a write refused because the store is there but cannot be read as one (unreadable,
// not a plain file, UTF-16 or other data, a link to nothing): its text says why.
constexpr int kStoreNotWritten = EILSEQ;

// The registry store kept in a REGEDIT4-format text file. Every call opens the file, works
// under an exclusive lock (flock on a side lock file) and, for a change, replaces the file
// atomically; nothing stays open between calls. A damaged or hand-edited REGEDIT4 file is read
// as far as it makes sense and the next write keeps what could be read; a file that is no
// REGEDIT4 text is never written (see readRegistryFile). A link is written through: its target
// is replaced in the target's folder, where the lock file and the clean-up of temporary files
// left by a killed write also go.
class RegistryFile final : public RegistryStore {
  public:
    // `fs` carries the reads and writes of the store (tests inject failures through it); the
    // real file system when null. The side lock file is always the real one.
    explicit RegistryFile(std::string path = defaultRegistryPath(), FileSystem* fs = nullptr);

    const std::string& path() const { return path_; }

    Result<std::optional<RegValue>> getValue(std::int32_t rootKey, const std::string& keyPath,
                                             const std::string& name) const override;
    Result<bool> keyExists(std::int32_t rootKey, const std::string& keyPath) const override;

    // Every value in one replacement of the file.
    Status setValues(std::int32_t rootKey, const std::string& keyPath,
                     const std::vector<std::pair<std::string, RegValue>>& values) override;
    Status createKey(std::int32_t rootKey, const std::string& keyPath) override;

  private:
    std::string path_;
    FileSystem* fs_;
};

}  // namespace qv
