// Two runs on one cache: while one process holds the cache, a second run (or purge) is refused
// with the busy message and changes nothing; a run killed while it holds the cache leaves no
// lock behind.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>

#include "engine/cache_lock.h"
#include "engine/maintenance.h"
#include "platform/posix_filesystem.h"
#include "settings/program_settings.h"
#include "tests/robustness/crash_game.h"
#include "tests/support/scripted_dialogs.h"

namespace qv::crash {
namespace {

constexpr unsigned kPackages = 40;

class SilentSink final : public StatusSink {
  public:
    void addLine(const std::string&) override {}
};

// Once the first package line is done (the second index line, after "[Cache]") the run tells
// the parent that it holds the cache, then waits until the parent lets it go on.
class PausingSink final : public StatusSink {
  public:
    PausingSink(int heldFd, int goFd) : heldFd_(heldFd), goFd_(goFd) {}
    void addLine(const std::string&) override {}
    void progress(std::size_t done, std::size_t) override {
        if (paused_ || done < 2) return;
        paused_ = true;
        if (::write(heldFd_, "h", 1) != 1) ::_exit(4);
        char go = 0;
        if (::read(goFd_, &go, 1) < 0) ::_exit(5);  // a byte or end of file: go on
    }

  private:
    int heldFd_, goFd_;
    bool paused_ = false;
};

// Everything under the game and program folders: path -> bytes.
std::map<std::string, std::string> snapshot(const CrashGame& g) {
    std::map<std::string, std::string> files;
    for (const std::string& folder :
         {g.cacheDir, g.game + "/Maps", g.game + "/Textures", g.game + "/Sounds", g.game + "/Music",
          g.game + "/System", g.programFolder})
        for (const std::string& name : test::listNames(folder))
            files[folder + "/" + name] = test::readFile(folder + "/" + name);
    return files;
}

// A run in a child process that stops inside ProcessCache, holding the cache's lock.
class HeldRun final {
  public:
    explicit HeldRun(const CrashGame& g) {
        int held[2], go[2];
        if (::pipe(held) != 0 || ::pipe(go) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(held[0]);
            ::close(go[1]);
            PosixFileSystem posix;
            test::ScriptedDialogs dialogs;
            PausingSink sink(held[1], go[0]);
            const RunReport r = runEverything(g.setup(), posix, dialogs, sink);
            ::_exit(r.outcome == RunOutcome::Completed && dialogs.shown.empty() ? 0 : 3);
        }
        ::close(held[1]);
        ::close(go[0]);
        goFd_ = go[1];
        char h = 0;
        holding_ = pid_ > 0 && ::read(held[0], &h, 1) == 1;
        ::close(held[0]);
    }
    ~HeldRun() {
        if (goFd_ >= 0) ::close(goFd_);
        if (pid_ > 0 && !reaped_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    HeldRun(const HeldRun&) = delete;
    HeldRun& operator=(const HeldRun&) = delete;

    bool holding() const { return holding_; }

    // Lets the run go on; its exit status (0: completed without a message).
    int finish() {
        ::close(goFd_);  // the closed pipe reads as end of file: go on
        goFd_ = -1;
        return reap();
    }
    // SIGKILL while it holds the cache; true when it died of it.
    bool kill() {
        ::kill(pid_, SIGKILL);
        return reap() == -SIGKILL;
    }

  private:
    int reap() {
        int status = 0;
        ::waitpid(pid_, &status, 0);
        reaped_ = true;
        if (WIFSIGNALED(status)) return -WTERMSIG(status);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1000;
    }

    pid_t pid_ = -1;
    int goFd_ = -1;
    bool holding_ = false;
    bool reaped_ = false;
};

class ConcurrentRunTest : public ::testing::Test {
  protected:
    CrashGame g{FsMode::Same, kPackages};

    RunReport runHere(test::ScriptedDialogs& dialogs) {
        PosixFileSystem posix;
        SilentSink sink;
        return runEverything(g.setup(), posix, dialogs, sink);
    }

    void expectAllPlaced() {
        for (const Package& p : g.packages) {
            ASSERT_TRUE(test::fileExists(g.destination(p))) << p.realName;
            EXPECT_EQ(test::readFile(g.destination(p)), p.bytes) << p.realName;
            EXPECT_FALSE(test::fileExists(g.cacheFile(p))) << p.realName;
        }
        EXPECT_EQ(test::readFile(g.cacheDir + "/cache.ini"), "[Cache]\r\n");
    }
};

TEST_F(ConcurrentRunTest, SecondRunAndPurgeAreRefusedWhileTheFirstHoldsTheCache) {
    HeldRun first(g);
    ASSERT_TRUE(first.holding());
    const auto before = snapshot(g);
    // The first run is inside its loop: its first package has moved, the index is the old one.
    EXPECT_TRUE(test::fileExists(g.destination(g.packages.front())));
    EXPECT_EQ(test::readFile(g.cacheDir + "/cache.ini"), g.oldIndex);

    test::ScriptedDialogs dialogs;
    EXPECT_EQ(runHere(dialogs).outcome, RunOutcome::Busy);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].kind, test::ScriptedDialogs::Shown::Message);
    EXPECT_EQ(dialogs.shown[0].title, kProgramTitle);
    EXPECT_EQ(dialogs.shown[0].text, kCacheBusyMessage);

    test::ScriptedDialogs purgeDialogs;
    purgeDialogs.answers = {true};
    PublicVariables pv;
    pv.ProgramFolder = g.programFolder;
    pv.GameDir = g.gameDir;
    PosixFileSystem posix;
    EngineContext ctx{posix, purgeDialogs};
    SilentSink sink;
    EXPECT_EQ(PurgeCache(pv, ctx, sink), PurgeOutcome::Busy);
    EXPECT_EQ(purgeDialogs.messages(), std::vector<std::string>{kCacheBusyMessage});
    EXPECT_EQ(purgeDialogs.answers.size(), 1u) << "the purge asked its question all the same";

    EXPECT_EQ(snapshot(g), before) << "the refused run or purge changed something";
    EXPECT_EQ(first.finish(), 0) << "the first run did not complete on its own";
    expectAllPlaced();
}

TEST_F(ConcurrentRunTest, ARunKilledWhileHoldingTheCacheLeavesNoLockBehind) {
    {
        HeldRun first(g);
        ASSERT_TRUE(first.holding());
        ASSERT_TRUE(first.kill());
    }
    // The lock file stays, but nobody holds it.
    EXPECT_TRUE(test::fileExists(g.cacheDir + "/.quorvel.lock"));
    EXPECT_EQ(CacheLock(g.cacheDir).state(), CacheLock::State::Held);

    test::ScriptedDialogs dialogs;
    EXPECT_EQ(runHere(dialogs).outcome, RunOutcome::Completed);
    EXPECT_TRUE(dialogs.shown.empty());
    expectAllPlaced();
}

}  // namespace
}  // namespace qv::crash
