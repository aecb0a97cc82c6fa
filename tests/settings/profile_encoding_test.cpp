// Linux only: links, FIFOs, flock and environment variables as the POSIX layer meets them.
// Profiles as other editors save them, and registry stores and key paths as players meet them.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "platform/machine_lock.h"
#include "platform/trace.h"
#include "settings/cls_registry.h"
#include "settings/mdl_ini.h"
#include "settings/program_settings.h"
#include "settings/registry_file.h"
#include "tests/support/faulty_filesystem.h"
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

std::string utf16le(const std::string& text) {
    std::string out;
    for (char c : text) out += std::string{c, '\0'};
    return out;
}

const std::string kExport =
    "Windows Registry Editor Version 5.00\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Velmora\\Quorvel2]\r\n\"CacheDir\"=\"/c\"\r\n";

// A store Quorvel cannot write back whole (a regedit export in UTF-16, data of another kind, a
// FIFO) is read as far as is safe and never written; the user is told why.
TEST(RegistryStore, AFileThatIsNoRegedit4TextIsNeverWritten) {
    const struct {
        const char* what;
        std::string bytes;  // empty: a FIFO
        const char* cacheDir;
    } kStores[] = {
        {"UTF-16 with its mark", "\xFF\xFE" + utf16le(kExport), "/c"},
        {"UTF-16 without a mark", utf16le(kExport), "/c"},
        {"binary data",
         std::string("\x7f"
                     "ELF\x02\x01\0\0[HKEY_LOCAL_MACHINE]\n",
                     19),
         "d"},
        {"a FIFO", "", "d"},
    };
    for (const auto& c : kStores) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        ScriptedDialogs dialogs;
        const std::string store = dir / "registry.reg";
        if (c.bytes.empty())
            ASSERT_EQ(::mkfifo(store.c_str(), 0600), 0);
        else
            writeFile(store, c.bytes);
        clsRegistry key = clsRegistry::programKey(&dialogs, store);
        EXPECT_EQ(key.ReadEntry("CacheDir", "d"), c.cacheDir);
        key.WriteEntry("CacheDir", "/new");
        ASSERT_EQ(dialogs.messages().size(), 1u);
        EXPECT_EQ(dialogs.messages()[0].rfind("Error: 84. " + store, 0), 0u);
        struct stat st {};
        ASSERT_EQ(::lstat(store.c_str(), &st), 0);
        if (c.bytes.empty())
            EXPECT_TRUE(S_ISFIFO(st.st_mode));
        else
            EXPECT_EQ(readFile(store), c.bytes);
    }
}

// Links are written through; leftovers of a killed write go; the options are one replacement.
TEST(RegistryStore, ALinkStaysALinkLeftoversGoAndTheOptionsAreOneWrite) {
    TempDir dir;
    ScriptedDialogs dialogs;
    makeDirs(dir / "real");
    makeDirs(dir / "config");
    writeFile(dir / "real/registry.reg",
              "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Unreal Technology\\Installed "
              "Apps\\UnrealTournament]\r\n\"Folder\"=\"/ut/\"\r\n");
    writeFile(dir / "real/.quorvel-tmp-a1B2c3", "cut short");
    const std::string link = dir / "config/registry.reg";
    ASSERT_EQ(::symlink("../real/registry.reg", link.c_str()), 0);
    FaultyFileSystem counting(realFileSystem());
    std::vector<std::string> written;
    counting.watch = [&](const char* op, const std::string& path, const std::string&, bool done) {
        if (done && std::string(op) == "writeAtomic") written.push_back(path);
    };
    clsRegistry key(&dialogs, link, &counting);
    key.setMainBranch("Software"), key.setRegBase("Velmora"), key.setProgram("Quorvel2");
    key.setSection("");
    Options o;
    o.CacheDir = "/c";
    saveOptions(key, o, {{"WindowPlacement", "AdnQ"}});
    EXPECT_EQ(written, Lines{std::filesystem::canonical(dir / "real/registry.reg").string()});
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(listNames(dir / "real"), (Lines{"registry.reg", "registry.reg.lock"}));
    EXPECT_EQ(listNames(dir / "config"), Lines{"registry.reg"});
    EXPECT_EQ(key.ReadEntry("CacheDir", ""), "/c");
    EXPECT_EQ(key.ReadEntry("WindowPlacement", ""), "AdnQ");
    EXPECT_EQ(clsRegistry::gameKey(nullptr, link).ReadEntry("Folder", ""), "/ut/");  // kept
    // A link to nothing is left as a link, and the user is told.
    ::unlink((dir / "real/registry.reg").c_str());
    key.WriteEntry("CacheDir", "/d");
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_FALSE(fileExists(dir / "real/registry.reg"));
    ASSERT_EQ(dialogs.messages().size(), 1u);
    EXPECT_TRUE(has(dialogs.messages()[0], "is a link to a file that is not there"));
}

