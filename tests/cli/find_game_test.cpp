// Linux only: the games of a Linux home, found through $HOME.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <sstream>

#include "cli/commands.h"
#include "cli/lossless_text.h"
#include "platform/filesystem.h"
#include "settings/cls_registry.h"
#include "settings/mdl_ini.h"
#include "tests/support/faulty_filesystem.h"
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
    for (const char* name : {"WINEPREFIX", "XDG_DATA_HOME", "XDG_CONFIG_HOME"}) ::unsetenv(name);
    std::ostringstream out, err;
    std::istringstream in;
    // The store's folder and the one above it are not there yet, as in a fresh home.
    Environment env{
        home, home + "/fresh/.config/Quorvel/registry.reg", out, err, in, false, realFileSystem()};

    EXPECT_EQ(runMain({"find-game"}, env), kExitOk) << err.str();
    EXPECT_EQ(out.str(), test::expectedListing(home));
    EXPECT_EQ(err.str(), "");  // nothing in the home needs a note

    // A download after the listing puts the 2nd copy first: --found 2 stores what was listed.
    test::game(home + "/.utpg/System/UnrealTournament.ini", "../Cache", home + "/.utpg/Cache", 13);
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

// set-game-dir DIR stores the copy's own cache, found as find-game finds it, and never the
// native game's ~/.utpg/Cache for another copy; with none to tell, it stores none and says so.
// find-game --json gives a folder name that is not UTF-8 byte for byte.
TEST(CliFindGame, SetGameDirStoresTheCopysOwnCache) {
    using test::game, test::put;
    test::TempDir tmp;
    const std::string h = std::filesystem::canonical(tmp.path()).string();
    const std::string oldHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    ::setenv("HOME", h.c_str(), 1);
    for (const char* name : {"WINEPREFIX", "XDG_DATA_HOME", "XDG_CONFIG_HOME"}) ::unsetenv(name);
    game(h + "/.utpg/System/UnrealTournament.ini", "../Cache", h + "/.utpg/Cache", 3);
    put(h + "/win/System/UnrealTournament.exe", "");
    put(h + "/win/System/UnrealTournament.ini", "[Core.System]\r\nCachePath=..\\Cache\r\n");
    test::makeDirs(h + "/win/Cache");  // empty: the game has not downloaded anything yet
    game(h + "/lower/system/UnrealTournament.ini", "..\\cache", h + "/lower/cache", 1);
    test::prefix(h + "/pfx", "Software\\\\X", "C:\\\\X", "d:", h + "/disk_d");
    game(h + "/pfx/drive_c/UT/System/UnrealTournament.ini", "D:\\UTCache", h + "/disk_d/UTCache",
         2);
    put(h + "/bare/System/UnrealTournament.exe", "");
    put(h + "/ut99/System64/ut-bin-amd64", "");
    test::writeFile(h + "/Quorvel.ini", "[Dirs]\r\nCachePath=Cache\r\n");
    std::ostringstream out, err;
    std::istringstream in;
    Environment env{h, h + "/registry.reg", out, err, in, false, realFileSystem()};
    const struct {
        std::string dir, cache, said;
    } cases[] = {
        {"/win", "/win/Cache", "Cache folder set to @/win/Cache (it holds no cache.ini yet)"},
        {"/lower", "/lower/cache", "Cache folder set to @/lower/cache\n"},
        {"/pfx/drive_c/UT", "/disk_d/UTCache", "Cache folder set to @/disk_d/UTCache\n"},
        {"/bare", "", "No cache folder stored: none could be told"},
        {"/ut99", "/.utpg/Cache", "Cache folder set to @/.utpg/Cache\n"}};
    for (const auto& c : cases) {
        out.str({});
        EXPECT_EQ(runMain({"set-game-dir", h + c.dir}, env), kExitOk) << err.str();
        EXPECT_EQ(clsRegistry::programKey(nullptr, env.registryPath).ReadEntry("CacheDir", ""),
                  c.cache.empty() ? "" : h + c.cache)
            << c.dir;
        EXPECT_TRUE(test::has(out.str(), test::withHome(c.said, h)));
    }

    // What list reads when no cache folder is stored, and an index that cannot be looked at.
    err.str({});
    EXPECT_EQ(runMain({"set-game-dir", h + "/bare"}, env), kExitOk);
    EXPECT_EQ(runMain({"list"}, env), kExitFailed);
    put(h + "/win/Cache/cache.ini", "[Cache]\r\n");
    FaultyFileSystem locked(realFileSystem());
    locked.failPath("win/Cache/cache.ini", EACCES);  // a folder with no search right
    Environment lockedEnv{h, h + "/registry.reg", out, err, in, false, locked};
    EXPECT_EQ(runMain({"set-game-dir", h + "/win"}, lockedEnv), kExitOk);
    EXPECT_EQ(runMain({"list"}, lockedEnv), kExitFailed);
    for (const std::string said :
         {"no cache folder is stored for this game, so @/bare/Cache is used",
          "Cache.INI could not be read (@/win/Cache/cache.ini cannot be looked at"})
        EXPECT_TRUE(test::has(err.str(), test::withHome(said, h)));

    const std::string odd = h + "/ut\xff";  // not UTF-8
    put(odd + "/System/UnrealTournament.exe", "");
    out.str({});
    EXPECT_EQ(runMain({"find-game", "--json"}, env), kExitOk) << err.str();
    EXPECT_TRUE(test::has(out.str(), "\"folder_base64\": \"" + base64Of(odd) + "\""));
    EXPECT_EQ(base64Of("ut\xff"), "dXT/");
    ::setenv("HOME", oldHome.c_str(), 1);
}

// A Wine prefix whose folder name holds an escape sequence: the note on its registry names it
// escaped, never raw on the terminal.
TEST(CliFindGame, APrefixNamedWithAnEscapeSequenceIsNamedEscaped) {
    test::TempDir tmp;
    const std::string h = std::filesystem::canonical(tmp.path()).string();
    const std::string oldHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    ::setenv("HOME", h.c_str(), 1);
    for (const char* name : {"WINEPREFIX", "XDG_DATA_HOME", "XDG_CONFIG_HOME"}) ::unsetenv(name);
    test::put(h + "/.wine-\x1b]0;owned\x07/system.reg", std::string("\xff\xfeW\0I\0N\0", 8));
    std::ostringstream out, err;
    std::istringstream in;
    Environment env{h, h + "/registry.reg", out, err, in, false, realFileSystem()};
    EXPECT_EQ(runMain({"find-game"}, env), kExitFailed);
    EXPECT_TRUE(test::has(err.str(), "note: ~/.wine-\\x1B]0;owned\\x07/system.reg is UTF-16 text"));
    EXPECT_EQ(err.str().find_first_of("\x1b\x07"), std::string::npos) << err.str();
    ::setenv("HOME", oldHome.c_str(), 1);
}

}  // namespace
}  // namespace qv::cli
