// Linux only: the game as it lies in a Linux home (Wine prefixes, a FIFO among its files).
#include "settings/game_finder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>

#include "platform/forwarding_filesystem.h"
#include "platform/trace.h"
#include "settings/launcher_files.h"
#include "tests/support/game_home.h"
#include "tests/support/temp_dir.h"

namespace qv {
namespace {

// A search of the home `h` whose system folders (/opt, /usr/local/games) are in it too.
GameSearch at(const std::string& h, const std::string& dataHome = {}) {
    GameSearch where;
    where.home = where.systemRoot = h;
    where.dataHome = dataHome;
    return where;
}

std::string listing(const std::vector<FoundGame>& games) {
    std::string listed;
    for (const FoundGame& g : games)
        listed += g.folder + "\t" + g.kind + "\t" + (g.cacheDir.empty() ? "-" : g.cacheDir) + "\t" +
                  packagesColumn(g) + "\n";
    return listed;
}

// A user who may list a folder but not read the cache.ini in it, nor a registry of mode 000.
class UnreadableIndex final : public ForwardingFileSystem {
  public:
    using ForwardingFileSystem::ForwardingFileSystem;
    Result<std::string> readPlainFile(const std::string& p, std::size_t max) override {
        if ((p.ends_with("/UT/Cache/cache.ini") && p.find("Heroic") != p.npos) ||
            p.ends_with("/.wine2/system.reg"))
            return {{}, Status::fromErrno(EACCES)};
        return ForwardingFileSystem::readPlainFile(p, max);
    }
};

// The layouts launchers and packages really leave, each found with the cache folder its game
// fills: a Proton prefix holding the registry Wine wrote (both views), Steam's older library
// list and its SteamApps folder, Lutris's game files naming a prefix and a native build
// elsewhere, a native build and GOG files in ~/Games, any folder under /opt and
// /usr/local/games (lower-case game folders, a 64-bit program whose settings are in ~/.utpg),
// Bottles, Heroic and PlayOnLinux; a cache.ini that cannot be read says so.
TEST(GameFinder, FindsTheLayoutsLaunchersLeave) {
    using test::game, test::prefix, test::put;
    test::TempDir tmp;
    const std::string h = std::filesystem::canonical(tmp.path()).string();
    const std::string key = "Software\\\\Unreal Technology\\\\Installed Apps\\\\UnrealTournament";
    const std::string proton = h + "/.steam/steam/steamapps/compatdata/13240/pfx";
    put(proton + "/system.reg", test::readFile(QV_TEST_DATA_DIR "/wine/system.reg"));
    game(proton + "/drive_c/UnrealTournament/System/UnrealTournament.ini", "..\\Cache",
         proton + "/drive_c/UnrealTournament/Cache", 4);
    const std::string emoji = proton + "/drive_c/Games/UT \xF0\x9F\x8E\xAE";
    game(emoji + "/System/UnrealTournament.ini", "..\\Cache", emoji + "/Cache", 6);
    put(h + "/.steam/steam/steamapps/libraryfolders.vdf",
        test::withHome("\"LibraryFolders\"\n{\n\t\"TimeNextStatsReport\"\t\"1700000000\"\n"
                       "\t\"ContentStatsID\"\t\"-42\"\n\t\"1\"\t\"@/oldlib\"\n}\n",
                       h));
    game(h + "/oldlib/SteamApps/common/Unreal Tournament/System/UnrealTournament.ini", "..\\Cache",
         h + "/oldlib/SteamApps/common/Unreal Tournament/Cache", 3);
    put(h + "/.config/lutris/games/unreal-tournament-1700000000.yml",
        "game:\n  exe: drive_c/GOTY/System/UnrealTournament.exe\n  prefix: ~/Wine/ut\n"
        "name: Unreal Tournament\nrunner: wine\nwine:\n  version: lutris-7.2\n");
    prefix(h + "/Wine/ut", key, "C:\\\\UT", "c:", "../drive_c");
    game(h + "/Wine/ut/drive_c/UT/System/UnrealTournament.ini", "..\\Cache",
         h + "/Wine/ut/drive_c/UT/Cache", 5);
    put(h + "/Wine/ut/drive_c/GOTY/System/UnrealTournament.exe", "");  // GOG files, no registry
    put(h + "/.local/share/lutris/games/ut-native.yml",
        test::withHome("game:\n  exe: '@/Apps/UT/System64/ut-bin-amd64'\nrunner: linux\n", h));
    put(h + "/Apps/UT/System64/ut-bin-amd64", "");
    game(h + "/Apps/UT/System64/UnrealTournament.ini", "../Cache", h + "/Apps/UT/Cache", 2);
    put(h + "/Games/unreal-tournament/System64/ut-bin-amd64", "");
    put(h + "/Games/unreal-tournament/System/Botpack.u", "");
    game(h + "/.utpg/System/UnrealTournament.ini", "../Cache", h + "/.utpg/Cache", 1);
    put(h + "/usr/local/games/ut/System64/UnrealTournament", "");
    put(h + "/Games/gog-ut/System/UnrealTournament.exe", "");
    game(h + "/Games/gog-ut/System/UnrealTournament.ini", "..\\Cache", h + "/Games/gog-ut/Cache",
         7);
    put(h + "/Games/gog-ut/system.reg", "WINE REGISTRY Version 2\n");
    put(h + "/opt/UnrealTournament/maps/DM-Deck16][.unr", "");
    game(h + "/opt/UnrealTournament/system/UnrealTournament.ini", "..\\Cache",
         h + "/opt/UnrealTournament/cache", 8);
    const std::string bottle = h + "/.var/app/com.usebottles.bottles/data/bottles/bottles/UT";
    prefix(bottle, key, "C:\\\\Program Files (x86)\\\\Unreal Tournament", "c:", "../drive_c");
    put(bottle + "/drive_c/Program Files (x86)/Unreal Tournament/System/Botpack.u", "");
    put(h + "/Games/Heroic/Unreal Tournament/System/UnrealTournament.exe", "");
    const std::string heroic = h + "/Games/Heroic/Prefixes/default/Unreal Tournament";
    prefix(heroic, key, "C:\\\\UT", "c:", "../drive_c");
    game(heroic + "/drive_c/UT/System/UnrealTournament.ini", "..\\Cache",
         heroic + "/drive_c/UT/Cache", 10);
    prefix(h + "/.PlayOnLinux/wineprefix/UT", key, "C:\\\\UnrealTournament", "c:", "../drive_c");
    game(h + "/.PlayOnLinux/wineprefix/UT/drive_c/UnrealTournament/System/UnrealTournament.ini",
         "..\\Cache", h + "/.PlayOnLinux/wineprefix/UT/drive_c/UnrealTournament/Cache", 9);

    UnreadableIndex fs(realFileSystem());
    const std::string listed = listing(findGames(at(h), fs));
    const std::string pol = "@/.PlayOnLinux/wineprefix/UT";
    const std::string pfx = "~/.steam/steam/steamapps/compatdata/13240/pfx";
    const std::string bottles = "/.var/app/com.usebottles.bottles/data/bottles/bottles/UT";
    const std::string heroicPfx = "/Games/Heroic/Prefixes/default/Unreal Tournament";
    EXPECT_EQ(
        listed,
        test::withHome(
            pol + "/drive_c/UnrealTournament\tPlayOnLinux prefix ~" + pol.substr(1) + "\t" + pol +
                "/drive_c/UnrealTournament/Cache\t9\n"
                "@/opt/UnrealTournament\tnative install\t@/opt/UnrealTournament/cache\t8\n"
                "@/Games/gog-ut\tLutris game ~/Games/gog-ut\t@/Games/gog-ut/Cache\t7\n"
                "@" +
                pfx.substr(1) + "/drive_c/Games/UT \xF0\x9F\x8E\xAE\tProton prefix " + pfx + "\t@" +
                pfx.substr(1) +
                "/drive_c/Games/UT \xF0\x9F\x8E\xAE/Cache\t6\n"
                "@/Wine/ut/drive_c/UT\tLutris prefix ~/Wine/ut\t@/Wine/ut/drive_c/UT/Cache\t5\n"
                "@" +
                pfx.substr(1) + "/drive_c/UnrealTournament\tProton prefix " + pfx + "\t@" +
                pfx.substr(1) +
                "/drive_c/UnrealTournament/Cache\t4\n"
                "@/oldlib/SteamApps/common/Unreal Tournament\tSteam library ~/oldlib\t"
                "@/oldlib/SteamApps/common/Unreal Tournament/Cache\t3\n"
                "@/Apps/UT\tLutris game ~/Apps/UT\t@/Apps/UT/Cache\t2\n"
                "@/usr/local/games/ut\tnative install\t@/.utpg/Cache\t1\n"
                "@/Games/unreal-tournament\tnative install\t@/.utpg/Cache\t1\n"
                "@" +
                heroicPfx + "/drive_c/UT\tHeroic prefix ~" + heroicPfx + "\t@" + heroicPfx +
                "/drive_c/UT/Cache\tcache.ini not readable\n"
                "@/Wine/ut/drive_c/GOTY\tLutris prefix ~/Wine/ut\t-\t0\n"
                "@" +
                bottles +
                "/drive_c/Program Files (x86)/Unreal Tournament\t"
                "Bottles bottle ~" +
                bottles +
                "\t-\t0\n"
                "@/Games/Heroic/Unreal Tournament\tHeroic game ~/Games/Heroic/Unreal "
                "Tournament\t-\t0\n",
            h));
    // Each game's settings are where it reads them, in any letter case.
    EXPECT_EQ(usedGameIniPath(h + "/usr/local/games/ut/", fs, h),
              h + "/.utpg/System/UnrealTournament.ini");
    EXPECT_EQ(usedGameIniPath(h + "/opt/UnrealTournament", fs, h),
              h + "/opt/UnrealTournament/system/UnrealTournament.ini");
}

// A cache folder that is there but cannot be listed or looked into, as another user's is.
class LockedCache final : public ForwardingFileSystem {
  public:
    using ForwardingFileSystem::ForwardingFileSystem;
    static bool locked(const std::string& p) { return p.find("/locked/Cache/") != p.npos; }
    bool isFile(const std::string& p) override { return !locked(p) && inner_.isFile(p); }
    Status forEachEntry(const std::string& f,
                        const std::function<void(std::string_view, EntryKind)>& e) override {
        if (locked(f + "/")) return Status::fromErrno(EACCES);
        return inner_.forEachEntry(f, e);
    }
};

// The copies GOG's installer, Heroic (its Flatpak too) and a hand unpacking leave, each with
// the cache folder its game fills: GOG's keys in a prefix as Wine wrote them, a lower-case
// system/ folder whose CachePath names drive D:, Heroic's list of GOG games and a prefix its
// settings name, native builds found through the home folder, a desktop entry and the log in
// ~/.utpg (which is never offered itself), the Loki port's ~/.loki/ut, Snap's Steam,
// $XDG_DATA_HOME, and a cache folder that cannot be read.
TEST(GameFinder, FindsWhatGogHeroicAndUnpackingLeave) {
    using test::game, test::put;
    test::TempDir tmp;
    const std::string h = std::filesystem::canonical(tmp.path()).string();
    const std::string pfx = h + "/xdg/wineprefixes/gog";
    put(pfx + "/system.reg", test::readFile(QV_TEST_DATA_DIR "/wine/gog.reg"));
    std::filesystem::create_directories(pfx + "/dosdevices");
    std::filesystem::create_directory_symlink(h + "/disk_d", pfx + "/dosdevices/d:");
    const std::string goty = pfx + "/drive_c/GOG Games/Unreal Tournament GOTY";
    put(goty + "/System/UnrealTournament.exe", "");
    game(goty + "/System/UnrealTournament.ini", "..\\Cache", goty + "/Cache", 3);
    game(h + "/disk_d/games/ut goty/system/UnrealTournament.ini", "d:\\UTCache",
         h + "/disk_d/utcache", 4);
    const std::string heroic = h + "/.var/app/com.heroicgameslauncher.hgl/config/heroic";
    put(heroic + "/gog_store/installed.json",
        test::withHome("{\"installed\": [{\"platform\": \"windows\", \"install_path\": "
                       "\"@/GOG/Unreal Tournament \\u00e9\", \"appName\": \"1207658691\"}]}",
                       h));
    game(h + "/GOG/Unreal Tournament \xC3\xA9/System/UnrealTournament.ini", "..\\Cache",
         h + "/GOG/Unreal Tournament \xC3\xA9/Cache", 2);
    put(heroic + "/GamesConfig/1207658691.json",
        test::withHome("{\"1207658691\": {\"winePrefix\": \"@/Pfx/UT\"}}", h));
    const std::string key = "Software\\\\Unreal Technology\\\\Installed Apps\\\\UnrealTournament";
    test::prefix(h + "/Pfx/UT", key, "C:\\\\UT", "c:", "../drive_c");
    game(h + "/Pfx/UT/drive_c/UT/System/UnrealTournament.ini", "..\\Cache",
         h + "/Pfx/UT/drive_c/UT/Cache", 5);
    put(h + "/ut99/System64/ut-bin-amd64", "");
    put(h + "/Apps/utgame/System64/ut-bin-amd64", "");
    put(h + "/Tools/UT 469/System/ut-bin-x86", "");
    game(h + "/.utpg/System/UnrealTournament.ini", "../Cache", h + "/.utpg/Cache", 6);
    put(h + "/.utpg/System/ut-bin-amd64", "");  // a program copied there makes it no install
    put(h + "/xdg/applications/utpg.desktop",
        test::withHome("[Desktop Entry]\nExec=@/.utpg/System/ut-bin-amd64\n", h));
    put(h + "/.utpg/System/UnrealTournament.log",
        test::withHome("Log: Log file open\nInit: Base directory: @/Apps/utgame/System64/\n", h));
    put(h + "/xdg/applications/ut469.desktop",
        test::withHome("[Desktop Entry]\nType=Application\nExec=\"@/Tools/UT 469/System/"
                       "ut-bin-x86\" -log\n",
                       h));
    put(h + "/usr/local/games/ut/System/ut-bin", "");
    game(h + "/.loki/ut/System/UnrealTournament.ini", "../Cache", h + "/.loki/ut/Cache", 8);
    const std::string snap = h +
                             "/snap/steam/common/.local/share/Steam/steamapps/common/"
                             "Unreal Tournament";
    game(snap + "/System/UnrealTournament.ini", "..\\Cache", snap + "/Cache", 1);
    game(h + "/Games/locked/System/UnrealTournament.ini", "..\\Cache", h + "/Games/locked/Cache",
         9);

    LockedCache fs(realFileSystem());
    const std::string snapShort = "@/snap/steam/common/.local/share/Steam";
    EXPECT_EQ(
        listing(findGames(at(h, h + "/xdg"), fs)),
        test::withHome(
            "@/usr/local/games/ut\tnative install\t@/.loki/ut/Cache\t8\n"
            "@/ut99\tnative install\t@/.utpg/Cache\t6\n"
            "@/Tools/UT 469\tnative install\t@/.utpg/Cache\t6\n"
            "@/Apps/utgame\tnative install\t@/.utpg/Cache\t6\n"
            "@/Pfx/UT/drive_c/UT\tHeroic prefix ~/Pfx/UT\t@/Pfx/UT/drive_c/UT/Cache\t5\n"
            "@/disk_d/games/ut goty\tWine prefix ~/xdg/wineprefixes/gog\t@/disk_d/utcache\t4\n"
            "@/xdg/wineprefixes/gog/drive_c/GOG Games/Unreal Tournament GOTY\t"
            "Wine prefix ~/xdg/wineprefixes/gog\t"
            "@/xdg/wineprefixes/gog/drive_c/GOG Games/Unreal Tournament GOTY/Cache\t3\n"
            "@/GOG/Unreal Tournament \xC3\xA9\tHeroic game ~/GOG/Unreal Tournament \xC3\xA9\t"
            "@/GOG/Unreal Tournament \xC3\xA9/Cache\t2\n" +
                snapShort + "/steamapps/common/Unreal Tournament\tSteam library ~" +
                snapShort.substr(1) + "\t" + snapShort +
                "/steamapps/common/Unreal Tournament/Cache\t1\n"
                "@/Games/locked\tgame folder\t@/Games/locked/Cache\t"
                "cache folder not readable\n",
            h));
}

// A Steam shortcuts.vdf as Steam writes it (binary VDF): per shortcut its id (none for 0, as
// older files have), name, quoted program and start folder, and a map of tags.
std::string shortcutsVdf(const std::vector<std::pair<std::uint32_t, std::string>>& games) {
    using namespace std::string_literals;
    std::string vdf = "\0shortcuts\0"s;
    for (std::size_t i = 0; i < games.size(); ++i) {
        const auto& [id, exe] = games[i];
        vdf += "\0"s + std::to_string(i) + "\0"s;
        if (id != 0)
            vdf +=
                "\x02"
                "appid\0"s;
        for (int b = 0; b < 4 && id != 0; ++b) vdf += static_cast<char>(id >> (8 * b) & 0xff);
        vdf +=
            "\x01"
            "AppName\0UT\0\x01"
            "Exe\0\""s +
            exe + "\"\0\x01StartDir\0\"/\"\0"s;
        vdf +=
            "\x02LastPlayTime\0\0\0\0\0\0tags\0\x01"
            "0\0Shooter\0\x08\x08"s;
    }
    return vdf + "\x08\x08";
}

// Copies put into a prefix without a key (one level down where people and installers put
// games, never deeper; Windows Steam's libraries on the prefix's drives), in prefixes players name
// themselves, CrossOver's, Bottles' custom library and its programs, a Steam shortcut with its
// Proton prefix's drive D:, Heroic's Proton prefix; a UTF-16 registry is named as passed over; a
// native build unpacked over a Windows copy uses
// ~/.utpg's cache when ~/.utpg's log names it, and its own otherwise.
TEST(GameFinder, FindsCopiesWithoutAKeyAndWhatLaunchersName) {
    using test::game, test::put;
    test::TempDir tmp;
    const std::string h = std::filesystem::canonical(tmp.path()).string();
    const std::string reg = "WINE REGISTRY Version 2\n";
    put(h + "/.wine-ut99/system.reg", reg);
    game(h + "/.wine-ut99/drive_c/UnrealTournament/System/UnrealTournament.ini", "..\\Cache",
         h + "/.wine-ut99/drive_c/UnrealTournament/Cache", 9);
    put(h + "/.wine-ut99/drive_c/users/me/UT/System/UnrealTournament.exe", "");  // too deep
    put(h + "/.wine64/system.reg",
        "\xff\xfe"
        "W\0I\0N\0E\0");
    put(h + "/.wine64/drive_c/Program Files (x86)/UT/System/Botpack.u", "");
    put(h + "/.cxoffice/UT/system.reg", reg);
    game(h + "/.cxoffice/UT/drive_c/GOG Games/UT/System/UnrealTournament.ini", "..\\Cache",
         h + "/.cxoffice/UT/drive_c/GOG Games/UT/Cache", 8);
    put(h + "/.local/share/bottles/data.yml", "custom_bottles_path: ~/Lib\nother: 1\n");
    put(h + "/Lib/UT/system.reg", reg);
    put(h + "/Lib/UT/bottle.yml", test::withHome("Name: UT\nExternal_Programs:\n  4f2e:\n    "
                                                 "name: UT\n    path: '@/ext/UT/System/"
                                                 "UnrealTournament.exe'\nVersioning: false\n",
                                                 h));
    game(h + "/ext/UT/System/UnrealTournament.ini", "..\\Cache", h + "/ext/UT/Cache", 7);
    const std::string steam = h + "/.local/share/Steam";
    const std::string oldExe = h + "/Old/UT/System/UnrealTournament.exe";
    const std::string vdf = shortcutsVdf({{7, "/nowhere/Other.exe"},
                                          {3221225473u, h + "/Deck/UT/System/UnrealTournament.exe"},
                                          {0, oldExe}});
    put(steam + "/userdata/42/config/shortcuts.vdf", vdf);
    test::prefix(steam + "/steamapps/compatdata/3221225473/pfx", "X", "", "d:", h + "/sd");
    game(h + "/Deck/UT/System/UnrealTournament.ini", "D:\\UTCache", h + "/sd/UTCache", 6);
    // Without an id in the file, the prefix is the one Steam names by the id it computes.
    const std::string oldId = std::to_string(steamShortcutId("\"" + oldExe + "\"", "UT"));
    test::prefix(steam + "/steamapps/compatdata/" + oldId + "/pfx", "X", "", "d:", h + "/sd2");
    game(h + "/Old/UT/System/UnrealTournament.ini", "D:\\UTCache", h + "/sd2/UTCache", 3);
    const std::string heroic = h + "/Games/Heroic/Prefixes/default/UT/pfx";
    put(heroic + "/system.reg", reg);
    game(heroic + "/drive_c/Games/UT/System/UnrealTournament.ini", "..\\Cache",
         heroic + "/drive_c/Games/UT/Cache", 5);
    for (const std::string dir : {"/over", "/own"}) {
        put(h + dir + "/System64/ut-bin-amd64", "");
        game(h + dir + "/System/UnrealTournament.ini", "..\\Cache", h + dir + "/Cache", 4);
    }
    game(h + "/.utpg/System64/UnrealTournament.ini", "../Cache", h + "/.utpg/Cache", 2);
    // Where installers put the game in a prefix without a key: GOG Galaxy, Windows Steam and a
    // library its libraryfolders.vdf names on drive D:, a user's Games, the Epic launcher.
    const std::string win = h + "/.wine-win/drive_c";
    put(h + "/.wine-win/system.reg", reg);
    std::filesystem::create_directories(h + "/.wine-win/dosdevices");
    std::filesystem::create_symlink(h + "/winlib", h + "/.wine-win/dosdevices/d:");
    const std::string steamWin = win + "/Program Files (x86)/Steam";
    put(steamWin + "/steamapps/libraryfolders.vdf",
        R"("libraryfolders" { "0" { "path" "C:\\Program Files (x86)\\Steam" } )"
        R"("1" { "path" "d:\\steamlibrary" } })");
    const std::pair<std::string, unsigned> installed[] = {
        {win + "/Program Files (x86)/GOG Galaxy/Games/Unreal Tournament GOTY", 19},
        {steamWin + "/steamapps/common/Unreal Tournament", 18},
        {h + "/winlib/SteamLibrary/steamapps/common/Unreal Tournament", 17},
        {win + "/users/me/Games/UT", 16},
        {win + "/Program Files/Epic Games/UnrealTournament", 15}};
    for (const auto& [dir, n] : installed)
        game(dir + "/System/UnrealTournament.ini", "..\\Cache", dir + "/Cache", n);
    put(h + "/.utpg/Logs/UnrealTournament.log", "Init: Base directory: " + h + "/over/System64/\n");

    std::vector<std::string> notes;
    std::vector<FoundGame> games = findGames(at(h), realFileSystem(), &notes);
    EXPECT_EQ(
        listing(games),
        test::withHome("@/.wine-win/drive_c/Program Files (x86)/GOG Galaxy/Games/Unreal "
                       "Tournament GOTY\tWine prefix ~/.wine-win\t@/.wine-win/drive_c/Program "
                       "Files (x86)/GOG Galaxy/Games/Unreal Tournament GOTY/Cache\t19\n"
                       "@/.wine-win/drive_c/Program Files (x86)/Steam/steamapps/common/Unreal "
                       "Tournament\tSteam in Wine prefix ~/.wine-win\t@/.wine-win/drive_c/"
                       "Program Files (x86)/Steam/steamapps/common/Unreal Tournament/Cache\t18\n"
                       "@/winlib/SteamLibrary/steamapps/common/Unreal Tournament\tSteam in Wine "
                       "prefix ~/.wine-win\t@/winlib/SteamLibrary/steamapps/common/Unreal "
                       "Tournament/Cache\t17\n"
                       "@/.wine-win/drive_c/users/me/Games/UT\tWine prefix ~/.wine-win\t"
                       "@/.wine-win/drive_c/users/me/Games/UT/Cache\t16\n"
                       "@/.wine-win/drive_c/Program Files/Epic Games/UnrealTournament\tWine "
                       "prefix ~/.wine-win\t@/.wine-win/drive_c/Program Files/Epic Games/"
                       "UnrealTournament/Cache\t15\n"
                       "@/.wine-ut99/drive_c/UnrealTournament\tWine prefix ~/.wine-ut99\t"
                       "@/.wine-ut99/drive_c/UnrealTournament/Cache\t9\n"
                       "@/.cxoffice/UT/drive_c/GOG Games/UT\tCrossOver bottle ~/.cxoffice/UT\t"
                       "@/.cxoffice/UT/drive_c/GOG Games/UT/Cache\t8\n"
                       "@/ext/UT\tBottles bottle ~/Lib/UT\t@/ext/UT/Cache\t7\n"
                       "@/Deck/UT\tSteam shortcut UT\t@/sd/UTCache\t6\n"
                       "@/Games/Heroic/Prefixes/default/UT/pfx/drive_c/Games/UT\tHeroic prefix "
                       "~/Games/Heroic/Prefixes/default/UT/pfx\t"
                       "@/Games/Heroic/Prefixes/default/UT/pfx/drive_c/Games/UT/Cache\t5\n"
                       "@/own\tnative install\t@/own/Cache\t4\n"
                       "@/Old/UT\tSteam shortcut UT\t@/sd2/UTCache\t3\n"
                       "@/over\tnative install\t@/.utpg/Cache\t2\n"
                       "@/.wine64/drive_c/Program Files (x86)/UT\tWine prefix ~/.wine64\t-\t0\n",
                       h));
    EXPECT_EQ(notes, std::vector<std::string>{"~/.wine64/system.reg is UTF-16 text, which Wine "
                                              "does not read: its keys were not looked at"});
    EXPECT_TRUE(
        test::has(games[12].cacheNote, "~/.utpg/Logs/UnrealTournament.log names this folder"));
    EXPECT_EQ(games[10].cacheNote, "");
    // A shortcuts.vdf cut short gives the shortcuts before the cut, and the last one too when
    // only its closing bytes are missing.
    EXPECT_EQ(steamShortcuts(vdf).size(), 3u);
    EXPECT_EQ(steamShortcuts(vdf.substr(0, vdf.size() - 3)).size(), 3u);
    EXPECT_EQ(steamShortcuts(vdf.substr(0, vdf.size() - 12)).size(), 2u);
    EXPECT_EQ(steamShortcuts(vdf)[1].appId, 3221225473u);
    // Steam's id for a shortcut without one, as zlib's crc32 gives it.
    EXPECT_EQ(steamShortcutId("\"/x/UT.exe\"", "UT"), 3071225918u);
}

// A folder the search looks into that is there but cannot be listed (~/Games of another
// user's, mode 000) is said to be unreadable, on standard error and in the trace, not to hold
// no game.
TEST(GameFinder, AFolderThatCannotBeListedIsSaidToBeUnreadable) {
    class UnlistableGames final : public ForwardingFileSystem {
      public:
        using ForwardingFileSystem::ForwardingFileSystem;
        Status forEachEntry(const std::string& f,
                            const std::function<void(std::string_view, EntryKind)>& e) override {
            if (f.ends_with("/Games")) return Status::fromErrno(EACCES);
            return ForwardingFileSystem::forEachEntry(f, e);
        }
    };
    test::TempDir tmp;
    const std::string h = std::filesystem::canonical(tmp.path()).string();
    test::game(h + "/Games/UT/System/UnrealTournament.ini", "..\\Cache", h + "/Games/UT/Cache", 1);
    UnlistableGames fs(realFileSystem());
    static std::vector<std::string> traced;
    trace::setSink([](trace::Category, const std::string& line) { traced.push_back(line); });
    trace::enable(trace::Category::Finder, true);
    std::vector<std::string> notes;
    EXPECT_TRUE(findGames(at(h), fs, &notes).empty());
    trace::enableAll(false);
    trace::setSink(nullptr);
    EXPECT_EQ(notes, std::vector<std::string>{
                         "~/Games could not be read (Permission denied): the games in it were "
                         "not looked for"});
    EXPECT_NE(std::find(traced.begin(), traced.end(),
                        h + "/Games (game folder): passed over: cannot be read (Permission "
                            "denied)"),
              traced.end())
        << ::testing::PrintToString(traced);
}

// A FIFO, a device, a file too large where launchers keep their files, in place of a Wine
// registry, a cache index or a log: the search passes over each at once and finds the rest,
// the copies in the drive_c of a prefix whose registry cannot be read among them.
TEST(GameFinder, NoFileThatIsNotPlainHoldsTheSearch) {
    using test::put;
    test::TempDir tmp;
    const std::string h = std::filesystem::canonical(tmp.path()).string();
    const auto fifo = [](const std::string& path) {
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0) << path;
    };
    const auto zero = [](const std::string& path) {
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::filesystem::create_symlink("/dev/zero", path);
    };
    fifo(h + "/.wine/system.reg");
    test::game(h + "/.wine/drive_c/UT/System/UnrealTournament.ini", "..\\Cache",
               h + "/.wine/drive_c/UT/Cache", 3);
    put(h + "/.wine2/system.reg", "WINE REGISTRY Version 2\n");
    test::game(h + "/.wine2/drive_c/Games/UT/System/UnrealTournament.ini", "..\\Cache",
               h + "/.wine2/drive_c/Games/UT/Cache", 2);
    zero(h + "/.local/share/wineprefixes/z/system.reg");
    fifo(h + "/.local/share/Steam/steamapps/libraryfolders.vdf");
    zero(h + "/.steam/root/config/libraryfolders.vdf");
    fifo(h + "/.config/lutris/games/ut.yml");
    zero(h + "/.config/heroic/gog_store/installed.json");
    fifo(h + "/.config/heroic/GamesConfig/1.json");
    fifo(h + "/.local/share/applications/ut.desktop");
    fifo(h + "/.utpg/System/UnrealTournament.log");
    put(h + "/ut/System64/ut-bin-amd64", "");
    fifo(h + "/ut/Cache/cache.ini");
    put(h + "/ut2/System/UnrealTournament.exe", "");
    fifo(h + "/ut2/System/UnrealTournament.ini");  // a CachePath that cannot be read
    test::game(h + "/Games/big/System/UnrealTournament.ini", "..\\Cache", h + "/Games/big/Cache",
               1);
    test::writeFile(h + "/.config/lutris/games/big.yml", "");
    std::filesystem::resize_file(h + "/.config/lutris/games/big.yml", std::size_t{17} << 20);

