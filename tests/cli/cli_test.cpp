// quorvel-cli as a player uses it from a terminal.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/lossless_text.h"
#include "package/package_info.h"
#include "platform/escaped_text.h"
#include "platform/forwarding_filesystem.h"
#include "tests/support/game.h"
#include "tools/package_objects.h"

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
    // GNU spellings, and the flags each command has.
    auto gnu = parseArguments({"list", "--cache=/c d", "--only=UNR", "--json"});
    ASSERT_TRUE(gnu.ok()) << gnu.error;
    EXPECT_EQ(gnu.args.cacheDir, "/c d");
    EXPECT_TRUE(gnu.args.onlyUNR && gnu.args.json && !gnu.args.onlyUTX);
    EXPECT_TRUE(parseArguments({"delete-tmp", "-n"}).args.dryRun);
    EXPECT_EQ(parseArguments({"set-game-dir", "--found=2"}).args.found, 2);
    // --help and --version answer on standard output; a command's help is its own.
    EXPECT_NE(parseArguments({"--version"}).args.helpText.find("quorvel-cli 3.0"),
              std::string::npos);
    const std::string runHelp = parseArguments({"run", "-h"}).args.helpText;
    EXPECT_NE(runHelp.find("--dry-run"), std::string::npos);
    EXPECT_EQ(runHelp.find("find-game"), std::string::npos);
    // A mistyped word is named and the nearest right one offered.
    EXPECT_NE(parseArguments({"run", "--dry-rn"})
                  .error.find("'--dry-rn' for run; did you mean "
                              "'--dry-run'"),
              std::string::npos);
    EXPECT_NE(parseArguments({"lsit"}).error.find("did you mean 'list'"), std::string::npos);
    const Words refused[] = {{},
                             {"dance"},
                             {"run", "--only", "unr,zip"},
                             {"run", "--all", "--only", "u"},
                             {"run", "--to-folder"},
                             {"run", "--to-types", "--to-tree", "/t"},
                             {"list", "--yes"},
                             {"purge-days", "soon"},
                             {"set-game-dir"},
                             {"set-game-dir", "/g", "--found", "1"},
                             {"set-game-dir", "--found", "0"},
                             {"list", "--dry-run"},
                             {"run", "--cache="},
                             {"run", "extra"}};
    for (const Words& w : refused)
        EXPECT_FALSE(parseArguments(w).ok()) << ::testing::PrintToString(w);
}

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
    EXPECT_EQ(cli({"set-game-dir", g.tmp / "none"}), cli::kExitUsage);
    ASSERT_EQ(cli({"set-game-dir", g.game}), cli::kExitOk) << err.str();
    ASSERT_EQ(cli({"list", "--only", "unr"}), cli::kExitOk) << err.str();
    EXPECT_NE(out.str().find("[x]\tFace.unr\t"), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("[ ]\tRock.utx\t"), std::string::npos);
    EXPECT_NE(out.str().find("Found 1 files to process"), std::string::npos);

    // A store that cannot be locked: the run goes on, says the folder was not stored and ends
    // done in part, never 0.
    std::filesystem::remove(g.tmp / "registry.reg.lock");
    std::filesystem::create_directory(g.tmp / "registry.reg.lock");
    EXPECT_EQ(cli({"run", "--only", "unr"}), cli::kExitPartial);
    EXPECT_NE(err.str().find("InstallPath"), std::string::npos) << err.str();
    EXPECT_TRUE(g.placed(g.game + "/Maps", "Face.unr"));
    std::filesystem::remove(g.tmp / "registry.reg.lock");
    ASSERT_EQ(cli({"undo"}), cli::kExitOk) << err.str();
    ASSERT_EQ(cli({"run", "--only", "unr,umx"}), cli::kExitOk) << err.str();
    EXPECT_TRUE(g.placed(g.game + "/Music", "Song.umx"));
    EXPECT_EQ(g.index(), "[Cache]\r\n" + g.lines[2] + "\r\n");
    EXPECT_NE(out.str().find("Done processing files"), std::string::npos);

    // The run is listed and undone; undoing it again does nothing.
    ASSERT_EQ(cli({"history"}), cli::kExitOk);
    EXPECT_NE(out.str().find("  2  run, 2 packages moved  " + g.cacheDir), std::string::npos)
        << out.str();
    ASSERT_EQ(cli({"undo", "-n"}), cli::kExitOk) << err.str();
    EXPECT_NE(out.str().find("would move " + g.game + "/Maps/Face.unr -> " + g.cacheFile(1)),
              std::string::npos)
        << out.str();
    // Ctrl+C stops the undo after the package under way; the index matches the tree.
    InterruptedMove interrupted(g.posix);
    ASSERT_EQ(cli({"undo"}, "", &interrupted), cli::kExitPartial) << err.str();
    EXPECT_NE(out.str().find("Stopped after 1 of 2 packages"), std::string::npos) << out.str();
    EXPECT_EQ(out.str().find("could not be replaced"), std::string::npos) << out.str();
    // (The first undo put Face's line last, so this run moved Song first.)
    EXPECT_EQ(g.index(), "[Cache]\r\n" + g.lines[2] + "\r\n" + g.lines[3] + "\r\n");
    EXPECT_TRUE(fileExists(g.cacheFile(3)) && g.placed(g.game + "/Maps", "Face.unr"));
    ASSERT_EQ(cli({"undo"}), cli::kExitOk) << err.str();
    EXPECT_TRUE(fileExists(g.cacheFile(1)) && fileExists(g.cacheFile(3)));
    EXPECT_FALSE(fileExists(g.game + "/Maps/Face.unr"));
    EXPECT_EQ(cli({"undo", "--run", "1"}), cli::kExitFailed);
    EXPECT_NE(err.str().find("run 1 was undone already"), std::string::npos);

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
// run, purge and undo name it and change nothing, list says so, the flag goes on anyway.
TEST_F(Cli, ARunningGameStopsRunPurgeAndUndo) {
    g.add(1, "Face.unr");
    g.add(2, "Rock.utx");
    const std::string index = g.writeIndex();
    ASSERT_EQ(cli({"set-game-dir", g.game}), cli::kExitOk) << err.str();
    FakeGame ut(g.game + "/System", g.tmp / "ut-bin-amd64");
    const std::string named = "ut-bin-amd64 (process " + std::to_string(ut.pid) + ") uses " +
                              g.cacheDir + ": the game is running";
    for (const Words& w : {Words{"run", "--all"}, Words{"purge", "--yes"}}) {
        EXPECT_EQ(cli(w), cli::kExitFailed) << w[0];
        EXPECT_EQ(out.str().find("Processing files"), std::string::npos) << out.str();
        EXPECT_NE(err.str().find(named + ". Close the game first, then try again; nothing was "
                                         "changed."),
                  std::string::npos)
            << err.str();
    }
    EXPECT_EQ(g.index(), index);
    ASSERT_EQ(cli({"list"}), cli::kExitOk);
    EXPECT_NE(out.str().find(named + "; run, purge and undo refuse to start until it is closed"),
              std::string::npos)
        << out.str();
    ASSERT_EQ(cli({"run", "--all", "--even-if-game-runs"}), cli::kExitOk) << err.str();
    EXPECT_NE(out.str().find(named + "; going on as asked"), std::string::npos);
    EXPECT_TRUE(g.placed(g.game + "/Maps", "Face.unr"));
    EXPECT_EQ(cli({"undo"}), cli::kExitFailed);
    EXPECT_TRUE(g.placed(g.game + "/Maps", "Face.unr"));
    ut.stop();
    EXPECT_EQ(cli({"undo"}), cli::kExitOk) << err.str();
    EXPECT_TRUE(fileExists(g.cacheFile(1)));
}

