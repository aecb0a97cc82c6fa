#include "troubleshooter/environment.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/ascii.h"
#include "platform/paths.h"
#include "platform/system.h"

extern char** environ;

namespace qv::troubleshooter {

namespace {

// Runs a member's body: its own numbered errors pass to the caller, anything else becomes
// the component failure.
template <class Body>
auto guarded(Body&& body) -> decltype(body()) {
    try {
        return body();
    } catch (const EnvironmentError&) {
        throw;
    } catch (...) {
        throw EnvironmentError(kComponentFailure);
    }
}

std::uint32_t leadingNumber(const char*& p) {
    std::uint32_t n = 0;
    bool any = false;
    while (isDigitAscii(*p)) {
        n = n * 10 + static_cast<std::uint32_t>(*p - '0');
        ++p;
        any = true;
    }
    if (any && *p == '.') ++p;
    return n;
}

// The value of an environment variable: the exact name first, then, as the Windows
// environment does, a name that differs only in letter case.
const char* lookUp(const std::string& name) {
    if (const char* v = std::getenv(name.c_str())) return v;
    for (char** e = environ; e && *e; ++e) {
        const char* eq = std::strchr(*e, '=');
        if (!eq || static_cast<std::size_t>(eq - *e) != name.size()) continue;
        if (::strncasecmp(*e, name.c_str(), name.size()) == 0) return eq + 1;
    }
    return nullptr;
}

}  // namespace

std::string environmentErrorDescription(std::uint32_t number) {
    switch (number) {
        case kCannotGetEnvironmentVariable:
            return "Cannot get environment variable";
        case kCannotSetEnvironmentVariable:
            return "Cannot set environment variable";
        case kCannotGetOsName:
            return "Cannot get operating system name";
        case kUnknownOperatingSystem:
            return "Unknown operating system";
        case kComponentFailure:
            return "CEnvironment component failure";
        default:
            return {};
    }
}

EnvironmentError::EnvironmentError(std::uint32_t number)
    : std::runtime_error(environmentErrorDescription(number)),
      number_(number),
      source_(programExeName() + ".CEnvironment"),
      description_(environmentErrorDescription(number)) {}

std::string programExeName() {
    std::string name = executablePath();
    if (name.empty()) name = program_invocation_name ? program_invocation_name : "";
    name = fileNameOf(name);
    if (const auto dot = name.rfind('.'); dot != std::string::npos && dot > 0) name.erase(dot);
    return name;
}

bool queryKernelVersion(VersionInfo& info) {
    const std::optional<KernelName> kernel = kernelName();
    if (!kernel) return false;
    info = {};
    info.platformId = kPlatformKernel;
    info.kernelName = kernel->name;
    info.kernelRelease = kernel->release;
    const char* p = kernel->release.c_str();
    info.majorVersion = leadingNumber(p);
    info.minorVersion = leadingNumber(p);
    info.buildNumber = leadingNumber(p);
    return true;
}

std::string osNameFor(const VersionInfo& info) {
    switch (info.platformId) {
        case kPlatformWin32Windows:
            if (info.majorVersion > 4 || (info.majorVersion == 4 && info.minorVersion > 0))
                return "Win98";
            return "Win95";
        case kPlatformWin32Nt:
            return "WinNT" + std::to_string(info.majorVersion);
        case kPlatformKernel:
            if (info.kernelName.empty()) break;
            if (info.kernelRelease.empty()) return info.kernelName;
            return info.kernelName + " " + info.kernelRelease;
        default:
            break;
    }
    throw EnvironmentError(kUnknownOperatingSystem);
}

std::string expandEnvironmentStrings(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto open = text.find('%', i);
        if (open == std::string::npos) break;
        const auto close = text.find('%', open + 1);
        if (close == std::string::npos) break;
        out.append(text, i, open - i);
        const std::string name = text.substr(open + 1, close - open - 1);
        const char* value = name.empty() ? nullptr : lookUp(name);
        if (value) {
            out += value;
            i = close + 1;
        } else {
            // Left as written; the closing percent sign may open the next reference.
            out.append(text, open, close - open);
            i = close;
        }
    }
    out.append(text, i, std::string::npos);
    return out;
}

CEnvironment::CEnvironment(VersionQuery query) : query_(std::move(query)) {}

std::string CEnvironment::ComputerName() const {
    return guarded([] { return hostName(); });
}

bool CEnvironment::LoadVersionInfo() {
    VersionInfo fresh;
    if (!query_ || !query_(fresh)) return false;
    VersionInfo_ = std::move(fresh);
    return true;
}

std::string CEnvironment::OsName() {
    return guarded([this] {
        if (!LoadVersionInfo()) throw EnvironmentError(kCannotGetOsName);
        return osNameFor(VersionInfo_);
    });
}

std::string CEnvironment::Path() const {
    try {
        return GetEnvironmentVariable("%PATH%");
    } catch (...) {
        // Whatever the lookup raised, this member reports its own failure.
        throw EnvironmentError(kComponentFailure);
    }
}

std::string CEnvironment::SystemDirectory() const {
    return guarded([] { return systemLibraryFolder(); });
}

std::string CEnvironment::TempDirectory() const {
    return guarded([] { return withTrailingSeparator(temporaryFolder()); });
}

std::string CEnvironment::UserName() const {
    return guarded([] { return userName(); });
}

std::int32_t CEnvironment::VbAppRunMode(const std::string& VbExeName) const {
    return guarded([&VbExeName] {
        std::string exe = executablePath();
        if (exe.empty()) return std::int32_t{3};
        exe = upperAscii(exe);
        const std::string tail = kSep + VbExeName;
        return exe.ends_with(tail) ? std::int32_t{2} : std::int32_t{1};
    });
}

std::string CEnvironment::WindowsDirectory() const {
    return guarded([] { return systemFolder(); });
}

std::string CEnvironment::GetEnvironmentVariable(const std::string& Name) const {
    return guarded([&Name] {
        // A NUL byte cannot be handed to the system's environment.
        if (Name.find('\0') != std::string::npos)
            throw EnvironmentError(kCannotGetEnvironmentVariable);
        return expandEnvironmentStrings(Name);
    });
}

void CEnvironment::SetEnvironmentVariable(const std::string& Name, const std::string& Value) const {
    guarded([&] {
        if (Name.find('\0') != std::string::npos || Value.find('\0') != std::string::npos ||
            ::setenv(Name.c_str(), Value.c_str(), 1) != 0)
            throw EnvironmentError(kCannotSetEnvironmentVariable);
    });
}

}  // namespace qv::troubleshooter
