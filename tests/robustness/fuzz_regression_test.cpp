// Replays every seed and every saved crash input of the fuzz targets (tests/fuzz/corpus and
// tests/fuzz/crashes) through the same target bodies, so a fault the fuzzer once found stays
// fixed in the ordinary build.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "tests/fuzz/avi_body.h"
#include "tests/fuzz/cache_ini_body.h"
#include "tests/fuzz/profile_body.h"
#include "tests/fuzz/registry_body.h"

namespace qv::fuzz {
namespace {

struct FuzzTarget {
    const char* name;
    void (*body)(std::string_view);
};

void PrintTo(const FuzzTarget& target, std::ostream* os) {
    *os << target.name;
}

std::vector<std::filesystem::path> inputsOf(const std::string& target, const char* kind) {
    std::vector<std::filesystem::path> files;
    const std::filesystem::path dir = std::filesystem::path(QV_FUZZ_DIR) / kind / target;
    if (!std::filesystem::is_directory(dir)) return files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir))
        if (entry.is_regular_file()) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

class FuzzRegression : public ::testing::TestWithParam<FuzzTarget> {
  protected:
    void SetUp() override { throwOnFailure() = true; }

    void replay(const std::vector<std::filesystem::path>& files) {
        for (const auto& file : files) {
            const std::string data = getFile(file.string());
            try {
                GetParam().body(data);
            } catch (const std::exception& e) {
                ADD_FAILURE() << file.string() << ": " << e.what();
            }
        }
    }
};

TEST_P(FuzzRegression, SeedInputsKeepEveryProperty) {
    const auto seeds = inputsOf(GetParam().name, "corpus");
    ASSERT_GE(seeds.size(), 3u) << "the seed corpus of " << GetParam().name << " is missing";
    replay(seeds);
}

TEST_P(FuzzRegression, SavedCrashInputsKeepEveryProperty) {
    replay(inputsOf(GetParam().name, "crashes"));
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzRegression,
                         ::testing::Values(FuzzTarget{"cache_ini", cacheIniTarget},
                                           FuzzTarget{"profile", profileTarget},
                                           FuzzTarget{"registry", registryTarget},
                                           FuzzTarget{"avi", aviTarget}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qv::fuzz
