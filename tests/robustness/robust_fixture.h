#pragma once

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "platform/faulty_filesystem.h"
#include "platform/filesystem.h"
#include "tests/support/temp_dir.h"

namespace qv::robust {

// The error codes every fault sweep injects.
inline const std::vector<int> kSweepErrors = {EACCES, ENOSPC, EXDEV, EIO};

inline std::string errName(int err) {
    switch (err) {
        case EACCES:
            return "EACCES";
        case ENOSPC:
            return "ENOSPC";
        case EXDEV:
            return "EXDEV";
        case EIO:
            return "EIO";
        case EROFS:
            return "EROFS";
        default:
            return std::to_string(err);
    }
}

// "Error: N. description" as the settings layer shows a failure.
inline std::string errorMessage(int err) {
    return "Error: " + std::to_string(err) + ". " + std::strerror(err);
}

// Faults injected by one sweep, by the file operation that failed and the error code. The sweep
// prints it at its end, so a run shows what was covered.
class FaultTally final {
  public:
    explicit FaultTally(std::string kind) : kind_(std::move(kind)) {}
    FaultTally(const FaultTally&) = delete;
    FaultTally& operator=(const FaultTally&) = delete;

    void add(const std::string& operation, int err, long count) {
        if (count <= 0) return;
        counts_[operation][err] += count;
        total_ += count;
    }
    long total() const { return total_; }

    void print() const {
        std::printf("[ faults   ] %s: %ld injected\n", kind_.c_str(), total_);
        for (const auto& [op, byErr] : counts_) {
            std::string line;
            for (const auto& [err, n] : byErr) line += " " + errName(err) + "=" + std::to_string(n);
            std::printf("[ faults   ]   %-16s%s\n", op.c_str(), line.c_str());
        }
        std::fflush(stdout);
    }

  private:
    std::string kind_;
    std::map<std::string, std::map<int, long>> counts_;
    long total_ = 0;
};

// One attempt of a sweep: the file system to work through and the fault it carries (err 0 for
// the clean run that counts the operations).
struct SweepPoint {
    FaultyFileSystem& fs;
    long k = 0;
    int err = 0;
    std::string where;
};

// Runs `attempt` once without faults to count its file operations, then once for every k and
// every error code with the k-th operation failing. Each attempt builds its own fresh files,
// runs through point.fs and checks what it finds. Stops at the first attempt that fails a check.
template <class Attempt>
void sweepEveryOperation(FaultTally& tally, Attempt attempt,
                         const std::vector<int>& errs = kSweepErrors) {
    long total = 0;
    {
        FaultyFileSystem counting(realFileSystem());
        SweepPoint clean{counting, 0, 0, "clean run"};
        attempt(clean);
        total = counting.operationCount();
    }
    ASSERT_GT(total, 0);
    for (int err : errs) {
        for (long k = 1; k <= total; ++k) {
            FaultyFileSystem faulty(realFileSystem());
            faulty.failAt(k, err);
            SweepPoint point{faulty, k, err, "k=" + std::to_string(k) + " " + errName(err)};
            attempt(point);
            EXPECT_EQ(faulty.failuresInjected(), 1) << point.where;
            tally.add(faulty.lastFailedOperation(), err, faulty.failuresInjected());
            if (::testing::Test::HasFailure()) return;
        }
    }
    EXPECT_EQ(tally.total(), total * static_cast<long>(errs.size()));
    tally.print();
}

// Names in `folder` other than the expected ones: leftovers of a write that was cut short.
inline std::vector<std::string> strayNames(const std::string& folder,
                                           const std::vector<std::string>& expected) {
    std::vector<std::string> stray;
    for (const std::string& name : test::listNames(folder)) {
        bool known = false;
        for (const std::string& e : expected) known |= name == e;
        if (!known) stray.push_back(name);
    }
    return stray;
}

}  // namespace qv::robust
