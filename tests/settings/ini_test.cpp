#include <gtest/gtest.h>

#include <cerrno>

#include "platform/faulty_filesystem.h"
#include "platform/filesystem.h"
#include "settings/mdlINI.h"
#include "tests/support/scripted_dialogs.h"
#include "tests/support/temp_dir.h"

namespace qv {
namespace {

using test::readFile;
using test::ScriptedDialogs;
using test::TempDir;
using test::writeFile;

std::string replaceOnce(std::string text, const std::string& from, const std::string& to) {
    const auto pos = text.find(from);
    EXPECT_NE(pos, std::string::npos) << from;
    if (pos != std::string::npos) text.replace(pos, from.size(), to);
    return text;
}

// The player's real game configuration: a long CR LF file with [Core.System] in the middle.
class GameIniTest : public ::testing::Test {
  protected:
    void SetUp() override {
        original = readFile(std::string(QV_TEST_DATA_DIR) + "/settings/UnrealTournament.ini");
        ASSERT_FALSE(original.empty());
        writeFile(ini, original);
    }
    std::string read(const std::string& section, const std::string& key,
                     const std::string& def = "DEFAULT") {
        return INIGetSettingString(section, key, ini, def, &dialogs);
    }

    TempDir dir;
    std::string ini = dir / "UnrealTournament.ini";
    std::string original;
    ScriptedDialogs dialogs;
};

TEST_F(GameIniTest, ReadsKeysWhateverTheLetterCase) {
    EXPECT_EQ(read("Core.System", "PurgeCacheDays"), "30");
    EXPECT_EQ(read("CORE.SYSTEM", "purgecachedays"), "30");
    EXPECT_EQ(read("core.system", "CacheExt"), ".uxx");
    // A key that stands several times gives its first value.
    EXPECT_EQ(read("Core.System", "Paths"), "../System/*.u");
    // The same key name in another section is not confused with it.
    EXPECT_EQ(read("URL", "Name"), "Player");
    EXPECT_EQ(read("UBrowser.UBrowserMainClientWindow", "LANTabName"), "UBrowserLAN");
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(GameIniTest, DefaultOnlyForWhatIsMissing) {
    EXPECT_EQ(read("Core.System", "NoSuchKey"), "DEFAULT");
    EXPECT_EQ(read("No.Section", "PurgeCacheDays"), "DEFAULT");
    // Host= with nothing after it is present: the empty text, not the default.
    EXPECT_EQ(read("URL", "Host"), "");
    // The comment line before [Core.System] is no key.
    EXPECT_EQ(read("Engine.Engine", "; The game's package search paths and cache settings follow."),
              "DEFAULT");
}

TEST_F(GameIniTest, ReplacingAValueChangesOnlyThatLine) {
    ASSERT_TRUE(INIWriteSetting("core.system", "purgecachedays", "7", ini, &dialogs));
    const std::string once = replaceOnce(original, "PurgeCacheDays=30\r\n", "PurgeCacheDays=7\r\n");
    EXPECT_EQ(readFile(ini), once);
    ASSERT_TRUE(INIWriteSetting("Core.System", "PurgeCacheDays", "14", ini, &dialogs));
    EXPECT_EQ(readFile(ini), replaceOnce(once, "PurgeCacheDays=7\r\n", "PurgeCacheDays=14\r\n"));
    EXPECT_EQ(read("Core.System", "PurgeCacheDays"), "14");
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(GameIniTest, MissingKeyGoesAfterTheLastLineOfItsSection) {
    ASSERT_TRUE(INIWriteSetting("Core.System", "NewKey", "abc", ini, &dialogs));
    EXPECT_EQ(readFile(ini),
              replaceOnce(original, "Suppress=DevBsp\r\n", "Suppress=DevBsp\r\nNewKey=abc\r\n"));
    EXPECT_EQ(read("Core.System", "NewKey"), "abc");
}

TEST_F(GameIniTest, MissingSectionIsAppendedAtTheEnd) {
    ASSERT_TRUE(INIWriteSetting("Quorvel", "Seen", "1", ini, &dialogs));
    EXPECT_EQ(readFile(ini), original + "\r\n[Quorvel]\r\nSeen=1\r\n");
    EXPECT_EQ(read("Quorvel", "Seen"), "1");
    EXPECT_EQ(read("Core.System", "PurgeCacheDays"), "30");
}

TEST_F(GameIniTest, FailedWriteLeavesTheFileAndSaysWhy) {
    FaultyFileSystem faulty(realFileSystem());
    faulty.failAt(2, ENOSPC);  // the read is the first operation, the replace the second
    EXPECT_FALSE(INIWriteSetting("Core.System", "PurgeCacheDays", "7", ini, &dialogs, &faulty));
    EXPECT_EQ(faulty.failuresInjected(), 1);
    EXPECT_EQ(readFile(ini), original);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].title, "INIWriteSetting");
    EXPECT_EQ(dialogs.shown[0].text, "Error: 28. No space left on device");
}

TEST_F(GameIniTest, UnreadableFileIsAFailureNotADefault) {
    FaultyFileSystem faulty(realFileSystem());
    faulty.failAt(1, EIO);
    EXPECT_EQ(INIGetSettingString("Core.System", "PurgeCacheDays", ini, "DEF", &dialogs, &faulty),
              "");
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].title, "INIGetSettingString");
    EXPECT_EQ(dialogs.shown[0].text, "Error: 5. Input/output error");

