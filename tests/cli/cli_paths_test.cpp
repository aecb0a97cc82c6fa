// Linux only: links, FIFOs and devices the user names on the command line, made with POSIX calls.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "cli/commands.h"
#include "cli/info.h"
#include "tests/cli/run_cli.h"
#include "tests/support/game.h"
#include "tools/package_objects.h"

namespace qv::test {
namespace {

// What the user names on the command line: a link to a map is followed (its text still names
// the link); a FIFO, a device or a folder is said to be what it is, never taken for a name of
// the cache. An endless song says so, in the text and in the JSON.
TEST(CliInfo, ALinkIsFollowedAndAFifoDeviceOrFolderIsNamed) {
    Game g;
    g.writeIndex();
    pkg::PackageSpec spec;
    spec.exports = {pkg::levelInfo({"Caf\xE9", "Writer", "2-4", ""})};
    const std::string map = g.tmp / "real.unr", link = g.tmp / "link.unr",
                      fifo = g.tmp / "pipe.unr";
    writeFile(map, pkg::writePackage(spec));
    ASSERT_EQ(::symlink(map.c_str(), link.c_str()), 0);
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::ostringstream out;
    std::string said;
    ASSERT_EQ(cli(g, {"info", link}, out, &said), cli::kExitOk) << said;
    EXPECT_TRUE(has(out.str(), "File: " + link + "\n"));
    EXPECT_TRUE(has(out.str(), "Title: Caf\xC3\xA9\n"));
    const std::pair<std::string, std::string> others[] = {
        {fifo, "a FIFO"}, {"/dev/null", "a device"}, {g.game, "a folder"}};
    for (const auto& [path, kind] : others) {
        EXPECT_EQ(cli(g, {"info", path}, out, &said), cli::kExitFailed) << path;
        EXPECT_TRUE(has(said, path + " is " + kind + ", not a package file"));
    }

    PackageInfo endless;
    endless.contents.kind = ContentKind::Music;
    endless.contents.musicEndless = true;
    std::ostringstream text, json;
    cli::printInfoText(endless, "Song", text);
    cli::printInfoJson(endless, "Song", json);
    EXPECT_TRUE(has(text.str(), "Music length: endless"));
    const auto doc = nlohmann::json::parse(json.str());
    EXPECT_TRUE(doc["music_seconds"].is_null());
    EXPECT_EQ(doc["music_length_note"], kEndlessMusic);
}

}  // namespace
}  // namespace qv::test
