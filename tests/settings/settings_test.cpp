// The player's profile files, the registry store, the never-move list and the stored options.
#include <gtest/gtest.h>

#include <cerrno>
#include <map>
#include <memory>

#include "settings/cls_registry.h"
#include "settings/mdl_ini.h"
#include "settings/never_move.h"
#include "settings/program_settings.h"
#include "settings/registry_text.h"
#include "tests/support/faulty_filesystem.h"
#include "tests/support/scripted_dialogs.h"
#include "tests/support/temp_dir.h"

namespace qv::test {
namespace {

using Lines = std::vector<std::string>;

TEST(Profile, ReadsSectionsKeysQuotesAndLineEndsAsTheGameDoes) {
    const struct {
        std::string text, section, key, expected;
    } cases[] = {
        {"[A]\r\nk=v\r\n", "A", "k", "v"},
        {"[a]\nK =  \"quoted  value\" \n", "A", "k", "quoted  value"},
        {"[A]\rj=1\rk='x'\r", "A", "k", "x"},
        {"[A]\nk=\"half\n", "A", "k", "\"half"},
        {"[A]\nk=\"\"two\"\"\n", "A", "k", "\"two\""},
        {"[A]\nk=a=b;c\n", "A", "k", "a=b;c"},
        {"[B]\nk=b\n[A]\nj=1\n[C]\nk=c\n", "A", "k", "D"},
        {"[A]\nj=1\n[B]\r\nk=b", "B", "k", "b"},
        {"[A]\nk=first\nk=second\n[a]\nk=third\n", "A", "k", "first"},
        {"[A]\n;k=c\nk\n", "A", "k", "D"},
        {"  [ A ]  \n  k=v", "A", "k", "v"},
        {"[Ab]\nk=v", "A", "k", "D"},
        {"[A]\nk=" + std::string(300, 'x'), "A", "k", std::string(255, 'x')},
    };
    TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        writeFile(dir / "f.ini", c.text);
        EXPECT_EQ(INIGetSettingString(c.section, c.key, dir / "f.ini", "D"), c.expected);
    }
    EXPECT_EQ(INIGetSettingString("A", "k", dir / "missing.ini", "D"), "D");
    EXPECT_FALSE(fileExists(dir / "missing.ini"));
}

TEST(Profile, AWriteChangesOnlyItsValueAndKeepsTheFilesLineEnds) {
    const struct {
        std::string before, section, key, after;
    } cases[] = {
        {"[A]\r\nk=old ; c\r\nz=1\r\n", "A", "k", "[A]\r\nk=new\r\nz=1\r\n"},
        {"[a]\nK = old\n", "A", "k", "[a]\nK = new\n"},
        {"[A]\nj=1\n\n[B]\n", "A", "k", "[A]\nj=1\nk=new\n\n[B]\n"},
        {"[A]\rj=1", "A", "k", "[A]\rj=1\rk=new\r"},
        {"[A]\r\nj=1\r\n", "B", "k", "[A]\r\nj=1\r\n\r\n[B]\r\nk=new\r\n"},
        {"", "A", "k", "[A]\r\nk=new\r\n"},
    };
    TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.before);
        writeFile(dir / "f.ini", c.before);
        EXPECT_TRUE(INIWriteSetting(c.section, c.key, "new", dir / "f.ini"));
        EXPECT_EQ(readFile(dir / "f.ini"), c.after);
    }
    // A line break would plant a line of its own; an unreadable file is never overwritten.
    ScriptedDialogs dialogs;
    EXPECT_FALSE(INIWriteSetting("A", "k", "v\r\n[Evil]", dir / "f.ini", &dialogs));
    FaultyFileSystem broken(realFileSystem());
    broken.failAt(1, EIO);
    EXPECT_EQ(INIGetSettingString("A", "k", dir / "f.ini", "D", &dialogs, &broken), "");
    broken.failAt(2, EIO);
    EXPECT_FALSE(INIWriteSetting("A", "k", "v", dir / "f.ini", &dialogs, &broken));
    EXPECT_EQ(readFile(dir / "f.ini"), "[A]\r\nk=new\r\n");
    EXPECT_EQ(dialogs.messages().size(), 3u);
}

