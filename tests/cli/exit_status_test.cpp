// Every row of the exit-status table, as a script sees it: each case ends with its status, and
// its dry run (where there is one) predicts that status.
#include <gtest/gtest.h>

#include <functional>
#include <nlohmann/json.hpp>
#include <sstream>

#include "cli/commands.h"
#include "cli/lossless_text.h"
#include "tests/support/game.h"

namespace qv::test {
namespace {

using Words = std::vector<std::string>;

// An output that fails as a full disk or a closed pipe does.
class FullBuffer final : public std::streambuf {
    int overflow(int) override { return traits_type::eof(); }
};

struct Row {
    const char* what;
    std::function<void(Game&)> setUp;  // after the game folder is set
    Words words;
    int status;
    bool dryRunToo = true;
    bool outputFails = false;
};

int cli(Game& g, const Words& words, std::ostream& out, std::string* said = nullptr) {
    std::ostringstream err;
    std::istringstream in;
    cli::Environment env{g.programFolder, g.tmp / "registry.reg", out, err, in, false, g.posix};
    const int status = cli::runMain(words, env);
    if (said) *said = err.str();
    return status;
}

void threePackages(Game& g) {
    g.add(1, "Face.unr");
    g.add(2, "Rock.utx");
    g.add(3, "Song.umx");
}

TEST(CliExitStatus, EveryRowOfTheTable) {
    const auto withIndex = [](std::function<void(Game&)> add) {
        return [add](Game& g) { add(g), g.writeIndex(); };
    };
    const auto ranFirst = [](Game& g) {
        threePackages(g);
        g.writeIndex();
        std::ostringstream out;
        ASSERT_EQ(cli(g, {"run", "--all"}, out), cli::kExitOk);
    };
    const Row rows[] = {
        {"a whole run", withIndex(threePackages), {"run", "--all"}, cli::kExitOk},
        {"nothing selected", withIndex(threePackages), {"run", "--only", "u"}, cli::kExitFailed},
        {"an index without packages", withIndex([](Game&) {}), {"run", "--all"}, cli::kExitFailed},
        {"NOT FOUND beside a move",
         withIndex([](Game& g) { threePackages(g), g.add(4, "Gone.unr", false); }),
         {"run", "--all"},
         cli::kExitPartial},
        {"only NOT FOUND",
         withIndex([](Game& g) { g.add(4, "Gone.unr", false); }),
         {"run", "--all"},
         cli::kExitFailed},
        {"a name that is not safe",
         withIndex([](Game& g) { threePackages(g), g.add(4, "sub/../../Evil.unr"); }),
         {"run", "--all"},
         cli::kExitPartial},
        {"an unknown type",
         withIndex([](Game& g) { threePackages(g), g.add(4, "Pack.umod"); }),
         {"run", "--all"},
         cli::kExitPartial},
        {"a run whose report cannot be written",
         withIndex(threePackages),
         {"run", "--all"},
         cli::kExitPartial,
         true,
         true},
        {"a list that cannot be written",
         withIndex(threePackages),
         {"list"},
         cli::kExitFailed,
         false,
         true},
        {"no *.tmp files", withIndex(threePackages), {"delete-tmp"}, cli::kExitFailed},
        {"*.tmp files deleted",
         [](Game& g) { writeFile(g.game + "/a.tmp", "t"), writeFile(g.game + "/b.tmp", "t"); },
         {"delete-tmp"},
         cli::kExitOk},
        {"a purge of an empty cache",
         withIndex([](Game&) {}),
         {"purge", "--yes"},
         cli::kExitFailed},
        {"a purge", withIndex(threePackages), {"purge", "--yes"}, cli::kExitOk},
        {"a purge nobody said yes to",
         withIndex(threePackages),
         {"purge"},
         cli::kExitFailed,
         false},
        {"no run to undo", withIndex(threePackages), {"undo"}, cli::kExitFailed},
        {"a whole undo", ranFirst, {"undo"}, cli::kExitOk},
        {"an undo of a package changed since",
         [&](Game& g) { ranFirst(g), writeFile(g.game + "/Maps/Face.unr", "edited"); },
         {"undo"},
         cli::kExitPartial},
        {"an unknown option", [](Game&) {}, {"run", "--bogus"}, cli::kExitUsage, false},
    };
    for (const Row& row : rows) {
        Game g;
        std::ostringstream out;
        ASSERT_EQ(cli(g, {"set-game-dir", g.game}, out), cli::kExitOk) << row.what;
        row.setUp(g);
        FullBuffer full;
        std::ostream failing(&full);
        std::ostream& target = row.outputFails ? failing : static_cast<std::ostream&>(out);
        std::string said;
        if (row.dryRunToo) {
            Words dry = row.words;
            dry.push_back("-n");
            EXPECT_EQ(cli(g, dry, target, &said), row.status) << row.what << " (dry run)\n" << said;
            target.clear();
        }
        EXPECT_EQ(cli(g, row.words, target, &said), row.status) << row.what << "\n" << said;
    }
    // No game folder set.
    Game g;
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
    EXPECT_EQ(cli::escapedField("a\tb\rc\nd\\e\x01\x7f\xe9"), "a\\tb\\rc\\nd\\\\e\\x01\\x7F\xe9");
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
}

}  // namespace
}  // namespace qv::test
