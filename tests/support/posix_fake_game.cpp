// Linux only: the stand-in for a running game is a process /proc shows.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;

namespace qv::test {

FakeGame::FakeGame(const std::string& folder, const std::string& exe) {
    fs::copy_file("/bin/sleep", exe);
    pid = ::fork();
    if (pid == 0) {
        if (::chdir(folder.c_str()) == 0) ::execl(exe.c_str(), "ut", "60", nullptr);
        ::_exit(127);
    }
    std::error_code ec;
    const std::string link = "/proc/" + std::to_string(pid) + "/exe";
    for (int i = 0; i < 500 && fs::read_symlink(link, ec) != exe; ++i) ::usleep(10000);
}

void FakeGame::stop() {
    if (pid > 0) ::kill(pid, SIGKILL), ::waitpid(pid, nullptr, 0);
    pid = 0;
}

}  // namespace qv::test
