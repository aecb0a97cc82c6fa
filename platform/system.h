#pragma once
// What the programs ask of the system beyond files: a stop asked for from outside, the terminal,
// the local time.

#include <atomic>
#include <cstdint>
#include <ctime>
#include <memory>
#include <optional>
#include <string>

namespace qv {

// While alive (and asked to), a request from outside to end the program only sets a stop flag that
// the engine reads between packages: on POSIX the first SIGINT or SIGTERM (the default handler is
// back at once, so a second one ends the program as it always did), and every SIGHUP (a closed
// terminal, a dropped ssh: a closing terminal's shell and the kernel each send one, and nobody
// means the second to kill). A program started to ignore one (nohup) goes on ignoring it; the file
// operations under way go on. One at a time per process.
class StopOnSignals final {
  public:
    explicit StopOnSignals(bool on);
    ~StopOnSignals();
    StopOnSignals(const StopOnSignals&) = delete;
    StopOnSignals& operator=(const StopOnSignals&) = delete;
    // The flag, nullptr when not asked to.
    const std::atomic<bool>* flag() const;

  private:
    struct Saved;
    std::unique_ptr<Saved> saved_;
};

// A reader that went away (`quorvel-cli run | head -1`) makes a write to standard output fail
// rather than end the program.
void keepGoingWhenOutputCloses();

// Whether standard input is a terminal (a user who can answer a question).
bool standardInputIsTerminal();

// Nanoseconds since the epoch by the clock the file system stamps files with (coarser than the
// finest clock): a file changed after this call never has an earlier time.
std::int64_t fileClockNow();

// `seconds` since the epoch as the local calendar time; nothing where the system cannot tell.
std::optional<std::tm> localTime(std::int64_t seconds);

// The running kernel's name and release ("Linux", "6.1.0-18-amd64"); nothing where unknown.
struct KernelName {
    std::string name, release;
};
std::optional<KernelName> kernelName();

// This machine's network name; "" where unknown.
std::string hostName();

// The name of the user the program runs as (the effective one); "" where unknown.
std::string userName();

}  // namespace qv
