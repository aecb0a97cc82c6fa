#include <gtest/gtest.h>

#include "tests/engine/scan_fixture.h"

namespace qv::test {
namespace {

std::vector<FileRow> rowsOf(const std::vector<std::string>& texts, bool checked = true) {
    std::vector<FileRow> rows;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        FileRow r;
        r.text = texts[i];
        r.checked = checked;
        r.entry = i;
        rows.push_back(r);
    }
    return rows;
}

std::vector<bool> checks(const std::vector<FileRow>& rows) {
    std::vector<bool> out;
    for (const auto& r : rows) out.push_back(r.checked);
    return out;
}

TEST(UncheckDuplicatesTest, AnExactTwinUnchecksItAndEveryCaseVariant) {
    const std::string odd = "\xE9\xFF-map.unr";
    struct Case {
        std::vector<std::string> texts;
        std::vector<bool> checked;
    };
    const std::vector<Case> cases = {
        {{"CTF-Face.unr", "Other.utx", "CTF-Face.unr", "ctf-face.UNR", "Solo.u"},
         {false, true, false, false, true}},
        // Case-only variants without an exact twin are untouched.
        {{"DM-Deck16.unr", "dm-deck16.unr", "DM-DECK16.UNR"}, {true, true, true}},
        // \xE9 and \xC9 are different bytes: only ASCII letters match in other case.
        {{odd, "x.u", odd, odd, "\xC9\xFF-MAP.UNR"}, {false, true, false, false, true}}};
    for (const Case& c : cases) {
        auto rows = rowsOf(c.texts);
        UncheckDuplicates(rows);
        EXPECT_EQ(checks(rows), c.checked) << c.texts[0];
    }
    // It never checks a row and leaves the never-move column alone.
    auto rows = rowsOf({"A.unr", "A.unr", "B.unr"}, false);
    rows[2].neverMove = true;
    UncheckDuplicates(rows);
    EXPECT_EQ(checks(rows), (std::vector<bool>{false, false, false}));
    EXPECT_TRUE(rows[2].neverMove);
    EXPECT_FALSE(rows[0].neverMove);
}

TEST(MarkNeverMoveItemsTest, WholeTextIgnoringCaseOnlyAsTheListIsNow) {
    auto rows = rowsOf({"CTF-Face.unr", "CTF-Face.unrx", "CTF-Face", "BotPack.u", " BotPack.u"});
    MarkNeverMoveItems(rows, {"ctf-face.UNR", "botpack.U", ""});
    EXPECT_EQ(checks(rows), (std::vector<bool>{false, true, true, false, true}));
    std::vector<bool> marked;
    for (const auto& r : rows) marked.push_back(r.neverMove);
    EXPECT_EQ(marked, (std::vector<bool>{true, false, false, true, false}));

    rows[0].checked = true;  // the user checks a marked row again
    MarkNeverMoveItems(rows, {"BOTPACK.U"});
    EXPECT_FALSE(rows[0].neverMove);
    EXPECT_TRUE(rows[3].neverMove);
    EXPECT_TRUE(rows[0].checked);  // taking a name off the list does not check its row
}

class ScanMarksTest : public ::testing::Test {
  protected:
    ScanGame game;
};

TEST_F(ScanMarksTest, PackageUnderTwoGuidsIsNeverSelected) {
    game.writeIndex({"[Cache]", entryLine(1, "CTF-Face.unr"), entryLine(2, "DM-Morpheus.unr"),
                     entryLine(3, "CTF-Face.unr"), entryLine(4, "ctf-face.unr"),
                     entryLine(5, "dm-morpheus.UNR")});
    game.scan();  // select all
    EXPECT_EQ(game.checkedTexts(),
              (std::vector<std::string>{"DM-Morpheus.unr", "dm-morpheus.UNR"}));
    EXPECT_EQ(game.state.statusText, "Found 2 files to process");
    // The entry table keeps every entry, twins included.
    EXPECT_EQ(game.pv.EntryCount(), 5u);
    EXPECT_EQ(game.pv.CacheFileNames[2], guid(3) + ".uxx");
}

TEST_F(ScanMarksTest, NeverMoveNamesInOtherCaseMarkRowsAndAreLoadedInFileOrder) {
    writeFile(game.programFolder + "/QuorvelDontMove.ini",
              "ctf-FACE.UNR\r\n\r\nbotpack.u\nunused.utx\r\n");
    game.writeIndex({"[Cache]", entryLine(1, "CTF-Face.unr"), entryLine(2, "BotPack.u"),
                     entryLine(3, "Tex.utx")});
    game.state.options.SelectAll = false;
    game.state.options.U = 1;  // BotPack.u would be selected by type
    game.scan();
    const std::vector<std::string> list = {"ctf-FACE.UNR", "", "botpack.u", "unused.utx"};
    EXPECT_EQ(game.pv.NeverMoveNames, list);
    EXPECT_EQ(game.state.lstNM, list);
    ASSERT_EQ(game.state.rows.size(), 3u);
    EXPECT_TRUE(game.state.rows[0].neverMove);
    EXPECT_TRUE(game.state.rows[1].neverMove);
    EXPECT_FALSE(game.state.rows[2].neverMove);
    EXPECT_TRUE(game.checkedTexts().empty());
    EXPECT_EQ(game.state.statusText, "Found 0 files to process");
}

TEST_F(ScanMarksTest, ErrorRowMatchesOnlyANameWithThePrefix) {
    game.pv.MapFixDone = true;
    game.writeIndex({"[Cache]", entryLine(1, "DM-Deck16"), entryLine(2, "Menu")});
    writeFile(game.programFolder + "/QuorvelDontMove.ini",
              "DM-Deck16\r\n**error** missing FILE extension in cache.ini ---> menu\r\n");
    game.scan();
    ASSERT_EQ(game.state.rows.size(), 2u);
    EXPECT_FALSE(game.state.rows[0].neverMove);
    EXPECT_TRUE(game.state.rows[0].checked);
    EXPECT_TRUE(game.state.rows[1].neverMove);
    EXPECT_FALSE(game.state.rows[1].checked);
}

TEST_F(ScanMarksTest, ScanGoesOnWithoutAnUnreadableNeverMoveList) {
    ASSERT_EQ(::remove((game.programFolder + "/QuorvelDontMove.ini").c_str()), 0);
    game.pv.NeverMoveNames = {"A.unr"};
    game.state.lstNM = {"A.unr"};
    game.writeIndex({"[Cache]", entryLine(1, "A.unr"), entryLine(2, "B.unr")});
    game.scan();
    EXPECT_TRUE(game.pv.NeverMoveNames.empty());
    EXPECT_TRUE(game.state.lstNM.empty());
    EXPECT_EQ(game.checkedTexts(), (std::vector<std::string>{"A.unr", "B.unr"}));
    EXPECT_EQ(game.state.statusText, "Found 2 files to process");
}

}  // namespace
}  // namespace qv::test
