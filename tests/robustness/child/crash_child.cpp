// quorvel-crash-child PROGRAM GAME CACHE MODE K COPY TRACE [undo]: one whole run (or with "undo",
// the undo of the last run) on a game folder the crash test built. MODE none runs to the end and
// writes one line per counted file operation to TRACE; before/after die by SIGKILL around the K-th
// operation; midtmp dies inside it once a hidden temporary file shows up, middest once a move's
// target exists (between the last rename of a copy and the deletion of its source), both after it
// otherwise; stop asks the run to stop as the K-th operation starts, as Stop and Ctrl+C do. COPY 1:
// every move copies. With QV_JOURNAL_ROOM=N in the environment the journal finds room for N
// landings only. MODE rewrite replaces the file CACHE names by writeAtomic and dies as
// the rename that puts the new file in place begins.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "engine/run/undo.h"
#include "tests/support/faulty_filesystem.h"
#include "tests/support/game.h"

namespace {

[[noreturn]] void die() {
    ::kill(::getpid(), SIGKILL);
    for (;;) ::pause();
}

bool holdsTempFile(const std::string& folder) {
    DIR* dir = ::opendir(folder.c_str());
    bool found = false;
    while (const dirent* e = dir ? ::readdir(dir) : nullptr)
        found |= std::strncmp(e->d_name, ".quorvel-tmp-", 13) == 0;
    if (dir) ::closedir(dir);
    return found;
}

// Watches from a second thread while one operation runs and dies the moment `seen` holds.
class Watcher {
  public:
    template <class Seen>
    explicit Watcher(Seen seen)
        : thread_([this, seen] {
              while (!stop_)
                  if (seen()) die();
          }) {}
    ~Watcher() {
        stop_ = true;
        thread_.join();
    }

  private:
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

class Silent final : public qv::StatusSink {
    void addLine(const std::string&) override {}
};

bool dieAtRename = false;

}  // namespace

// The program's renames come here (the platform library is linked into this program): in mode
// rewrite the process dies as one begins, after whatever a rewrite did before it.
extern "C" int rename(const char* from, const char* to) noexcept {
    if (dieAtRename) die();
    return static_cast<int>(::syscall(SYS_renameat2, AT_FDCWD, from, AT_FDCWD, to, 0));
}
extern "C" int renameat(int fromDir, const char* from, int toDir, const char* to) noexcept {
    if (dieAtRename) die();
    return static_cast<int>(::syscall(SYS_renameat2, fromDir, from, toDir, to, 0));
}

int main(int argc, char** argv) {
    const bool undo = argc == 9 && std::string(argv[8]) == "undo";
    if (argc != 8 && !undo) return 2;
    const std::string mode = argv[4];
    const long k = std::atol(argv[5]);
    std::FILE* trace = mode == "none" ? std::fopen(argv[7], "w") : nullptr;
    qv::PosixFileSystem posix;
    if (mode == "rewrite") {
        dieAtRename = true;
        return posix.writeAtomic(argv[3], "rewritten\r\n").ok() ? 0 : 3;
    }
    qv::CopyingFileSystem copying(posix);
    qv::FaultyFileSystem fs(std::string(argv[6]) == "1" ? static_cast<qv::FileSystem&>(copying)
                                                        : posix);
    // A journal folder on a disk that fills up: QV_JOURNAL_ROOM landings find room, no more.
    if (const char* room = std::getenv("QV_JOURNAL_ROOM")) fs.reserveRoom = std::atol(room);
    std::atomic<bool> stop{false};
    std::unique_ptr<Watcher> watcher;
    fs.watch = [&](const char* op, const std::string& path, const std::string& to, bool done) {
        if (trace && !done) std::fprintf(trace, "%s %s\n", op, path.c_str());
        if (fs.count != k) return;
        if (mode == "stop") stop = true;
        if ((mode == "before" && !done) || (mode == "after" && done)) die();
        if (mode != "midtmp" && mode != "middest") return;
        if (done) {
            watcher.reset();
            die();
        }
        const std::string target = to.empty() ? path : to;
        const std::string folder = target.substr(0, target.rfind('/'));
        if (mode == "midtmp")
            watcher = std::make_unique<Watcher>([folder] { return holdsTempFile(folder); });
        if (mode == "middest")
            watcher = std::make_unique<Watcher>([target] {
                struct stat st;
                return ::lstat(target.c_str(), &st) == 0;
            });
    };
    qv::test::ScriptedDialogs dialogs;
    qv::PublicVariables pv;
    pv.ProgramFolder = argv[1];
    pv.GameDir = argv[2];
    qv::ScanState state;
    state.cacheDir = argv[3];
    qv::EngineContext ctx{fs, dialogs, &stop};
    Silent sink;
    if (undo) {
        const auto undone = qv::UndoRun({argv[1], "", false, argv[3]}, ctx, sink);
        if (trace) std::fclose(trace);
        return undone.outcome == qv::UndoOutcome::Done ? 0 : 3;
    }
    const bool completed =
        qv::test::runAsTheWindowDoes(pv, state, ctx, sink).outcome == qv::RunOutcome::Completed;
    if (trace) std::fclose(trace);
    return completed ? 0 : 3;
}
