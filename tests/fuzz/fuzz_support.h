#pragma once

// Helpers shared by the fuzz targets and by the regression test that replays their inputs.
// Plain C++ (no gtest, no libFuzzer headers), so both the clang fuzz build and the g++ test
// build compile the same target bodies.

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

#include "platform/dialogs.h"

namespace qv::fuzz {

// A broken property. The fuzzer aborts, so the input is saved as a crash; the regression test
// throws instead, so the failing file is named in the test's output.
inline bool& throwOnFailure() {
    static bool value = false;
    return value;
}

[[noreturn]] inline void fail(const std::string& what) {
    if (throwOnFailure()) throw std::runtime_error(what);
    std::fprintf(stderr, "property broken: %s\n", what.c_str());
    std::fflush(stderr);
    std::abort();
}

inline void check(bool condition, const char* what) {
    if (!condition) fail(what);
}

// One scratch folder per process, reused by every input (creating folders per input would
// spend the time on the file system instead of the code under test). Removed at exit.
inline const std::string& scratchFolder() {
    static const std::string path = [] {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/qv-fuzz-XXXXXX";
        if (!::mkdtemp(pattern.data())) {
            std::perror("mkdtemp");
            std::abort();
        }
        static std::string removeAtExit;
        removeAtExit = pattern;
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(removeAtExit, ec);
        });
        return pattern;
    }();
    return path;
}

inline void putFile(const std::string& path, std::string_view data) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
    if (!out) fail("cannot write " + path);
}

inline std::string getFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) fail("cannot read " + path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Answers No and cancel to everything and counts what it was shown.
class QuietDialogs final : public Dialogs {
  public:
    int messages = 0;
    int questions = 0;
    int pickers = 0;

    void message(const std::string&, const std::string&) override { ++messages; }
    bool askYesNo(const std::string&, const std::string&) override {
        ++questions;
        return false;
    }
    std::string pickFolder(const std::string&) override {
        ++pickers;
        return {};
    }
};

}  // namespace qv::fuzz
