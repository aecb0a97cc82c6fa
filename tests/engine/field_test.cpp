// What players met and the earlier tests never made: another locale, line ends of other
// editors, blank lines, stored settings without a mode, a name listed twice.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>

#include "engine/placement.h"
#include "settings/program_settings.h"
#include "tests/engine/field_game.h"

namespace qv::test {
namespace {

// QV_TEST_LOCALE runs the whole engine suite under that locale (ctest does so for tr_TR.UTF-8).
[[maybe_unused]] const bool kLocaleFromEnvironment = [] {
    if (const char* l = std::getenv("QV_TEST_LOCALE")) return std::setlocale(LC_ALL, l) != nullptr;
    return false;
}();

TEST(FieldLocale, NamesAndNumbersReadTheSameUnderATurkishLocale) {
    const std::string before = std::setlocale(LC_ALL, nullptr);
    if (!std::setlocale(LC_ALL, "tr_TR.UTF-8"))
        GTEST_SKIP() << "the tr_TR.UTF-8 locale is not installed (scripts/deps.sh generates it)";
    const std::string g = guidOf(1) + "=";
    EXPECT_EQ(packageTypeOfLine(g + "Lang.int"), PackageType::System);  // 'i' -> 'I'
    EXPECT_EQ(packageTypeOfLine(g + "Intro.dem"), PackageType::System);
    EXPECT_EQ(packageTypeOfLine(g + "Menu"), PackageType::System);
    EXPECT_TRUE(endsWithType("Lang.int", "INT"));
    std::vector<FileRow> rows(1);
    rows[0].text = "lang.int";
    MarkNeverMoveItems(rows, {"LANG.INT"});
    EXPECT_TRUE(rows[0].neverMove);
    bool ok = false;
    EXPECT_TRUE(textToBool("0.5", ok));  // the locale's decimal point is ','
    EXPECT_TRUE(ok);
    FieldGame game;
    writeFile(game.game + "/Lang.INI.tmp", "x");
    const auto listed = game.fs.listFiles(game.game, "*.ini.TMP");
    ASSERT_TRUE(listed.ok());
    EXPECT_EQ(listed.value.size(), 1u);
    std::setlocale(LC_ALL, before.c_str());
}

// Whatever line ends the old index used, the run and the purge write CR LF.
TEST(FieldIndex, RunAndPurgeWriteCrLf) {
    for (const std::string eol : {"\r", "\n", "\r\n"}) {
        SCOPED_TRACE(testing::PrintToString(eol));
        FieldGame g;
        g.package(1);
        g.package(2);
        makeDirs(g.file(3));  // a folder: the purge cannot delete it, so its line stays
        g.index("[Cache]\r\n" + g.line(1, "A.unr") + eol + g.line(2, "Keep.txt") + eol +
                g.line(3, "Stuck.utx") + "\n");
        ASSERT_EQ(g.run({0, 1, 2}).outcome, RunOutcome::Completed);
        EXPECT_EQ(g.index(),
                  "[Cache]\r\n" + g.line(2, "Keep.txt") + "\r\n" + g.line(3, "Stuck.utx") + "\r\n");
        g.index(g.line(3, "Stuck.utx") + eol);
        ASSERT_EQ(g.purge(), PurgeOutcome::Done);
        EXPECT_EQ(g.index(), "[Cache]\r\n" + g.line(3, "Stuck.utx") + "\r\n");
    }
}

// The game ends every index with a blank line; blank lines of any length are no entries.
TEST(FieldIndex, BlankLinesAreNoEntriesForTheScanTheRepairOrThePurge) {
    FieldGame g;
    const std::string blanks = std::string(12, ' ') + "\r\n\t\t \t\t \t\t \t\t\r\n\r\n";
    g.index("[Cache]\r\n" + g.line(1, "DM-Deck16") + "\r\n" + blanks);
    const ScanState state = g.scan();
    ASSERT_EQ(state.rows.size(), 1u);
    EXPECT_EQ(state.rows[0].text, "DM-Deck16.unr");
    EXPECT_EQ(g.dialogs.messages(),
              std::vector<std::string>{"Auto-corrected all missing map extensions..."});
    g.index("[Cache]\r\n" + blanks);
    EXPECT_EQ(g.purge(), PurgeOutcome::AlreadyEmpty);
}

TEST(FieldRun, NoStoredModeIsTheTypeFolderModeAndAFolderModeNeedsItsFolder) {
    FieldGame g;
    g.package(1);
    g.index("[Cache]\r\n" + g.line(1, "A.unr") + "\r\n");
    Options none;
    none.MoveNorm = none.MoveDir = none.MoveDir2 = false;
    Options noFolder = none;
    noFolder.MoveDir2 = true;
    EXPECT_EQ(g.run({0}, noFolder).outcome, RunOutcome::Refused);
    EXPECT_EQ(g.dialogs.messages().back(),
              "You must select a minimum of a drive letter (example - D:)");
    EXPECT_TRUE(fileExists(g.file(1)));
    ASSERT_EQ(g.run({0}, none).outcome, RunOutcome::Completed);
    EXPECT_TRUE(fileExists(g.game + "/Maps/A.unr"));
}

// Two lines of one name are two rows: only the checked one moves, and a line the index no
// longer holds where the scan saw it is never picked in its place.
TEST(FieldRun, SelectionIsByRow) {
    FieldGame g;
    g.package(1, "first");
    g.package(2, "second");
    g.package(3);
    g.index("[Cache]\r\n" + g.line(1, "Dup.unr") + "\r\n" + g.line(2, "Dup.unr") + "\r\n" +
            g.line(3, "B.unr") + "\r\n");
    ASSERT_EQ(g.run({1}).outcome, RunOutcome::Completed);
    EXPECT_EQ(readFile(g.game + "/Maps/Dup.unr"), "second");
    EXPECT_EQ(g.index(),
              "[Cache]\r\n" + g.line(1, "Dup.unr") + "\r\n" + g.line(3, "B.unr") + "\r\n");

    g.scan();  // the list shows Dup.unr, B.unr; then the index changes under it
    g.index("[Cache]\r\n" + g.line(3, "B.unr") + "\r\n" + g.line(1, "Dup.unr") + "\r\n");
    RunRequest request{Options{}, g.cache, {1}};
    ASSERT_EQ(ProcessCache(g.pv, request, g.ctx, g.sink).outcome, RunOutcome::Completed);
    EXPECT_TRUE(fileExists(g.file(1)));
    EXPECT_TRUE(fileExists(g.file(3)));
}

}  // namespace
}  // namespace qv::test
