#include "cli/commands.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

#include "platform/filesystem.h"
#include "tests/support/temp_dir.h"

namespace qv::cli {
namespace {

using test::fileExists;
using test::makeDirs;
using test::readFile;
using test::TempDir;
using test::writeFile;

const std::string kBollwerk = "0123456789ABCDEF0123456789ABCDE1";
const std::string kHydroTex = "0123456789ABCDEF0123456789ABCDE2";
const std::string kSmart1 = "0123456789ABCDEF0123456789ABCDE3";
const std::string kSmart2 = "0123456789ABCDEF0123456789ABCDE4";
const std::string kBundle = "0123456789ABCDEF0123456789ABCDE5";
const std::string kKept = "0123456789ABCDEF0123456789ABCDE6";

// A program folder, a game folder with a small cache, and a registry file of its own.
class CliCommands : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("QUORVEL_REGISTRY", (tmp / "registry.reg").c_str(), 1);
        makeDirs(program);
        writeFile(program + "/Quorvel.ini",
                  "[Dirs]\r\nCachePath=Cache\r\nCacheExt=uxx\r\nMaps=Maps\r\n"
                  "Textures=Textures\r\nSounds=Sounds\r\nMusic=Music\r\n");
        writeFile(program + "/QuorvelDontMove.ini", "Keep.u\r\n");
        for (const char* sub : {"System", "Maps", "Textures", "Sounds", "Music", "Cache"})
            makeDirs(game + "/" + sub);
        writeFile(game + "/System/UnrealTournament.ini",
                  "[Core.System]\r\nPurgeCacheDays=30\r\nCachePath=../Cache\r\n");
        writeFile(cache + "/cache.ini", "[Cache]\r\n" + kBollwerk + "=CTF-Bollwerk.unr\r\n" +
                                            kHydroTex + "=HydroTex.utx\r\n" + kSmart1 +
                                            "=SmartCTF.u\r\n" + kSmart2 + "=SmartCTF.u\r\n" +
                                            kBundle + "=Bundle.umod\r\n" + kKept + "=Keep.u\r\n");
        for (const auto& g : {kBollwerk, kHydroTex, kSmart1, kSmart2, kBundle, kKept})
            writeFile(cache + "/" + g + ".uxx", "package " + g);
    }

    int cli(std::vector<std::string> words, const std::string& input = "",
            bool interactive = false) {
        out.str("");
        err.str("");
        std::istringstream in(input);
        Environment env{program, tmp / "registry.reg", out, err, in, interactive, realFileSystem()};
        return runMain(words, env);
    }

    int setGame() { return cli({"set-game-dir", game}); }

    TempDir tmp;
    std::string program = tmp / "prog";
    std::string game = tmp / "ut";
    std::string cache = game + "/Cache";
    std::ostringstream out, err;
};

TEST_F(CliCommands, SetGameDirThenList) {
    EXPECT_EQ(cli({"list"}), kExitUsage);
    EXPECT_NE(err.str().find("quorvel-cli set-game-dir DIR"), std::string::npos) << err.str();
    EXPECT_EQ(cli({"set-game-dir", tmp / "nowhere"}), kExitUsage);
    EXPECT_NE(err.str().find("is not a folder"), std::string::npos);

    // The folder is stored with one separator.
    ASSERT_EQ(cli({"set-game-dir", game + "/"}), kExitOk) << err.str();
    const std::string reg = readFile(tmp / "registry.reg");
    EXPECT_NE(reg.find("UnrealTournament"), std::string::npos);
    EXPECT_NE(reg.find(game + "/\""), std::string::npos) << reg;
    EXPECT_EQ(reg.find(game + "//"), std::string::npos) << reg;

    // The list: one parsable row per entry, then the count.
    ASSERT_EQ(cli({"list"}), kExitOk) << err.str();
    std::istringstream lines(out.str());
    std::vector<std::string> rows;
    for (std::string l; std::getline(lines, l);) rows.push_back(l);
    ASSERT_EQ(rows.size(), 7u) << out.str();
    EXPECT_EQ(rows[0].rfind("[x]\tCTF-Bollwerk.unr\t", 0), 0u) << rows[0];
    EXPECT_NE(rows[0].substr(20), "\t");                   // a date was found
    EXPECT_EQ(rows[0].back(), '\t');                       // no never-move mark
    EXPECT_EQ(rows[2].rfind("[ ]\tSmartCTF.u\t", 0), 0u);  // listed twice: unchecked
    EXPECT_EQ(rows[5].rfind("[ ]\tKeep.u\t", 0), 0u);
    EXPECT_EQ(rows[5].substr(rows[5].size() - 5), "\tTrue");
    EXPECT_EQ(rows[6], "Found 3 files to process");

    ASSERT_EQ(cli({"list", "--only", "utx"}), kExitOk);
    EXPECT_NE(out.str().find("[ ]\tCTF-Bollwerk.unr"), std::string::npos);
    EXPECT_NE(out.str().find("[x]\tHydroTex.utx"), std::string::npos);
    EXPECT_NE(out.str().find("Found 1 files to process"), std::string::npos);
}

