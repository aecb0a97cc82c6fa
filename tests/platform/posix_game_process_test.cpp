// Linux only: the processes as /proc shows them, in a tree built by the test.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "platform/game_process.h"
#include "platform/trace.h"
#include "tests/support/temp_dir.h"

namespace qv::test {
namespace {

struct FakeProcess {
    std::string exe, cwd;
    std::vector<std::string> argv;
    std::string prefix;  // WINEPREFIX, "" for none
    std::string openFile;
    int uid = 1000;
};

void addProcess(const std::string& proc, int pid, const FakeProcess& p,
                const std::string& maps = {}) {
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
    writeFile(dir + "/maps", maps);
    writeFile(dir + "/status", "Name:\tx\nUid:\t" + std::to_string(p.uid) + "\t0\t0\t0\n");
}

// What /proc tells of each process reaches the rules: the executable, working folder, command
// line, environment and open files; this process and (as a user) other users' are passed over.
TEST(GameProcess, ProcessesAreReadFromProc) {
    TempDir t;
    const std::string game = t / "UT", other = t / "Other";
    makeDirs(game + "/System");
    makeDirs(other);
    makeDirs(t / "prefix/dosdevices");
    std::filesystem::create_symlink(game, t / "prefix/dosdevices/d:");
    TempDir proc;
    addProcess(proc.path(), 77, {game + "/System/ut-bin", game, {"ut-bin"}, "", "", 1000});
    addProcess(proc.path(), 78, {game + "/System/ut-bin", game, {"ut-bin"}, "", "", 1234});
    addProcess(proc.path(), 79, {other + "/ucc-bin", other, {"ucc-bin"}, "", game + "/x", 1000});
    addProcess(proc.path(), 80,
               {other + "/wine", other, {"D:\\UnrealTournament.exe"}, t / "prefix", "", 1000});
    addProcess(proc.path(), 81, {other + "/ut-bin", game + "/System", {"ut-bin"}, "", "", 1000});
    // Wine's process as Debian's Wine 8 shows it: its program the loader, its command line
    // padded with NULs, its working folder elsewhere; the game known only by what it maps, as
    // the kernel lists it (a name with spaces after padding; a removed file's); the same
    // without the game's file is not tied to the folder.
    const std::string mapped = game + "/System/Render Dev.dll";
    writeFile(mapped, "MZ");
    const std::string maps =
        "55d0-55d1 r--p 00000000 08:01 42    /usr/lib/wine/wine64\n"
        "7f00-7f01 rw-p 00000000 00:00 0 \n"
        "7f01-7f02 r--p 00000000 08:01 43                         " +
        other + "/x.dll (deleted)\n7f02-7f03 r-xp 00001000 08:01 44   " + mapped + "\n";
    addProcess(proc.path(), 82,
               {"/usr/lib/wine/wine64", other, {"UnrealTournament.exe", "", ""}, "", "", 1000},
               maps);
    addProcess(proc.path(), 83,
               {"/usr/lib/wine/wine-preloader", other, {"UnrealTournament.exe"}, "", "", 1000},
               maps.substr(0, maps.find("7f02")));
    // The trace: one line for each process considered (this user's, but itself).
    static std::vector<std::string> traced;
    trace::setSink([](trace::Category, const std::string& line) { traced.push_back(line); });
    trace::applyRules("quorvel.*=false\nquorvel.game.debug = true");
    const RunningGames user = findRunningGame({game}, proc.path(), 77, 1000);
    trace::enableAll(false);
    EXPECT_EQ(traced.size(), 5u);
    EXPECT_TRUE(user.othersUnseen);
    std::map<int, std::string> found;  // in the order of the folder's listing
    for (const GameProcess& g : user.found) found[g.pid] = g.name;
    EXPECT_EQ(found, (std::map<int, std::string>{{79, "ucc-bin"},
                                                 {80, "UnrealTournament.exe"},
                                                 {81, "ut-bin"},
                                                 {82, "UnrealTournament.exe"}}));
    const RunningGames root = findRunningGame({game}, proc.path(), 1, 0);
    EXPECT_FALSE(root.othersUnseen);
    EXPECT_EQ(root.found.size(), 6u);
}

}  // namespace
}  // namespace qv::test
