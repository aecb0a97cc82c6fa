// Finding the running game through a /proc tree built by the test.
#include "platform/game_process.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "platform/trace.h"
#include "tests/support/temp_dir.h"

namespace qv::test {
namespace {

struct FakeProcess {
    const char* what;
    std::string exe, cwd;
    std::vector<std::string> argv;
    std::string prefix;  // WINEPREFIX, "" for none
    std::string openFile;
    int uid = 1000;
    const char* found;  // the name expected, nullptr when it is not the game of this folder
};

void addProcess(const std::string& proc, int pid, const FakeProcess& p) {
    const std::string dir = proc + "/" + std::to_string(pid);
    makeDirs(dir + "/fd");
    std::filesystem::create_symlink(p.exe, dir + "/exe");
    std::filesystem::create_symlink(p.cwd, dir + "/cwd");
    if (!p.openFile.empty()) std::filesystem::create_symlink(p.openFile, dir + "/fd/3");
    std::string cmdline;
    for (const std::string& a : p.argv) cmdline += a + '\0';
    writeFile(dir + "/cmdline", cmdline);
    writeFile(dir + "/environ", p.prefix.empty() ? "HOME=/nowhere" + std::string(1, '\0')
                                                 : "WINEPREFIX=" + p.prefix + '\0');
    writeFile(dir + "/status", "Name:\tx\nUid:\t" + std::to_string(p.uid) + "\t0\t0\t0\n");
}

// The game is known by its program and tied to this copy by its executable, working folder,
// command line (a Windows path through the prefix's drives) or an open file; a shell, an
// editor, Quorvel, another copy of the game and (as a user) another user's game are not it.
TEST(GameProcess, TheGameOfThisFolderIsFoundAndNothingElse) {
    TempDir t;
    const std::string game = t / "UT", cache = game + "/Cache", other = t / "Other";
    makeDirs(game + "/System");
    makeDirs(cache);
    makeDirs(other);
    const std::string here = t / "prefix", away = t / "away";
    makeDirs(here + "/dosdevices");
    makeDirs(away + "/dosdevices");
    std::filesystem::create_symlink(game, here + "/dosdevices/d:");
    std::filesystem::create_symlink(other, away + "/dosdevices/d:");
    std::filesystem::create_symlink("/", here + "/dosdevices/z:");
    const std::string exeD = "D:\\SYSTEM\\UnrealTournament.exe";
    // clang-format off
    const FakeProcess kProcesses[] = {
        // what, exe, cwd, argv, WINEPREFIX, open file, owner, the program found
        {"native", game + "/System/ut-bin-amd64", other, {"./ut-bin-amd64"}, "", "", 1000,
         "ut-bin-amd64"},
        {"copy started in the folder", other + "/ut-bin-amd64", game + "/System", {"ut"}, "", "",
         1000, "ut-bin-amd64"},
        {"ucc with the index open", other + "/ucc-bin", other, {"ucc-bin"}, "",
         cache + "/cache.ini", 1000, "ucc-bin"},
        {"argv[0] only", "/usr/bin/sleep", game, {"UnrealTournament"}, "", "", 1000,
         "UnrealTournament"},
        {"shell", "/bin/bash", game + "/System", {"bash"}, "", "", 1000, nullptr},
        {"editor", "/usr/bin/vim", game, {"vim", cache + "/cache.ini"}, "", cache + "/cache.ini",
         1000, nullptr},
        {"wine", other + "/wine64-preloader", other, {exeD}, here, "", 1000,
         "UnrealTournament.exe"},
        {"proton", other + "/proton/bin/wine64", other,
         {"wine64", "Z:" + game + "/System/UnrealTournament.exe"}, here, "", 1000,
         "UnrealTournament.exe"},
        {"wine, another copy", other + "/wine-preloader", other, {exeD}, away, "", 1000, nullptr},
        {"ucc from a cmd prompt", other + "/wine64-preloader", game + "/System", {"ucc", "server"},
         here, "", 1000, "ucc"},
        {"wine, a Linux folder in other case", other + "/wine64-preloader", other,
         {"Z:" + t / "ut/System/UnrealTournament.exe"}, here, "", 1000, nullptr},
        {"another copy", other + "/ut-bin", other, {"ut-bin"}, "", "", 1000, nullptr},
        {"Quorvel naming the .exe", other + "/quorvel-cli", game,
         {"quorvel-cli", "set-game-dir", game + "/System/UnrealTournament.exe"}, "", "", 1000,
         nullptr},
        {"another user's game", game + "/System/ut-bin", game, {"ut-bin"}, "", "", 1234, nullptr},
    };
    // clang-format on
    static std::vector<std::string> traced;  // the trace: one line per process considered
    trace::setSink([](trace::Category, const std::string& line) { traced.push_back(line); });
    trace::applyRules("quorvel.*=false\nquorvel.game.debug = true");
    int pid = 100;
    for (const FakeProcess& p : kProcesses) {
        SCOPED_TRACE(p.what);
        TempDir proc;
        addProcess(proc.path(), ++pid, p);
        addProcess(proc.path(), 77,
                   {"self", game + "/System/ut-bin", game, {"ut-bin"}, "", "", 1000, nullptr});
        traced.clear();
        const RunningGames s = findRunningGame({game, cache}, proc.path(), 77, 1000);
        ASSERT_EQ(traced.size(), p.uid == 1000 ? 1u : 0u);
        for (const std::string& l : traced)
            EXPECT_EQ(p.found != nullptr && l.starts_with("process " + std::to_string(pid) + " ("),
                      l.find("not one of") == l.npos && l.find("nothing ties") == l.npos)
                << l;
        EXPECT_TRUE(s.othersUnseen);
        ASSERT_EQ(s.found.size(), p.found ? 1u : 0u);
        if (!p.found) continue;
        EXPECT_EQ(s.found[0].name, p.found);
        EXPECT_EQ(s.found[0].pid, pid);
        EXPECT_EQ(gameRunningText(s),
                  std::string(p.found) + " (process " + std::to_string(pid) + ")");
    }
    trace::enableAll(false);
    TempDir proc;  // root sees every user's
    addProcess(proc.path(), 5, kProcesses[std::size(kProcesses) - 1]);
    const RunningGames root = findRunningGame({game}, proc.path(), 1, 0);
    EXPECT_FALSE(root.othersUnseen);
    EXPECT_EQ(root.found.size(), 1u);
}

}  // namespace
}  // namespace qv::test
