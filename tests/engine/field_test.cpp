// What players met and the earlier tests never made: another locale, line ends of other
// editors, blank lines, stored settings without a mode, a name listed twice.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>

#include "engine/placement.h"
#include "settings/program_settings.h"
#include "tests/support/game.h"

namespace qv::test {
namespace {

using Lines = std::vector<std::string>;

// QV_TEST_LOCALE runs the whole engine suite under that locale (ctest does so for tr_TR.UTF-8).
[[maybe_unused]] const bool kLocaleFromEnvironment = [] {
    const char* l = std::getenv("QV_TEST_LOCALE");
    return l && std::setlocale(LC_ALL, l);
}();

TEST(FieldLocale, NamesAndNumbersReadTheSameUnderATurkishLocale) {
    const std::string before = std::setlocale(LC_ALL, nullptr);
    if (!std::setlocale(LC_ALL, "tr_TR.UTF-8"))
        GTEST_SKIP() << "the tr_TR.UTF-8 locale is not installed (scripts/deps.sh generates it)";
    EXPECT_EQ(packageTypeOfLine(guidOf(1) + "=Lang.int"), PackageType::System);  // 'i' -> 'I'
    EXPECT_TRUE(endsWithType("Lang.int", "INT"));
    std::vector<FileRow> rows(1);
    rows[0].text = "lang.int";
    MarkNeverMoveItems(rows, {"LANG.INT"});
    EXPECT_TRUE(rows[0].neverMove);
    bool ok = false;
    EXPECT_TRUE(textToBool("0.5", ok) && ok);  // the locale's decimal point is ','
    Game g;
    writeFile(g.game + "/Lang.INI.tmp", "x");
    EXPECT_EQ(g.posix.listFiles(g.game, "*.ini.TMP").value.size(), 1u);
    std::setlocale(LC_ALL, before.c_str());
}

// Whatever line ends the old index used, the run and the purge write CR LF.
TEST(FieldIndex, RunAndPurgeWriteCrLf) {
    for (const std::string eol : {"\r", "\n"}) {
        Game g;
        g.add(1, "A.unr");
        g.add(2, "Keep.txt");
        g.lines.push_back(g.line(3, "Stuck.utx"));
        makeDirs(g.cacheFile(3));  // a folder: the purge cannot delete it, so its line stays
        g.writeIndex(eol);
        RecordingSink sink;
        ASSERT_EQ(g.run(sink).outcome, RunOutcome::Completed);
        EXPECT_EQ(g.index(), joinLines({"[Cache]", g.lines[2], g.lines[3]}, LineEnd::CRLF));
        writeFile(g.cacheDir + "/cache.ini", "[Cache]" + eol + g.lines[3] + eol);
        g.dialogs.answers = {true};
        ASSERT_EQ(g.purge(sink), PurgeOutcome::Done);
        EXPECT_EQ(g.index(), "[Cache]\r\n" + g.lines[3] + "\r\n");
    }
}

// The game ends every index with a blank line; blank lines of any length are no entries.
TEST(FieldIndex, BlankLinesAreNoEntriesForTheScanTheRepairOrThePurge) {
    Game g;
    g.add(1, "DM-Deck16");
    for (const char* blank : {"", "            ", "\t\t \t\t \t\t \t\t"}) g.lines.push_back(blank);
    g.writeIndex();
    g.scan();
    ASSERT_EQ(g.state.rows.size(), 1u);
    EXPECT_EQ(g.state.rows[0].text, "DM-Deck16.unr");
    EXPECT_EQ(g.dialogs.messages(), Lines{"Auto-corrected all missing map extensions..."});
    g.lines.erase(g.lines.begin() + 1);
    g.writeIndex();
    RecordingSink sink;
    EXPECT_EQ(g.purge(sink), PurgeOutcome::AlreadyEmpty);
}

TEST(FieldRun, NoStoredModeIsTheTypeFolderModeAndAFolderModeNeedsItsFolder) {
    Game g;
    g.add(1, "A.unr");
    g.writeIndex();
    Options none;
    none.MoveNorm = false;
    Options noFolder = none;
    noFolder.MoveDir2 = true;
    RecordingSink sink;
    g.scan();
    EngineContext ctx{g.posix, g.dialogs};
    RunRequest request{noFolder, g.cacheDir, {0}};  // no PrepareRun: the run itself refuses
    EXPECT_EQ(ProcessCache(g.pv, request, ctx, sink).outcome, RunOutcome::Refused);
    EXPECT_EQ(g.dialogs.messages().back(),
              "You must select a minimum of a drive letter (example - D:)");
    EXPECT_TRUE(fileExists(g.cacheFile(1)));
    ASSERT_EQ(g.run(sink, {}, nullptr, none).outcome, RunOutcome::Completed);
    EXPECT_TRUE(g.placed(g.game + "/Maps", "A.unr"));
}

// Two lines of one name are two rows: only the checked one moves; and a row whose line has
// moved in the index since the scan picks nothing in its place.
TEST(FieldRun, SelectionIsByRow) {
    Game g;
    g.add(1, "Dup.unr");
    g.lines.push_back(g.line(2, "Dup.unr"));
    writeFile(g.cacheFile(2), bytesOf("Dup.unr"));
    g.add(3, "B.unr");
    g.writeIndex();
    g.scan();
    EngineContext ctx{g.posix, g.dialogs};
    RecordingSink sink;
    RunRequest second{Options{}, g.cacheDir, {1}};
    ASSERT_EQ(ProcessCache(g.pv, second, ctx, sink).outcome, RunOutcome::Completed);
    EXPECT_FALSE(fileExists(g.cacheFile(2)));
    EXPECT_EQ(g.index(), joinLines({"[Cache]", g.lines[1], g.lines[3]}, LineEnd::CRLF));

    g.scan();  // the list shows Dup.unr, B.unr; then the index changes under it
    writeFile(g.cacheDir + "/cache.ini", joinLines({g.lines[3], g.lines[1]}, LineEnd::CRLF));
    RunRequest stale{Options{}, g.cacheDir, {1}};
    ASSERT_EQ(ProcessCache(g.pv, stale, ctx, sink).outcome, RunOutcome::Completed);
    EXPECT_TRUE(fileExists(g.cacheFile(1)));
    EXPECT_TRUE(fileExists(g.cacheFile(3)));
}

}  // namespace
}  // namespace qv::test
