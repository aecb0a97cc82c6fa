#include "cli/arguments.h"

#include <gtest/gtest.h>

#include <sstream>

#include "cli/terminal_dialogs.h"

namespace qv::cli {
namespace {

ParseResult parse(std::vector<std::string> words) {
    return parseArguments(words);
}

TEST(CliArguments, RunTakesSelectionPlacementAndCacheAndLeavesTheRestUnset) {
    ParseResult r = parse({"run", "--only", "u,UNR,utx", "--to-tree", "/packs", "--cache", "/c"});
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(r.args.command, Command::Run);
    ASSERT_TRUE(r.args.selectAll.has_value());
    EXPECT_FALSE(*r.args.selectAll);
    EXPECT_EQ((std::vector<bool>{r.args.onlyU, r.args.onlyUAX, r.args.onlyUMX, r.args.onlyUNR,
                                 r.args.onlyUTX}),
              (std::vector<bool>{true, false, false, true, true}));
    ASSERT_TRUE(r.args.target.has_value());
    EXPECT_EQ(*r.args.target, Arguments::Target::Tree);
    EXPECT_EQ(r.args.targetDir, "/packs");
    EXPECT_EQ(r.args.cacheDir.value_or(""), "/c");

    // Options not given stay unset.
    r = parse({"run"});
    ASSERT_TRUE(r.ok());
    EXPECT_FALSE(r.args.selectAll.has_value());
    EXPECT_FALSE(r.args.target.has_value());
    EXPECT_FALSE(r.args.cacheDir.has_value());

    r = parse({"list", "--all"});
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.args.command, Command::List);
    EXPECT_TRUE(r.args.selectAll.value_or(false));
}

TEST(CliArguments, BadArgumentsAreRefusedWithAReason) {
    const std::vector<std::vector<std::string>> bad = {{},
                                                       {"sweep"},
                                                       {"run", "--only", "u,zip"},
                                                       {"run", "--only", "u,,unr"},
                                                       {"run", "--only"},
                                                       {"run", "--all", "--only", "u"},
                                                       {"run", "--to-types", "--to-folder", "/x"},
                                                       {"run", "--to-folder"},
                                                       {"run", "--to-folder", ""},
                                                       {"run", "--cache", "/a", "--cache", "/b"},
                                                       {"run", "--yes"},
                                                       {"run", "extra"},
                                                       {"list", "--to-types"},
                                                       {"purge", "--all"},
                                                       {"purge-days"},
                                                       {"purge-days", "ten"},
                                                       {"purge-days", "-3"},
                                                       {"purge-days", "3", "4"},
                                                       {"set-game-dir"},
                                                       {"delete-tmp", "now"}};
    for (const auto& words : bad) {
        std::string joined;
        for (const auto& w : words) joined += w + " ";
        EXPECT_FALSE(parseArguments(words).ok()) << joined;
    }
    EXPECT_NE(parse({"run", "--only", "u,zip"}).error.find("zip"), std::string::npos);
    EXPECT_NE(parse({"sweep"}).error.find("sweep"), std::string::npos);
}

TEST(CliArguments, ValuesOfTheSmallCommandsAndHelp) {
    ParseResult r = parse({"purge-days", "14"});
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.args.command, Command::PurgeDays);
    EXPECT_EQ(r.args.value, "14");

    r = parse({"set-game-dir", "/games/ut"});
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.args.value, "/games/ut");

    r = parse({"purge", "--yes"});
    ASSERT_TRUE(r.ok());
    EXPECT_TRUE(r.args.yes);
    EXPECT_FALSE(parse({"purge"}).args.yes);

    r = parse({"run", "--to-folder", "-odd-name"});  // a folder may begin with a hyphen
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.args.targetDir, "-odd-name");

    // Help wins wherever it stands.
    EXPECT_EQ(parse({"--help"}).args.command, Command::Help);
    EXPECT_EQ(parse({"run", "--bogus", "-h"}).args.command, Command::Help);
    EXPECT_TRUE(parse({"help"}).ok());
    EXPECT_NE(usageText().find("set-game-dir DIR"), std::string::npos);
}

TEST(TerminalDialogs, QuestionsOnATerminalAndWithoutAndMessages) {
    std::ostringstream err;
    std::istringstream none;
    TerminalDialogs noTerminal(err, none, false);
    EXPECT_FALSE(noTerminal.askYesNo("Quorvel", "Delete?"));
    EXPECT_NE(err.str().find("Quorvel: Delete? [y/N] no"), std::string::npos);

    std::istringstream answers("maybe\n  YES \n");
    TerminalDialogs terminal(err, answers, true);
    EXPECT_TRUE(terminal.askYesNo("Quorvel", "Delete?"));  // asks again after "maybe"

    std::istringstream empty("\n");
    TerminalDialogs enter(err, empty, true);
    EXPECT_FALSE(enter.askYesNo("Quorvel", "Delete?"));

    std::istringstream eof;
    TerminalDialogs closed(err, eof, true);
    EXPECT_FALSE(closed.askYesNo("Quorvel", "Delete?"));

    TerminalDialogs yes(err, eof, false, true);
    EXPECT_TRUE(yes.askYesNo("Quorvel", "Delete?"));
    EXPECT_EQ(yes.pickFolder("Choose the root UT folder:"), "");

    // Messages go to standard error with plain line ends.
    err.str("");
    TerminalDialogs d(err, eof, false);
    d.message("Quorvel", "Unreal Tournament not found.\r\n\r\nPlease click OK");
    EXPECT_EQ(err.str(), "Quorvel: Unreal Tournament not found.\n\nPlease click OK\n");
    EXPECT_EQ(d.messageCount(), 1);
    EXPECT_EQ(terminalText("a\rb\r\nc\n"), "a\nb\nc\n");
}

}  // namespace
}  // namespace qv::cli