// A first try on a new game: the dry run says what a run or a purge would do and does nothing.
TEST_F(Cli, DryRunChangesNothingAndJsonListsTheRows) {
    g.add(1, "Face.unr");
    g.add(2, "Rock.utx");
    g.add(3, "Song.umx");
    g.writeIndex();
    ASSERT_EQ(cli({"set-game-dir", g.game}), cli::kExitOk) << err.str();
    const std::string index = g.index(), registry = readFile(g.tmp / "registry.reg");

    ASSERT_EQ(cli({"run", "--all", "--to-tree", g.tmp / "tree", "--dry-run"}), cli::kExitOk)
        << err.str();
    for (const char* made : {"tree/Maps\n", "tree/Sounds\n"})  // with or without a package
        EXPECT_NE(out.str().find("would create the folder " + g.tmp / made), std::string::npos)
            << out.str();
    EXPECT_NE(
        out.str().find("would move " + g.cacheFile(3) + " -> " + g.tmp / "tree/Music/Song.umx"),
        std::string::npos);
    EXPECT_NE(out.str().find("3 files would be moved, 0 files would be deleted."),
              std::string::npos);
    // A destination taken already (by a folder): the move fails, as a run's would.
    makeDirs(g.game + "/Maps/Face.unr");
    // The dry run ends with the status the run would: done in part.
    ASSERT_EQ(cli({"run", "--all", "--to-types", "-n"}), cli::kExitPartial) << err.str();
    EXPECT_EQ(out.str().find(g.cacheFile(1)), std::string::npos) << out.str();
    EXPECT_NE(
        out.str().find("would move " + g.cacheFile(2) + " -> " + g.game + "/Textures/Rock.utx"),
        std::string::npos);
    EXPECT_NE(out.str().find("2 files would be moved, 0 files would be deleted."),
              std::string::npos);
    // An installed map needing the cache's texture: the dry purge warns as the purge asks.
    pkg::PackageSpec uses;
    uses.guid = guidOf(9), uses.needs = {"Engine", "Rock"};
    writeFile(g.game + "/Maps/Uses.unr", pkg::writePackage(uses));
    ASSERT_EQ(cli({"purge", "-n"}), cli::kExitOk) << err.str();
    EXPECT_NE(out.str().find("0 files would be moved, 3 files would be deleted."),
              std::string::npos);
    EXPECT_NE(err.str().find("Uses.unr needs Rock"), std::string::npos) << err.str();
    for (unsigned n : {1, 2, 3}) EXPECT_TRUE(fileExists(g.cacheFile(n)));
    EXPECT_FALSE(fileExists(g.tmp / "tree"));
    EXPECT_FALSE(fileExists(g.programFolder + "/Quorvel.log"));
    EXPECT_FALSE(fileExists(g.programFolder + "/runs"));
    EXPECT_FALSE(fileExists(g.cacheDir + "/cachebak.ini"));
    EXPECT_EQ(g.index(), index);
    EXPECT_EQ(readFile(g.tmp / "registry.reg"), registry);

    ASSERT_EQ(cli({"list", "--json", "--only", "umx"}), cli::kExitOk) << err.str();
    const auto doc = nlohmann::json::parse(out.str());
    EXPECT_EQ(doc["to_process"], 1);
    ASSERT_EQ(doc["packages"].size(), 3u);
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
    EXPECT_EQ(all["to_process"], 2) << "Rock.utx is damaged: never selected";
    EXPECT_EQ(all["packages"][1]["state"], "damaged");
    EXPECT_EQ(all["packages"][1]["reason"], "not a package");
    EXPECT_EQ(all["packages"][2]["installed"], "other version");
    ASSERT_EQ(cli({"check"}), cli::kExitOk) << err.str();
    EXPECT_NE(out.str().find("Face.unr needs Engine, which is neither installed nor in the cache"),
              std::string::npos)
        << out.str();
    EXPECT_NE(
        out.str().find("Rock.utx in the cache (" + g.cacheFile(2) + ") is damaged (not a package)"),
        std::string::npos)
        << out.str();
}

