// quorvel-cli's contract with scripts and documents: the words it takes, the manual page and
// completions that name them, and the exit status of every outcome.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <sstream>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "tests/cli/run_cli.h"
#include "tests/support/game.h"

namespace qv::test {
namespace {

using cli::parseArguments;

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
    EXPECT_TRUE(has(parseArguments({"--version"}).args.helpText, "quorvel-cli 3.0"));
    const std::string runHelp = parseArguments({"run", "-h"}).args.helpText;
    EXPECT_TRUE(has(runHelp, "--dry-run"));
    EXPECT_FALSE(has(runHelp, "find-game"));
    // A mistyped word is named and the nearest right one offered.
    EXPECT_TRUE(has(parseArguments({"run", "--dry-rn"}).error,
                    "'--dry-rn' for run; did you mean "
                    "'--dry-run'"));
    EXPECT_TRUE(has(parseArguments({"lsit"}).error, "did you mean 'list'"));
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
            EXPECT_TRUE(has(man, o)) << c.command << " " << o;
            EXPECT_TRUE(has(bash, o)) << c.command << " " << o;
            EXPECT_TRUE(has(zsh, o)) << c.command << " " << o;
            const bool isLong = o.rfind("--", 0) == 0;
            EXPECT_TRUE(has(fish, (isLong ? "-l " : "-s ") + o.substr(isLong ? 2 : 1)))
                << c.command << " " << o;
        }
    }
    for (const char* page : {"quorvel-cli.1", "quorvel.1", "quorvel-troubleshooter.1"}) {
        const std::string text = readFile(source + "data/package/" + page);
        for (const char* part :
             {".SH ENVIRONMENT", "QUORVEL_REGISTRY", "XDG_DATA_HOME", ".SH EXIT STATUS"})
            EXPECT_TRUE(has(text, part)) << page << " " << part;
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
// the game folder; "+ran": after a run of everything; "+edited": Face.unr changed since;
// "+killed": that run killed before its new index (the old index still there, the journal
// without its end); "+exchanged": killed between the index's exchange and the backup's rename.
struct Row {
    const char* cache;
    Words words;
    int status;
    bool dryRunToo = true, outputFails = false;
};

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
        const std::string backup = g.cacheDir + "/cachebak.ini";
        if (w == "+killed") {
            writeFile(g.cacheDir + "/cache.ini", readFile(backup));
            const std::string journal = g.programFolder + "/runs/1.journal";
            std::string text = readFile(journal);
            text.erase(text.find("\nE\t") + 1);
            writeFile(journal, text);
        }
        if (w == "+exchanged") {
            writeFile(g.cacheDir + "/.quorvel-cachebak.ini", readFile(backup));
            writeFile(backup, "[Cache]\r\n");
        }
    }
    if (cache.find("+ran") == std::string::npos) g.writeIndex();
}

TEST(CliExitStatus, EveryRowOfTheTable) {
    const Row rows[] = {
        {"Face.unr Rock.utx", {"run", "--all"}, cli::kExitOk},
        {"Face.unr Rock.utx", {"run", "--only", "u"}, cli::kExitFailed},  // nothing selected
        // All that was left to do was to finish what a killed run left.
        {"Face.unr -Gone.unr +ran +killed", {"run", "--all"}, cli::kExitOk},
        {"Face.unr +ran +exchanged", {"run", "--all"}, cli::kExitOk},
        {"Face.unr +ran", {"run", "--all"}, cli::kExitFailed},   // nothing left at all
        {"", {"run", "--all"}, cli::kExitFailed},                // no package in the index
        {"Face.unr -Gone.unr", {"run", "--all"}, cli::kExitOk},  // a line without its file dropped
        {"-Gone.unr", {"run", "--all"}, cli::kExitFailed},
        {"Face.unr sub/../../Evil.unr", {"run", "--all"}, cli::kExitOk},  // kept, unchecked
        {"Face.unr Pack.umod", {"run", "--all"}, cli::kExitOk},           // kept, unchecked
        {"Face.unr", {"run", "--all"}, cli::kExitPartial, true, true},    // report not written
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
    EXPECT_TRUE(has(help, cli::exitTableHelp()));
    for (const cli::ExitRow& row : cli::exitTable()) {
        std::string sentence = row.meaning;
        sentence[0] = static_cast<char>(std::toupper(sentence[0]));
        sentence += '.';
        EXPECT_TRUE(has(man, ".B " + std::to_string(row.status) + " " + sentence)) << sentence;
        EXPECT_TRUE(has(readme, "| " + std::to_string(row.status) + " | " + sentence + " |"))
            << sentence;
    }
}

}  // namespace
}  // namespace qv::test
