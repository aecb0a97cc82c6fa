#include "platform/paths.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/platform/fs_test_util.h"

namespace qv {
namespace {

TEST(Paths, JoinSeparatorsAndBaseName) {
    EXPECT_EQ(joinPath("/games/ut", "Maps"), "/games/ut/Maps");
    EXPECT_EQ(joinPath("/games/ut/", "Maps"), "/games/ut//Maps");  // kept as given
    EXPECT_EQ(toNativeSeparators("..\\Maps\\"), "../Maps/");
    EXPECT_EQ(toNativeSeparators("/already/native"), "/already/native");
    EXPECT_TRUE(endsWithSeparator("a/"));
    EXPECT_TRUE(endsWithSeparator("a\\"));
    EXPECT_FALSE(endsWithSeparator("a"));
    EXPECT_FALSE(endsWithSeparator(""));
    const std::vector<std::pair<std::string, std::string>> trimmed = {
        {"/ut/Cache//", "/ut/Cache/"}, {"C:\\UT\\", "C:\\UT"}, {"/ut", "/ut"}, {"", ""}};
    for (const auto& [in, out] : trimmed) EXPECT_EQ(removeOneTrailingSeparator(in), out) << in;
    const std::vector<std::pair<std::string, std::string>> bases = {
        {"/ut/Cache/cache.ini", "cache.ini"},
        {"cache.ini", "cache.ini"},
        {"/ut/Cache/", "Cache"},
        {"/", ""},
        {"dir/odd\\name", "odd\\name"}};
    for (const auto& [in, out] : bases) EXPECT_EQ(baseName(in), out) << in;
}

TEST(Paths, ProgramAndHomeFolders) {
    const std::string folder = programFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.front(), '/');
    EXPECT_FALSE(folder.size() > 1 && folder.back() == '/');
    struct stat st {};
    EXPECT_EQ(::stat((folder + "/test_platform").c_str(), &st), 0) << folder;

    // HOME first, else the password database; set but empty counts as unset.
    test::EnvGuard guard("HOME");
    ::setenv("HOME", "/home/player", 1);
    EXPECT_EQ(homeFolder(), "/home/player");
    const passwd* pw = ::getpwuid(::getuid());
    const std::string fromDb = pw && pw->pw_dir ? pw->pw_dir : "";
    ::unsetenv("HOME");
    EXPECT_EQ(homeFolder(), fromDb);
    ::setenv("HOME", "", 1);
    EXPECT_EQ(homeFolder(), fromDb);
}

}  // namespace
}  // namespace qv
