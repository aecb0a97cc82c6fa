#include <gtest/gtest.h>

#include <sstream>

#include "cli/commands.h"
#include "platform/filesystem.h"
#include "settings/cls_registry.h"
#include "settings/mdl_ini.h"
#include "tests/support/game_home.h"
#include "tests/support/temp_dir.h"

namespace qv::cli {
namespace {

// A player's home with the game in several places: find-game lists each one, and
// set-game-dir --found stores the chosen one with its cache folder.
TEST(CliFindGame, ListsTheGamesOfTheHomeAndStoresTheChosenOne) {
    test::TempDir tmp;
    const std::string home = test::makeGameHome(tmp.path());
    const std::string oldHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    ::setenv("HOME", home.c_str(), 1);
    ::unsetenv("WINEPREFIX");
    std::ostringstream out, err;
    std::istringstream in;
    Environment env{home, home + "/registry.reg", out, err, in, false, realFileSystem()};

    EXPECT_EQ(runMain({"find-game"}, env), kExitOk) << err.str();
    EXPECT_EQ(out.str(), test::expectedListing(home));

    EXPECT_EQ(runMain({"set-game-dir", "--found", "2"}, env), kExitOk) << err.str();
    EXPECT_EQ(clsRegistry::gameKey(nullptr, env.registryPath).ReadEntry("Folder", ""),
              home + "/.local/share/OldUnreal/UnrealTournament/");
    EXPECT_EQ(clsRegistry::programKey(nullptr, env.registryPath).ReadEntry("CacheDir", ""),
              home + "/.utpg/Cache");

    // The purge interval goes where each game reads it: the native game's ~/.utpg, and both
    // the 32-bit and the 64-bit file of the game on drive D:.
    test::writeFile(home + "/Quorvel.ini", "[Dirs]\r\nCachePath=Cache\r\n");
    EXPECT_EQ(runMain({"purge-days", "2"}, env), kExitOk) << err.str();
    EXPECT_EQ(runMain({"set-game-dir", "--found", "4"}, env), kExitOk) << err.str();
    EXPECT_EQ(runMain({"purge-days", "4"}, env), kExitOk) << err.str();
    for (const auto& [system, days] : {std::pair<std::string, std::string>{"/.utpg/System", "2"},
                                       {"/disk_d/UT/System", "4"},
                                       {"/disk_d/UT/System64", "4"}})
        EXPECT_EQ(INIGetSettingString("Core.System", "PurgeCacheDays",
                                      home + system + "/UnrealTournament.ini", ""),
                  days)
            << system;
    ::setenv("HOME", oldHome.c_str(), 1);
}

}  // namespace
}  // namespace qv::cli
