// quorvel-crash-child: runs one whole run on a game folder that the crash test built, and
// kills itself with SIGKILL at a chosen point, so the test can look at what a crash leaves.
//
//   quorvel-crash-child PROGRAM GAME CACHE MODE K CROSS TRACE
//
// PROGRAM  program folder (Quorvel.ini); GAME  game folder ending in '/';
// CACHE    cache folder, or "-" for the game's own;
// MODE     none      run to the end (with TRACE: one line per counted file operation)
//          before    die just before the K-th counted file operation
//          after     die just after the K-th counted file operation returned
//          line      die after the K-th status-list line
//          progress  die after the K-th progress report (one per index line)
//          midtmp    during the K-th operation, die once a hidden temporary file shows up in
//                    the folder it writes to (inside a copy or an atomic write)
//          middest   during the K-th operation (a move), die once the destination exists
//                    (between the final rename of a copy and the deletion of its source)
//          In both mid modes the child dies right after the operation if it saw nothing.
// CROSS    1: every move takes the copy path (PosixFileSystem::setForceCrossDevice)
// TRACE    file for the operation trace, or "-"
//
// Exit status: 0 when the run completed, 3 when it did not, 2 on bad arguments.
#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "platform/dialogs.h"
#include "platform/posix_filesystem.h"
#include "tests/robustness/child/crash_run.h"

namespace qv::crash {
namespace {

enum class Mode { None, Before, After, Line, Progress, MidTemp, MidDest };

[[noreturn]] void die() {
    ::kill(::getpid(), SIGKILL);
    for (;;) ::pause();
}

std::string parentOf(const std::string& path) {
    const auto pos = path.rfind('/');
    return pos == std::string::npos ? "." : path.substr(0, pos);
}

bool holdsTempFile(const std::string& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return false;
    bool found = false;
    while (const dirent* e = ::readdir(dir))
        if (std::strncmp(e->d_name, ".quorvel-tmp-", 13) == 0) found = true;
    ::closedir(dir);
    return found;
}

// Watches the file system from a second thread while one operation runs, and kills the
// process the moment the awaited state appears.
class Watcher final {
  public:
    Watcher(Mode mode, std::string folder, std::string destination)
        : thread_([this, mode, folder = std::move(folder), dest = std::move(destination)] {
              struct stat st {};
              while (!stop_.load()) {
                  if (mode == Mode::MidTemp && holdsTempFile(folder)) die();
                  if (mode == Mode::MidDest && ::lstat(dest.c_str(), &st) == 0) die();
              }
          }) {}
    ~Watcher() {
        stop_.store(true);
        thread_.join();
    }
    Watcher(const Watcher&) = delete;
    Watcher& operator=(const Watcher&) = delete;

  private:
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// Counts every file operation that reads or changes something (existence tests and dates
// excepted) and dies at the chosen one.
class KillingFileSystem final : public FileSystem {
  public:
    KillingFileSystem(FileSystem& inner, Mode mode, long k, std::FILE* trace)
        : inner_(inner), mode_(mode), k_(k), trace_(trace) {}

    long count() const { return count_; }

    template <class Op>
    auto counted(const char* name, const std::string& path, const std::string& to, Op&& op) {
        const long n = ++count_;
        if (trace_) std::fprintf(trace_, "%ld %s %s\n", n, name, path.c_str());
        if (n != k_) return op();
        if (mode_ == Mode::Before) die();
        if (mode_ == Mode::MidTemp || mode_ == Mode::MidDest) {
            const std::string target = to.empty() ? path : to;
            auto result = [&] {
                Watcher watcher(mode_, parentOf(target), target);
                return op();
            }();
            (void)result;
            die();
        }
        auto result = op();
        if (mode_ == Mode::After) die();
        return result;
    }

    bool isFile(const std::string& p) override { return inner_.isFile(p); }
    bool isFolder(const std::string& p) override { return inner_.isFolder(p); }
    bool exists(const std::string& p) override { return inner_.exists(p); }
    std::optional<std::int64_t> modifiedTime(const std::string& p) override {
        return inner_.modifiedTime(p);
    }
    Result<std::string> readAll(const std::string& p) override {
        return counted("readAll", p, {}, [&] { return inner_.readAll(p); });
    }
    Status writeAtomic(const std::string& p, std::string_view data) override {
        return counted("writeAtomic", p, {}, [&] { return inner_.writeAtomic(p, data); });
    }
    Result<std::unique_ptr<OutFile>> createFile(const std::string& p) override;
    Status appendToFile(const std::string& p, std::string_view data) override {
        return counted("appendToFile", p, {}, [&] { return inner_.appendToFile(p, data); });
    }
    Status moveNoReplace(const std::string& from, const std::string& to) override {
        return counted("moveNoReplace", from, to, [&] { return inner_.moveNoReplace(from, to); });
    }
    Status renameReplace(const std::string& from, const std::string& to) override {
        return counted("renameReplace", from, to, [&] { return inner_.renameReplace(from, to); });
    }
    Status removeFile(const std::string& p) override {
        return counted("removeFile", p, {}, [&] { return inner_.removeFile(p); });
    }
    Status makeFolder(const std::string& p) override {
        return counted("makeFolder", p, {}, [&] { return inner_.makeFolder(p); });
    }
    Result<std::vector<FileInfo>> listFiles(const std::string& f, const std::string& pat) override {
        return counted("listFiles", f, {}, [&] { return inner_.listFiles(f, pat); });
    }
    Status makeWritable(const std::string& p) override {
        return counted("makeWritable", p, {}, [&] { return inner_.makeWritable(p); });
    }

