#include <gtest/gtest.h>

#include "settings/clsRegistry.h"
#include "settings/registry_file.h"
#include "tests/platform/fs_test_util.h"
#include "tests/support/scripted_dialogs.h"
#include "tests/support/temp_dir.h"

namespace qv {
namespace {

using test::readFile;
using test::ScriptedDialogs;
using test::TempDir;
using test::writeFile;

constexpr std::int32_t HKLM = HKEY_LOCAL_MACHINE_ROOT;
const std::string kProgramKey = "Software\\Velmora\\Quorvel2";

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

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
    std::optional<RegValue> get(const std::string& name) {
        auto r = RegistryFile(store).getValue(HKLM, kProgramKey, name);
        EXPECT_TRUE(r.ok()) << r.status.text;
        return r.value;
    }

    TempDir dir;
    // A folder that does not exist yet: the first write creates it.
    std::string store = dir / "config/Quorvel/registry.reg";
    ScriptedDialogs dialogs;
    clsRegistry program = clsRegistry::programKey(&dialogs, store);
};

TEST_F(RegistryTest, KeyPathIsFormedAsGivenAndADoubledBackslashIsItsOwnKey) {
    clsRegistry fresh(&dialogs, store);
    fresh.setProgram("X");
    EXPECT_EQ(fresh.keyPath(), "SOFTWARE\\\\X\\Settings");
    EXPECT_EQ(clsRegistry::gameKey(&dialogs, store).keyPath(),
              "Software\\Unreal Technology\\Installed Apps\\UnrealTournament");
    EXPECT_EQ(program.keyPath(), kProgramKey);
    EXPECT_EQ(reg("Software", "Velmora", "", "").keyPath(), "Software\\Velmora\\");
    EXPECT_EQ(reg("SOFTWARE", "", "", "").keyPath(), "SOFTWARE\\\\");  // one trailing '\' goes
    EXPECT_EQ(fresh.RootKey(), static_cast<std::int32_t>(0x80000002u));

    fresh.WriteEntry("Value", "one");
    EXPECT_EQ(fresh.ReadEntry("Value", "def"), "one");
    EXPECT_TRUE(contains(readFile(store),
                         "[HKEY_LOCAL_MACHINE\\SOFTWARE\\\\X\\Settings]\r\n\"Value\"=\"one\"\r\n"));
    // The same path in other letter case meets it; one backslash less or more does not.
    EXPECT_EQ(reg("software", "", "x", "SETTINGS").ReadEntry("VALUE", "def"), "one");
    EXPECT_EQ(reg("SOFTWARE", "X", "Settings", "").ReadEntry("Value", "def"), "def");
    EXPECT_EQ(reg("SOFTWARE\\", "", "X", "Settings").ReadEntry("Value", "def"), "def");
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(RegistryTest, WritingStoresTextWithOneNulCreatesParentsAndReplacesByName) {
    program.WriteEntry("MoveDirText", "abc");
    const auto v = get("MoveDirText");
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

    // Value names match without case; the name keeps the spelling it was first stored with.
    program.WriteEntry("InstallPath", "/opt/a");
    program.WriteEntry("INSTALLPATH", "/opt/b");
    EXPECT_EQ(program.ReadEntry("installpath", ""), "/opt/b");
    EXPECT_FALSE(contains(readFile(store), "/opt/a"));
    EXPECT_TRUE(contains(readFile(store), "\"InstallPath\"=\"/opt/b\""));

    // String bytes round-trip exactly.
    const std::string odd = "C:\\Games\\\"UT\" \xe4\xff; [x] = y";
    program.WriteEntry("Odd \"name\" \\", odd);
    EXPECT_EQ(program.ReadEntry("Odd \"name\" \\", ""), odd);
    program.WriteEntry("Lines", "a\r\nb");
    EXPECT_EQ(program.ReadEntry("Lines", ""), "a\r\nb");
    EXPECT_TRUE(contains(readFile(store), "\"Lines\"=hex(1):61,0d,0a,62,00\r\n"));
}

TEST_F(RegistryTest, StoredTypesReadAsTextOnceOrAsTheDefaultAndKeepTheirBytes) {
    struct Case {
        std::string name;
        RegValue value;
        std::string read;  // "d": the default
        std::string fileLine;
    };
    const std::vector<Case> cases = {
        // A final NUL of a string is dropped once and only when there.
        {"NoNul", {REG_SZ_TYPE, "abc"}, "abc", ""},
        {"TwoNuls", {REG_SZ_TYPE, std::string("ab\0\0", 4)}, std::string("ab\0", 3), ""},
        {"InnerNul", {REG_SZ_TYPE, std::string("a\0b\0", 4)}, std::string("a\0b", 3), ""},
        {"JustNul", {REG_SZ_TYPE, std::string("\0", 1)}, "d", ""},
        {"Nothing", {REG_SZ_TYPE, ""}, "d", ""},
        // Numbers read as decimal, other types as the default.
        {"Five", {REG_DWORD_TYPE, std::string("\x05\0\0\0", 4)}, "5", "\"Five\"=dword:00000005"},
        {"Minus", {REG_DWORD_TYPE, "\xfe\xff\xff\xff"}, "-2", "\"Minus\"=dword:fffffffe"},
        {"Zero", {REG_DWORD_TYPE, std::string(4, '\0')}, "0", ""},
        {"Expand",
         {REG_EXPAND_SZ_TYPE, std::string("%HOME%\0", 7)},
         "d",
         "\"Expand\"=hex(2):25,48,4f,4d,45,25,00"},
        {"Multi",
         {REG_MULTI_SZ_TYPE, std::string("a\0b\0\0", 5)},
         "d",
         "\"Multi\"=hex(7):61,00,62,00,00"},
        {"Binary", {REG_BINARY_TYPE, "\x01\x02"}, "d", "\"Binary\"=hex:01,02"},
        {"ShortDword", {REG_DWORD_TYPE, "\x01"}, "d", ""},
    };
    for (const Case& c : cases)
        ASSERT_TRUE(RegistryFile(store).setValue(HKLM, kProgramKey, c.name, c.value).ok());
    program.WriteEntry("Other", "x");  // a rewrite of the file keeps each as it was
    const std::string text = readFile(store);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(program.ReadEntry(c.name, "d"), c.read);
        const auto back = get(c.name);
        ASSERT_TRUE(back);
        EXPECT_EQ(back->type, c.value.type);
        EXPECT_EQ(back->data, c.value.data);
        if (!c.fileLine.empty()) {
            EXPECT_TRUE(contains(text, c.fileLine + "\r\n"));
        }
    }
}

TEST_F(RegistryTest, MissingStoreKeyOrValueGiveTheDefaultSilentlyAndCreateNothing) {
    clsRegistry game = clsRegistry::gameKey(&dialogs, store);
    EXPECT_EQ(game.ReadEntry("Folder", "none"), "none");
    EXPECT_TRUE(test::listNames(dir.path()).empty());
    program.WriteEntry("A", "1");
    EXPECT_EQ(game.ReadEntry("Folder", "none"), "none");
    EXPECT_EQ(program.ReadEntry("B", "none"), "none");
    // Another hive is another tree; an unknown hive holds nothing and takes nothing.
    clsRegistry user = clsRegistry::programKey(&dialogs, store);
    user.setRootKey(static_cast<std::int32_t>(0x80000001u));
    EXPECT_EQ(user.ReadEntry("A", "none"), "none");
    clsRegistry bad = clsRegistry::programKey(&dialogs, store);
    bad.setRootKey(5);
    bad.WriteEntry("A", "2");
    EXPECT_EQ(bad.ReadEntry("A", "none"), "none");
    EXPECT_EQ(program.ReadEntry("A", ""), "1");
    // A store behind a plain file reads as empty without a message.
    writeFile(dir / "file", "x");
    EXPECT_EQ(clsRegistry::programKey(&dialogs, dir / "file/registry.reg").ReadEntry("A", "def"),
              "def");
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(RegistryTest, UnreadableStoreIsReportedAndNeverOverwritten) {
    test::makeDirs(store);  // a folder where the file should be: reading it fails with EISDIR
    EXPECT_EQ(program.ReadEntry("A", "def"), "def");
    program.WriteEntry("A", "1");
    ASSERT_EQ(dialogs.shown.size(), 2u);
    EXPECT_EQ(dialogs.shown[0].title, "GetKeyValue");
    EXPECT_EQ(dialogs.shown[0].text, "Error: 21. Is a directory");
    EXPECT_EQ(dialogs.shown[1].title, "SetKeyValue");
    EXPECT_EQ(dialogs.shown[1].text, "Error: 21. Is a directory");
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
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"Good", "kept"},   {"BadHex", "d"},      {"BadDword", "d"},
        {"Cut", "d"},       {"Num", "42"},        {"", "default value"},
        {"Wrapped", "ABC"}, {"Second", "merged"}, {"Orphan", "d"}};
    for (int pass = 0; pass < 2; ++pass) {
        for (const auto& [name, value] : expected)
            EXPECT_EQ(program.ReadEntry(name, "d"), value) << "pass " << pass << ": " << name;
        if (pass == 0) program.WriteEntry("New", "value");
    }
    EXPECT_EQ(program.ReadEntry("New", "d"), "value");
    const std::string text = readFile(store);
    EXPECT_EQ(text.rfind("REGEDIT4\r\n\r\n", 0), 0u);
    EXPECT_FALSE(contains(text, "garbage"));
    EXPECT_FALSE(contains(text, "Lost"));
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST(RegistryPathTest, EnvironmentChoosesTheStore) {
    test::EnvGuard reg("QUORVEL_REGISTRY"), xdg("XDG_CONFIG_HOME"), home("HOME");
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
    EXPECT_EQ(hiveName(HKLM), "HKEY_LOCAL_MACHINE");
    EXPECT_EQ(hiveName(static_cast<std::int32_t>(0x80000001u)), "HKEY_CURRENT_USER");
}

}  // namespace
}  // namespace qv
