// Registry files that were cut short or edited by hand: every value that can be read is read,
// and the next write keeps each of them as it was read.
#include <gtest/gtest.h>

#include <optional>

#include "settings/clsRegistry.h"
#include "settings/registry_file.h"
#include "settings/registry_text.h"
#include "tests/robustness/robust_fixture.h"
#include "tests/support/scripted_dialogs.h"

namespace qv::robust {
namespace {

using test::readFile;
using test::writeFile;

constexpr std::int32_t HKLM = HKEY_LOCAL_MACHINE_ROOT;
const std::string kKey = "Software\\Velmora\\Quorvel2";

struct Stored {
    std::string name;
    RegValue value;
};

// A store with every kind of value, a quoted text with escapes and hex data over two lines.
const std::string kStore =
    "REGEDIT4\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Velmora\\Quorvel2]\r\n"
    "\"CacheDir\"=\"/home/p/UT/Cache\"\r\n"
    "\"Quoted\"=\"say \\\"hi\\\" \\\\ bye\"\r\n"
    "\"Count\"=dword:0000002a\r\n"
    "\"Blob\"=hex:01,02,ff,\\\r\n"
    "  10,20\r\n"
    "\"Multi\"=hex(7):41,00,42,00,00\r\n"
    "\"Last\"=\"end\"\r\n"
    "\r\n";

const std::vector<Stored> kValues = {
    {"CacheDir", {REG_SZ_TYPE, std::string("/home/p/UT/Cache\0", 17)}},
    {"Quoted", {REG_SZ_TYPE, std::string("say \"hi\" \\ bye\0", 15)}},
    {"Count", {REG_DWORD_TYPE, std::string("\x2a\0\0\0", 4)}},
    {"Blob", {REG_BINARY_TYPE, std::string("\x01\x02\xff\x10\x20", 5)}},
    {"Multi", {REG_MULTI_SZ_TYPE, std::string("A\0B\0\0", 5)}},
    {"Last", {REG_SZ_TYPE, std::string("end\0", 4)}},
};

// Where the line of each value ends (after its line end) in kStore.
std::size_t endOfValue(const std::string& name) {
    std::size_t at = kStore.find("\"" + name + "\"=");
    if (name == "Blob") at = kStore.find("  10,20");
    return kStore.find("\r\n", at) + 2;
}

std::optional<RegValue> get(const std::string& store, const std::string& name) {
    auto r = RegistryFile(store).getValue(HKLM, kKey, name);
    EXPECT_TRUE(r.ok()) << r.status.text;
    return r.value;
}

bool same(const std::optional<RegValue>& a, const std::optional<RegValue>& b) {
    if (a.has_value() != b.has_value()) return false;
    return !a || (a->type == b->type && a->data == b->data);
}

TEST(HostileRegistryFile, CutShortAtEveryByteReadsTheWholeValuesAndTheNextWriteKeepsThem) {
    test::TempDir dir;
    const std::string store = dir / "registry.reg";
    long cuts = 0;
    for (std::size_t len = 0; len <= kStore.size(); ++len) {
        SCOPED_TRACE("cut at " + std::to_string(len));
        writeFile(store, kStore.substr(0, len));
        std::vector<std::optional<RegValue>> before;
        for (const Stored& s : kValues) {
            before.push_back(get(store, s.name));
            // A value whose line came through whole reads exactly as written.
            if (endOfValue(s.name) <= len) {
                ASSERT_TRUE(before.back().has_value()) << s.name;
                EXPECT_EQ(before.back()->type, s.value.type) << s.name;
                EXPECT_EQ(before.back()->data, s.value.data) << s.name;
            }
        }
        ASSERT_TRUE(RegistryFile(store)
                        .setValue(HKLM, kKey, "Written", {REG_SZ_TYPE, std::string("new\0", 4)})
                        .ok());
        for (std::size_t i = 0; i < kValues.size(); ++i)
            EXPECT_TRUE(same(get(store, kValues[i].name), before[i])) << kValues[i].name;
        EXPECT_EQ(get(store, "Written").value_or(RegValue{}).data, std::string("new\0", 4));
        EXPECT_EQ(readFile(store).rfind("REGEDIT4\r\n\r\n", 0), 0u);
        ++cuts;
        if (HasFailure()) break;
    }
    std::printf("[ hostile  ] registry file cut at %ld places\n", cuts);
}

TEST(HostileRegistryFile, HandEditedFilesReadWhatMakesSense) {
    const std::string body =
        "[HKEY_LOCAL_MACHINE\\Software\\Velmora\\Quorvel2]\r\n"
        "\"CacheDir\"=\"/home/p/UT/Cache\"\r\n";
    struct Case {
        const char* what;
        std::string text;
    };
    const std::vector<Case> cases = {
        {"no header", body},
        {"regedit 5 header", "Windows Registry Editor Version 5.00\r\n\r\n" + body},
        {"lone CR line ends",
         "REGEDIT4\r\r[HKEY_LOCAL_MACHINE\\Software\\Velmora\\Quorvel2]\r"
         "\"CacheDir\"=\"/home/p/UT/Cache\"\r"},
        {"half a hex value", "REGEDIT4\r\n" + body + "\"Half\"=hex:01,0\r\n\"Odd\"=hex:1\r\n"},
        {"hex continued past the end", "REGEDIT4\r\n" + body + "\"Blob\"=hex:01,02,\\\r\n"},
        {"NUL bytes and binary garbage", "REGEDIT4\r\n" +
                                             std::string("\0\0\xff\xfe garbage\0\r\n", 15) + body +
                                             std::string("\"Nul\0Name\"=\"x\"\r\n", 16)},
        {"a mebibyte of garbage on one line",
         "REGEDIT4\r\n" + std::string(1 << 20, '[') + "\r\n" + body},
        {"the key twice, the value twice",
         "REGEDIT4\r\n" + body + "\"CacheDir\"=\"/old\"\r\n" + body},
        {"spaces around everything",
         "REGEDIT4\r\n  [HKEY_LOCAL_MACHINE\\Software\\Velmora\\Quorvel2]  \r\n"
         "  \"CacheDir\"  =  \"/home/p/UT/Cache\"  \r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::TempDir dir;
        const std::string store = dir / "registry.reg";
        writeFile(store, c.text);
        test::ScriptedDialogs dialogs;
        clsRegistry program = clsRegistry::programKey(&dialogs, store);
        EXPECT_EQ(program.ReadEntry("CacheDir", "-"), "/home/p/UT/Cache");
        EXPECT_EQ(program.ReadEntry("Half", "-"), "-");
        program.WriteEntry("MoveNorm", "True");
        EXPECT_EQ(program.ReadEntry("CacheDir", "-"), "/home/p/UT/Cache");
        EXPECT_EQ(program.ReadEntry("MoveNorm", "-"), "True");
        EXPECT_TRUE(dialogs.shown.empty());
        // What was written parses back to the same values.
        const std::string written = readFile(store);
        EXPECT_EQ(formatRegistryText(parseRegistryText(written)), written);
    }
}

}  // namespace
}  // namespace qv::robust