// The manual page and the three completions name every command and option the parser knows.
TEST(CliDocuments, ManualPageAndCompletionsCannotDrift) {
    const std::string source = QV_TEST_DATA_DIR "/../../";
    std::string man = readFile(source + "data/package/quorvel-cli.1");
    for (std::size_t at; (at = man.find("\\-")) != std::string::npos;) man.erase(at, 1);
    const std::string bash = readFile(source + "data/completion/quorvel-cli.bash"),
                      zsh = readFile(source + "data/completion/_quorvel-cli"),
                      fish = readFile(source + "data/completion/quorvel-cli.fish");
    for (const cli::CommandWords& c : cli::commandWords()) {
        for (const std::string* text :
             std::initializer_list<const std::string*>{&man, &bash, &zsh, &fish})
            EXPECT_NE(text->find(c.command), std::string::npos) << c.command;
        for (const std::string& o : c.options) {
            EXPECT_NE(man.find(o), std::string::npos) << c.command << " " << o;
            EXPECT_NE(bash.find(o), std::string::npos) << c.command << " " << o;
            EXPECT_NE(zsh.find(o), std::string::npos) << c.command << " " << o;
            const bool isLong = o.rfind("--", 0) == 0;
            EXPECT_NE(fish.find((isLong ? "-l " : "-s ") + o.substr(isLong ? 2 : 1)),
                      std::string::npos)
                << c.command << " " << o;
        }
    }
    for (const char* page : {"quorvel-cli.1", "quorvel.1", "quorvel-troubleshooter.1"}) {
        const std::string text = readFile(source + "data/package/" + page);
        for (const char* part :
             {".SH ENVIRONMENT", "QUORVEL_REGISTRY", "XDG_DATA_HOME", ".SH EXIT STATUS"})
            EXPECT_NE(text.find(part), std::string::npos) << page << " " << part;
    }
    // What bash offers after a few typed letters.
    const std::pair<const char*, const char*> typed[] = {
        {"quorvel-cli r", "run"},
        {"quorvel-cli run --dry", "--dry-run"},
        {"quorvel-cli list --only = unr,ut", "unr,utx"}};  // bash splits words at "="
    for (const auto& [line, expected] : typed) {
        const std::string command = "bash -c 'source " + source +
                                    "data/completion/quorvel-cli.bash; COMP_WORDS=(" + line +
                                    "); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _quorvel_cli; "
                                    "echo \"${COMPREPLY[*]}\"' 2>&1";
        std::string answer;
        FILE* pipe = ::popen(command.c_str(), "r");
        ASSERT_NE(pipe, nullptr);
        for (int c; (c = std::fgetc(pipe)) != EOF;) answer += static_cast<char>(c);
        ::pclose(pipe);
        EXPECT_EQ(answer, std::string(expected) + "\n") << line;
    }
}