TEST(RegistryText, ReadsQuotesSectionsAndLineEndsAndWritesWhatItRead) {
    const std::string body =
        "REGEDIT4|; comment|[HKEY_LOCAL_MACHINE\\Software\\X]|\"a\"=\"q\\\"u\\\\o\"|"
        "\"B\"=dword:0000002a|\"c\"=hex:01,\\|  02|[HKEY_NOWHERE\\Y]|\"lost\"=\"1\"|"
        "[HKEY_LOCAL_MACHINE\\Software\\Y]|\"a\"=\"y\"|\"bad\"=\"open|";
    for (const std::string eol : {"\r\n", "\n", "\r"}) {
        SCOPED_TRACE(eol.size() == 2 ? "CRLF" : eol == "\n" ? "LF" : "CR");
        std::string text = body;
        for (std::size_t at; (at = text.find('|')) != std::string::npos;) text.replace(at, 1, eol);
        RegDocument doc = parseRegistryText(text);
        ASSERT_EQ(doc.keys.size(), 2u);
        RegKey* x = doc.find("hkey_local_machine\\software\\x");
        ASSERT_TRUE(x);
        ASSERT_EQ(x->values.size(), 3u);
        EXPECT_EQ(x->find("a")->data, std::string("q\"u\\o\0", 6));
        EXPECT_EQ(x->find("b")->data, std::string("\x2a\0\0\0", 4));
        EXPECT_EQ(x->find("C")->data, "\x01\x02");
        RegKey* y = doc.find("HKEY_LOCAL_MACHINE\\Software\\Y");
        ASSERT_TRUE(y && y->values.size() == 1u);
        EXPECT_EQ(y->find("a")->data, std::string("y\0", 2));
        const std::string written = formatRegistryText(doc);
        EXPECT_EQ(formatRegistryText(parseRegistryText(written)), written);
    }
}

TEST(Registry, ValuesGoToTheirKeyAndSurviveADamagedFile) {
    TempDir dir;
    const std::string store = dir / "registry.reg";
    clsRegistry game = clsRegistry::gameKey(nullptr, store);
    clsRegistry program = clsRegistry::programKey(nullptr, store);
    EXPECT_EQ(game.ReadEntry("Folder", "none"), "none");
    game.WriteEntry("Folder", "/games/UT \"1\"\\");
    program.WriteEntry("Folder", "other");
    EXPECT_EQ(clsRegistry::gameKey(nullptr, store).ReadEntry("FOLDER", ""), "/games/UT \"1\"\\");
    EXPECT_EQ(program.ReadEntry("folder", ""), "other");

    // A file cut short and edited by hand: what can be read stays, also after the next write.
    std::string text = readFile(store);
    writeFile(store, text + "garbage line\r\n[HKEY_LOCAL_MACHINE\\Software\\Z]\r\n\"v\"=\"cut");
    program.WriteEntry("New", "1");
    EXPECT_EQ(game.ReadEntry("Folder", ""), "/games/UT \"1\"\\");
    EXPECT_EQ(program.ReadEntry("New", ""), "1");

    // An unreadable store is reported and never overwritten.
    ScriptedDialogs dialogs;
    FaultyFileSystem broken(realFileSystem());
    broken.failAt(1, EIO, true);
    text = readFile(store);
    clsRegistry(&dialogs, store, &broken).WriteEntry("X", "y");
    EXPECT_EQ(readFile(store), text);
    EXPECT_FALSE(dialogs.messages().empty());
}

