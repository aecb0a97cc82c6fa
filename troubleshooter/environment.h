#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>

namespace qv::troubleshooter {

// The numbered errors of CEnvironment, in the range of component-defined errors.
enum EnvironmentErrorNumber : std::uint32_t {
    kCannotGetEnvironmentVariable = 0x800443E5u,
    kCannotSetEnvironmentVariable = 0x800443E6u,
    kCannotGetOsName = 0x800443E7u,
    kUnknownOperatingSystem = 0x800443E8u,
    kComponentFailure = 0x800443E9u,
};

// An error raised by CEnvironment: its number, its source ("<program>.CEnvironment") and its
// description.
class EnvironmentError final : public std::runtime_error {
  public:
    explicit EnvironmentError(std::uint32_t number);

    std::uint32_t number() const { return number_; }
    std::int32_t signedNumber() const { return static_cast<std::int32_t>(number_); }
    const std::string& source() const { return source_; }
    const std::string& description() const { return description_; }

  private:
    std::uint32_t number_;
    std::string source_;
    std::string description_;
};

// The description that goes with an error number ("" for a number CEnvironment never raises).
std::string environmentErrorDescription(std::uint32_t number);

// The running program's executable name without folder and extension.
std::string programExeName();

// Platform ids of the version record: the consumer Windows line, the NT line, and the value
// this build uses for a kernel that reports its own name and release (Linux and the like).
constexpr std::uint32_t kPlatformWin32Windows = 1;
constexpr std::uint32_t kPlatformWin32Nt = 2;
constexpr std::uint32_t kPlatformKernel = 3;

// The operating-system version record that OsName reads.
struct VersionInfo {
    std::uint32_t majorVersion = 0;
    std::uint32_t minorVersion = 0;
    std::uint32_t buildNumber = 0;
    std::uint32_t platformId = 0;
    std::string kernelName;     // uname sysname, for kPlatformKernel
    std::string kernelRelease;  // uname release, for kPlatformKernel
};

// Fills the record from uname(2); false when the kernel does not answer.
bool queryKernelVersion(VersionInfo& info);

// The name OsName gives for a version record: "Win95", "Win98", "WinNT<major>", or the
// kernel's name and release. Raises kUnknownOperatingSystem for any other platform id.
std::string osNameFor(const VersionInfo& info);

// Expands every %NAME% reference with the variable's value; a name that is not set, and any
// text without a closing percent sign, is left as written.
std::string expandEnvironmentStrings(const std::string& text);

// Answers questions about the machine and the running process. Every member raises
// EnvironmentError on failure.
class CEnvironment final {
  public:
    using VersionQuery = std::function<bool(VersionInfo&)>;

    explicit CEnvironment(VersionQuery query = queryKernelVersion);

    std::string ComputerName() const;
    std::string OsName();
    std::string Path() const;
    std::string SystemDirectory() const;
    std::string TempDirectory() const;
    std::string UserName() const;
    std::int32_t VbAppRunMode(const std::string& VbExeName = "VB6.EXE") const;
    std::string WindowsDirectory() const;
    std::string GetEnvironmentVariable(const std::string& Name) const;
    void SetEnvironmentVariable(const std::string& Name, const std::string& Value) const;

    const VersionInfo& versionInfo() const { return VersionInfo_; }

  private:
    bool LoadVersionInfo();

    VersionQuery query_;
    VersionInfo VersionInfo_;
};

}  // namespace qv::troubleshooter
