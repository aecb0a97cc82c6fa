#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>

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
    std::string read(const std::string& section, const std::string& key) {
        return INIGetSettingString(section, key, ini, "DEFAULT", &dialogs);
    }
    bool write(const std::string& section, const std::string& key, const std::string& value) {
        return INIWriteSetting(section, key, value, ini, &dialogs);
    }

    TempDir dir;
    std::string ini = dir / "UnrealTournament.ini";
    std::string original;
    ScriptedDialogs dialogs;
};

TEST_F(GameIniTest, ReadsKeysWhateverTheLetterCaseAndDefaultsOnlyForWhatIsMissing) {
    EXPECT_EQ(read("Core.System", "PurgeCacheDays"), "30");
    EXPECT_EQ(read("CORE.SYSTEM", "purgecachedays"), "30");
    EXPECT_EQ(read("core.system", "CacheExt"), ".uxx");
    EXPECT_EQ(read("Core.System", "Paths"), "../System/*.u");  // the first of several
    // The same key name in another section is not confused with it.
    EXPECT_EQ(read("URL", "Name"), "Player");
    EXPECT_EQ(read("UBrowser.UBrowserMainClientWindow", "LANTabName"), "UBrowserLAN");
    EXPECT_EQ(read("Core.System", "NoSuchKey"), "DEFAULT");
    EXPECT_EQ(read("No.Section", "PurgeCacheDays"), "DEFAULT");
    EXPECT_EQ(read("URL", "Host"), "");  // "Host=" is present: the empty text
    // The comment line before [Core.System] is no key.
    EXPECT_EQ(read("Engine.Engine", "; The game's package search paths and cache settings follow."),
              "DEFAULT");
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(GameIniTest, WritesChangeOnlyTheirLine) {
    ASSERT_TRUE(write("core.system", "purgecachedays", "7"));
    const std::string once = replaceOnce(original, "PurgeCacheDays=30\r\n", "PurgeCacheDays=7\r\n");
    EXPECT_EQ(readFile(ini), once);
    ASSERT_TRUE(write("Core.System", "PurgeCacheDays", "14"));
    const std::string twice = replaceOnce(once, "PurgeCacheDays=7\r\n", "PurgeCacheDays=14\r\n");
    EXPECT_EQ(readFile(ini), twice);
    EXPECT_EQ(read("Core.System", "PurgeCacheDays"), "14");
    // A missing key goes after the last line of its section, a missing section at the end.
    ASSERT_TRUE(write("Core.System", "NewKey", "abc"));
    const std::string added =
        replaceOnce(twice, "Suppress=DevBsp\r\n", "Suppress=DevBsp\r\nNewKey=abc\r\n");
    EXPECT_EQ(readFile(ini), added);
    ASSERT_TRUE(write("Quorvel", "Seen", "1"));
    EXPECT_EQ(readFile(ini), added + "\r\n[Quorvel]\r\nSeen=1\r\n");
    EXPECT_EQ(read("Quorvel", "Seen"), "1");
    EXPECT_EQ(read("Core.System", "NewKey"), "abc");
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(GameIniTest, FailedReadOrWriteLeavesTheFileAndSaysWhy) {
    FaultyFileSystem faulty(realFileSystem());
    faulty.failAt(2, ENOSPC);  // the read is the first operation, the replace the second
    EXPECT_FALSE(INIWriteSetting("Core.System", "PurgeCacheDays", "7", ini, &dialogs, &faulty));
    EXPECT_EQ(faulty.failuresInjected(), 1);
    EXPECT_EQ(readFile(ini), original);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].title, "INIWriteSetting");
    EXPECT_EQ(dialogs.shown[0].text, "Error: 28. No space left on device");

    // An unreadable file is a failure, not the default.
    faulty.failAt(faulty.operationCount() + 1, EIO);
    EXPECT_EQ(INIGetSettingString("Core.System", "PurgeCacheDays", ini, "DEF", &dialogs, &faulty),
              "");
    ASSERT_EQ(dialogs.shown.size(), 2u);
    EXPECT_EQ(dialogs.shown[1].title, "INIGetSettingString");
    EXPECT_EQ(dialogs.shown[1].text, "Error: 5. Input/output error");
    // The write must not replace a file it could not read.
    faulty.failAt(faulty.operationCount() + 1, EIO);
    EXPECT_FALSE(INIWriteSetting("Core.System", "PurgeCacheDays", "1", ini, &dialogs, &faulty));
    EXPECT_EQ(readFile(ini), original);
    ASSERT_EQ(dialogs.shown.size(), 3u);
    EXPECT_EQ(dialogs.shown[2].title, "INIWriteSetting");
}