// An output that fails as a full disk or a closed pipe does.
class FullBuffer final : public std::streambuf {
    int overflow(int) override { return traits_type::eof(); }
};

// A cache of the packages named ("-Name": its line without its file); "+tmp": two *.tmp files in
// the game folder; "+ran": after a run of everything; "+edited": Face.unr changed since.
struct Row {
    const char* cache;
    Words words;
    int status;
    bool dryRunToo = true, outputFails = false;
};

int cli(Game& g, const Words& words, std::ostream& out, std::string* said = nullptr) {
    std::ostringstream err;
    std::istringstream in;
    cli::Environment env{g.programFolder, g.tmp / "registry.reg", out, err, in, false, g.posix};
    const int status = cli::runMain(words, env);
    if (said) *said = err.str();
    return status;
}

void setUp(Game& g, const std::string& cache) {
    std::istringstream words(cache);
    unsigned n = 0;
    for (std::string w; words >> w;) {
        if (w[0] != '+') g.add(++n, w[0] == '-' ? w.substr(1) : w, w[0] != '-');
        if (w == "+tmp") writeFile(g.game + "/a.tmp", "t"), writeFile(g.game + "/b.tmp", "t");
        std::ostringstream out;
        if (w == "+ran") {
            g.writeIndex();
            ASSERT_EQ(cli(g, {"run", "--all"}, out), cli::kExitOk);
        }
        if (w == "+edited") writeFile(g.game + "/Maps/Face.unr", "edited");
    }
    if (cache.find("+ran") == std::string::npos) g.writeIndex();
}

