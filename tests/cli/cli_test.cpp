// quorvel-cli as a player uses it from a terminal.
#include <gtest/gtest.h>

#include <sstream>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "tests/support/game.h"

namespace qv::test {
namespace {

using cli::parseArguments;
using Words = std::vector<std::string>;

TEST(CliArguments, UnderstoodOrRefusedWithAReason) {
    auto run = parseArguments({"run", "--only", "unr,utx", "--to-tree", "/t", "--cache", "/c"});
    ASSERT_TRUE(run.ok()) << run.error;
    EXPECT_EQ(run.args.command, cli::Command::Run);
    EXPECT_TRUE(run.args.selectAll && !*run.args.selectAll && run.args.onlyUNR && run.args.onlyUTX);
    EXPECT_FALSE(run.args.onlyU || run.args.onlyUAX || run.args.onlyUMX);
    EXPECT_EQ(run.args.target, cli::Arguments::Target::Tree);
    EXPECT_EQ(run.args.targetDir, "/t");
    EXPECT_EQ(run.args.cacheDir, "/c");
    EXPECT_TRUE(parseArguments({"purge", "--yes"}).args.yes);
    EXPECT_EQ(parseArguments({"purge-days", "14"}).args.value, "14");
    const Words refused[] = {{},
                             {"dance"},
                             {"run", "--only", "unr,zip"},
                             {"run", "--all", "--only", "u"},
                             {"run", "--to-folder"},
                             {"run", "--to-types", "--to-tree", "/t"},
                             {"list", "--yes"},
                             {"purge-days", "soon"},
                             {"set-game-dir"},
                             {"run", "extra"}};
    for (const Words& w : refused)
        EXPECT_FALSE(parseArguments(w).ok()) << ::testing::PrintToString(w);
}

class Cli : public ::testing::Test {
  protected:
    int cli(const Words& words, const std::string& answer = "") {
        out.str({}), err.str({});
        std::istringstream in(answer);
        cli::Environment env{g.programFolder, g.tmp / "registry.reg", out, err, in, !answer.empty(),
                             g.posix};
        return cli::runMain(words, env);
    }
    Game g;
    std::ostringstream out, err;
};

TEST_F(Cli, SetTheGameListRunAndPurge) {
    g.add(1, "Face.unr");
    g.add(2, "Rock.utx");
    g.add(3, "Song.umx");
    g.writeIndex();
    EXPECT_EQ(cli({"list"}), cli::kExitUsage);  // no game folder yet
    EXPECT_EQ(cli({"set-game-dir", g.tmp / "none"}), cli::kExitUsage);
    ASSERT_EQ(cli({"set-game-dir", g.game}), cli::kExitOk) << err.str();
    ASSERT_EQ(cli({"list", "--only", "unr"}), cli::kExitOk) << err.str();
    EXPECT_NE(out.str().find("[x]\tFace.unr\t"), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("[ ]\tRock.utx\t"), std::string::npos);
    EXPECT_NE(out.str().find("Found 1 files to process"), std::string::npos);

    ASSERT_EQ(cli({"run", "--only", "unr,umx"}), cli::kExitOk) << err.str();
    EXPECT_TRUE(g.placed(g.game + "/Maps", "Face.unr"));
    EXPECT_TRUE(g.placed(g.game + "/Music", "Song.umx"));
    EXPECT_EQ(g.index(), "[Cache]\r\n" + g.lines[2] + "\r\n");
    EXPECT_NE(out.str().find("Done processing files"), std::string::npos);

    // A purge asks; without a terminal it needs --yes.
    EXPECT_EQ(cli({"purge"}), cli::kExitFailed);
    EXPECT_TRUE(fileExists(g.cacheFile(2)));
    EXPECT_EQ(cli({"purge"}, "n\n"), cli::kExitFailed);
    ASSERT_EQ(cli({"purge", "--yes"}), cli::kExitOk) << err.str();
    EXPECT_FALSE(fileExists(g.cacheFile(2)));
    EXPECT_EQ(g.index(), "[Cache]\r\n");

    EXPECT_EQ(cli({"purge-days", "14"}), cli::kExitOk) << err.str();
    EXPECT_EQ(readFile(g.game + "/System/UnrealTournament.ini"),
              "[Core.System]\r\nPurgeCacheDays=14\r\n");
    EXPECT_EQ(cli({"bogus"}), cli::kExitUsage);
    EXPECT_EQ(cli({"--help"}), cli::kExitOk);
    EXPECT_EQ(out.str(), cli::usageText());
}

}  // namespace
}  // namespace qv::test
