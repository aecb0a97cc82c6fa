#include <gtest/gtest.h>

#include <cerrno>
#include <set>

#include "platform/faulty_filesystem.h"
#include "tests/engine/scan_fixture.h"

namespace qv::test {
namespace {

using Kind = ScriptedDialogs::Shown::Kind;

const std::string kFixed = "Auto-corrected all missing map extensions...";
const std::string kStillMissing = "A file extension is still missing...only maps can be fixed.";
const std::string kErr = "**ERROR** Missing file extension in cache.ini ---> ";

class RepairTest : public ::testing::Test {
  protected:
    ScanGame game;

    void expectOneMessage(const std::string& text) {
        ASSERT_EQ(game.dialogs.shown.size(), 1u);
        EXPECT_EQ(game.dialogs.shown[0].kind, Kind::Message);
        EXPECT_EQ(game.dialogs.shown[0].title, "Quorvel");
        EXPECT_EQ(game.dialogs.shown[0].text, text);
    }
    bool fixFileLeft() const { return fileExists(game.cacheDir + "/cachefix.ini"); }
};

TEST_F(RepairTest, MapNamesGetUnrAnywhereInTheLineAndTheScanRunsAgain) {
    // An index without a missing extension is left as it is.
    const std::string whole = "[Cache]\n" + entryLine(9, "DM-Deck16.unr") + "\n";
    writeFile(game.indexPath(), whole);
    game.scan();
    EXPECT_TRUE(game.dialogs.shown.empty());
    EXPECT_FALSE(game.pv.MapFixDone);
    EXPECT_EQ(readFile(game.indexPath()), whole);

    game.writeIndex({"[Cache]", entryLine(1, "DM-Deck16]["), entryLine(2, "CTF-Face.unr"),
                     entryLine(3, "Old as-Map"), entryLine(4, "xxdom-Cidom"),
                     entryLine(5, "my ctf-Thing"), "DM-00000000000000000000000000000=Plain"},
                    "\n");
    game.scan();

    expectOneMessage(kFixed);
    EXPECT_TRUE(game.pv.MapFixDone);
    EXPECT_FALSE(fixFileLeft());
    // Every line now ends in CR LF, the LF-only original notwithstanding.
    EXPECT_EQ(readFile(game.indexPath()),
              "[Cache]\r\n" + entryLine(1, "DM-Deck16][.unr") + "\r\n" +
                  entryLine(2, "CTF-Face.unr") + "\r\n" + entryLine(3, "Old as-Map.unr") + "\r\n" +
                  entryLine(4, "xxdom-Cidom.unr") + "\r\n" + entryLine(5, "my ctf-Thing.unr") +
                  "\r\n" + "DM-00000000000000000000000000000=Plain.unr\r\n");
    // The rows come from the fresh scan of the repaired index.
    EXPECT_EQ(game.texts(),
              (std::vector<std::string>{"DM-Deck16][.unr", "CTF-Face.unr", "Old as-Map.unr",
                                        "xxdom-Cidom.unr", "my ctf-Thing.unr", "Plain.unr"}));
    EXPECT_EQ(game.pv.EntryCount(), 6u);
    EXPECT_EQ(game.pv.RealNames[0], "DM-Deck16][.unr");
    EXPECT_EQ(game.state.statusText, "Found 6 files to process");
}

TEST_F(RepairTest, NameThatIsNoMapStaysAndTheRepairIsNotStartedAgain) {
    game.writeIndex({"[cache]", entryLine(1, "DM-Deck16"), entryLine(2, "Menu")});
    game.scan();

    expectOneMessage(kStillMissing);
    EXPECT_TRUE(game.pv.MapFixDone);
    const std::string repaired =
        "[cache]\r\n" + entryLine(1, "DM-Deck16.unr") + "\r\n" + entryLine(2, "Menu") + "\r\n";
    EXPECT_EQ(readFile(game.indexPath()), repaired);
    EXPECT_EQ(game.texts(), (std::vector<std::string>{"DM-Deck16.unr", kErr + "Menu"}));

    game.scan();  // "Menu" still lacks its extension
    EXPECT_EQ(game.dialogs.shown.size(), 1u);
    EXPECT_EQ(readFile(game.indexPath()), repaired);
    EXPECT_EQ(game.texts(), (std::vector<std::string>{"DM-Deck16.unr", kErr + "Menu"}));
}

TEST_F(RepairTest, EmptyLineInsideTheIndexCountsAsNotRepaired) {
    game.writeIndex({"[Cache]", entryLine(1, "CTF-Face"), "", entryLine(2, "A.utx")});
    game.scan();
    expectOneMessage(kStillMissing);
    EXPECT_EQ(readFile(game.indexPath()), "[Cache]\r\n" + entryLine(1, "CTF-Face.unr") +
                                              "\r\n\r\n" + entryLine(2, "A.utx") + "\r\n");
    EXPECT_EQ(game.texts(), (std::vector<std::string>{"CTF-Face.unr", "A.utx"}));
}

TEST_F(RepairTest, RunsOncePerProgramRun) {
    game.writeIndex({"[Cache]", entryLine(1, "AS-Frigate")});
    game.scan();
    expectOneMessage(kFixed);

    // A later index with a missing map extension is shown but not repaired.
    game.writeIndex({"[Cache]", entryLine(2, "DM-Later")});
    const std::string before = readFile(game.indexPath());
    game.scan();
    EXPECT_EQ(game.dialogs.shown.size(), 1u);
    EXPECT_EQ(readFile(game.indexPath()), before);
    EXPECT_EQ(game.texts(), std::vector<std::string>{kErr + "DM-Later"});
}

TEST_F(RepairTest, OldCachefixIsReplaced) {
    writeFile(game.cacheDir + "/cachefix.ini", "stale contents from an earlier crash\r\n");
    game.writeIndex({"[Cache]", entryLine(1, "DOM-Cinder")});
    game.scan();
    expectOneMessage(kFixed);
    EXPECT_FALSE(fixFileLeft());
    EXPECT_EQ(readFile(game.indexPath()), "[Cache]\r\n" + entryLine(1, "DOM-Cinder.unr") + "\r\n");
}

// Fails every counted file operation of a scan with a repair in turn. Whatever fails, cache.ini
// is either the old index byte for byte or the whole repaired one, no cachefix.ini is left, and
// a correction is announced exactly when it is on disk.
TEST(RepairFaultTest, EveryFailingOperationLeavesAWholeIndex) {
    const std::vector<std::string> lines = {"[Cache]", entryLine(1, "CTF-Face"),
                                            entryLine(2, "A.utx")};
    const std::string original = joinWith(lines, "\r\n");
    const std::string repaired =
        "[Cache]\r\n" + entryLine(1, "CTF-Face.unr") + "\r\n" + entryLine(2, "A.utx") + "\r\n";

    long total = 0;
    {
        FaultyFileSystem faulty(realFileSystem());
        ScanGame game(faulty);
        game.writeIndex(lines);
        game.scan();
        ASSERT_EQ(readFile(game.indexPath()), repaired);
        total = faulty.operationCount();
    }
    ASSERT_GT(total, 0);

    std::set<std::string> keptOldIndex;
    for (long k = 1; k <= total; ++k) {
        SCOPED_TRACE("failing operation " + std::to_string(k));
        FaultyFileSystem faulty(realFileSystem());
        ScanGame game(faulty);
        game.writeIndex(lines);
        faulty.failAt(k, EIO);
        game.scan();
        ASSERT_EQ(faulty.failuresInjected(), 1);

        const std::string index = readFile(game.indexPath());
        EXPECT_FALSE(fileExists(game.cacheDir + "/cachefix.ini"));
        std::size_t announced = 0;
        for (const auto& text : game.dialogs.messages())
            if (text == kFixed || text == kStillMissing) ++announced;
        if (index == original) {
            EXPECT_FALSE(game.pv.MapFixDone);
            EXPECT_EQ(announced, 0u);
            keptOldIndex.insert(faulty.lastFailedOperation());
        } else {
            EXPECT_EQ(index, repaired);
            EXPECT_TRUE(game.pv.MapFixDone);
            EXPECT_EQ(announced, 1u);
        }
    }
    // The writing of cachefix.ini and the rename were among the failures that kept the index.
    EXPECT_TRUE(keptOldIndex.count("createFile"));
    EXPECT_TRUE(keptOldIndex.count("OutFile::write"));
    EXPECT_TRUE(keptOldIndex.count("OutFile::close"));
    EXPECT_TRUE(keptOldIndex.count("renameReplace"));
}

}  // namespace
}  // namespace qv::test