// Guards: "No locks available" for every save; a save that takes no lock at all.
TEST(RegistryStoreWithoutFlock, SavesUnderTheLockOfThisMachine) {
    TempDir dir;
    ::setenv("QV_SHIM_NO_FILE_FLOCK", dir.path().c_str(), 1);
    const int fd = ::open((dir / "probe").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    const bool refused = ::flock(fd, LOCK_EX) != 0 && errno == ENOLCK;
    ::close(fd);
    if (!refused) ::unsetenv("QV_SHIM_NO_FILE_FLOCK");
    if (!refused) GTEST_SKIP() << "needs the nfs_like shim preloaded";
    RegistryFile store(dir / "registry.reg");
    static std::string traced;  // the fallback, in the trace
    trace::setSink([](trace::Category, const std::string& line) { traced += line; });
    trace::enable(trace::Category::Lock, true);
    const Status saved = store.setValue(static_cast<std::int32_t>(0x80000002u), "Software\\Velmora",
                                        "A", {REG_SZ_TYPE, "1"});
    trace::setSink(nullptr);
    EXPECT_TRUE(saved.ok()) << saved.text;
    EXPECT_TRUE(traced.starts_with(dir.path() + "/registry.reg.lock: flock refused (No "
                                                "locks available); the machine lock /"))
        << traced;
    struct stat st {};
    ASSERT_EQ(::stat((dir / "registry.reg.lock").c_str(), &st), 0);
    // The lock the save took and let go: there, and free again.
    char taken[96];
    std::snprintf(taken, sizeof taken, "/run/lock/quorvel-%u/lock-%llx-%llx", st.st_uid,
                  static_cast<unsigned long long>(st.st_dev),
                  static_cast<unsigned long long>(st.st_ino));
    EXPECT_EQ(::access(taken, F_OK), 0) << taken;
    MachineLock after(st.st_dev, st.st_ino, st.st_uid, false);
    EXPECT_EQ(after.state(), MachineLock::State::Held);
    ::unlink(after.path().c_str());
    ::unsetenv("QV_SHIM_NO_FILE_FLOCK");
}

// The main program and the troubleshooter may write the store at the same moment.
TEST(Registry, TwoProcessesWritingAtOnceLoseNothing) {
    TempDir dir;
    const pid_t child = ::fork();
    const std::string who = child == 0 ? "child" : "parent";
    for (int i = 0; i < 100; ++i)
        clsRegistry::programKey(nullptr, dir / "r.reg").WriteEntry(who + std::to_string(i), "v");
    if (child == 0) ::_exit(0);
    ASSERT_EQ(::waitpid(child, nullptr, 0), child);
    clsRegistry key = clsRegistry::programKey(nullptr, dir / "r.reg");
    for (int i = 0; i < 100; ++i)
        for (const char* w : {"child", "parent"})
            EXPECT_EQ(key.ReadEntry(w + std::to_string(i), ""), "v");
}

}  // namespace
}  // namespace qv::test