TEST_F(CliCommands, RunMovesTheSelectedPackagesAndKeepsTheStoredChoices) {
    ASSERT_EQ(setGame(), kExitOk);
    const std::string regBefore = readFile(tmp / "registry.reg");
    ASSERT_EQ(cli({"run"}), kExitOk) << err.str();

    EXPECT_TRUE(fileExists(game + "/Maps/CTF-Bollwerk.unr"));
    EXPECT_TRUE(fileExists(game + "/Textures/HydroTex.utx"));
    EXPECT_FALSE(fileExists(cache + "/" + kBollwerk + ".uxx"));
    EXPECT_TRUE(fileExists(cache + "/" + kSmart1 + ".uxx"));  // duplicates stay
    EXPECT_TRUE(fileExists(cache + "/" + kKept + ".uxx"));    // never-move stays
    EXPECT_TRUE(fileExists(cache + "/cachebak.ini"));
    EXPECT_EQ(readFile(cache + "/cache.ini").find("CTF-Bollwerk.unr"), std::string::npos);
    EXPECT_NE(readFile(cache + "/cache.ini").find(kKept + "=Keep.u"), std::string::npos);
    EXPECT_TRUE(fileExists(program + "/Quorvel.log"));

    const std::string o = out.str();
    EXPECT_EQ(o.rfind("Found 3 files to process\n", 0), 0u) << o;
    EXPECT_NE(o.find("**OLD** " + kBollwerk + ".uxx  ---->  **NEW** "), std::string::npos) << o;
    EXPECT_NE(o.find("Bundle.umod does NOT have a known file extension and cannot be moved"),
              std::string::npos);
    EXPECT_NE(o.find("Done processing files\n"), std::string::npos);
    EXPECT_EQ(readFile(tmp / "registry.reg"), regBefore);  // choices left alone

    // The next run finds nothing new to move and still goes through.
    ASSERT_EQ(cli({"run"}), kExitOk) << err.str();
    EXPECT_NE(out.str().find("Found 1 files to process"), std::string::npos) << out.str();
}

TEST_F(CliCommands, RunWithoutAnIndexRefusedTargetAndOneFolder) {
    ASSERT_EQ(setGame(), kExitOk);
    EXPECT_EQ(cli({"run", "--cache", tmp.path()}), kExitFailed);
    EXPECT_NE(err.str().find("Cache.INI is MISSING"), std::string::npos) << err.str();
    EXPECT_EQ(out.str().find("Processing files"), std::string::npos);

    EXPECT_EQ(cli({"run", "--to-folder", "x"}), kExitFailed);
    EXPECT_NE(err.str().find("You must select a minimum of a drive letter"), std::string::npos);
    EXPECT_TRUE(fileExists(cache + "/" + kBollwerk + ".uxx"));

    const std::string packs = tmp / "packs";
    ASSERT_EQ(cli({"run", "--only", "unr", "--to-folder", packs + "/"}), kExitOk) << err.str();
    EXPECT_TRUE(fileExists(packs + "/CTF-Bollwerk.unr"));
    EXPECT_TRUE(fileExists(cache + "/" + kHydroTex + ".uxx"));
}

TEST_F(CliCommands, PurgeAsksAndRefusesWithoutATerminalUnlessToldYes) {
    ASSERT_EQ(setGame(), kExitOk);
    EXPECT_EQ(cli({"purge"}), kExitFailed);
    EXPECT_NE(err.str().find("Purge cancelled."), std::string::npos) << err.str();
    EXPECT_EQ(cli({"purge"}, "n\n", true), kExitFailed);
    EXPECT_TRUE(fileExists(cache + "/" + kBollwerk + ".uxx"));

    ASSERT_EQ(cli({"purge", "--yes"}), kExitOk) << err.str();
    EXPECT_FALSE(fileExists(cache + "/" + kKept + ".uxx"));
    EXPECT_TRUE(fileExists(cache + "/cachebak.ini"));

    writeFile(cache + "/" + kBollwerk + ".uxx", "package");
    writeFile(cache + "/cache.ini", "[Cache]\r\n" + kBollwerk + "=CTF-Bollwerk.unr\r\n");
    ASSERT_EQ(cli({"purge"}, "y\n", true), kExitOk) << err.str();
    EXPECT_FALSE(fileExists(cache + "/" + kBollwerk + ".uxx"));
    EXPECT_NE(out.str().find("All cache files have been deleted"), std::string::npos);
    EXPECT_EQ(cli({"purge", "--yes"}), kExitOk);  // already empty
    EXPECT_NE(err.str().find("Cache already empty..."), std::string::npos);
}

TEST_F(CliCommands, PurgeDaysTemporaryFilesMissingProgramFilesAndBadArguments) {
    ASSERT_EQ(setGame(), kExitOk);
    ASSERT_EQ(cli({"purge-days", "14"}), kExitOk) << err.str();
    EXPECT_NE(readFile(game + "/System/UnrealTournament.ini").find("PurgeCacheDays=14"),
              std::string::npos);
    EXPECT_EQ(cli({"delete-tmp"}), kExitOk);
    EXPECT_NE(err.str().find("No files found.."), std::string::npos) << err.str();
    writeFile(game + "/a.tmp", std::string(1500, 'x'));
    writeFile(game + "/b.tmp", std::string(1100, 'x'));
    EXPECT_EQ(cli({"delete-tmp"}), kExitOk) << err.str();
    EXPECT_NE(err.str().find("Deleted 2K of temporary cache files."), std::string::npos);
    EXPECT_FALSE(fileExists(game + "/a.tmp"));

    EXPECT_EQ(cli({"run", "--only", "zip"}), kExitUsage);
    EXPECT_NE(err.str().find("--help"), std::string::npos);
    EXPECT_EQ(cli({}), kExitUsage);
    EXPECT_EQ(cli({"--help"}), kExitOk);
    EXPECT_NE(out.str().find("Usage: quorvel-cli"), std::string::npos);
    std::remove((program + "/Quorvel.ini").c_str());
    EXPECT_EQ(cli({"list"}), kExitUsage);
    EXPECT_NE(err.str().find("Quorvel.ini"), std::string::npos);
}

}  // namespace
}  // namespace qv::cli
