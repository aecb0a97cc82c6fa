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
    // The trace: one line for each process considered (this user's, but itself).
    static std::vector<std::string> traced;
    trace::setSink([](trace::Category, const std::string& line) { traced.push_back(line); });
    trace::applyRules("quorvel.*=false\nquorvel.game.debug = true");
    const RunningGames user = findRunningGame({game}, proc.path(), 77, 1000);
    trace::enableAll(false);
    EXPECT_EQ(traced.size(), 3u);
    EXPECT_TRUE(user.othersUnseen);
    std::map<int, std::string> found;  // in the order of the folder's listing
    for (const GameProcess& g : user.found) found[g.pid] = g.name;
    EXPECT_EQ(found, (std::map<int, std::string>{
                         {79, "ucc-bin"}, {80, "UnrealTournament.exe"}, {81, "ut-bin"}}));
    const RunningGames root = findRunningGame({game}, proc.path(), 1, 0);
    EXPECT_FALSE(root.othersUnseen);
    EXPECT_EQ(root.found.size(), 5u);
}

}  // namespace
}  // namespace qv::test
