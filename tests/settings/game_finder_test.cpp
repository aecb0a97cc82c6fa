#include "settings/game_finder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

#include "platform/forwarding_filesystem.h"
#include "tests/support/faulty_filesystem.h"
#include "tests/support/game_home.h"
#include "tests/support/temp_dir.h"

namespace qv {
namespace {

// Each place a player keeps the game is found with its cache folder; a folder without the
// game's files, a broken drive link and a prefix that cannot be read are left out.
TEST(GameFinder, FindsEachCopyWithItsCacheFolder) {
    test::TempDir tmp;
    const std::string home = test::makeGameHome(tmp.path());
    const std::string locked = home + "/Games/locked";  // a copy of ~/.wine's, unreadable
    std::filesystem::create_directory(home + "/Games");
    std::filesystem::copy(home + "/.wine", locked, std::filesystem::copy_options::recursive);
    FaultyFileSystem fs(realFileSystem());
    fs.failPath("Games/locked/system.reg", EACCES);  // as a user without root rights meets it

    std::string listed;
    for (const FoundGame& g : findGames({home, "", home}, fs))
        listed += g.folder + "\t" + g.kind + "\t" + (g.cacheDir.empty() ? "-" : g.cacheDir) + "\t" +
                  std::to_string(g.cachedPackages) + "\n";
    EXPECT_EQ(listed, test::expectedListing(home));
    // Readable, the same prefix counts beside the five: the lock alone kept it out.
    EXPECT_EQ(findGames({home, "", home}, realFileSystem()).size(), 6u);
}

// A user who may list a folder but not read the cache.ini in it.
class UnreadableIndex final : public ForwardingFileSystem {
  public:
    using ForwardingFileSystem::ForwardingFileSystem;
    Result<std::string> readAll(const std::string& p) override {
        if (p.ends_with("/UT/Cache/cache.ini") && p.find("Heroic") != p.npos)
            return {{}, Status::fromErrno(EACCES)};
        return ForwardingFileSystem::readAll(p);
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
    std::string listed;
    for (const FoundGame& g : findGames({h, "", h}, fs))
        listed += g.folder + "\t" + g.kind + "\t" + (g.cacheDir.empty() ? "-" : g.cacheDir) + "\t" +
                  packagesColumn(g) + "\n";
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
                "@/Games/unreal-tournament\tLutris game ~/Games/unreal-tournament\t"
                "@/.utpg/Cache\t1\n"
                "@" +
                heroicPfx + "/drive_c/UT\tHeroic prefix ~" + heroicPfx + "\t@" + heroicPfx +
                "/drive_c/UT/Cache\tcache.ini not readable\n"
                "@/Wine/ut/drive_c/GOTY\tLutris game ~/Wine/ut/drive_c/GOTY\t-\t0\n"
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

}  // namespace
}  // namespace qv
