#include "troubleshooter/environment.h"

#include <gtest/gtest.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cstdlib>
#include <new>

#include "tests/widgets/qt_app.h"

namespace qv::troubleshooter {
namespace {

VersionInfo windows(std::uint32_t platform, std::uint32_t major, std::uint32_t minor) {
    VersionInfo v;
    v.platformId = platform;
    v.majorVersion = major;
    v.minorVersion = minor;
    return v;
}

// Runs `body` and returns the error it raised; fails the test when it raised none.
template <class Body>
EnvironmentError raised(Body&& body) {
    try {
        body();
    } catch (const EnvironmentError& e) {
        return e;
    }
    ADD_FAILURE() << "no EnvironmentError raised";
    return EnvironmentError(0);
}

TEST(OsNameFor, ConsumerLineNtLineKernelAndUnknownPlatforms) {
    const struct {
        std::uint32_t platform, major, minor;
        const char* name;
    } cases[] = {{1, 4, 0, "Win95"},  {1, 3, 95, "Win95"}, {1, 4, 1, "Win98"},
                 {1, 4, 10, "Win98"}, {1, 4, 90, "Win98"}, {1, 5, 0, "Win98"},
                 {2, 4, 0, "WinNT4"}, {2, 5, 1, "WinNT5"}, {2, 10, 0, "WinNT10"}};
    for (const auto& c : cases)
        EXPECT_EQ(osNameFor(windows(c.platform, c.major, c.minor)), c.name) << c.name;

    VersionInfo v = windows(kPlatformKernel, 6, 1);
    v.kernelName = "Linux";
    v.kernelRelease = "6.1.0-18-amd64";
    EXPECT_EQ(osNameFor(v), "Linux 6.1.0-18-amd64");
    v.kernelName.clear();
    EXPECT_EQ(raised([&] { osNameFor(v); }).number(), kUnknownOperatingSystem);
    for (std::uint32_t platform : {0u, 4u, 99u}) {
        const EnvironmentError e = raised([&] { osNameFor(windows(platform, 5, 0)); });
        EXPECT_EQ(e.number(), 0x800443E8u);
        EXPECT_EQ(e.description(), "Unknown operating system");
    }
}

TEST(EnvironmentError, NumbersSignedFormsDescriptionsAndSource) {
    struct Case {
        std::uint32_t number;
        std::int32_t signedNumber;
        const char* description;
    };
    const Case cases[] = {{0x800443E5u, -2147204123, "Cannot get environment variable"},
                          {0x800443E6u, -2147204122, "Cannot set environment variable"},
                          {0x800443E7u, -2147204121, "Cannot get operating system name"},
                          {0x800443E8u, -2147204120, "Unknown operating system"},
                          {0x800443E9u, -2147204119, "CEnvironment component failure"}};
    for (const Case& c : cases) {
        const EnvironmentError e(c.number);
        EXPECT_EQ(e.number(), c.number);
        EXPECT_EQ(e.signedNumber(), c.signedNumber);
        EXPECT_EQ(e.description(), c.description);
        EXPECT_STREQ(e.what(), c.description);
        EXPECT_EQ(e.source(), "test_troubleshooter.CEnvironment");
    }
    EXPECT_EQ(programExeName(), "test_troubleshooter");
}

TEST(CEnvironmentOsName, FollowsTheVersionQuery) {
    CEnvironment failing([](VersionInfo&) { return false; });
    EXPECT_EQ(raised([&] { failing.OsName(); }).number(), kCannotGetOsName);

    CEnvironment unknown([](VersionInfo& v) {
        v = windows(0, 5, 0);
        return true;
    });
    EXPECT_EQ(raised([&] { unknown.OsName(); }).number(), kUnknownOperatingSystem);

    CEnvironment nt([](VersionInfo& v) {
        v = windows(2, 5, 1);
        return true;
    });
    EXPECT_EQ(nt.OsName(), "WinNT5");
    EXPECT_EQ(nt.versionInfo().minorVersion, 1u);

    // Anything else going wrong inside the member is the component failure.
    CEnvironment broken([](VersionInfo&) -> bool { throw std::bad_alloc(); });
    const EnvironmentError e = raised([&] { broken.OsName(); });
    EXPECT_EQ(e.number(), kComponentFailure);
    EXPECT_EQ(e.source(), "test_troubleshooter.CEnvironment");
}

TEST(CEnvironmentOsName, ReadsTheRunningKernel) {
    utsname u{};
    ASSERT_EQ(::uname(&u), 0);
    CEnvironment env;
    EXPECT_EQ(env.OsName(), std::string(u.sysname) + " " + u.release);
    EXPECT_EQ(env.versionInfo().platformId, kPlatformKernel);
    EXPECT_EQ(std::to_string(env.versionInfo().majorVersion),
              std::string(u.release).substr(0, std::string(u.release).find('.')));
}

class EnvironmentVariables : public ::testing::Test {
  protected:
    void SetUp() override {
        ::setenv("QV_TS_ALPHA", "alpha", 1);
        ::unsetenv("QV_TS_UNSET");
    }
    void TearDown() override {
        ::unsetenv("QV_TS_ALPHA");
        ::unsetenv("QV_TS_BETA");
    }
    CEnvironment env;
};

TEST_F(EnvironmentVariables, ExpandsKnownReferencesLeavesOtherTextAndSets) {
    const std::pair<const char*, const char*> cases[] = {
        {"%QV_TS_ALPHA%", "alpha"},
        {"x%QV_TS_ALPHA%y%QV_TS_ALPHA%z", "xalphayalphaz"},
        {"%qv_ts_alpha%", "alpha"},  // names match without regard to letter case
        {"no percent sign here", "no percent sign here"},
        {"", ""},
        {"%QV_TS_UNSET%", "%QV_TS_UNSET%"},
        {"100%", "100%"},
        {"%%", "%%"},
        // The closing sign of an unknown name may open the next reference.
        {"%QV_TS_UNSET%QV_TS_ALPHA%", "%QV_TS_UNSETalpha"}};
    for (const auto& [text, expanded] : cases)
        EXPECT_EQ(env.GetEnvironmentVariable(text), expanded) << text;
    ASSERT_NE(std::getenv("PATH"), nullptr);
    EXPECT_EQ(env.Path(), std::getenv("PATH"));

    env.SetEnvironmentVariable("QV_TS_BETA", "beta value");
    EXPECT_EQ(env.GetEnvironmentVariable("[%QV_TS_BETA%]"), "[beta value]");
    EXPECT_STREQ(std::getenv("QV_TS_BETA"), "beta value");

    // Failures carry their numbers.
    for (const char* badName : {"", "A=B"})
        EXPECT_EQ(raised([&] { env.SetEnvironmentVariable(badName, "x"); }).number(),
                  kCannotSetEnvironmentVariable);
    EXPECT_EQ(raised([&] { env.GetEnvironmentVariable(std::string("%A\0B%", 5)); }).number(),
              kCannotGetEnvironmentVariable);
}

TEST(CEnvironment, FoldersNamesAndRunMode) {
    CEnvironment env;
    EXPECT_EQ(env.WindowsDirectory(), "/");
    EXPECT_EQ(env.SystemDirectory(), "/usr/lib");
    {
        qv::test::ScopedEnv tmpdir("TMPDIR", "/var/tmp/qv");
        EXPECT_EQ(env.TempDirectory(), "/var/tmp/qv/");
        tmpdir.set("/var/tmp/qv/");
        EXPECT_EQ(env.TempDirectory(), "/var/tmp/qv/");
        tmpdir.set(nullptr);
        EXPECT_EQ(env.TempDirectory(), "/tmp/");
    }
    char host[256] = {};
    ASSERT_EQ(::gethostname(host, sizeof host - 1), 0);
    EXPECT_EQ(env.ComputerName(), host);
    EXPECT_FALSE(env.UserName().empty());

    // Only the program's name in upper case matches.
    EXPECT_EQ(env.VbAppRunMode(), 1);
    EXPECT_EQ(env.VbAppRunMode("TEST_TROUBLESHOOTER"), 2);
    EXPECT_EQ(env.VbAppRunMode("test_troubleshooter"), 1);
    EXPECT_EQ(env.VbAppRunMode("TROUBLESHOOTER"), 1);  // the name must follow a separator
}

}  // namespace
}  // namespace qv::troubleshooter
