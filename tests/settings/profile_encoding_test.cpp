// Profiles as other editors save them, and registry stores and key paths as players meet them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "settings/clsRegistry.h"
#include "settings/mdlINI.h"
#include "tests/support/scripted_dialogs.h"
#include "tests/support/temp_dir.h"

namespace qv::test {
namespace {

using Lines = std::vector<std::string>;

TEST(ProfileEncoding, MarksLinksAndFolders) {
    TempDir dir;
    ScriptedDialogs dialogs;
    // A UTF-8 mark hides no section and is kept.
    writeFile(dir / "bom.ini", "\xEF\xBB\xBF[Dirs]\r\nMaps=M\r\n");
    EXPECT_EQ(INIGetSettingString("Dirs", "Maps", dir / "bom.ini", "D"), "M");
    EXPECT_TRUE(INIWriteSetting("Dirs", "Maps", "N", dir / "bom.ini"));
    EXPECT_EQ(readFile(dir / "bom.ini"), "\xEF\xBB\xBF[Dirs]\r\nMaps=N\r\n");
    // UTF-16 is read and never written.
    std::string utf16 = "\xFF\xFE";
    for (char c : std::string("[Dirs]\r\nMaps=caf\xE9\r\n")) utf16 += std::string{c, '\0'};
    writeFile(dir / "wide.ini", utf16);
    EXPECT_EQ(INIGetSettingString("Dirs", "Maps", dir / "wide.ini", "D"), "caf\xC3\xA9");
    EXPECT_FALSE(INIWriteSetting("Dirs", "Maps", "N", dir / "wide.ini", &dialogs));
    EXPECT_EQ(readFile(dir / "wide.ini"), utf16);
    ASSERT_EQ(dialogs.messages().size(), 1u);
    EXPECT_EQ(
        dialogs.messages()[0].rfind("Error: 84. " + dir / "wide.ini" + " is saved as UTF-16", 0),
        0u);
    // A link is written through; its target is replaced in its own folder.
    makeDirs(dir / "real");
    writeFile(dir / "real/UnrealTournament.ini", "[Core.System]\r\nPurgeCacheDays=30\r\n");
    ASSERT_EQ(::symlink("real/UnrealTournament.ini", (dir / "link.ini").c_str()), 0);
    EXPECT_TRUE(INIWriteSetting("Core.System", "PurgeCacheDays", "7", dir / "link.ini"));
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.ini"));
    EXPECT_EQ(readFile(dir / "real/UnrealTournament.ini"), "[Core.System]\r\nPurgeCacheDays=7\r\n");
    EXPECT_EQ(listNames(dir / "real"), Lines{"UnrealTournament.ini"});
    // A folder of that name is a missing file.
    EXPECT_EQ(INIGetSettingString("Dirs", "Maps", dir / "real", "D", &dialogs), "D");
    EXPECT_EQ(dialogs.messages().size(), 1u);
}

TEST(RegistryStore, ReadingCreatesNothingAndKeyPathsAreTheSystemsOwn) {
    TempDir dir;
    ScriptedDialogs dialogs;
    const std::string store = dir / "registry.reg";
    const auto key = [&](const char* branch, const char* base, const char* program) {
        clsRegistry r(&dialogs, store);
        r.setMainBranch(branch), r.setRegBase(base), r.setProgram(program), r.setSection("");
        return r;
    };
    key("Software", "", "Velmora\\\\Quorvel2\\").WriteEntry("CacheDir", "/c");
    EXPECT_EQ(key("SOFTWARE", "Velmora", "Quorvel2").ReadEntry("CacheDir", "d"), "/c");
    EXPECT_EQ(readFile(store),
              "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software]\r\n\r\n"
              "[HKEY_LOCAL_MACHINE\\Software\\Velmora]\r\n\r\n"
              "[HKEY_LOCAL_MACHINE\\Software\\Velmora\\Quorvel2]\r\n"
              "\"CacheDir\"=\"/c\"\r\n\r\n");
    EXPECT_EQ(listNames(dir.path()), (Lines{"registry.reg", "registry.reg.lock"}));
    ::unlink((store + ".lock").c_str());
    EXPECT_EQ(key("\\Software", "Velmora", "Quorvel2").ReadEntry("CacheDir", "d"), "d");
    key("\\Software", "Velmora", "Quorvel2").WriteEntry("CacheDir", "/other");
    EXPECT_EQ(key("Software", "Velmora", "Quorvel2").ReadEntry("CacheDir", "d"), "/c");
    EXPECT_EQ(listNames(dir.path()), Lines{"registry.reg"});  // reads locked nothing
    EXPECT_TRUE(dialogs.shown.empty());
}

}  // namespace
}  // namespace qv::test
