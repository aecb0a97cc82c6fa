// Finding a running copy of the game through /proc: what each process shows of itself.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <optional>
#include <sstream>

#include "platform/game_process.h"
#include "platform/trace.h"

namespace qv {

namespace {

// The text of a /proc file; what could be read of it when the process ends meanwhile.
std::string readText(const std::string& path) {
    std::string text;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return text;
    char buf[4096];
    for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0 && text.size() < (1u << 20);)
        text.append(buf, static_cast<std::size_t>(n));
    ::close(fd);
    return text;
}

// The target of a link of /proc ("" when it cannot be read), without the " (deleted)" the
// kernel adds for a file that was removed.
std::string linkTarget(const std::string& path) {
    char buf[PATH_MAX];
    const ssize_t n = ::readlink(path.c_str(), buf, sizeof buf - 1);
    if (n <= 0) return {};
    std::string target(buf, static_cast<std::size_t>(n));
    constexpr std::string_view kDeleted = " (deleted)";
    if (target.ends_with(kDeleted)) target.resize(target.size() - kDeleted.size());
    return target;
}

std::vector<std::string> splitNul(const std::string& text) {
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, '\0'))
        if (!part.empty()) parts.push_back(part);
    return parts;
}

std::optional<int> ownerOf(const std::string& procDir) {
    std::istringstream status(readText(procDir + "/status"));
    for (std::string line; std::getline(status, line);)
        if (line.starts_with("Uid:")) return std::atoi(line.c_str() + 4);
    struct stat st {};
    if (::stat(procDir.c_str(), &st) == 0) return static_cast<int>(st.st_uid);
    return std::nullopt;
}

// A process as /proc shows it.
class ProcLook final : public ProcessLook {
  public:
    explicit ProcLook(std::string procDir) : dir_(std::move(procDir)) {}
    std::string executable() override { return linkTarget(dir_ + "/exe"); }
    std::vector<std::string> arguments() override { return splitNul(readText(dir_ + "/cmdline")); }
    std::vector<std::string> environment() override {
        return splitNul(readText(dir_ + "/environ"));
    }
    std::string workingFolder() override { return linkTarget(dir_ + "/cwd"); }
    bool anyOpenFile(const std::function<bool(const std::string&)>& test) override {
        DIR* dir = ::opendir((dir_ + "/fd").c_str());
        if (!dir) return anyMappedFile(test);
        bool found = false;
        while (const dirent* e = ::readdir(dir)) {
            if (e->d_name[0] == '.') continue;
            if (test(linkTarget(dir_ + "/fd/" + e->d_name))) {
                found = true;
                break;
            }
        }
        ::closedir(dir);
        return found || anyMappedFile(test);
    }

  private:
    // The files of /proc/PID/maps: after five fields (addresses, mode, offset, device, inode)
    // and the spaces that pad them, the rest of the line is the path; the kernel writes a
    // newline in it as \012 and marks a removed file " (deleted)".
    bool anyMappedFile(const std::function<bool(const std::string&)>& test) {
        std::istringstream maps(readText(dir_ + "/maps"));
        std::string last;
        for (std::string line; std::getline(maps, line);) {
            std::size_t at = 0;
            for (int field = 0; field < 5 && at != std::string::npos; ++field) {
                at = line.find(' ', at);
                if (at != std::string::npos) at = line.find_first_not_of(' ', at);
            }
            if (at == std::string::npos || line[at] != '/') continue;
            std::string path;
            for (std::size_t i = at; i < line.size(); ++i) {
                const bool newline = line.compare(i, 4, "\\012") == 0;
                path += newline ? '\n' : line[i];
                if (newline) i += 3;
            }
            constexpr std::string_view kDeleted = " (deleted)";
            if (path.ends_with(kDeleted)) path.resize(path.size() - kDeleted.size());
            if (path == last) continue;  // a file is mapped in several pieces, one line each
            if (test(path)) return true;
            last = std::move(path);
        }
        return false;
    }

    std::string dir_;
};

}  // namespace

std::string processTableRoot() {
    return "/proc";
}

RunningGames findRunningGame(const std::vector<std::string>& folders, const std::string& procRoot,
                             int selfPid, int uid) {
    if (selfPid < 0) selfPid = static_cast<int>(::getpid());
    if (uid < 0) uid = static_cast<int>(::geteuid());
    RunningGames search;
    search.othersUnseen = uid != 0;
    const std::vector<std::string> wanted = foldersToCompare(folders);
    DIR* dir = ::opendir(procRoot.c_str());
    if (!dir) return search;
    while (const dirent* e = ::readdir(dir)) {
        const std::string pidText = e->d_name;
        if (pidText.empty() || pidText.find_first_not_of("0123456789") != std::string::npos)
            continue;
        const int pid = std::atoi(pidText.c_str());
        const std::string procDir = procRoot + "/" + pidText;
        if (pid == selfPid) continue;
        if (uid != 0 && ownerOf(procDir) != uid) continue;
        ProcLook process(procDir);
        std::string why;
        std::string name = gameProgramOf(process, wanted, why);
        trace::line(trace::Category::Game, "process " + pidText + " (" + why + ")");
        if (!name.empty()) search.found.push_back({std::move(name), pid});
    }
    ::closedir(dir);
    return search;
}

}  // namespace qv