class SmallIniTest : public ::testing::Test {
  protected:
    std::string get(const std::string& section, const std::string& key) {
        return INIGetSettingString(section, key, ini, "DEF", &dialogs);
    }
    TempDir dir;
    std::string ini = dir / "Quorvel.ini";
    ScriptedDialogs dialogs;
};

TEST_F(SmallIniTest, MissingFileGivesDefaultAndCreatesNothing) {
    EXPECT_EQ(get("Dirs", "Maps"), "DEF");
    const std::string deep = dir / "no/such/folder/Quorvel.ini";
    EXPECT_EQ(INIGetSettingString("Dirs", "Maps", deep, "y", &dialogs), "y");
    EXPECT_TRUE(test::listNames(dir.path()).empty());
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(SmallIniTest, ValuesAreTrimmedUnquotedAndCut) {
    std::string longValue;
    for (int i = 0; i < 300; ++i) longValue += static_cast<char>('a' + i % 26);
    writeFile(ini,
              "[dirs]\r\nmaps=..\\Maps\r\nA =   spaced value \t \r\nB=\"quoted \"\r\n"
              "C=' single '\r\nD=\"mismatched'\r\nE=\"\"twice\"\"\r\nF=\"\r\n"
              "G=  \"  in quotes  \"  \r\nH=   \r\nLong=" +
                  longValue);  // no final line end
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"Maps", "..\\Maps"},  // lower-case section and key lines
        {"A", "spaced value"},  {"B", "quoted "},   {"C", " single "},
        {"D", "\"mismatched'"}, {"E", "\"twice\""}, {"F", "\""},
        {"G", "  in quotes  "}, {"H", ""},          {"Long", longValue.substr(0, 255)}};
    for (const auto& [key, value] : cases) EXPECT_EQ(get("Dirs", key), value) << key;
}

TEST_F(SmallIniTest, WritesKeepTheFilesLineEndsAndSpelling) {
    struct Case {
        const char* before;  // nullptr: no file yet
        std::string section, key, value, after;
    };
    const std::vector<Case> cases = {
        {nullptr, "Core.System", "PurgeCacheDays", "5", "[Core.System]\r\nPurgeCacheDays=5\r\n"},
        {"[Dirs]\r\nMaps=../Maps", "Dirs", "Music", "../Music",
         "[Dirs]\r\nMaps=../Maps\r\nMusic=../Music\r\n"},
        {"[Dirs]", "Dirs", "Maps", "m", "[Dirs]\r\nMaps=m\r\n"},
        {"[A]\nk=1", "B", "k", "2", "[A]\nk=1\n\n[B]\nk=2\n"},
        {"[Core.System]\r\n  PurgeCacheDays =  30  \r\n", "Core.System", "PurgeCacheDays", "7",
         "[Core.System]\r\n  PurgeCacheDays =  7\r\n"},
        {"[A]\rk=1\r[B]\nk=2\r\n", "A", "j", "3", "[A]\rk=1\rj=3\r[B]\nk=2\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.after);
        std::remove(ini.c_str());
        if (c.before) writeFile(ini, c.before);
        ASSERT_TRUE(INIWriteSetting(c.section, c.key, c.value, ini, &dialogs));
        EXPECT_EQ(readFile(ini), c.after);
        EXPECT_EQ(get(c.section, c.key), c.value);
    }
    EXPECT_EQ(get("B", "k"), "2");  // read across lone CR and mixed line ends

    writeFile(ini, "; mine\n[Dirs]\nMaps=../Maps\n\n[Other]\nX = 1\n");
    ASSERT_TRUE(INIWriteSetting("Dirs", "Music", "../Music", ini, &dialogs));
    ASSERT_TRUE(INIWriteSetting("New", "K", "v", ini, &dialogs));
    ASSERT_TRUE(INIWriteSetting("other", "x", "2", ini, &dialogs));
    EXPECT_EQ(readFile(ini),
              "; mine\n[Dirs]\nMaps=../Maps\nMusic=../Music\n\n[Other]\nX = 2\n\n[New]\nK=v\n");

    const std::string name = "Pl\xe4yer\xff";  // bytes that are not UTF-8 round-trip
    ASSERT_TRUE(INIWriteSetting("DefaultPlayer", "Name", name, ini, &dialogs));
    EXPECT_EQ(get("DefaultPlayer", "Name"), name);
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(SmallIniTest, LineBreakInAValueIsRefused) {
    writeFile(ini, "[Core.System]\r\nPurgeCacheDays=30\r\n");
    EXPECT_FALSE(INIWriteSetting("Core.System", "PurgeCacheDays", "7\r\n[Evil]", ini, &dialogs));
    EXPECT_EQ(readFile(ini), "[Core.System]\r\nPurgeCacheDays=30\r\n");
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].title, "INIWriteSetting");
}

}  // namespace
}  // namespace qv
