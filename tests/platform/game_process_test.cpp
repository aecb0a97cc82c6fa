// Which process is the game of a folder, by what it shows of itself.
#include "platform/game_process.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "platform/ascii.h"
#include "platform/paths.h"
#include "tests/support/temp_dir.h"

namespace qv::test {
namespace {

struct FakeProcess {
    const char* what;
    std::string exe, cwd;
    std::vector<std::string> argv;
    std::string prefix;    // WINEPREFIX, "" for none
    std::string openFile;  // open or mapped
    std::string found;     // the name expected, "" when it is not the game of this folder
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

std::string windowsPath(const std::string& drive, const std::string& unixPath) {
    std::string path = drive;
    for (char c : unixPath) path += c == '/' ? '\\' : c;
    return path;
}

// The game is known by its program and tied to this copy by its executable, working folder,
// command line (a Windows path through the prefix's drives, as Wine maps it) or a file open or
// mapped; a shell, an editor, Quorvel and another copy of the game are not it.
TEST(GameProcess, TheGameOfThisFolderIsFoundAndNothingElse) {
    TempDir t;
    const std::string storage = t / "Storage", game = storage + "/Spiele [alt]/UT";
    const std::string cache = game + "/Cache", other = t / "Other";
    makeDirs(game + "/System");
    makeDirs(cache);
    makeDirs(other + "/System");
    const std::string here = t / "prefix", away = t / "away";
    makeDirs(here + "/dosdevices");
    makeDirs(here + "/drive_c");
    makeDirs(away + "/dosdevices");
    std::filesystem::create_symlink(storage, here + "/dosdevices/d:");
    std::filesystem::create_symlink("../drive_c", here + "/dosdevices/c:");
    std::filesystem::create_symlink("/", here + "/dosdevices/z:");
    std::filesystem::create_symlink(storage + "/Spiele [alt]", here + "/drive_c/Spiele");
    std::filesystem::create_symlink(t / "Other2", away + "/dosdevices/d:");
    makeDirs(t / "Other2/Spiele [alt]/UT/System");
    const std::string exeD = "d:\\spiele [alt]\\ut\\system\\unrealtournament.exe";
    const std::string wine = "/usr/lib/wine/wine64";  // as Debian's Wine 8 shows it
    // clang-format off
    std::vector<FakeProcess> processes = {
        // what, exe, cwd, argv, WINEPREFIX, file open or mapped, the program found
        {"native", game + "/System/ut-bin-amd64", other, {"./ut-bin-amd64"}, "", "",
         "ut-bin-amd64"},
        {"copy started in the folder", other + "/ut-bin-amd64", game + "/System", {"ut"}, "", "",
         "ut-bin-amd64"},
        {"ucc with the index open", other + "/ucc-bin", other, {"ucc-bin"}, "",
         cache + "/cache.ini", "ucc-bin"},
        {"argv[0] only", "/usr/bin/sleep", game, {"UnrealTournament"}, "", "", "UnrealTournament"},
        {"shell", "/bin/bash", game + "/System", {"bash"}, "", "", ""},
        {"editor", "/usr/bin/vim", game, {"vim", cache + "/cache.ini"}, "", cache + "/cache.ini",
         ""},
        {"wine, D: in other case", wine, other, {exeD}, here, "", "unrealtournament.exe"},
        {"wine, D: through .. and /", wine, other,
         {"D:/Spiele [alt]/x/../UT/./System//UnrealTournament.exe"}, here, "",
         "UnrealTournament.exe"},
        {"wine, \\\\?\\ form", wine, other, {"\\\\?\\" + exeD}, here, "", "unrealtournament.exe"},
        {"proton", other + "/proton/bin/wine64", other,
         {"wine64", "Z:" + game + "/System/UnrealTournament.exe"}, here, "",
         "UnrealTournament.exe"},
        {"wine, only the .exe mapped", wine, other, {"UnrealTournament.exe"}, here,
         game + "/System/UnrealTournament.exe", "UnrealTournament.exe"},
        {"wine, another prefix's D:", wine, other, {exeD}, away, "", ""},
        {"wine, a drive the prefix lacks", wine, other, {"E:\\Spiele [alt]\\UT\\System\\UCC.exe"},
         here, "", ""},
        {"wine, another copy's .exe mapped", wine, other, {"UnrealTournament.exe"}, here,
         other + "/System/UnrealTournament.exe", ""},
        {"wine, a Unix path in other case", wine, other,
         {upperAscii(game) + "/System/UnrealTournament.exe"}, here, "", ""},
        {"ucc from a cmd prompt", wine, game + "/System", {"ucc", "server"}, here, "", "ucc"},
        {"another copy", other + "/ut-bin", other, {"ut-bin"}, "", "", ""},
        {"Quorvel naming the .exe", other + "/quorvel-cli", game,
         {"quorvel-cli", "set-game-dir", game + "/System/UnrealTournament.exe"}, "", "", ""},
    };
    // clang-format on
    // Every drive, its letter in either case, the rest as on the disk or in capitals: the last
    // part of the command line is the program found.
    const std::pair<std::string, std::string> drives[] = {
        {"D:", "/Spiele [alt]/UT/System/UnrealTournament.exe"},
        {"C:", "/Spiele/UT/System/UnrealTournament.exe"},
        {"Z:", game + "/System/UCC.exe"}};
    for (const auto& [drive, rest] : drives)
        for (const std::string& letter : {drive, lowerAscii(drive)})
            for (const std::string& spelled : {rest, upperAscii(rest)})
                processes.push_back({"wine, every drive and case",
                                     wine,
                                     other,
                                     {windowsPath(letter, spelled)},
                                     here,
                                     "",
                                     fileNameOf(spelled)});
    const std::vector<std::string> folders = foldersToCompare({game, cache + "/"});
    for (const FakeProcess& p : processes) {
        TableLook look(p);
        std::string why;  // what the trace says of the process
        EXPECT_EQ(gameProgramOf(look, folders, why), p.found) << p.what << ": " << p.argv.back();
        EXPECT_EQ(!p.found.empty(),
                  why.find("not one of") == why.npos && why.find("nothing ties") == why.npos)
            << p.what << ": " << why;
    }
    EXPECT_EQ(gameRunningText({{{"ut-bin", 7}, {"UnrealTournament.exe", 8}}, true}),
              "ut-bin (process 7), UnrealTournament.exe (process 8)");
}

// A name spelled exactly as on the disk is that entry, however many others differ from it only
// in case: a copy beside the game in other case is not the game, nor is a Linux path compared
// without regard to case.
TEST(GameProcess, WineTakesTheExactNameFirst) {
    TempDir t;
    const std::string game = t / "Games/UT", twin = t / "Games/ut";
    makeDirs(game + "/System");
    makeDirs(twin + "/System");
    const std::string wine = "/usr/lib/wine/wine64-preloader";
    const std::vector<std::string> folders = foldersToCompare({game});
    const struct {
        std::string argv0, mapped;
        bool found;
    } kCases[] = {
        {windowsPath("Z:", game + "/system/ucc.exe"), "", true},
        {windowsPath("z:", twin + "/System/UCC.exe"), "", false},
        {"UCC.exe", twin + "/System/Core.dll", false},
        {"UCC.exe", game + "/System/Core.dll", true},
    };
    for (const auto& c : kCases) {
        const FakeProcess p{"", wine, t.path(), {c.argv0}, t / "nowhere", c.mapped, ""};
        TableLook look(p);
        EXPECT_EQ(gameProgramOf(look, folders).empty(), !c.found) << c.argv0 << " " << c.mapped;
    }
}

}  // namespace
}  // namespace qv::test
