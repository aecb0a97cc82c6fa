#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

#include "settings/clsRegistry.h"
#include "settings/registry_file.h"
#include "tests/support/scripted_dialogs.h"
#include "tests/support/temp_dir.h"

namespace qv {
namespace {

using test::readFile;
using test::ScriptedDialogs;
using test::TempDir;
using test::writeFile;

constexpr std::int32_t HKLM = HKEY_LOCAL_MACHINE_ROOT;

class RegistryTest : public ::testing::Test {
  protected:
    clsRegistry reg(const std::string& mainBranch, const std::string& regBase,
                    const std::string& program, const std::string& section) {
        clsRegistry r(&dialogs, store);
        r.setMainBranch(mainBranch);
        r.setRegBase(regBase);
        r.setProgram(program);
        r.setSection(section);
        return r;
    }
    void put(const std::string& key, const std::string& name, RegValue v) {
        ASSERT_TRUE(RegistryFile(store).setValue(HKLM, key, name, v).ok());
    }
    std::optional<RegValue> get(const std::string& key, const std::string& name) {
        auto r = RegistryFile(store).getValue(HKLM, key, name);
        EXPECT_TRUE(r.ok()) << r.status.text;
        return r.value;
    }

    TempDir dir;
    // A folder that does not exist yet: the first write creates it.
    std::string store = dir / "config/Quorvel/registry.reg";
    ScriptedDialogs dialogs;
};

TEST_F(RegistryTest, KeyPathIsFormedAsGivenWithOneTrailingBackslashRemoved) {
    clsRegistry fresh(&dialogs, store);
    fresh.setProgram("X");
    EXPECT_EQ(fresh.keyPath(), "SOFTWARE\\\\X\\Settings");
    EXPECT_EQ(clsRegistry::gameKey(&dialogs, store).keyPath(),
              "Software\\Unreal Technology\\Installed Apps\\UnrealTournament");
    EXPECT_EQ(clsRegistry::programKey(&dialogs, store).keyPath(), "Software\\Velmora\\Quorvel2");
    EXPECT_EQ(reg("Software", "Velmora", "", "").keyPath(), "Software\\Velmora\\");
    EXPECT_EQ(reg("SOFTWARE", "", "", "").keyPath(), "SOFTWARE\\\\");
    EXPECT_EQ(fresh.RootKey(), static_cast<std::int32_t>(0x80000002u));
}

TEST_F(RegistryTest, DoubledBackslashKeyIsItsOwnKeyThatReadsAndWritesMeet) {
    clsRegistry fresh(&dialogs, store);
    fresh.setProgram("X");
    fresh.WriteEntry("Value", "one");
    EXPECT_EQ(fresh.ReadEntry("Value", "def"), "one");
    EXPECT_NE(readFile(store).find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\\\X\\Settings]\r\n"
                                   "\"Value\"=\"one\"\r\n"),
              std::string::npos);
    // The same path in other letter case meets it ...
    EXPECT_EQ(reg("software", "", "x", "SETTINGS").ReadEntry("VALUE", "def"), "one");
    // ... a path with one backslash less or more does not.
    EXPECT_EQ(reg("SOFTWARE", "X", "Settings", "").ReadEntry("Value", "def"), "def");
    EXPECT_EQ(reg("SOFTWARE\\", "", "X", "Settings").ReadEntry("Value", "def"), "def");
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(RegistryTest, WritingStoresTextAndOneNulAndCreatesParents) {
    clsRegistry program = clsRegistry::programKey(&dialogs, store);
    program.WriteEntry("MoveDirText", "abc");
    const auto v = get("Software\\Velmora\\Quorvel2", "MoveDirText");
    ASSERT_TRUE(v);
    EXPECT_EQ(v->type, REG_SZ_TYPE);
    EXPECT_EQ(v->data, std::string("abc\0", 4));
    RegistryFile file(store);
    EXPECT_TRUE(file.keyExists(HKLM, "software").value);
    EXPECT_TRUE(file.keyExists(HKLM, "Software\\Velmora").value);
    EXPECT_FALSE(file.keyExists(HKLM, "Software\\Velmora\\Quorvel").value);
    EXPECT_EQ(readFile(store),
              "REGEDIT4\r\n\r\n"
              "[HKEY_LOCAL_MACHINE\\Software]\r\n\r\n"
              "[HKEY_LOCAL_MACHINE\\Software\\Velmora]\r\n\r\n"
              "[HKEY_LOCAL_MACHINE\\Software\\Velmora\\Quorvel2]\r\n"
              "\"MoveDirText\"=\"abc\"\r\n\r\n");
}

TEST_F(RegistryTest, ValueNamesMatchWithoutCaseAndAWriteReplaces) {
    clsRegistry program = clsRegistry::programKey(&dialogs, store);
    program.WriteEntry("InstallPath", "/opt/a");
    program.WriteEntry("INSTALLPATH", "/opt/b");
    EXPECT_EQ(program.ReadEntry("installpath", ""), "/opt/b");
    const std::string text = readFile(store);
    EXPECT_EQ(text.find("/opt/a"), std::string::npos);
    // The name keeps the spelling it was first stored with.
    EXPECT_NE(text.find("\"InstallPath\"=\"/opt/b\""), std::string::npos);
}

TEST_F(RegistryTest, StringBytesRoundTripExactly) {
    clsRegistry program = clsRegistry::programKey(&dialogs, store);
    const std::string odd = "C:\\Games\\\"UT\" \xe4\xff; [x] = y";
    program.WriteEntry("Odd \"name\" \\", odd);
    EXPECT_EQ(program.ReadEntry("Odd \"name\" \\", ""), odd);
    program.WriteEntry("Lines", "a\r\nb");
    EXPECT_EQ(program.ReadEntry("Lines", ""), "a\r\nb");
    EXPECT_NE(readFile(store).find("\"Lines\"=hex(1):61,0d,0a,62,00\r\n"), std::string::npos);
}

TEST_F(RegistryTest, FinalNulIsDroppedOnceAndOnlyWhenThere) {
    const std::string key = "Software\\Velmora\\Quorvel2";
    put(key, "NoNul", {REG_SZ_TYPE, "abc"});
    put(key, "TwoNuls", {REG_SZ_TYPE, std::string("ab\0\0", 4)});
    put(key, "InnerNul", {REG_SZ_TYPE, std::string("a\0b\0", 4)});
    put(key, "JustNul", {REG_SZ_TYPE, std::string("\0", 1)});
    put(key, "Nothing", {REG_SZ_TYPE, ""});
    // The file keeps the exact bytes of each.
    EXPECT_EQ(get(key, "NoNul")->data, "abc");
    EXPECT_EQ(get(key, "TwoNuls")->data, std::string("ab\0\0", 4));
    EXPECT_EQ(get(key, "Nothing")->data, "");
    clsRegistry program = clsRegistry::programKey(&dialogs, store);
    EXPECT_EQ(program.ReadEntry("NoNul", "d"), "abc");
    EXPECT_EQ(program.ReadEntry("TwoNuls", "d"), std::string("ab\0", 3));
    EXPECT_EQ(program.ReadEntry("InnerNul", "d"), std::string("a\0b", 3));
    EXPECT_EQ(program.ReadEntry("JustNul", "d"), "d");
    EXPECT_EQ(program.ReadEntry("Nothing", "d"), "d");
}

TEST_F(RegistryTest, NumbersReadAsDecimalOtherTypesAsTheDefault) {
    const std::string key = "Software\\Velmora\\Quorvel2";
    put(key, "Five", {REG_DWORD_TYPE, std::string("\x05\0\0\0", 4)});
    put(key, "Minus", {REG_DWORD_TYPE, "\xfe\xff\xff\xff"});
    put(key, "Zero", {REG_DWORD_TYPE, std::string(4, '\0')});
    put(key, "Expand", {REG_EXPAND_SZ_TYPE, std::string("%HOME%\0", 7)});
    put(key, "Multi", {REG_MULTI_SZ_TYPE, std::string("a\0b\0\0", 5)});
    put(key, "Binary", {REG_BINARY_TYPE, "\x01\x02"});
    put(key, "ShortDword", {REG_DWORD_TYPE, "\x01"});
    clsRegistry program = clsRegistry::programKey(&dialogs, store);
    EXPECT_EQ(program.ReadEntry("Five", ""), "5");
    EXPECT_EQ(program.ReadEntry("Minus", ""), "-2");
    EXPECT_EQ(program.ReadEntry("Zero", "d"), "0");
    EXPECT_EQ(program.ReadEntry("Expand", "d"), "d");
    EXPECT_EQ(program.ReadEntry("Multi", "d"), "d");
    EXPECT_EQ(program.ReadEntry("Binary", "d"), "d");
    EXPECT_EQ(program.ReadEntry("ShortDword", "d"), "d");
    const std::string text = readFile(store);
    EXPECT_NE(text.find("\"Five\"=dword:00000005\r\n"), std::string::npos);
    EXPECT_NE(text.find("\"Minus\"=dword:fffffffe\r\n"), std::string::npos);
    EXPECT_NE(text.find("\"Expand\"=hex(2):25,48,4f,4d,45,25,00\r\n"), std::string::npos);
    EXPECT_NE(text.find("\"Multi\"=hex(7):61,00,62,00,00\r\n"), std::string::npos);
    EXPECT_NE(text.find("\"Binary\"=hex:01,02\r\n"), std::string::npos);
    // Each keeps its type across a rewrite of the file.
    program.WriteEntry("Other", "x");
    EXPECT_EQ(get(key, "Multi")->type, REG_MULTI_SZ_TYPE);
    EXPECT_EQ(get(key, "Multi")->data, std::string("a\0b\0\0", 5));
    EXPECT_EQ(get(key, "ShortDword")->data, "\x01");
}

TEST_F(RegistryTest, MissingStoreKeyOrValueGiveTheDefaultSilentlyAndCreateNothing) {
    clsRegistry game = clsRegistry::gameKey(&dialogs, store);
    EXPECT_EQ(game.ReadEntry("Folder", "none"), "none");
    EXPECT_FALSE(test::fileExists(store));
    EXPECT_TRUE(test::listNames(dir.path()).empty());
    clsRegistry::programKey(&dialogs, store).WriteEntry("A", "1");
    EXPECT_EQ(game.ReadEntry("Folder", "none"), "none");
    EXPECT_EQ(clsRegistry::programKey(&dialogs, store).ReadEntry("B", "none"), "none");
    // Another hive is another tree; an unknown hive holds nothing and takes nothing.
    clsRegistry user = clsRegistry::programKey(&dialogs, store);
    user.setRootKey(static_cast<std::int32_t>(0x80000001u));
    EXPECT_EQ(user.ReadEntry("A", "none"), "none");
    clsRegistry bad = clsRegistry::programKey(&dialogs, store);
    bad.setRootKey(5);
    bad.WriteEntry("A", "2");
    EXPECT_EQ(bad.ReadEntry("A", "none"), "none");
    EXPECT_EQ(clsRegistry::programKey(&dialogs, store).ReadEntry("A", ""), "1");
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(RegistryTest, UnreadableStoreIsReportedAndNeverOverwritten) {
    test::makeDirs(store);  // a folder where the file should be: reading it fails with EISDIR
    clsRegistry program = clsRegistry::programKey(&dialogs, store);
    EXPECT_EQ(program.ReadEntry("A", "def"), "def");
    program.WriteEntry("A", "1");
    ASSERT_EQ(dialogs.shown.size(), 2u);
    EXPECT_EQ(dialogs.shown[0].title, "GetKeyValue");
    EXPECT_EQ(dialogs.shown[0].text, "Error: 21. Is a directory");
    EXPECT_EQ(dialogs.shown[1].title, "SetKeyValue");
    EXPECT_EQ(dialogs.shown[1].text, "Error: 21. Is a directory");
}

TEST_F(RegistryTest, StoreBehindAPlainFileReadsAsEmptyWithoutAMessage) {
    writeFile(dir / "file", "x");
    clsRegistry program = clsRegistry::programKey(&dialogs, dir / "file/registry.reg");
    EXPECT_EQ(program.ReadEntry("A", "def"), "def");
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(RegistryTest, DamagedFileReadsWhatMakesSenseAndTheNextWriteKeepsIt) {
    test::makeDirs(dir / "config/Quorvel");
    writeFile(store,
              "\"Orphan\"=\"before any key\"\n"
              "[HKEY_LOCAL_MACHINE\\Software\\Velmora\\Quorvel2]\n"
              "\"Good\"=\"kept\"\n"
              "garbage line without meaning\n"
              "\"BadHex\"=hex:zz,01\n"
              "\"BadDword\"=dword:12345678ab\n"
              "\"Cut\"=\"no closing quote\n"
              "\"Num\"=dword:0000002A\n"
              "@=\"default value\"\n"
              "\"Wrapped\"=hex(1):41,42,\\\n"
              "  43,00\n"
              "; a comment\n"
              "[HKEY_NOWHERE\\Software]\n"
              "\"Lost\"=\"foreign hive\"\n"
              "[hkey_local_machine\\SOFTWARE\\velmora\\quorvel2]\n"
              "\"Second\"=\"merged\"\n"
              "[HKEY_LOCAL_MACHINE\\Software\\Trunc\n"
              "\"AfterTrunc\"=\"x\"\n"
              "[HKEY_LOCAL_MACHINE\\Software\\Velmora\\Quorvel2\\Tail]\n"
              "\"Tail\"=\"half");
    clsRegistry program = clsRegistry::programKey(&dialogs, store);
    const auto check = [&] {
        EXPECT_EQ(program.ReadEntry("Good", "d"), "kept");
        EXPECT_EQ(program.ReadEntry("BadHex", "d"), "d");
        EXPECT_EQ(program.ReadEntry("BadDword", "d"), "d");
        EXPECT_EQ(program.ReadEntry("Cut", "d"), "d");
        EXPECT_EQ(program.ReadEntry("Num", "d"), "42");
        EXPECT_EQ(program.ReadEntry("", "d"), "default value");
        EXPECT_EQ(program.ReadEntry("Wrapped", "d"), "ABC");
        EXPECT_EQ(program.ReadEntry("Second", "d"), "merged");
        EXPECT_EQ(program.ReadEntry("Orphan", "d"), "d");
    };
    check();
    program.WriteEntry("New", "value");
    check();
    EXPECT_EQ(program.ReadEntry("New", "d"), "value");
    const std::string text = readFile(store);
    EXPECT_EQ(text.rfind("REGEDIT4\r\n\r\n", 0), 0u);
    EXPECT_EQ(text.find("garbage"), std::string::npos);
    EXPECT_EQ(text.find("Lost"), std::string::npos);
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST(RegistryPathTest, EnvironmentChoosesTheStore) {
    const auto saved = [](const char* name) -> std::optional<std::string> {
        const char* v = std::getenv(name);
        return v ? std::optional<std::string>(v) : std::nullopt;
    };
    const auto restore = [](const char* name, const std::optional<std::string>& v) {
        if (v)
            ::setenv(name, v->c_str(), 1);
        else
            ::unsetenv(name);
    };
    const auto reg = saved("QUORVEL_REGISTRY"), xdg = saved("XDG_CONFIG_HOME"),
               home = saved("HOME");
    ::setenv("QUORVEL_REGISTRY", "/tmp/q/r.reg", 1);
    ::setenv("XDG_CONFIG_HOME", "/x", 1);
    ::setenv("HOME", "/h", 1);
    EXPECT_EQ(defaultRegistryPath(), "/tmp/q/r.reg");
    ::unsetenv("QUORVEL_REGISTRY");
    EXPECT_EQ(defaultRegistryPath(), "/x/Quorvel/registry.reg");
    ::setenv("XDG_CONFIG_HOME", "", 1);
    EXPECT_EQ(defaultRegistryPath(), "/h/.config/Quorvel/registry.reg");
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(defaultRegistryPath(), "/h/.config/Quorvel/registry.reg");
    restore("QUORVEL_REGISTRY", reg);
    restore("XDG_CONFIG_HOME", xdg);
    restore("HOME", home);
    EXPECT_EQ(hiveName(HKLM), "HKEY_LOCAL_MACHINE");
    EXPECT_EQ(hiveName(static_cast<std::int32_t>(0x80000001u)), "HKEY_CURRENT_USER");
}

}  // namespace
}  // namespace qv