  private:
    FileSystem& inner_;
    Mode mode_;
    long k_;
    std::FILE* trace_;
    long count_ = 0;
};

// Each write and the close of an open file count as operations of their own.
class KillingOutFile final : public OutFile {
  public:
    KillingOutFile(std::unique_ptr<OutFile> inner, KillingFileSystem& fs, std::string path)
        : inner_(std::move(inner)), fs_(fs), path_(std::move(path)) {}
    Status write(std::string_view data) override {
        return fs_.counted("write", path_, {}, [&] { return inner_->write(data); });
    }
    Status close() override {
        return fs_.counted("close", path_, {}, [&] { return inner_->close(); });
    }

  private:
    std::unique_ptr<OutFile> inner_;
    KillingFileSystem& fs_;
    std::string path_;
};

Result<std::unique_ptr<OutFile>> KillingFileSystem::createFile(const std::string& p) {
    return counted("createFile", p, {}, [&]() -> Result<std::unique_ptr<OutFile>> {
        Result<std::unique_ptr<OutFile>> made = inner_.createFile(p);
        if (!made.ok()) return made;
        return {std::make_unique<KillingOutFile>(std::move(made.value), *this, p), {}};
    });
}

class KillingSink final : public StatusSink {
  public:
    KillingSink(Mode mode, long k) : mode_(mode), k_(k) {}
    long lines = 0, progressCalls = 0;
    void addLine(const std::string&) override {
        if (++lines == k_ && mode_ == Mode::Line) die();
    }
    void progress(std::size_t, std::size_t) override {
        if (++progressCalls == k_ && mode_ == Mode::Progress) die();
    }

  private:
    Mode mode_;
    long k_;
};

// Nobody is there to answer: messages go to stderr, questions are answered No.
class QuietDialogs final : public Dialogs {
  public:
    void message(const std::string& title, const std::string& text) override {
        std::fprintf(stderr, "message: %s: %s\n", title.c_str(), text.c_str());
    }
    bool askYesNo(const std::string& title, const std::string& text) override {
        message(title, text);
        return false;
    }
    std::string pickFolder(const std::string&) override { return {}; }
};

bool parseMode(const std::string& s, Mode& mode) {
    const struct {
        const char* name;
        Mode mode;
    } modes[] = {{"none", Mode::None},      {"before", Mode::Before},     {"after", Mode::After},
                 {"line", Mode::Line},      {"progress", Mode::Progress}, {"midtmp", Mode::MidTemp},
                 {"middest", Mode::MidDest}};
    for (const auto& m : modes)
        if (s == m.name) {
            mode = m.mode;
            return true;
        }
    return false;
}

int run(int argc, char** argv) {
    Mode mode{};
    if (argc != 8 || !parseMode(argv[4], mode)) {
        std::fprintf(stderr, "usage: %s PROGRAM GAME CACHE MODE K CROSS TRACE\n", argv[0]);
        return 2;
    }
    const std::string cache = argv[3];
    const RunSetup setup{argv[1], argv[2], cache == "-" ? std::string() : cache};
    const long k = std::atol(argv[5]);
    const std::string tracePath = argv[7];

    std::FILE* trace = nullptr;
    if (tracePath != "-" && !(trace = std::fopen(tracePath.c_str(), "w"))) return 2;
    PosixFileSystem posix;
    posix.setForceCrossDevice(std::string(argv[6]) == "1");
    KillingFileSystem fs(posix, mode, k, trace);
    KillingSink sink(mode, k);
    QuietDialogs dialogs;

    const RunReport report = runEverything(setup, fs, dialogs, sink);
    std::printf("rows=%zu ops=%ld lines=%ld progress=%ld\n", report.rows, fs.count(), sink.lines,
                sink.progressCalls);
    if (trace) {
        std::fprintf(trace, "end ops=%ld lines=%ld progress=%ld\n", fs.count(), sink.lines,
                     sink.progressCalls);
        std::fclose(trace);
    }
    return report.outcome == RunOutcome::Completed ? 0 : 3;
}

}  // namespace
}  // namespace qv::crash

int main(int argc, char** argv) {
    return qv::crash::run(argc, argv);
}
