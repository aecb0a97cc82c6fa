// Linux only: the stand-in for a running game is a process /proc shows.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;

namespace qv::test {

FakeGame::FakeGame(const std::string& folder, const std::string& exe, const std::string& argv0,
                   const std::vector<std::string>& environment) {
    fs::copy_file("/bin/sleep", exe);
    std::vector<char*> env;
    for (const std::string& e : environment) env.push_back(const_cast<char*>(e.c_str()));
    env.push_back(nullptr);
    char seconds[] = "60";
    char* const argv[] = {const_cast<char*>(argv0.c_str()), seconds, nullptr};
    pid = ::fork();
    if (pid == 0) {
        if (::chdir(folder.c_str()) == 0) ::execve(exe.c_str(), argv, env.data());
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