TEST(CliExitStatus, EveryRowOfTheTable) {
    const Row rows[] = {
        {"Face.unr Rock.utx", {"run", "--all"}, cli::kExitOk},
        {"Face.unr Rock.utx", {"run", "--only", "u"}, cli::kExitFailed},  // nothing selected
        {"", {"run", "--all"}, cli::kExitFailed},                         // no package in the index
        {"Face.unr -Gone.unr", {"run", "--all"}, cli::kExitPartial},      // NOT FOUND
        {"-Gone.unr", {"run", "--all"}, cli::kExitFailed},
        {"Face.unr sub/../../Evil.unr", {"run", "--all"}, cli::kExitPartial},  // not a safe name
        {"Face.unr Pack.umod", {"run", "--all"}, cli::kExitPartial},           // unknown type
        {"Face.unr", {"run", "--all"}, cli::kExitPartial, true, true},         // report not written
        {"Face.unr", {"list"}, cli::kExitFailed, false, true},
        {"Face.unr", {"delete-tmp"}, cli::kExitFailed},
        {"Face.unr +tmp", {"delete-tmp"}, cli::kExitOk},
        {"", {"purge", "--yes"}, cli::kExitFailed},  // an empty cache
        {"Face.unr", {"purge", "--yes"}, cli::kExitOk},
        {"Face.unr", {"purge"}, cli::kExitFailed, false},  // nobody to say yes
        {"Face.unr", {"undo"}, cli::kExitFailed},          // no run to undo
        {"Face.unr Rock.utx +ran", {"undo"}, cli::kExitOk},
        {"Face.unr Rock.utx +ran +edited", {"undo"}, cli::kExitPartial},
        {"", {"run", "--bogus"}, cli::kExitUsage, false},
    };
    for (const Row& row : rows) {
        Game g;
        std::ostringstream out;
        ASSERT_EQ(cli(g, {"set-game-dir", g.game}, out), cli::kExitOk);
        setUp(g, row.cache);
        FullBuffer full;
        std::ostream failing(&full);
        std::ostream& target = row.outputFails ? failing : static_cast<std::ostream&>(out);
        const std::string what = row.cache + (" " + row.words[0]);
        std::string said;
        if (row.dryRunToo) {
            Words dry = row.words;
            dry.push_back("-n");
            EXPECT_EQ(cli(g, dry, target, &said), row.status) << what << " -n\n" << said;
            target.clear();
        }
        EXPECT_EQ(cli(g, row.words, target, &said), row.status) << what << "\n" << said;
    }
    Game g;  // no game folder set
    std::ostringstream out;
    EXPECT_EQ(cli(g, {"run"}, out), cli::kExitUsage);
}

// The README and the manual page say what --help says, row by row.
TEST(CliExitStatus, OneTableInEveryDocument) {
    const std::string source = QV_TEST_DATA_DIR "/../../";
    const auto flat = [](std::string text) {
        for (const char* roff : {"\\-", "\\fB", "\\fR"})
            for (std::size_t at; (at = text.find(roff)) != std::string::npos;)
                text.replace(at, std::string(roff).size(), roff[1] == '-' ? "-" : "");
        std::string out;
        for (char c : text)
            if (!((c == ' ' || c == '\n') && (out.empty() || out.back() == ' ')))
                out += c == '\n' ? ' ' : c;
        return out;
    };
    const std::string man = flat(readFile(source + "data/package/quorvel-cli.1")),
                      readme = readFile(source + "README.md"), help = cli::usageText();
    EXPECT_NE(help.find(cli::exitTableHelp()), std::string::npos);
    for (const cli::ExitRow& row : cli::exitTable()) {
        std::string sentence = row.meaning;
        sentence[0] = static_cast<char>(std::toupper(sentence[0]));
        sentence += '.';
        EXPECT_NE(man.find(".B " + std::to_string(row.status) + " " + sentence), std::string::npos)
            << sentence;
        EXPECT_NE(readme.find("| " + std::to_string(row.status) + " | " + sentence + " |"),
                  std::string::npos)
            << sentence;
    }
}

