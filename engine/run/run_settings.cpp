#include "engine/run/run_settings.h"

#include <filesystem>
#include <utility>

#include "engine/cache/cache_entry.h"
#include "engine/public_variables.h"
#include "engine/run/run.h"
#include "platform/ascii.h"
#include "platform/forwarding_filesystem.h"
#include "platform/paths.h"
#include "platform/textfile.h"
#include "settings/game_cache.h"
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
    : fs_(fs), iniPath_(std::move(iniPath)), content_(fs_.readAll(iniPath_)) {
    // A missing file gives every key its default; a file that is there but unreadable does not.
    ok_ = content_.ok() || !fs_.exists(iniPath_);
    if (!ok_) failure_ = content_.status.text;
}

std::string SettingsSnapshot::dirs(const std::string& key) {
    View view(fs_, iniPath_, content_);
    return INIGetSettingString("Dirs", key, iniPath_, "", nullptr, &view);
}

std::vector<std::pair<std::string, std::string>> gamePathsOf(std::string_view gameIni,
                                                             const PlacementContext& place) {
    std::vector<std::pair<std::string, std::string>> paths;
    const auto add = [&](std::string folder, std::string extension) {
        for (const auto& p : paths)
            if (p.first == folder && equalsNoCaseAscii(p.second, extension)) return;
        paths.emplace_back(std::move(folder), std::move(extension));
    };
    // [Core.System] Paths=../Maps/*.unr (or Paths[0]=..\Maps\*.unr), relative to System.
    bool inSystem = false;
    for (std::string_view line : splitLineViews(gameIni)) {
        while (!line.empty() && isSpaceAscii(line.back())) line.remove_suffix(1);
        if (line.starts_with('[')) {
            inSystem = equalsNoCaseAscii(line, "[Core.System]");
            continue;
        }
        const std::size_t eq = line.find('=');
        if (!inSystem || eq == std::string_view::npos) continue;
        const std::string_view key = line.substr(0, eq);
        if (!equalsNoCaseAscii(key.substr(0, std::min(key.find('['), key.size())), "Paths"))
            continue;
        const std::string pattern = toNativeSeparators(std::string(line.substr(eq + 1)));
        const std::size_t slash = lastSeparator(pattern);
        const std::string_view file =
            std::string_view(pattern).substr(slash == std::string::npos ? 0 : slash + 1);
        if (!file.starts_with("*.") || file.size() < 3 || file.find('*', 1) != std::string::npos)
            continue;
        std::string folder = slash == std::string::npos ? "" : pattern.substr(0, slash);
        folder = isAbsolutePath(folder) ? folder : joinPath(place.systemDir, folder);
        folder = std::filesystem::path(folder).lexically_normal().string();
        while (folder.size() > 1 && isSeparator(folder.back())) folder.pop_back();
        add(folder, std::string(file.substr(2)));
    }
    // Where Quorvel places packages, which the game's default Paths name.
    add(place.systemDir, "u");
    add(place.mapsDir, "unr");
    add(place.texturesDir, "utx");
    add(place.soundsDir, "uax");
    add(place.musicDir, "umx");
    return paths;
}

// The folders of a run: the cache, the game's type folders from Quorvel.ini, and the folders of
// the chosen mode.
PlacementContext placementFor(const PublicVariables& pv, SettingsSnapshot& settings,
                              const std::string& cacheDir, PlacementMode mode, const Options& o) {
    PlacementContext place;
    place.cacheDir = cacheDir;
    place.cacheExt = cacheExtension(settings.dirs("CacheExt"));
    place.mapsDir = joinPath(pv.GameDir, toNativeSeparators(settings.dirs("Maps")));
    place.texturesDir = joinPath(pv.GameDir, toNativeSeparators(settings.dirs("Textures")));
    place.soundsDir = joinPath(pv.GameDir, toNativeSeparators(settings.dirs("Sounds")));
    place.musicDir = joinPath(pv.GameDir, toNativeSeparators(settings.dirs("Music")));
    place.systemDir = joinPath(pv.GameDir, "System");
    // Only a plain file is read: a FIFO there would never end.
    FileSystem& fs = settings.fileSystem();
    const std::string gameIni = usedGameIniPath(pv.GameDir, fs);
    const Result<std::string> iniText =
        fs.isFile(gameIni) ? fs.readAll(gameIni)
                           : Result<std::string>::fail(Status::failure("no plain file there"));
    place.gamePaths = gamePathsOf(iniText.ok() ? iniText.value : std::string(), place);
    place.mode = mode;
    place.moveDirText = toNativeSeparators(o.MoveDirText);
    place.moveDir2Text = toNativeSeparators(o.MoveDir2Text);
    return place;
}

}  // namespace qv
