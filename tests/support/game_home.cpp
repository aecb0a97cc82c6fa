#include "tests/support/game_home.h"

#include <filesystem>

#include "tests/support/temp_dir.h"

namespace qv::test {

void put(const std::string& path, const std::string& text) {
    makeDirs(std::filesystem::path(path).parent_path().string());
    writeFile(path, text);
}

void game(const std::string& ini, const std::string& cachePath, const std::string& cacheDir,
          unsigned n) {
    put(ini, "[Core.System]\r\nPurgeCacheDays=30\r\nCachePath=" + cachePath + "\r\n");
    std::string index = "[Cache]\r\n";
    for (unsigned i = 0; i < n; ++i) {
        index += guidOf(i) + "=Pkg" + std::to_string(i) + ".utx\r\n";
        put(cacheDir + "/" + guidOf(i) + ".uxx", "package");
    }
    // A line whose cache file is gone is no package.
    put(cacheDir + "/cache.ini", index + guidOf(n) + "=Gone.utx\r\n");
}

void prefix(const std::string& pfx, const std::string& key, const std::string& folder,
            const std::string& drive, const std::string& target) {
    put(pfx + "/system.reg", "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n[" +
                                 key + "] 1700000000\n#time=1d9e5c1a2b3c4d5\n\"Folder\"=\"" +
                                 folder + "\"\n");
    makeDirs(pfx + "/dosdevices");
    std::filesystem::create_directory_symlink(target, pfx + "/dosdevices/" + drive);
}

std::string withHome(std::string text, const std::string& home) {
    for (std::size_t at; (at = text.find('@')) != std::string::npos;) text.replace(at, 1, home);
    return text;
}

std::string makeGameHome(const std::string& dir) {
    const std::string h = std::filesystem::canonical(dir).string();
    const std::string key = "Software\\\\Unreal Technology\\\\Installed Apps\\\\UnrealTournament";
    put(h + "/.local/share/OldUnreal/UnrealTournament/System64/ut-bin-amd64", "");
    game(h + "/.utpg/System/UnrealTournament.ini", "../Cache", h + "/.utpg/Cache", 3);
    const std::string cafe = h + "/.wine/drive_c/games/UT Caf\xc3\xa9";  // found as C:\Games\...
    prefix(h + "/.wine", key, "C:\\\\Games\\\\UT Caf\\x00e9", "c:", "../drive_c");
    game(cafe + "/System/UnrealTournament.ini", "..\\Cache", cafe + "/Cache", 5);
    prefix(h + "/.local/share/wineprefixes/ut64", "Software\\\\Wow6432Node" + key.substr(8),
           "D:\\\\UT\\\\", "d:", h + "/disk_d");
    game(h + "/disk_d/UT/System/UnrealTournament.ini", "..\\Old", h + "/disk_d/UT/Old", 7);
    game(h + "/disk_d/UT/System64/UnrealTournament.ini", "..\\Cache", h + "/disk_d/UT/Cache", 1);
    prefix(h + "/.local/share/wineprefixes/broken", key, "E:\\\\UT", "e:", h + "/nowhere");
    put(h + "/.local/games/ut/Maps/DM-Deck16][.unr", "");  // no game files
    put(h + "/.local/share/Steam/steamapps/libraryfolders.vdf",
        withHome(R"("libraryfolders" { "0" { "path" "@/.local/share/Steam" "label" "" }
            "1" { "path" "@/lib2" "label" "say \"hi\"" "apps" { "13240" "1" } } })",
                 h));
    makeDirs(h + "/.steam");  // ~/.steam/steam: the same Steam again
    std::filesystem::create_directory_symlink(h + "/.local/share/Steam", h + "/.steam/steam");
    const std::string steamUt = h + "/lib2/steamapps/common/Unreal Tournament";
    game(steamUt + "/System/UnrealTournament.ini", "..\\Cache", steamUt + "/Cache", 2);
    prefix(h + "/lib2/steamapps/compatdata/13240/pfx", key, "C:\\\\UT",
           "z:", "/");  // C: is drive_c
    put(h + "/lib2/steamapps/compatdata/13240/pfx/drive_c/UT/System/Botpack.u", "");
    return h;
}

std::string expectedListing(const std::string& home) {
    const std::string text =
        "@/.wine/drive_c/games/UT Caf\xc3\xa9\tWine prefix ~/.wine\t"
        "@/.wine/drive_c/games/UT Caf\xc3\xa9/Cache\t5\n"
        "@/.local/share/OldUnreal/UnrealTournament\tnative install\t@/.utpg/Cache\t3\n"
        "@/lib2/steamapps/common/Unreal Tournament\tSteam library ~/lib2\t"
        "@/lib2/steamapps/common/Unreal Tournament/Cache\t2\n"
        "@/disk_d/UT\tWine prefix ~/.local/share/wineprefixes/ut64\t@/disk_d/UT/Cache\t1\n"
        "@/lib2/steamapps/compatdata/13240/pfx/drive_c/UT\t"
        "Proton prefix ~/lib2/steamapps/compatdata/13240/pfx\t-\t0\n";
    return withHome(text, home);
}

}  // namespace qv::test
