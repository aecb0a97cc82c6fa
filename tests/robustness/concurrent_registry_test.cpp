// The main program (here as quorvel-cli uses the store) and the troubleshooter work on the
// registry file at the same time: each writes its own values and the same shared one, and
// reads the game's key between its writes. No write may be lost and no read may come back
// without the game folder.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "platform/dialogs.h"
#include "settings/clsRegistry.h"
#include "settings/program_settings.h"
#include "tests/support/temp_dir.h"

namespace qv {
namespace {

constexpr int kRounds = 60;
constexpr const char* kGameFolder = "/games/Unreal Tournament/";
constexpr const char* kInstallPath = "/opt/quorvel";

// Counts the error messages the registry class would have shown.
class CountingDialogs final : public Dialogs {
  public:
    int messages = 0;
    void message(const std::string&, const std::string&) override { ++messages; }
    bool askYesNo(const std::string&, const std::string&) override { return false; }
    std::string pickFolder(const std::string&) override { return {}; }
};

std::string cliValue(int i) {
    return "cli run " + std::to_string(i);
}
std::string tsValue(int i) {
    return "report " + std::to_string(i);
}
std::string cliMoveDir(int i) {
    return "/cli/moves/" + std::to_string(i);
}

// Exit status of a writer: 0, or 10 + the reads that missed the game folder, or 50 when the
// registry class reported an error.
int exitStatus(const CountingDialogs& dialogs, int missedReads) {
    if (dialogs.messages > 0) return 50;
    return missedReads > 0 ? 10 + std::min(missedReads, 30) : 0;
}

// As the command line does: reads the game folder and the stored options, records a value of
// its own, and now and then saves every option (as the main window does when it closes).
[[noreturn]] void cliWriter(const std::string& store, int startFd) {
    char go = 0;
    if (::read(startFd, &go, 1) < 0) ::_exit(2);
    CountingDialogs dialogs;
    int missed = 0;
    for (int i = 0; i < kRounds; ++i) {
        clsRegistry game = clsRegistry::gameKey(&dialogs, store);
        if (game.ReadEntry("Folder", "") != kGameFolder) ++missed;
        clsRegistry program = clsRegistry::programKey(&dialogs, store);
        Options o = restoreOptions(program);
        program.WriteEntry("CliValue" + std::to_string(i), cliValue(i));
        if (i % 10 == 9) {
            o.MoveDir = true;
            o.MoveDirText = cliMoveDir(i);
            o.CacheDir = cliMoveDir(i);
            saveOptions(program, o);
        }
    }
    ::_exit(exitStatus(dialogs, missed));
}

// As the troubleshooter does: reads where the game and the cache are, records a value of its
// own, and now and then clears the stored cache folder (its reset button).
[[noreturn]] void troubleshooterWriter(const std::string& store, int startFd) {
    char go = 0;
    if (::read(startFd, &go, 1) < 0) ::_exit(2);
    CountingDialogs dialogs;
    int missed = 0;
    for (int i = 0; i < kRounds; ++i) {
        if (clsRegistry::gameKey(&dialogs, store).ReadEntry("Folder", "") != kGameFolder) ++missed;
        clsRegistry program = clsRegistry::programKey(&dialogs, store);
        (void)program.ReadEntry("CacheDir", "");
        if (program.ReadEntry("InstallPath", "") != kInstallPath) ++missed;
        program.WriteEntry("TsValue" + std::to_string(i), tsValue(i));
        if (i % 5 == 4) program.WriteEntry("CacheDir", "");
    }
    ::_exit(exitStatus(dialogs, missed));
}

TEST(ConcurrentRegistryTest, MainProgramAndTroubleshooterWritingAtOnceLoseNothing) {
    test::TempDir dir;
    const std::string store = dir / "registry.reg";
    clsRegistry::gameKey(nullptr, store).WriteEntry("Folder", kGameFolder);
    clsRegistry::programKey(nullptr, store).WriteEntry("InstallPath", kInstallPath);

    int start[2];
    ASSERT_EQ(::pipe(start), 0);
    pid_t children[2];
    for (int w = 0; w < 2; ++w) {
        children[w] = ::fork();
        ASSERT_GE(children[w], 0);
        if (children[w] == 0) {
            ::close(start[1]);
            if (w == 0) cliWriter(store, start[0]);
            troubleshooterWriter(store, start[0]);
        }
    }
    ::close(start[0]);
    ::close(start[1]);  // both writers start together
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0)
            << "10 + n: n reads missed a value; 50: the registry class reported an error";
    }

    clsRegistry game = clsRegistry::gameKey(nullptr, store);
    clsRegistry program = clsRegistry::programKey(nullptr, store);
    EXPECT_EQ(game.ReadEntry("Folder", ""), kGameFolder);
    EXPECT_EQ(program.ReadEntry("InstallPath", ""), kInstallPath);
    int lost = 0;
    for (int i = 0; i < kRounds; ++i) {
        lost += program.ReadEntry("CliValue" + std::to_string(i), "") != cliValue(i);
        lost += program.ReadEntry("TsValue" + std::to_string(i), "") != tsValue(i);
    }
    EXPECT_EQ(lost, 0) << "of " << 2 * kRounds << " values";
    // Only the command line writes these; its last save must stand as it wrote it.
    const int lastSave = kRounds - 1;
    EXPECT_EQ(program.ReadEntry("MoveDirText", ""), cliMoveDir(lastSave));
    EXPECT_EQ(program.ReadEntry("MoveDir", ""), "True");
    // Both write this one: it holds one of their last writes.
    const std::string cacheDir = program.ReadEntry("CacheDir", "");
    EXPECT_TRUE(cacheDir.empty() || cacheDir == cliMoveDir(lastSave)) << cacheDir;
    EXPECT_EQ(test::listNames(dir.path()),
              (std::vector<std::string>{"registry.reg", "registry.reg.lock"}));
}

}  // namespace
}  // namespace qv
