#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace qv::test {

// A fresh folder under $TMPDIR (or /tmp), removed with everything in it on destruction.
class TempDir {
  public:
    explicit TempDir(const std::string& base = {});
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

// Small file helpers for tests (they abort the test on failure through gtest).
void writeFile(const std::string& path, const std::string& data);
std::string readFile(const std::string& path);
void makeDirs(const std::string& path);
bool fileExists(const std::string& path);
std::vector<std::string> listNames(const std::string& folder);  // sorted, all entries

// A program that looks like the running game while it lives: a copy of /bin/sleep at `exe` (the
// game's program name) working in `folder`, waited for until /proc shows it. Linux only
// (posix_fake_game.cpp).
// `argv0` and `environment` stand in for what Wine shows: the Windows path of the program as its
// command line, and WINEPREFIX.
struct FakeGame {
    FakeGame(const std::string& folder, const std::string& exe, const std::string& argv0 = "ut",
             const std::vector<std::string>& environment = {});
    ~FakeGame() { stop(); }
    void stop();  // kills it at once
    int pid = 0;
};

// Whether `text` holds `part`; a failed expectation shows both.
inline ::testing::AssertionResult has(std::string_view text, std::string_view part) {
    const bool holds = text.find(part) != text.npos;
    return (holds ? ::testing::AssertionSuccess() : ::testing::AssertionFailure())
           << "\"" << text << "\" " << (holds ? "holds" : "lacks") << " \"" << part << "\"";
}

// A 32-character GUID, different for every number: the generated name of a cache file.
std::string guidOf(unsigned n);

}  // namespace qv::test
