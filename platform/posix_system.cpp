// Signals, the terminal and the local time on a POSIX system.
#include <pwd.h>
#include <signal.h>
#include <sys/utsname.h>
#include <time.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <vector>

#include "platform/system.h"

namespace qv {

namespace {

// Set by the signal handler: a lock-free atomic is all a handler may touch.
std::atomic<bool> stopSignalled{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void onStopSignal(int) {
    stopSignalled.store(true);
}

constexpr std::array<int, 3> kSignals{SIGINT, SIGTERM, SIGHUP};

}  // namespace

struct StopOnSignals::Saved {
    std::array<struct sigaction, 3> old{};
};

// SA_RESETHAND puts the default handler back after the first SIGINT or SIGTERM; SA_RESTART keeps
// the file operations under way going.
StopOnSignals::StopOnSignals(bool on) {
    if (!on) return;
    saved_ = std::make_unique<Saved>();
    stopSignalled.store(false);
    struct sigaction sa {};
    sa.sa_handler = onStopSignal;
    sigemptyset(&sa.sa_mask);
    for (std::size_t i = 0; i < kSignals.size(); ++i) {
        sa.sa_flags = SA_RESTART | (kSignals[i] == SIGHUP ? 0 : SA_RESETHAND);
        ::sigaction(kSignals[i], &sa, &saved_->old[i]);
        // A program started to ignore one (nohup, a background job) goes on ignoring it.
        if (saved_->old[i].sa_handler == SIG_IGN)
            ::sigaction(kSignals[i], &saved_->old[i], nullptr);
    }
}

StopOnSignals::~StopOnSignals() {
    if (!saved_) return;
    for (std::size_t i = 0; i < kSignals.size(); ++i)
        ::sigaction(kSignals[i], &saved_->old[i], nullptr);
}

const std::atomic<bool>* StopOnSignals::flag() const {
    return saved_ ? &stopSignalled : nullptr;
}

void keepGoingWhenOutputCloses() {
    ::signal(SIGPIPE, SIG_IGN);
}

bool standardInputIsTerminal() {
    return ::isatty(STDIN_FILENO) == 1;
}

std::int64_t fileClockNow() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME_COARSE, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

std::optional<std::tm> localTime(std::int64_t seconds) {
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm local{};
    if (!::localtime_r(&t, &local)) return std::nullopt;
    return local;
}

std::optional<KernelName> kernelName() {
    utsname u{};
    if (::uname(&u) != 0) return std::nullopt;
    return KernelName{u.sysname, u.release};
}

std::string hostName() {
    std::vector<char> buf(512, '\0');
    if (::gethostname(buf.data(), buf.size() - 1) != 0) return {};
    return std::string(buf.data());
}

std::string userName() {
    const long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buf(size > 0 ? static_cast<std::size_t>(size) : 16384);
    passwd pw{};
    passwd* found = nullptr;
    if (::getpwuid_r(::geteuid(), &pw, buf.data(), buf.size(), &found) == 0 && found &&
        found->pw_name && *found->pw_name)
        return std::string(found->pw_name);
    for (const char* name : {"USER", "LOGNAME"})
        if (const char* u = std::getenv(name); u && *u) return std::string(u);
    return {};
}

}  // namespace qv