    UnreadableIndex fs(realFileSystem());
    std::vector<std::string> notes;
    EXPECT_EQ(
        listing(findGames(at(h), fs, &notes)),
        test::withHome("@/.wine/drive_c/UT\tWine prefix ~/.wine\t@/.wine/drive_c/UT/Cache\t3\n"
                       "@/.wine2/drive_c/Games/UT\tWine prefix ~/.wine2\t"
                       "@/.wine2/drive_c/Games/UT/Cache\t2\n"
                       "@/Games/big\tgame folder\t@/Games/big/Cache\t1\n"
                       "@/ut\tnative install\t@/ut/Cache\tcache.ini not readable\n"
                       "@/ut2\tgame folder\t-\t0\n",
                       h));
    const std::string tail =
        "): its keys were not looked at; the copies in its drive_c are looked for";
    EXPECT_EQ(notes, (std::vector<std::string>{
                         "~/.wine/system.reg could not be read (not a plain file" + tail,
                         "~/.local/share/wineprefixes/z/system.reg could not be read (not a plain "
                         "file" +
                             tail,
                         "~/.wine2/system.reg could not be read (Permission denied" + tail,
                         "~/.config/lutris/games/big.yml was passed over (larger than 16 MiB)",
                         "~/.config/heroic/gog_store/installed.json was passed over (not a plain "
                         "file)",
                         "~/.local/share/Steam/steamapps/libraryfolders.vdf was passed over (not "
                         "a plain file)",
                         "~/.steam/root/config/libraryfolders.vdf was passed over (not a plain "
                         "file)"}));
    const int codes[] = {
        realFileSystem().readPlainFile(h + "/.wine/system.reg", 100).status.code,
        realFileSystem().readPlainFile("/dev/zero", 100).status.code,
        realFileSystem().readPlainFile(h + "/.config/lutris/games/big.yml", 100).status.code};
    EXPECT_EQ(std::vector<int>(std::begin(codes), std::end(codes)),
              (std::vector<int>{EINVAL, EINVAL, EFBIG}));
}

}  // namespace
}  // namespace qv
