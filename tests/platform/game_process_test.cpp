// Which process is the game of a folder, by what it shows of itself.
#include "platform/game_process.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "tests/support/temp_dir.h"

namespace qv::test {
namespace {

struct FakeProcess {
    const char* what;
    std::string exe, cwd;
    std::vector<std::string> argv;
    std::string prefix;  // WINEPREFIX, "" for none
    std::string openFile;
    const char* found;  // the name expected, nullptr when it is not the game of this folder
};

// The process as the table gives it.
class TableLook final : public ProcessLook {
  public:
    explicit TableLook(const FakeProcess& p) : p_(p) {}
    std::string executable() override { return p_.exe; }
    std::vector<std::string> arguments() override { return p_.argv; }
    std::vector<std::string> environment() override {
        return {p_.prefix.empty() ? "HOME=/nowhere" : "WINEPREFIX=" + p_.prefix};
    }
    std::string workingFolder() override { return p_.cwd; }
    bool anyOpenFile(const std::function<bool(const std::string&)>& test) override {
        return !p_.openFile.empty() && test(p_.openFile);
    }

  private:
    const FakeProcess& p_;
};

// The game is known by its program and tied to this copy by its executable, working folder,
// command line (a Windows path through the prefix's drives) or an open file; a shell, an
// editor, Quorvel and another copy of the game are not it.
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
        // what, exe, cwd, argv, WINEPREFIX, open file, the program found
        {"native", game + "/System/ut-bin-amd64", other, {"./ut-bin-amd64"}, "", "",
         "ut-bin-amd64"},
        {"copy started in the folder", other + "/ut-bin-amd64", game + "/System", {"ut"}, "", "",
         "ut-bin-amd64"},
        {"ucc with the index open", other + "/ucc-bin", other, {"ucc-bin"}, "",
         cache + "/cache.ini", "ucc-bin"},
        {"argv[0] only", "/usr/bin/sleep", game, {"UnrealTournament"}, "", "", "UnrealTournament"},
        {"shell", "/bin/bash", game + "/System", {"bash"}, "", "", nullptr},
        {"editor", "/usr/bin/vim", game, {"vim", cache + "/cache.ini"}, "", cache + "/cache.ini",
         nullptr},
        {"wine", other + "/wine64-preloader", other, {exeD}, here, "", "UnrealTournament.exe"},
        {"proton", other + "/proton/bin/wine64", other,
         {"wine64", "Z:" + game + "/System/UnrealTournament.exe"}, here, "",
         "UnrealTournament.exe"},
        {"wine, another copy", other + "/wine-preloader", other, {exeD}, away, "", nullptr},
        {"ucc from a cmd prompt", other + "/wine64-preloader", game + "/System", {"ucc", "server"},
         here, "", "ucc"},
        {"wine, a Linux folder in other case", other + "/wine64-preloader", other,
         {"Z:" + t / "ut/System/UnrealTournament.exe"}, here, "", nullptr},
        {"another copy", other + "/ut-bin", other, {"ut-bin"}, "", "", nullptr},
        {"Quorvel naming the .exe", other + "/quorvel-cli", game,
         {"quorvel-cli", "set-game-dir", game + "/System/UnrealTournament.exe"}, "", "", nullptr},
    };
    // clang-format on
    const std::vector<std::string> folders = foldersToCompare({game, cache + "/"});
    for (const FakeProcess& p : kProcesses) {
        TableLook look(p);
        std::string why;  // what the trace says of the process
        EXPECT_EQ(gameProgramOf(look, folders, why), p.found ? p.found : "") << p.what;
        EXPECT_EQ(p.found != nullptr,
                  why.find("not one of") == why.npos && why.find("nothing ties") == why.npos)
            << p.what << ": " << why;
    }
    EXPECT_EQ(gameRunningText({{{"ut-bin", 7}, {"UnrealTournament.exe", 8}}, true}),
              "ut-bin (process 7), UnrealTournament.exe (process 8)");
}

}  // namespace
}  // namespace qv::test
