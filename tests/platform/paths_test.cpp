#include "platform/paths.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>

namespace qv {
namespace {

TEST(Paths, JoinKeepsWhatItIsGiven) {
    EXPECT_EQ(joinPath("/games/ut", "Maps"), "/games/ut/Maps");
    EXPECT_EQ(joinPath("/games/ut/", "Maps"), "/games/ut//Maps");
}

TEST(Paths, BackslashesBecomeSeparators) {
    EXPECT_EQ(toNativeSeparators("..\\Maps\\"), "../Maps/");
    EXPECT_EQ(toNativeSeparators("/already/native"), "/already/native");
}

TEST(Paths, RemovesExactlyOneTrailingSeparator) {
    EXPECT_TRUE(endsWithSeparator("a/"));
    EXPECT_TRUE(endsWithSeparator("a\\"));
    EXPECT_FALSE(endsWithSeparator("a"));
    EXPECT_FALSE(endsWithSeparator(""));
    EXPECT_EQ(removeOneTrailingSeparator("/ut/Cache//"), "/ut/Cache/");
    EXPECT_EQ(removeOneTrailingSeparator("C:\\UT\\"), "C:\\UT");
    EXPECT_EQ(removeOneTrailingSeparator("/ut"), "/ut");
    EXPECT_EQ(removeOneTrailingSeparator(""), "");
}

TEST(Paths, BaseNameIsTheLastComponent) {
    EXPECT_EQ(baseName("/ut/Cache/cache.ini"), "cache.ini");
    EXPECT_EQ(baseName("cache.ini"), "cache.ini");
    EXPECT_EQ(baseName("/ut/Cache/"), "Cache");
    EXPECT_EQ(baseName("/"), "");
    EXPECT_EQ(baseName("dir/odd\\name"), "odd\\name");
}

TEST(Paths, ProgramFolderHoldsTheRunningProgram) {
    const std::string folder = programFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.front(), '/');
    EXPECT_FALSE(folder.size() > 1 && folder.back() == '/');
    struct stat st {};
    EXPECT_EQ(::stat((folder + "/test_platform").c_str(), &st), 0) << folder;
}

// Restores one environment variable when the test ends.
class EnvGuard final {
  public:
    explicit EnvGuard(const char* name) : name_(name) {
        if (const char* v = std::getenv(name)) old_ = v;
    }
    ~EnvGuard() {
        if (old_)
            ::setenv(name_, old_->c_str(), 1);
        else
            ::unsetenv(name_);
    }

  private:
    const char* name_;
    std::optional<std::string> old_;
};

TEST(Paths, HomeFolderFromEnvironmentElsePasswordDatabase) {
    EnvGuard guard("HOME");
    ::setenv("HOME", "/home/player", 1);
    EXPECT_EQ(homeFolder(), "/home/player");
    ::unsetenv("HOME");
    const passwd* pw = ::getpwuid(::getuid());
    EXPECT_EQ(homeFolder(), pw && pw->pw_dir ? pw->pw_dir : "");
    ::setenv("HOME", "", 1);  // set but empty counts as unset
    EXPECT_EQ(homeFolder(), pw && pw->pw_dir ? pw->pw_dir : "");
}

}  // namespace
}  // namespace qv