// A name that would break a row or reach the terminal raw is escaped; the JSON keeps its bytes.
TEST(CliList, NamesStayOneFieldAndJsonKeepsTheirBytes) {
    EXPECT_EQ(escapedField("a\tb\rc\nd\\e\x01\x7f\xe9"), "a\\tb\\rc\\nd\\\\e\\x01\\x7F\xe9");
    for (const auto& [bytes, coded] :
         {std::pair{"", ""}, std::pair{"f", "Zg=="}, std::pair{"fo", "Zm8="},
          std::pair{"foo", "Zm9v"}, std::pair{"\xff\xfe\x01", "//4B"}})
        EXPECT_EQ(cli::base64Of(bytes), coded);
    Game g;
    g.add(1, "Tab\tMap.unr");
    g.add(2, "Caf\xe9.utx");
    g.add(3, "Caf\xea.utx");
    g.writeIndex();
    std::ostringstream out;
    ASSERT_EQ(cli(g, {"set-game-dir", g.game}, out), cli::kExitOk);
    out.str({});
    ASSERT_EQ(cli(g, {"list"}, out), cli::kExitOk);
    EXPECT_NE(out.str().find("[x]\tTab\\tMap.unr\t"), std::string::npos) << out.str();
    out.str({});
    ASSERT_EQ(cli(g, {"list", "--json"}, out), cli::kExitOk);
    const auto doc = nlohmann::json::parse(out.str());
    EXPECT_EQ(doc["packages"][1]["name"], doc["packages"][2]["name"]);  // both show U+FFFD
    EXPECT_EQ(doc["packages"][1]["name_base64"], cli::base64Of("Caf\xe9.utx"));
    EXPECT_EQ(doc["packages"][2]["name_base64"], cli::base64Of("Caf\xea.utx"));
    // A server's escape sequences reach neither the terminal nor the log, in a run or a dry run.
    const std::string hostile = "\x1b[31mRED\x1b]0;title\x07/.utx";
    g.add(4, hostile);
    g.writeIndex();
    for (const Words& words : {Words{"run", "-n"}, Words{"run"}}) {
        std::string said;
        out.str({});
        (void)cli(g, words, out, &said);
        const std::string all = out.str() + said + g.log();
        EXPECT_EQ(all.find_first_of("\x1b\x07"), std::string::npos) << all;
        EXPECT_NE(all.find(escapedField(hostile) + " is not a safe file name"), std::string::npos)
            << all;
    }
}

}  // namespace
}  // namespace qv::test

namespace qv::test {
namespace {

// A map of the writer's in the cache: info finds it by name, GUID or file, list --facts adds its
// facts; --picture hands its picture to the PNG encoder.
TEST(CliInfo, MapsFactsByNameGuidAndFileAndInList) {
    Game g;
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
    std::ostringstream out;
    ASSERT_EQ(cli(g, {"set-game-dir", g.game}, out), cli::kExitOk);
    for (const std::string& name : {std::string("ctf-seed"), guidOf(1), g.cacheFile(1)}) {
        out.str({});
        ASSERT_EQ(cli(g, {"info", name, "--json"}, out), cli::kExitOk) << name;
        const auto doc = nlohmann::json::parse(out.str());
        EXPECT_EQ(doc["title"], "Seed");
        EXPECT_EQ(doc["players"], "2-4");
        EXPECT_EQ(doc["picture"]["width"], 4);
    }
    out.str({});
    std::string said;
    EXPECT_EQ(cli(g, {"info", "Nothing"}, out, &said), cli::kExitFailed);
    EXPECT_NE(said.find("no file and no cached package is named Nothing"), std::string::npos);
    ASSERT_EQ(cli(g, {"list", "--facts"}, out), cli::kExitOk);
    EXPECT_NE(out.str().find("\tSeed\tWriter\t2-4 players\n"), std::string::npos) << out.str();
    out.str({});
    ASSERT_EQ(cli(g, {"list", "--facts", "--json"}, out), cli::kExitOk);
    const auto doc = nlohmann::json::parse(out.str());
    EXPECT_EQ(doc["packages"][0]["author"], "Writer");
    EXPECT_FALSE(doc["packages"][1].contains("author"));  // not a map of the writer's

    struct Encoder final : PngEncoder {
        std::optional<std::string> encode(const Picture& p) override {
            return "png " + std::to_string(p.width) + "x" + std::to_string(p.height);
        }
    } encoder;
    std::ostringstream err;
    std::istringstream in;
    cli::Environment env{g.programFolder, g.tmp / "registry.reg", out, err, in, false, g.posix};
    env.png = &encoder;
    const std::string png = g.tmp / "shot.png";
    EXPECT_EQ(cli::runMain({"info", "CTF-Seed.unr", "--picture", png}, env), cli::kExitOk);
    EXPECT_EQ(readFile(png), "png 4x2");
    EXPECT_EQ(cli::runMain({"info", "Plain", "--picture", png}, env), cli::kExitFailed);
    EXPECT_NE(err.str().find("holds no picture"), std::string::npos);
}

}  // namespace
}  // namespace qv::test
