#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "settings/registry_store.h"

namespace qv {

class Dialogs;

constexpr std::int32_t HKEY_LOCAL_MACHINE_ROOT = static_cast<std::int32_t>(0x80000002u);

// Reads and writes string values of one key of the registry store. The key path is
// MainBranch\RegBase\Program\Section with one trailing backslash removed.
class clsRegistry {
  public:
    // The store at `storePath` (see openRegistryStore), `fs` handed to it; the real file system
    // when null.
    explicit clsRegistry(Dialogs* dialogs = nullptr, std::string storePath = defaultRegistryPath(),
                         FileSystem* fs = nullptr);
    // Any store.
    clsRegistry(Dialogs* dialogs, std::shared_ptr<RegistryStore> store);

    std::int32_t RootKey() const { return rootKey_; }
    void setRootKey(std::int32_t v) { rootKey_ = v; }
    const std::string& MainBranch() const { return mainBranch_; }
    void setMainBranch(std::string v) { mainBranch_ = std::move(v); }
    const std::string& Program() const { return program_; }
    void setProgram(std::string v) { program_ = std::move(v); }
    const std::string& RegBase() const { return regBase_; }
    void setRegBase(std::string v) { regBase_ = std::move(v); }
    const std::string& Section() const { return section_; }
    void setSection(std::string v) { section_ = std::move(v); }

    std::string keyPath() const;

    // The value's text (REG_SZ as stored, without one final NUL; REG_DWORD in decimal), or
    // `strDefault` when it is missing, empty or of another type.
    std::string ReadEntry(const std::string& strEntry, const std::string& strDefault);
    // Stores a REG_SZ value with a final NUL, creating the key when needed. Returns whether the
    // store was written.
    bool WriteEntry(const std::string& strEntry, const std::string& strValue);
    // Stores each (entry, value) as WriteEntry does, all in one write of the store.
    using Entries = std::vector<std::pair<std::string, std::string>>;
    bool WriteEntries(const Entries& entries);
    // Why the last write failed (success when it did not; a failure before any write).
    const Status& lastWriteStatus() const { return lastWrite_; }

    // The game's key and the program's key as both programs use them.
    static clsRegistry gameKey(Dialogs* dialogs = nullptr,
                               std::string storePath = defaultRegistryPath());
    static clsRegistry programKey(Dialogs* dialogs = nullptr,
                                  std::string storePath = defaultRegistryPath());

  private:
    struct KeyValue {
        enum Kind { Empty, String, Integer } kind = Empty;
        std::string text;
        std::int32_t number = 0;
    };
    KeyValue GetKeyValue(std::int32_t root, const std::string& keyPath, const std::string& name);
    bool SetKeyValues(std::int32_t root, const std::string& keyPath, const Entries& entries,
                      std::uint32_t type);
    // "Error: N. description" titled with the routine's name, when dialogs were given.
    void showError(const char* routine, const Status& s);

    Dialogs* dialogs_;
    std::shared_ptr<RegistryStore> store_;  // shared by the copies of this key
    Status lastWrite_ = Status::failure("nothing was written yet");
    std::int32_t rootKey_ = HKEY_LOCAL_MACHINE_ROOT;
    std::string mainBranch_ = "SOFTWARE";
    std::string regBase_;
    std::string program_;
    std::string section_ = "Settings";
};

}  // namespace qv
