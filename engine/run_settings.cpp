#include "engine/run_settings.h"

#include <utility>

#include "platform/forwarding_filesystem.h"
#include "settings/mdl_ini.h"

namespace qv {

// Hands the profile reader the bytes read once; every other call goes to the real file system.
class SettingsSnapshot::View final : public ForwardingFileSystem {
  public:
    View(FileSystem& inner, const std::string& path, const Result<std::string>& content)
        : ForwardingFileSystem(inner), path_(path), content_(content) {}

    Result<std::string> readAll(const std::string& p) override {
        return p == path_ ? content_ : inner_.readAll(p);
    }

  private:
    const std::string& path_;
    const Result<std::string>& content_;
};

SettingsSnapshot::SettingsSnapshot(FileSystem& fs, std::string iniPath)
    : fs_(fs), iniPath_(std::move(iniPath)) {
    content_ = fs_.readAll(iniPath_);
    // A missing file gives every key its default; a file that is there but unreadable does not.
    if (!content_.ok() && fs_.exists(iniPath_)) {
        ok_ = false;
        failure_ = content_.status.text;
    }
}

std::string SettingsSnapshot::dirs(const std::string& key) {
    View view(fs_, iniPath_, content_);
    return INIGetSettingString("Dirs", key, iniPath_, "", nullptr, &view);
}

}  // namespace qv