// A store the system keeps (no file) stands behind a key as well: the key's path, REG_SZ written
// with its NUL and read without it, a DWORD read as its number, a failed write said.
TEST(Registry, AKeyGoesThroughItsStoreAlone) {
    struct MemoryStore final : RegistryStore {
        std::map<std::string, RegValue> values;  // by "key path|value name"
        Status refusal = Status::success();
        Result<std::optional<RegValue>> getValue(std::int32_t, const std::string& key,
                                                 const std::string& name) const override {
            const auto it = values.find(key + "|" + name);
            if (it == values.end()) return {std::nullopt, Status::success()};
            return {it->second, Status::success()};
        }
        Result<bool> keyExists(std::int32_t, const std::string&) const override {
            return {false, Status::success()};
        }
        Status setValues(std::int32_t, const std::string& key,
                         const std::vector<std::pair<std::string, RegValue>>& v) override {
            if (!refusal) return refusal;
            for (const auto& [name, value] : v) values[key + "|" + name] = value;
            return Status::success();
        }
        Status createKey(std::int32_t, const std::string&) override { return refusal; }
    };
    const auto store = std::make_shared<MemoryStore>();
    clsRegistry key(nullptr, store);
    key.setMainBranch("Software");
    key.setRegBase("Velmora");
    key.setProgram("Quorvel2");
    key.setSection("");
    ASSERT_TRUE(key.WriteEntries({{"A", "x"}, {"B", ""}}));
    EXPECT_EQ(store->values.at("Software\\Velmora\\Quorvel2|A").data, std::string("x\0", 2));
    store->values["Software\\Velmora\\Quorvel2|N"] = {REG_DWORD_TYPE, std::string("\x2a\0\0\0", 4)};
    EXPECT_EQ(key.ReadEntry("A", "-"), "x");
    EXPECT_EQ(key.ReadEntry("B", "-"), "-");
    EXPECT_EQ(key.ReadEntry("N", "-"), "42");
    store->refusal = Status::failure("Access is denied.", EACCES);
    EXPECT_FALSE(key.WriteEntry("A", "y"));
    EXPECT_EQ(key.lastWriteStatus().code, EACCES);
    EXPECT_EQ(key.ReadEntry("A", "-"), "x");
}

// The never-move list: one whole name per line in any line-end style, saved last to first.
TEST(NeverMove, LinesAsTheyStandInEveryLineEndStyle) {
    TempDir dir;
    const std::string file = dir / "QuorvelDontMove.ini";
    FileSystem& fs = realFileSystem();
    for (const char* text :
         {"A.unr\r\n b c.utx \r\nC.u", "A.unr\n b c.utx \nC.u\n", "A.unr\r b c.utx \rC.u\r"}) {
        writeFile(file, text);
        EXPECT_EQ(LoadNeverMoveList(file, fs).value, (Lines{"A.unr", " b c.utx ", "C.u"}));
    }
    ASSERT_TRUE(AppendNeverMoveName(file, "D.uax", fs).ok());
    EXPECT_EQ(readFile(file), "A.unr\r b c.utx \rC.u\rD.uax\r");
    writeFile(file, "A.unr\nB.utx");
    ASSERT_TRUE(AppendNeverMoveName(file, "C.u", fs).ok());
    EXPECT_EQ(readFile(file), "A.unr\nB.utx\nC.u\n");
    ASSERT_TRUE(SaveNeverMoveList(file, {"1.u", "2.u", "3.u"}, fs).ok());
    EXPECT_EQ(readFile(file), "3.u\r\n2.u\r\n1.u\r\n");
    EXPECT_FALSE(LoadNeverMoveList(dir / "missing", fs).ok());
}

TEST(ProgramSettings, SavedChoicesComeBackAndBadTextsKeepTheDefault) {
    TempDir dir;
    clsRegistry key = clsRegistry::programKey(nullptr, dir / "registry.reg");
    Options o;
    o.SelectAll = false, o.SelectOnly = true, o.UNR = 1, o.UTX = 1, o.MoveNorm = false;
    o.MoveDir2 = true, o.MoveDir2Text = "/x/y \"z\"", o.CacheDir = "/c";
    saveOptions(key, o);
    const Options back = restoreOptions(key);
    EXPECT_TRUE(!back.SelectAll && back.SelectOnly && back.UNR == 1 && back.UTX == 1);
    EXPECT_TRUE(back.U == 0 && !back.MoveNorm && back.MoveDir2 && !back.MoveDir);
    EXPECT_EQ(back.MoveDir2Text, o.MoveDir2Text);
    EXPECT_EQ(back.CacheDir, "/c");
    key.WriteEntry("UNR", "maybe");
    EXPECT_EQ(restoreOptions(key, Options{}).UNR, 0);
    bool ok = false;
    for (const char* t : {"True", "tRUE", "-1", "7"}) EXPECT_TRUE(textToBool(t, ok) && ok) << t;
    for (const char* t : {"False", "0"}) EXPECT_TRUE(!textToBool(t, ok) && ok) << t;
    textToBool("yes", ok);
    EXPECT_FALSE(ok);
}

}  // namespace
}  // namespace qv::test
