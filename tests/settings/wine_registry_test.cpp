#include "settings/wine_registry.h"

#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"

namespace qv {
namespace {

const std::string kGameKey =
    "HKEY_LOCAL_MACHINE\\Software\\Unreal Technology\\Installed Apps\\UnrealTournament";
const std::string kGameKey32 =
    "HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\Unreal Technology\\Installed Apps\\"
    "UnrealTournament";

std::string value(RegDocument& doc, const std::string& key, const std::string& name) {
    RegKey* k = doc.find(key);
    const RegValue* v = k ? k->find(name) : nullptr;
    return v ? std::to_string(v->type) + ":" + v->data : "missing";
}

// The registry of a prefix made by Wine itself: the key after a link key whose hex(6) value
// runs on over continuation lines keeps its own values, the str(2) text with a surrogate pair
// comes out as UTF-8, and the link's bytes are read whole.
TEST(WineRegistry, ReadsThePrefixAsWineWroteIt) {
    const std::string text = test::readFile(QV_TEST_DATA_DIR "/wine/system.reg");
    for (const std::vector<std::string>& only :
         {std::vector<std::string>{}, std::vector<std::string>{kGameKey32, kGameKey}}) {
        RegDocument doc = parseWineRegistryText(text, only);
        EXPECT_EQ(value(doc, kGameKey32, "Folder"), std::string("1:C:\\UnrealTournament\0", 22));
        EXPECT_EQ(value(doc, kGameKey, "folder"),
                  std::string("2:C:\\Games\\UT \xF0\x9F\x8E\xAE\0", 19));
        EXPECT_EQ(doc.keys.size(), only.empty() ? 8u : 2u);
    }
    RegDocument doc = parseWineRegistryText(text);
    const std::string link = "\\Registry\\Machine\\Software\\Registered Applications";
    EXPECT_EQ(value(doc, "HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\Registered Applications",
                    "SymbolicLinkValue")
                  .size(),
              2 + 2 * link.size());
    EXPECT_NE(doc.find("HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\Wine\\Ports"), nullptr);

    // Once the keys asked for are read, the rest of the file is not: a later copy of a key is
    // never reached.
    RegDocument early = parseWineRegistryText(
        text +
            "[Software\\\\Wow6432Node\\\\Unreal Technology\\\\Installed Apps\\\\"
            "UnrealTournament] 1\n\"Folder\"=\"D:\\\\Later\"\n",
        {kGameKey32, kGameKey});
    EXPECT_EQ(value(early, kGameKey32, "Folder"), std::string("1:C:\\UnrealTournament\0", 22));
}

// Escapes and value forms Wine writes, each read back to the text it stands for; a user's
// file names its keys under HKEY_CURRENT_USER.
TEST(WineRegistry, DecodesEachValueForm) {
    RegDocument doc = parseWineRegistryText(
        "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\User\\\\S-1-5-21\n\n"
        "[Software\\\\T\\x00e9st\\\\K] 1700000000\n#time=1d\n"
        "\"Quote\"=\"a\\\"b\\\\c\\td\"\n"
        "\"Octal\"=\"x\\0y\\101\"\n"
        "\"Lone\"=\"\\xd83c!\"\n"
        "\"Wide\"=hex(2):43,00,3a,00,5c,00,e9,00,00,00\n"
        "\"Multi\"=str(7):\"a\\0b\\0\"\n"
        "\"Num\"=dword:0000002a\n"
        "\"Cut\"=\"no end\n"
        "\"Bytes\"=hex:01,02,\\\n03,\\\n[Software\\\\Next] 1700000000\n\"V\"=\"w\"\n");
    const std::string key = "HKEY_CURRENT_USER\\Software\\T\xC3\xA9st\\K";
    const std::pair<const char*, std::string> cases[] = {
        {"Quote", std::string("1:a\"b\\c\td\0", 10)},
        {"Octal", std::string("1:x\0yA\0", 7)},
        {"Lone", std::string("1:\xEF\xBF\xBD!\0", 7)},
        {"Wide", std::string("2:C:\\\xC3\xA9\0", 8)},
        {"Multi", std::string("7:a\0b\0\0", 7)},
        {"Num", std::string("4:*\0\0\0", 6)},
        {"Cut", "missing"},
        {"Bytes", std::string("3:\1\2\3", 5)}};
    for (const auto& [name, expected] : cases) EXPECT_EQ(value(doc, key, name), expected) << name;
    // A value cut off before its last line of bytes never swallows the next key.
    EXPECT_EQ(value(doc, "HKEY_CURRENT_USER\\Software\\Next", "V"), std::string("1:w\0", 4));
}

// The keys below GOG's, as Wine wrote them, and one whose name needs decoding, are read; a key
// beside them whose name only starts the same is not, nor is a key below another.
TEST(WineRegistry, ReadsTheKeysBelowAKey) {
    const std::string text = test::readFile(QV_TEST_DATA_DIR "/wine/gog.reg") +
                             R"([Software\\GOG.com\\Games\\Caf\x00e9] 1700000000
"path"="C:\\Caf\x00e9"
[Software\\GOG.comX\\Games\\1] 1700000000
"path"="C:\\No"
[Software\\Other\\GOG.com\\Games\\1] 1700000000
"path"="C:\\No"
)";
    const std::string gog = "HKEY_LOCAL_MACHINE\\Software\\GOG.com\\Games";
    const std::string gog32 = "HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\GOG.com\\Games";
    RegDocument doc = parseWineRegistryText(text, {kGameKey}, {gog, gog32});
    std::string read;
    for (RegKey& key : doc.keys) read += key.name + "=" + value(doc, key.name, "path") + "\n";
    EXPECT_EQ(read,
              gog + "\\1207658691=" + std::string("1:C:\\GOG Games\\Unreal Tournament GOTY\0", 38) +
                  "\n" + gog32 + "\\1207658691=" + std::string("1:D:\\Games\\UT GOTY\0", 19) +
                  "\n" + gog + "\\Caf\xC3\xA9=" + std::string("1:C:\\Caf\xC3\xA9\0", 11) + "\n");
}

}  // namespace
}  // namespace qv
