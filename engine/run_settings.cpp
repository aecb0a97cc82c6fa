#include "engine/run_settings.h"

#include <utility>

#include "settings/mdlINI.h"

namespace qv {

// Hands the profile reader the bytes read once; every other call goes to the real file system.
class SettingsSnapshot::View final : public FileSystem {
  public:
    View(FileSystem& inner, const std::string& path, const Result<std::string>& content)
        : inner_(inner), path_(path), content_(content) {}

    bool isFile(const std::string& p) override { return inner_.isFile(p); }
    bool isFolder(const std::string& p) override { return inner_.isFolder(p); }
    bool exists(const std::string& p) override { return inner_.exists(p); }
    Result<std::string> readAll(const std::string& p) override {
        return p == path_ ? content_ : inner_.readAll(p);
    }
    Status writeAtomic(const std::string& p, std::string_view d) override {
        return inner_.writeAtomic(p, d);
    }
    Result<std::unique_ptr<OutFile>> createFile(const std::string& p) override {
        return inner_.createFile(p);
    }
    Status appendToFile(const std::string& p, std::string_view d) override {
        return inner_.appendToFile(p, d);
    }
    Status moveNoReplace(const std::string& f, const std::string& t) override {
        return inner_.moveNoReplace(f, t);
    }
    Status renameReplace(const std::string& f, const std::string& t) override {
        return inner_.renameReplace(f, t);
    }
    Status removeFile(const std::string& p) override { return inner_.removeFile(p); }
    Status makeFolder(const std::string& p) override { return inner_.makeFolder(p); }
    Result<std::vector<FileInfo>> listFiles(const std::string& f, const std::string& p) override {
        return inner_.listFiles(f, p);
    }
    std::optional<std::int64_t> modifiedTime(const std::string& p) override {
        return inner_.modifiedTime(p);
    }
    Status makeWritable(const std::string& p) override { return inner_.makeWritable(p); }

  private:
    FileSystem& inner_;
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
