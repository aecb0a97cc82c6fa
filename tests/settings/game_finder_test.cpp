#include "settings/game_finder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

#include "tests/support/faulty_filesystem.h"
#include "tests/support/game_home.h"
#include "tests/support/temp_dir.h"

namespace qv {
namespace {

// Each place a player keeps the game is found with its cache folder; a folder without the
// game's files, a broken drive link and a prefix that cannot be read are left out.
TEST(GameFinder, FindsEachCopyWithItsCacheFolder) {
    test::TempDir tmp;
    const std::string home = test::makeGameHome(tmp.path());
    const std::string locked = home + "/Games/locked";  // a copy of ~/.wine's, unreadable
    std::filesystem::create_directory(home + "/Games");
    std::filesystem::copy(home + "/.wine", locked, std::filesystem::copy_options::recursive);
    FaultyFileSystem fs(realFileSystem());
    fs.failPath("Games/locked/system.reg", EACCES);  // as a user without root rights meets it

    std::string listed;
    for (const FoundGame& g : findGames({home, "", home}, fs))
        listed += g.folder + "\t" + g.kind + "\t" + (g.cacheDir.empty() ? "-" : g.cacheDir) + "\t" +
                  std::to_string(g.cachedPackages) + "\n";
    EXPECT_EQ(listed, test::expectedListing(home));
    // Readable, the same prefix counts beside the five: the lock alone kept it out.
    EXPECT_EQ(findGames({home, "", home}, realFileSystem()).size(), 6u);
}

}  // namespace
}  // namespace qv
