#include "settings/cls_registry.h"

#include <cerrno>
#include <new>
#include <utility>

#include "platform/dialogs.h"

namespace qv {

namespace {

// The failures the registry itself reports by a code (no key, no access, read-only medium):
// the callers treat them as "nothing there" or "not written". Anything else is unexpected.
bool isRegistryFailure(const Status& s) {
    switch (s.code) {
        case ENOENT:
        case ENOTDIR:
        case EACCES:
        case EPERM:
        case EROFS:
        case EBADF:
        case EINVAL:  // a key path the registry refuses
            return true;
        default:
            return false;
    }
}

}  // namespace

clsRegistry::clsRegistry(Dialogs* dialogs, std::string storePath, FileSystem* fs)
    : clsRegistry(dialogs, openRegistryStore(storePath, fs)) {}

clsRegistry::clsRegistry(Dialogs* dialogs, std::shared_ptr<RegistryStore> store)
    : dialogs_(dialogs), store_(std::move(store)) {}

std::string clsRegistry::keyPath() const {
    std::string path = mainBranch_ + "\\" + regBase_ + "\\" + program_ + "\\" + section_;
    if (path.back() == '\\') path.pop_back();
    return path;
}

void clsRegistry::showError(const char* routine, const Status& s) {
    if (dialogs_) dialogs_->message(routine, "Error: " + std::to_string(s.code) + ". " + s.text);
}

std::string clsRegistry::ReadEntry(const std::string& strEntry, const std::string& strDefault) {
    try {
        const KeyValue v = GetKeyValue(rootKey_, keyPath(), strEntry);
        std::string text;
        if (v.kind == KeyValue::String) text = v.text;
        if (v.kind == KeyValue::Integer) text = std::to_string(v.number);
        return text.empty() ? strDefault : text;
    } catch (const std::bad_alloc&) {
        showError("ReadEntry", Status::fromErrno(ENOMEM));
    } catch (const std::exception& e) {
        showError("ReadEntry", Status::failure(e.what()));
    }
    return strDefault;
}

bool clsRegistry::WriteEntry(const std::string& strEntry, const std::string& strValue) {
    return WriteEntries({{strEntry, strValue}});
}

bool clsRegistry::WriteEntries(const Entries& entries) {
    try {
        return SetKeyValues(rootKey_, keyPath(), entries, REG_SZ_TYPE);
    } catch (const std::bad_alloc&) {
        showError("WriteEntry", lastWrite_ = Status::fromErrno(ENOMEM));
    } catch (const std::exception& e) {
        showError("WriteEntry", lastWrite_ = Status::failure(e.what()));
    }
    return false;
}

clsRegistry::KeyValue clsRegistry::GetKeyValue(std::int32_t root, const std::string& path,
                                               const std::string& name) {
    KeyValue result;
    Result<std::optional<RegValue>> stored = store_->getValue(root, path, name);
    if (!stored) {
        if (!isRegistryFailure(stored.status)) showError("GetKeyValue", stored.status);
        return result;
    }
    if (!stored.value) return result;
    const RegValue& v = *stored.value;
    if (v.type == REG_SZ_TYPE) {
        result.kind = KeyValue::String;
        result.text = v.data;
        // The stored bytes may or may not end in the terminating NUL; only that one goes.
        if (!result.text.empty() && result.text.back() == '\0') result.text.pop_back();
    } else if (v.type == REG_DWORD_TYPE && v.data.size() == 4) {
        std::uint32_t n = 0;
        for (int i = 3; i >= 0; --i) n = n * 256 + static_cast<unsigned char>(v.data[i]);
        result.kind = KeyValue::Integer;
        result.number = static_cast<std::int32_t>(n);
    }
    return result;
}

bool clsRegistry::SetKeyValues(std::int32_t root, const std::string& path, const Entries& entries,
                               std::uint32_t type) {
    std::vector<std::pair<std::string, RegValue>> stored;
    for (const auto& [name, value] : entries)
        stored.emplace_back(name, RegValue{type, value + '\0'});
    Status s = store_->setValues(root, path, stored);
    lastWrite_ = s;
    if (!s && !isRegistryFailure(s)) showError("SetKeyValue", s);
    return s.ok();
}

clsRegistry clsRegistry::gameKey(Dialogs* dialogs, std::string storePath) {
    clsRegistry r(dialogs, std::move(storePath));
    r.setMainBranch("Software");
    r.setRegBase("Unreal Technology\\Installed Apps");
    r.setProgram("UnrealTournament");
    r.setSection("");
    return r;
}

clsRegistry clsRegistry::programKey(Dialogs* dialogs, std::string storePath) {
    clsRegistry r(dialogs, std::move(storePath));
    r.setMainBranch("Software");
    r.setRegBase("Velmora");
    r.setProgram("Quorvel2");
    r.setSection("");
    return r;
}

}  // namespace qv
