// Every seed and every saved crash input of the fuzz targets, replayed through their bodies, so
// a fault the fuzzer once found stays fixed in the ordinary build.
#include <gtest/gtest.h>

#include "tests/fuzz/bodies.h"
#include "tools/hostile_packages.h"

namespace qv::fuzz {
namespace {

TEST(FuzzReplay, EverySavedInputKeepsEveryProperty) {
    const std::pair<const char*, void (*)(std::string_view)> targets[] = {
        {"cache_ini", cacheIniTarget}, {"profile", profileTarget},
        {"registry", registryTarget},  {"avi", aviTarget},
        {"package", packageTarget},    {"contents", contentsTarget}};
    namespace fs = std::filesystem;
    for (const auto& [name, body] : targets) {
        int seeds = 0;
        for (const char* kind : {"corpus", "crashes"}) {
            const fs::path dir = fs::path(QV_FUZZ_DIR) / kind / name;
            if (!fs::is_directory(dir)) continue;
            for (const auto& e : fs::recursive_directory_iterator(dir))
                if (e.is_regular_file()) try {
                        seeds += kind[1] == 'o';
                        body(test::readFile(e.path().string()));
                    } catch (const std::exception& ex) {
                        ADD_FAILURE() << e.path() << ": " << ex.what();
                    }
        }
        EXPECT_GE(seeds, 3) << name << ": the seed corpus is missing";
    }
    // The seeds fuzz.sh makes: a module bomb, an endless module, hostile titles, a wide texture.
    for (const auto& [name, bytes] : pkg::hostilePackages()) try {
            contentsTarget(bytes);
        } catch (const std::exception& ex) {
            ADD_FAILURE() << name << ": " << ex.what();
        }
}

}  // namespace
}  // namespace qv::fuzz