    // The write must not replace a file it could not read.
    faulty.failAt(faulty.operationCount() + 1, EIO);
    EXPECT_FALSE(INIWriteSetting("Core.System", "PurgeCacheDays", "1", ini, &dialogs, &faulty));
    EXPECT_EQ(readFile(ini), original);
    ASSERT_EQ(dialogs.shown.size(), 2u);
    EXPECT_EQ(dialogs.shown[1].title, "INIWriteSetting");
}

class SmallIniTest : public ::testing::Test {
  protected:
    std::string get(const std::string& section, const std::string& key,
                    const std::string& def = "DEF") {
        return INIGetSettingString(section, key, ini, def, &dialogs);
    }
    TempDir dir;
    std::string ini = dir / "Quorvel.ini";
    ScriptedDialogs dialogs;
};

TEST_F(SmallIniTest, MissingFileGivesDefaultAndCreatesNothing) {
    EXPECT_EQ(get("Dirs", "Maps", "x"), "x");
    const std::string deep = dir / "no/such/folder/Quorvel.ini";
    EXPECT_EQ(INIGetSettingString("Dirs", "Maps", deep, "y", &dialogs), "y");
    EXPECT_TRUE(test::listNames(dir.path()).empty());
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(SmallIniTest, LowerCaseSectionAndKeyLines) {
    writeFile(ini, "[dirs]\r\nmaps=..\\Maps\r\n");
    EXPECT_EQ(get("Dirs", "Maps"), "..\\Maps");
}

TEST_F(SmallIniTest, TrimsBlanksAndOnePairOfMatchingQuotes) {
    writeFile(ini,
              "[Dirs]\r\n"
              "A =   spaced value \t \r\n"
              "B=\"quoted \"\r\n"
              "C=' single '\r\n"
              "D=\"mismatched'\r\n"
              "E=\"\"twice\"\"\r\n"
              "F=\"\r\n"
              "G=  \"  in quotes  \"  \r\n"
              "H=   \r\n");
    EXPECT_EQ(get("Dirs", "A"), "spaced value");
    EXPECT_EQ(get("Dirs", "B"), "quoted ");
    EXPECT_EQ(get("Dirs", "C"), " single ");
    EXPECT_EQ(get("Dirs", "D"), "\"mismatched'");
    EXPECT_EQ(get("Dirs", "E"), "\"twice\"");
    EXPECT_EQ(get("Dirs", "F"), "\"");
    EXPECT_EQ(get("Dirs", "G"), "  in quotes  ");
    EXPECT_EQ(get("Dirs", "H"), "");
}

TEST_F(SmallIniTest, LongValueIsCutTo255Characters) {
    std::string value;
    for (int i = 0; i < 300; ++i) value += static_cast<char>('a' + i % 26);
    writeFile(ini, "[Dirs]\r\nLong=" + value + "\r\n");
    EXPECT_EQ(get("Dirs", "Long"), value.substr(0, 255));
}

TEST_F(SmallIniTest, WriteCreatesAFileWithCrLf) {
    ASSERT_TRUE(INIWriteSetting("Core.System", "PurgeCacheDays", "5", ini, &dialogs));
    EXPECT_EQ(readFile(ini), "[Core.System]\r\nPurgeCacheDays=5\r\n");
}

TEST_F(SmallIniTest, LfFileKeepsLfForNewLines) {
    const std::string text = "; mine\n[Dirs]\nMaps=../Maps\n\n[Other]\nX = 1\n";
    writeFile(ini, text);
    EXPECT_EQ(get("Dirs", "Maps"), "../Maps");
    ASSERT_TRUE(INIWriteSetting("Dirs", "Music", "../Music", ini, &dialogs));
    ASSERT_TRUE(INIWriteSetting("New", "K", "v", ini, &dialogs));
    ASSERT_TRUE(INIWriteSetting("other", "x", "2", ini, &dialogs));
    EXPECT_EQ(readFile(ini),
              "; mine\n[Dirs]\nMaps=../Maps\nMusic=../Music\n\n[Other]\nX = 2\n\n[New]\nK=v\n");
}

TEST_F(SmallIniTest, FileWithoutFinalLineEnd) {
    writeFile(ini, "[Dirs]\r\nMaps=../Maps");
    EXPECT_EQ(get("Dirs", "Maps"), "../Maps");
    ASSERT_TRUE(INIWriteSetting("Dirs", "Music", "../Music", ini, &dialogs));
    EXPECT_EQ(readFile(ini), "[Dirs]\r\nMaps=../Maps\r\nMusic=../Music\r\n");

    writeFile(ini, "[Dirs]");
    ASSERT_TRUE(INIWriteSetting("Dirs", "Maps", "m", ini, &dialogs));
    EXPECT_EQ(readFile(ini), "[Dirs]\r\nMaps=m\r\n");

    writeFile(ini, "[A]\nk=1");
    ASSERT_TRUE(INIWriteSetting("B", "k", "2", ini, &dialogs));
    EXPECT_EQ(readFile(ini), "[A]\nk=1\n\n[B]\nk=2\n");
}

TEST_F(SmallIniTest, MixedAndLoneCrLineEndsAreLines) {
    writeFile(ini, "[A]\rk=1\r[B]\nk=2\r\n");
    EXPECT_EQ(get("A", "k"), "1");
    EXPECT_EQ(get("B", "k"), "2");
    ASSERT_TRUE(INIWriteSetting("A", "j", "3", ini, &dialogs));
    EXPECT_EQ(readFile(ini), "[A]\rk=1\rj=3\r[B]\nk=2\r\n");
}

TEST_F(SmallIniTest, ReplaceKeepsTheSpellingAroundTheValue) {
    writeFile(ini, "[Core.System]\r\n  PurgeCacheDays =  30  \r\n");
    ASSERT_TRUE(INIWriteSetting("Core.System", "PurgeCacheDays", "7", ini, &dialogs));
    EXPECT_EQ(readFile(ini), "[Core.System]\r\n  PurgeCacheDays =  7\r\n");
}

TEST_F(SmallIniTest, LineBreakInAValueIsRefused) {
    writeFile(ini, "[Core.System]\r\nPurgeCacheDays=30\r\n");
    EXPECT_FALSE(INIWriteSetting("Core.System", "PurgeCacheDays", "7\r\n[Evil]", ini, &dialogs));
    EXPECT_EQ(readFile(ini), "[Core.System]\r\nPurgeCacheDays=30\r\n");
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].title, "INIWriteSetting");
}

TEST_F(SmallIniTest, BytesThatAreNotUtf8RoundTrip) {
    const std::string name = "Pl\xe4yer\xff";
    ASSERT_TRUE(INIWriteSetting("DefaultPlayer", "Name", name, ini, &dialogs));
    EXPECT_EQ(get("DefaultPlayer", "Name"), name);
}

}  // namespace
}  // namespace qv
