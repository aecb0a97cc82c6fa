#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "settings/clsRegistry.h"
#include "tests/support/temp_dir.h"

namespace qv {
namespace {

constexpr int kWriters = 2;
constexpr int kValuesEach = 200;

std::string valueName(int writer, int i) {
    return "Writer" + std::to_string(writer) + "_" + std::to_string(i);
}

// Runs in a child process: waits for the start signal, then writes its values one by one.
[[noreturn]] void writeValues(int writer, const std::string& store, int startFd) {
    char go = 0;
    if (::read(startFd, &go, 1) < 0) ::_exit(2);
    clsRegistry program = clsRegistry::programKey(nullptr, store);
    for (int i = 0; i < kValuesEach; ++i)
        program.WriteEntry(valueName(writer, i), "value " + std::to_string(writer * 1000 + i));
    ::_exit(0);
}

TEST(RegistryConcurrencyTest, TwoProcessesWritingAtOnceLoseNothing) {
    test::TempDir dir;
    const std::string store = dir / "registry.reg";
    int start[2];
    ASSERT_EQ(::pipe(start), 0);
    pid_t children[kWriters];
    for (int w = 0; w < kWriters; ++w) {
        children[w] = ::fork();
        ASSERT_GE(children[w], 0);
        if (children[w] == 0) {
            ::close(start[1]);
            writeValues(w, store, start[0]);
        }
    }
    ::close(start[0]);
    // Closing the pipe releases both writers together.
    ::close(start[1]);
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0);
    }

    clsRegistry program = clsRegistry::programKey(nullptr, store);
    int found = 0;
    for (int w = 0; w < kWriters; ++w)
        for (int i = 0; i < kValuesEach; ++i)
            if (program.ReadEntry(valueName(w, i), "") == "value " + std::to_string(w * 1000 + i))
                ++found;
    EXPECT_EQ(found, kWriters * kValuesEach);
    // No temporary file is left behind beside the store.
    EXPECT_EQ(test::listNames(dir.path()),
              (std::vector<std::string>{"registry.reg", "registry.reg.lock"}));
}

}  // namespace
}  // namespace qv
