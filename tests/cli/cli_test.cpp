// quorvel-cli as a player uses it from a terminal.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "cli/commands.h"
#include "cli/lossless_text.h"
#include "package/package_info.h"
#include "platform/escaped_text.h"
#include "platform/forwarding_filesystem.h"
#include "platform/paths.h"
#include "tests/cli/run_cli.h"
#include "tests/support/game.h"
#include "tools/package_objects.h"

namespace qv::test {
namespace {

// Ctrl+C pressed while the first package is moved back.
class InterruptedMove final : public ForwardingFileSystem {
  public:
    using ForwardingFileSystem::ForwardingFileSystem;
    Status moveListedFile(const std::string& f, const std::string& t, FileIdentity* l) override {
        if (!pressed) pressed = ::raise(SIGINT) == 0;
        return inner_.moveListedFile(f, t, l);
    }
    bool pressed = false;
};

class Cli : public ::testing::Test {
  protected:
    int cli(const Words& words, const std::string& answer = "", FileSystem* fs = nullptr) {
        out.str({}), err.str({});
        std::istringstream in(answer);
        cli::Environment env{g.programFolder, g.tmp / "registry.reg", out,          err, in,
                             !answer.empty(), fs ? *fs : g.posix,     fs != nullptr};
        env.png = png;
        return cli::runMain(words, env);
    }
    // Three packages and a line whose cache file is gone (a run drops it), the game folder set.
    void addThreeAndAGoneLine() {
        g.addAndIndex({"Face.unr", "Rock.utx", "Song.umx"});
        g.add(4, "Gone.unr", false);
        g.writeIndex();
        ASSERT_EQ(cli({"set-game-dir", g.game}), cli::kExitOk) << err.str();
    }
    Game g;
    PngEncoder* png = nullptr;
    std::ostringstream out, err;
};

TEST_F(Cli, SetTheGameListRunAndPurge) {
    g.addAndIndex({"Face.unr", "Rock.utx", "Song.umx"});
    EXPECT_EQ(cli({"set-game-dir", g.tmp / "none"}), cli::kExitUsage);
    ASSERT_EQ(cli({"set-game-dir", g.game}), cli::kExitOk) << err.str();
    ASSERT_EQ(cli({"list", "--only", "unr"}), cli::kExitOk) << err.str();
    EXPECT_TRUE(has(out.str(), "[x]\tFace.unr\t"));
    EXPECT_TRUE(has(out.str(), "[ ]\tRock.utx\t"));
    EXPECT_TRUE(has(out.str(), "Found 1 files to process"));

    // A store that cannot be locked: the run goes on, says the folder was not stored and ends
    // done in part, never 0.
    std::filesystem::remove(g.tmp / "registry.reg.lock");
    std::filesystem::create_directory(g.tmp / "registry.reg.lock");
    EXPECT_EQ(cli({"run", "--only", "unr"}), cli::kExitPartial);
    EXPECT_TRUE(has(err.str(), "InstallPath"));
    EXPECT_TRUE(g.placed(g.game + "/Maps", "Face.unr"));
    std::filesystem::remove(g.tmp / "registry.reg.lock");
    ASSERT_EQ(cli({"undo"}), cli::kExitOk) << err.str();
    ASSERT_EQ(cli({"run", "--only", "unr,umx"}), cli::kExitOk) << err.str();
    EXPECT_TRUE(g.placed(g.game + "/Music", "Song.umx"));
    EXPECT_EQ(g.index(), "[Cache]\r\n" + g.lines[2] + "\r\n");
    EXPECT_TRUE(has(out.str(), "Done processing files"));

    // The run is listed and undone; undoing it again does nothing.
    ASSERT_EQ(cli({"history"}), cli::kExitOk);
    EXPECT_TRUE(has(out.str(), "  2  run, 2 packages moved  " + g.cacheDir));
    ASSERT_EQ(cli({"undo", "-n"}), cli::kExitOk) << err.str();
    EXPECT_TRUE(has(out.str(), "would move " + g.game + "/Maps/Face.unr -> " + g.cacheFile(1)));
    // Ctrl+C stops the undo after the package under way; the index matches the tree.
    InterruptedMove interrupted(g.posix);
    ASSERT_EQ(cli({"undo"}, "", &interrupted), cli::kExitPartial) << err.str();
    EXPECT_TRUE(has(out.str(), "Stopped after 1 of 2 packages"));
    EXPECT_FALSE(has(out.str(), "could not be replaced"));
    // (The first undo put Face's line last, so this run moved Song first.)
    EXPECT_EQ(g.index(), "[Cache]\r\n" + g.lines[2] + "\r\n" + g.lines[3] + "\r\n");
    EXPECT_TRUE(fileExists(g.cacheFile(3)) && g.placed(g.game + "/Maps", "Face.unr"));
    ASSERT_EQ(cli({"undo"}), cli::kExitOk) << err.str();
    EXPECT_TRUE(fileExists(g.cacheFile(1)) && fileExists(g.cacheFile(3)));
    EXPECT_FALSE(fileExists(g.game + "/Maps/Face.unr"));
    EXPECT_EQ(cli({"undo", "--run", "1"}), cli::kExitFailed);
    EXPECT_TRUE(has(err.str(), "run 1 was undone already"));

    // A purge asks; answered No it deletes nothing.
    EXPECT_EQ(cli({"purge"}, "n\n"), cli::kExitFailed);
    EXPECT_TRUE(fileExists(g.cacheFile(2)));
    ASSERT_EQ(cli({"purge", "--yes"}), cli::kExitOk) << err.str();
    EXPECT_FALSE(fileExists(g.cacheFile(2)));
    EXPECT_EQ(g.index(), "[Cache]\r\n");

    EXPECT_EQ(cli({"purge-days", "14"}), cli::kExitOk) << err.str();
    EXPECT_EQ(readFile(g.game + "/System/UnrealTournament.ini"),
              "[Core.System]\r\nPurgeCacheDays=14\r\n");
    EXPECT_EQ(cli({"--help"}), cli::kExitOk);
    EXPECT_EQ(out.str(), cli::usageText());
}

// A copy of the game running from its System folder (here /bin/sleep under the game's name):
// run, purge and undo name it and change nothing, list says so (--json too), the flag goes on
// anyway.
TEST_F(Cli, ARunningGameStopsRunPurgeAndUndo) {
    const std::string index = g.addAndIndex({"Face.unr", "Rock.utx"});
    ASSERT_EQ(cli({"set-game-dir", g.game}), cli::kExitOk) << err.str();
    FakeGame ut(g.game + "/System", g.tmp / "ut-bin-amd64");
    const std::string named = "ut-bin-amd64 (process " + std::to_string(ut.pid) + ") uses " +
                              g.cacheDir + ": the game is running";
    for (const Words& w : {Words{"run", "--all"}, Words{"purge", "--yes"}}) {
        EXPECT_EQ(cli(w), cli::kExitFailed) << w[0];
        EXPECT_FALSE(has(out.str(), "Processing files"));
        EXPECT_TRUE(has(err.str(), named + ". Close the game first, then try again; nothing was "
                                           "changed."));
    }
    EXPECT_EQ(g.index(), index);
    // list names it on standard error, standard output ending in its count; --json gives it.
    ASSERT_EQ(cli({"list"}), cli::kExitOk);
    EXPECT_TRUE(has(err.str(), named + "; run, purge and undo refuse to start until it is closed"));
    EXPECT_TRUE(out.str().ends_with("\nFound 2 files to process\n")) << out.str();
    ASSERT_EQ(cli({"list", "--json"}), cli::kExitOk);
    EXPECT_EQ(nlohmann::json::parse(out.str())["game_running"],
              nlohmann::json::parse(R"([{"program": "ut-bin-amd64", "process_id": )" +
                                    std::to_string(ut.pid) + "}]"));
    ASSERT_EQ(cli({"run", "--all", "--even-if-game-runs"}), cli::kExitOk) << err.str();
    EXPECT_TRUE(has(out.str(), named + "; going on as asked"));
    EXPECT_TRUE(g.placed(g.game + "/Maps", "Face.unr"));
    EXPECT_EQ(cli({"undo"}), cli::kExitFailed);
    EXPECT_TRUE(g.placed(g.game + "/Maps", "Face.unr"));
    ut.stop();
    EXPECT_EQ(cli({"undo"}), cli::kExitOk) << err.str();
    EXPECT_TRUE(fileExists(g.cacheFile(1)));
}

// Undo without --run takes the last run on the cache folder in use, even with a newer run on
// another one, and says which in its first line; that other run needs its ID.
TEST_F(Cli, UndoTakesTheLastRunOnTheCacheInUse) {
    g.addAndIndex({"Face.unr"});
    const std::string cache = g.cacheDir;
    ASSERT_EQ(cli({"set-game-dir", g.game}), cli::kExitOk) << err.str();
    ASSERT_EQ(cli({"run", "--all"}), cli::kExitOk) << err.str();
    g.pickCache(g.tmp / "Other");
    g.add(2, "Rock.utx");
    g.writeIndex();
    ASSERT_EQ(cli({"run", "--all", "--cache", g.cacheDir}), cli::kExitOk) << err.str();
    const auto firstLine = [&] { return out.str().substr(0, out.str().find('\n')); };
    const auto names = [](const std::string& line, const std::string& id, const std::string& dir,
                          const std::string& end) {
        return line.rfind("Undoing run " + id + " of ", 0) == 0 && line.size() > end.size() &&
               line.ends_with(" on " + dir + end);
    };
    ASSERT_EQ(cli({"undo", "-n"}), cli::kExitOk) << err.str();
    EXPECT_TRUE(names(firstLine(), "1", cache, " (dry run: nothing is changed)")) << out.str();
    ASSERT_EQ(cli({"undo"}), cli::kExitOk) << err.str();
    EXPECT_TRUE(names(firstLine(), "1", cache, "")) << out.str();
    EXPECT_TRUE(fileExists(cache + "/" + guidOf(1) + ".uxx"));
    EXPECT_TRUE(g.placed(g.game + "/Textures", "Rock.utx"));
    EXPECT_EQ(cli({"undo"}), cli::kExitFailed);
    EXPECT_NE(err.str().find("there is no run to undo on " + cache +
                             "\nThe last run not undone "
                             "is run 2 on " +
                             g.cacheDir +
                             "; undo it with: quorvel-cli undo "
                             "--run 2\n"),
              std::string::npos)
        << err.str();
    ASSERT_EQ(cli({"undo", "--run", "2"}), cli::kExitOk) << err.str();
    EXPECT_TRUE(fileExists(g.cacheFile(2)));
}

// undo -n ends with the status the undo itself then ends with.
TEST_F(Cli, UndoDryRunExitsAsTheUndo) {
    g.add(1, "Face.unr");
    g.add(2, "Rock.utx");
    g.add(3, "Gone.umx", false);  // a line whose file is gone: the run drops it
    g.writeIndex();
    ASSERT_EQ(cli({"set-game-dir", g.game}), cli::kExitOk) << err.str();
    const auto both = [&](int expected, const std::string& what) {
        EXPECT_EQ(cli({"undo", "-n"}), expected) << what << "\n" << out.str() << err.str();
        EXPECT_EQ(cli({"undo"}), expected) << what << "\n" << out.str() << err.str();
    };
    both(cli::kExitFailed, "nothing to undo");
    ASSERT_EQ(cli({"run", "--all"}), cli::kExitOk) << err.str();
    both(cli::kExitOk, "all back");
    ASSERT_EQ(cli({"run", "--all"}), cli::kExitOk) << err.str();
    std::filesystem::remove(g.game + "/Maps/Face.unr");
    both(cli::kExitPartial, "one deleted since the run");
    ASSERT_EQ(cli({"run", "--all"}), cli::kExitOk) << err.str();
    std::filesystem::remove(g.game + "/Textures/Rock.utx");
    EXPECT_EQ(cli({"undo", "-n"}), cli::kExitPartial);
    EXPECT_TRUE(has(out.str(), "0 packages would go back into " + g.cacheDir +
                                   ", 1 line would be added to CACHE.INI; 1 would stay"))
        << out.str();
    both(cli::kExitPartial, "every package deleted since the run, its dropped line back");
}

// A first try on a new game: the dry run says what a run or a purge would do and does nothing.
TEST_F(Cli, DryRunChangesNothing) {
    addThreeAndAGoneLine();
    const std::string index = g.index(), registry = readFile(g.tmp / "registry.reg");

    ASSERT_EQ(cli({"run", "--all", "--to-tree", g.tmp / "tree", "--dry-run"}), cli::kExitOk)
        << err.str();
    for (const char* made : {"tree/Maps\n", "tree/Sounds\n"})  // with or without a package
        EXPECT_TRUE(has(out.str(), "would create the folder " + g.tmp / made));
    EXPECT_TRUE(
        has(out.str(), "would move " + g.cacheFile(3) + " -> " + g.tmp / "tree/Music/Song.umx"));
    EXPECT_TRUE(has(out.str(),
                    "1 line of packages NOT FOUND in the Cache Directory would be "
                    "removed from CACHE.INI\n3 files would be moved, 0 files would be "
                    "deleted."))
        << out.str();
    // A destination taken already (by a folder): the move fails, as a run's would.
    makeDirs(g.game + "/Maps/Face.unr");
    // The plan keeps it, unchecked, and moves the rest: the dry run ends as the run would.
    ASSERT_EQ(cli({"run", "--all", "--to-types", "-n"}), cli::kExitOk) << err.str();
    EXPECT_FALSE(has(out.str(), g.cacheFile(1)));
    EXPECT_TRUE(
        has(out.str(), "would move " + g.cacheFile(2) + " -> " + g.game + "/Textures/Rock.utx"));
    EXPECT_TRUE(has(out.str(), "2 files would be moved, 0 files would be deleted."));
    // An installed map needing the cache's texture: the dry purge warns as the purge asks.
    pkg::PackageSpec uses;
    uses.guid = guidOf(9), uses.needs = {"Engine", "Rock"};
    writeFile(g.game + "/Maps/Uses.unr", pkg::writePackage(uses));
    ASSERT_EQ(cli({"purge", "-n"}), cli::kExitOk) << err.str();
    EXPECT_TRUE(has(out.str(), "0 files would be moved, 3 files would be deleted."));
    EXPECT_TRUE(has(err.str(), "Uses.unr needs Rock"));
    for (unsigned n : {1, 2, 3}) EXPECT_TRUE(fileExists(g.cacheFile(n)));
    EXPECT_FALSE(fileExists(g.tmp / "tree"));
    EXPECT_FALSE(fileExists(g.programFolder + "/Quorvel.log"));
    EXPECT_FALSE(fileExists(g.programFolder + "/runs"));
    EXPECT_FALSE(fileExists(g.cacheDir + "/cachebak.ini"));
    EXPECT_EQ(g.index(), index);
    EXPECT_EQ(readFile(g.tmp / "registry.reg"), registry);
}

// Each row with what the run does with it and why, streamed as one document.
TEST_F(Cli, JsonListsTheRowsWithWhatTheRunDoesAndWhy) {
    addThreeAndAGoneLine();
    makeDirs(g.game + "/Maps/Face.unr");  // a folder has Face.unr's place
    ASSERT_EQ(cli({"list", "--json", "--only", "umx"}), cli::kExitOk) << err.str();
    const auto doc = nlohmann::json::parse(out.str());
    // Written a row at a time, laid out as the whole document would be.
    EXPECT_EQ(nlohmann::ordered_json::parse(out.str()).dump(2) + "\n", out.str());
    EXPECT_EQ(doc["to_process"], 1);
    EXPECT_TRUE(doc["game_running"].is_null());
    ASSERT_EQ(doc["packages"].size(), 4u);  // the line without a file too
    const auto& song = doc["packages"][2];
    EXPECT_EQ(song["name"], "Song.umx");
    EXPECT_EQ(song["guid"], g.cacheFile(3).substr(g.cacheDir.size() + 1, 32));
    EXPECT_EQ(song["type"], "music");
    EXPECT_EQ(song["checked"], true);
    EXPECT_EQ(doc["packages"][0]["checked"], false);
    EXPECT_EQ(song["state"], "ok");
    EXPECT_EQ(song["version"], 69);
    EXPECT_EQ(song["header_guid"], song["guid"]);
    EXPECT_EQ(song["installed"], "");

    // A text file named .utx is damaged and never selected; check names what nothing holds.
    writeFile(g.cacheFile(2), "not a texture");
    writeFile(g.game + "/Music/song.UMX", "an older song");
    ASSERT_EQ(cli({"list", "--json", "--all"}), cli::kExitOk) << err.str();
    const auto all = nlohmann::json::parse(out.str());
    // Nothing the run would move: a folder has Face.unr's place, Rock.utx is damaged, and the
    // game has another Song.umx (in other letter case).
    EXPECT_EQ(all["to_process"], 0) << "Rock.utx is damaged: never selected";
    EXPECT_EQ(all["packages"][0]["reason"], "another file has its name at its destination");
    EXPECT_EQ(all["packages"][2]["reason"], "case twin of song.UMX");
    EXPECT_EQ(all["packages"][2]["checked"], false);
    EXPECT_EQ(all["packages"][1]["state"], "damaged");
    EXPECT_EQ(all["packages"][1]["damage"], "not a package");
    EXPECT_EQ(all["packages"][1]["reason"], "damaged (not a package)");
    EXPECT_EQ(all["packages"][1]["action"], "keep");
    EXPECT_EQ(all["packages"][2]["installed"], "other version");
    ASSERT_EQ(cli({"check"}), cli::kExitOk) << err.str();
    EXPECT_TRUE(
        has(out.str(), "Face.unr needs Engine, which is neither installed nor in the cache"));
    EXPECT_TRUE(has(out.str(),
                    "Rock.utx in the cache (" + g.cacheFile(2) + ") is damaged (not a package)"));
}

// A name that would break a row or reach the terminal raw is escaped; the JSON keeps its bytes.
TEST_F(Cli, ListNamesStayOneFieldAndJsonKeepsTheirBytes) {
    EXPECT_EQ(escapedField("a\tb\rc\nd\\e\x01\x7f\xe9"), "a\\tb\\rc\\nd\\\\e\\x01\\x7F\xe9");
    for (const auto& [bytes, coded] :
         {std::pair{"", ""}, std::pair{"f", "Zg=="}, std::pair{"fo", "Zm8="},
          std::pair{"foo", "Zm9v"}, std::pair{"\xff\xfe\x01", "//4B"}})
        EXPECT_EQ(cli::base64Of(bytes), coded);
    g.addAndIndex({"Tab\tMap.unr", "Caf\xe9.utx", "Caf\xea.utx"});
    ASSERT_EQ(cli({"set-game-dir", g.game}), cli::kExitOk);
    ASSERT_EQ(cli({"list"}), cli::kExitOk);
    // A control byte is no name a destination may carry: kept, unchecked, and said why.
    EXPECT_TRUE(has(out.str(), "[ ]\tTab\\tMap.unr\t"));
    EXPECT_TRUE(has(out.str(), "\tunsafe name\n"));
    ASSERT_EQ(cli({"list", "--json"}), cli::kExitOk);
    const auto doc = nlohmann::json::parse(out.str());
    EXPECT_EQ(doc["packages"][1]["name"], doc["packages"][2]["name"]);  // both show U+FFFD
    EXPECT_EQ(doc["packages"][1]["name_base64"], cli::base64Of("Caf\xe9.utx"));
    EXPECT_EQ(doc["packages"][2]["name_base64"], cli::base64Of("Caf\xea.utx"));
    // A server's escape sequences reach neither the terminal nor the log, in a run or a dry run.
    const std::string hostile = "\x1b[31mRED\x1b]0;title\x07/.utx";
    g.add(4, hostile);
    g.writeIndex();
    for (const Words& words : {Words{"list"}, Words{"run", "-n"}, Words{"run"}}) {
        (void)cli(words);
        const std::string all = out.str() + err.str() + g.log();
        EXPECT_EQ(all.find_first_of("\x1b\x07"), std::string::npos) << all;
        if (words[0] == "list") {
            EXPECT_TRUE(has(all, escapedField(hostile)));
        }
    }
}

// A map of the writer's in the cache: info finds it by name, GUID or file, list --facts adds its
// facts; --picture hands its picture to the PNG encoder.
TEST_F(Cli, InfoMapsFactsByNameGuidAndFileAndInList) {
    g.add(1, "CTF-Seed.unr");
    g.add(2, "Plain.unr");
    pkg::PackageSpec spec;
    spec.guid = guidOf(1);
    std::string pal;
    for (int i = 0; i < 4; ++i) pal += {char(60 * i), 10, char(200), 0};
    const pkg::MapFactsSpec facts{"Seed", "Writer", "2-4", "Shot"};
    spec.exports = {pkg::levelInfo(facts), pkg::palette("Pal", pal),
                    pkg::texture("Shot", 0, 4, 2, {std::string("\0\1\2\3\3\2\1\0", 8)}, "Pal")};
    writeFile(g.cacheFile(1), pkg::writePackage(spec));
    g.writeIndex();
    ASSERT_EQ(cli({"set-game-dir", g.game}), cli::kExitOk);
    for (const std::string& name : {std::string("ctf-seed"), guidOf(1), g.cacheFile(1)}) {
        ASSERT_EQ(cli({"info", name, "--json"}), cli::kExitOk) << name;
        const auto doc = nlohmann::json::parse(out.str());
        EXPECT_EQ(doc["title"], "Seed");
        EXPECT_EQ(doc["players"], "2-4");
        EXPECT_EQ(doc["picture"]["width"], 4);
    }
    EXPECT_EQ(cli({"info", "Nothing"}), cli::kExitFailed);
    EXPECT_TRUE(has(err.str(), "no file and no cached package is named Nothing"));
    // The facts come from the header pass's own read of each map: one open, its tables once.
    struct Opens final : ForwardingFileSystem {
        using ForwardingFileSystem::ForwardingFileSystem;
        Result<std::unique_ptr<InFile>> openForReading(const std::string& p) override {
            ++opened[std::string(fileNameOf(p))];
            return ForwardingFileSystem::openForReading(p);
        }
        std::map<std::string, int> opened;
    } opens(g.posix);
    ASSERT_EQ(cli({"list", "--facts"}, "", &opens), cli::kExitOk) << err.str();
    EXPECT_TRUE(has(out.str(), "\tSeed\tWriter\t2-4 players\n"));
    EXPECT_EQ(opens.opened[guidOf(1) + ".uxx"], 1);
    ASSERT_EQ(cli({"list", "--facts", "--json"}), cli::kExitOk);
    const auto doc = nlohmann::json::parse(out.str());
    EXPECT_EQ(doc["packages"][0]["author"], "Writer");
    EXPECT_FALSE(doc["packages"][1].contains("author"));  // not a map of the writer's

    struct Encoder final : PngEncoder {
        std::optional<std::string> encode(const Picture& p) override {
            return "png " + std::to_string(p.width) + "x" + std::to_string(p.height);
        }
    } encoder;
    png = &encoder;
    const std::string shot = g.tmp / "shot.png";
    EXPECT_EQ(cli({"info", "CTF-Seed.unr", "--picture", shot}), cli::kExitOk);
    EXPECT_EQ(readFile(shot), "png 4x2");
    EXPECT_EQ(cli({"info", "Plain", "--picture", shot}), cli::kExitFailed);
    EXPECT_TRUE(has(err.str(), "holds no picture"));

    // A .u and a .utx of one name: info shows both, and the picture is the one that has one,
    // named; "-" writes it to standard output, the facts to standard error.
    g.add(4, "Twin.u");
    g.add(5, "Twin.utx");
    spec.guid = guidOf(5);
    spec.exports = {pkg::palette("Pal", pal),
                    pkg::texture("Tex", 0, 4, 2, {std::string("\0\1\2\3\3\2\1\0", 8)}, "Pal")};
    writeFile(g.cacheFile(5), pkg::writePackage(spec));
    g.writeIndex();
    EXPECT_EQ(cli({"info", "twin", "--picture", "-"}), cli::kExitOk) << err.str();
    EXPECT_EQ(out.str(), "png 4x2");
    EXPECT_TRUE(has(err.str(), "Package: Twin.u\n"));
    EXPECT_TRUE(has(err.str(), "Package: Twin.utx\n"));
    EXPECT_TRUE(has(err.str(), "the picture is that of " + g.cacheFile(5)));
    ASSERT_EQ(cli({"info", "Twin", "--json"}), cli::kExitOk);
    EXPECT_EQ(nlohmann::json::parse(out.str()).size(), 2u);
    // A reason that is the state itself is said once.
    const std::string empty = g.tmp / "Empty.unr";
    writeFile(empty, "");
    EXPECT_EQ(cli({"info", empty}), cli::kExitFailed);
    EXPECT_TRUE(has(out.str(), "State: not a package\n"));
}

}  // namespace
}  // namespace qv::test
