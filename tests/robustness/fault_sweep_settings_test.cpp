// Every counted file operation of a never-move save and add, a profile write and a registry
// write fails once in turn, with each of EACCES, ENOSPC, EXDEV and EIO. Whatever fails, the file
// is the old or the new one byte for byte, no temporary file is left beside it, and the failure
// is reported: a failed status, a false result or a message.
#include <gtest/gtest.h>

#include <filesystem>

#include "settings/clsRegistry.h"
#include "settings/mdlINI.h"
#include "settings/never_move.h"
#include "settings/registry_file.h"
#include "tests/robustness/robust_fixture.h"
#include "tests/support/scripted_dialogs.h"

namespace qv::robust {
namespace {

using test::fileExists;
using test::readFile;
using test::ScriptedDialogs;
using test::TempDir;
using test::writeFile;
using Names = std::vector<std::string>;

// A list as players keep it: CR LF, a name that is not UTF-8, blanks kept as they stand.
const std::string kOldList =
    "CTF-Face.unr\r\nDM-\xe9t\xe9.unr\r\n  spaced .utx \r\nSoundPack.uax\r\n";

TEST(NeverMoveFaultSweep, SaveLeavesTheOldOrTheNewList) {
    const Names items = {"First.unr", "Caf\xe9.utx", "Last.u"};
    const std::string saved = "Last.u\r\nCaf\xe9.utx\r\nFirst.unr\r\n";
    FaultTally tally("never-move save");
    sweepEveryOperation(tally, [&](SweepPoint& p) {
        TempDir dir;
        const std::string file = dir / "QuorvelDontMove.ini";
        writeFile(file, kOldList);
        const Status st = SaveNeverMoveList(file, items, p.fs);
        const std::string now = readFile(file);
        if (p.err == 0) {
            ASSERT_TRUE(st.ok()) << st.text;
            ASSERT_EQ(now, saved);
        } else {
            // The list is replaced in one step, so a failed save is the old list untouched.
            EXPECT_EQ(st.code, p.err) << p.where;
            EXPECT_EQ(now, kOldList) << p.where;
        }
        EXPECT_EQ(strayNames(dir.path(), {"QuorvelDontMove.ini"}), Names{}) << p.where;
    });
}

TEST(NeverMoveFaultSweep, AddLeavesTheOldOrTheLongerList) {
    // LF ends and no line end after the last name: the add must end that line first.
    const std::string old = "A.unr\nB.utx";
    FaultTally tally("never-move add");
    sweepEveryOperation(tally, [&](SweepPoint& p) {
        TempDir dir;
        const std::string file = dir / "QuorvelDontMove.ini";
        writeFile(file, old);
        const Status st = AppendNeverMoveName(file, "New\x01.umx", p.fs);
        const std::string now = readFile(file);
        if (st.ok()) {
            EXPECT_EQ(p.err, 0) << p.where << ": a failure reported as done";
            EXPECT_EQ(now, old + "\nNew\x01.umx\n") << p.where;
        } else {
            EXPECT_EQ(st.code, p.err) << p.where;
            EXPECT_EQ(now, old) << p.where;
        }
        EXPECT_EQ(strayNames(dir.path(), {"QuorvelDontMove.ini"}), Names{}) << p.where;
    });
}

TEST(NeverMoveFaultSweep, AddToAListThatIsNotThereYet) {
    FaultTally tally("never-move add, new file");
    sweepEveryOperation(tally, [&](SweepPoint& p) {
        TempDir dir;
        const std::string file = dir / "QuorvelDontMove.ini";
        const Status st = AppendNeverMoveName(file, "First.unr", p.fs);
        if (st.ok()) {
            EXPECT_EQ(p.err, 0) << p.where;
            EXPECT_EQ(readFile(file), "First.unr\r\n") << p.where;
        } else {
            EXPECT_EQ(st.code, p.err) << p.where;
            EXPECT_FALSE(fileExists(file)) << p.where;
        }
        EXPECT_EQ(strayNames(dir.path(), st.ok() ? Names{"QuorvelDontMove.ini"} : Names{}), Names{})
            << p.where;
    });
}

// One write to the player's game configuration: the value of an existing key, a key new to its
// section, a section new to the file.
struct ProfileWrite {
    const char* section;
    const char* key;
    const char* value;
};

class ProfileFaultSweep : public ::testing::TestWithParam<ProfileWrite> {};

TEST_P(ProfileFaultSweep, GameIniIsTheOldOrTheNewFile) {
    const ProfileWrite w = GetParam();
    const std::string original =
        readFile(std::string(QV_TEST_DATA_DIR) + "/settings/UnrealTournament.ini");
    ASSERT_GT(original.size(), 1000u);
    std::string expected;  // the file after the clean write
    FaultTally tally(std::string("profile write [") + w.section + "] " + w.key);
    sweepEveryOperation(tally, [&](SweepPoint& p) {
        TempDir dir;
        const std::string ini = dir / "UnrealTournament.ini";
        writeFile(ini, original);
        ScriptedDialogs dialogs;
        const bool ok = INIWriteSetting(w.section, w.key, w.value, ini, &dialogs, &p.fs);
        const std::string now = readFile(ini);
        if (p.err == 0) {
            ASSERT_TRUE(ok);
            ASSERT_NE(now, original);
            // Only the one setting changed: everything before and after it is the old bytes.
            std::size_t head = 0;
            while (head < now.size() && now[head] == original[head]) ++head;
            std::size_t tail = 0;
            while (tail < original.size() - head &&
                   now[now.size() - 1 - tail] == original[original.size() - 1 - tail])
                ++tail;
            EXPECT_LE(now.size() - head - tail, std::string(w.key).size() +
                                                    std::string(w.section).size() +
                                                    std::string(w.value).size() + 12);
            expected = now;
            EXPECT_TRUE(dialogs.shown.empty());
        } else if (ok) {
            ADD_FAILURE() << p.where << ": a failed write reported as done";
        } else {
            EXPECT_EQ(now, original) << p.where;
            ASSERT_EQ(dialogs.shown.size(), 1u) << p.where;
            EXPECT_EQ(dialogs.shown[0].title, "INIWriteSetting") << p.where;
            EXPECT_EQ(dialogs.shown[0].text, errorMessage(p.err)) << p.where;
        }
        EXPECT_EQ(strayNames(dir.path(), {"UnrealTournament.ini"}), Names{}) << p.where;
    });
}

INSTANTIATE_TEST_SUITE_P(Writes, ProfileFaultSweep,
                         ::testing::Values(ProfileWrite{"Core.System", "PurgeCacheDays", "7"},
                                           ProfileWrite{"Engine.Engine", "QuorvelNote", "kept"},
                                           ProfileWrite{"Quorvel", "Seen", "1"}));

// A store as both programs leave it, with values of every type in two keys.
const std::string kStore =
    "REGEDIT4\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\Software]\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Velmora]\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Velmora\\Quorvel2]\r\n"
    "\"CacheDir\"=\"/home/p/UT/Cache\"\r\n"
    "\"MoveNorm\"=\"True\"\r\n"
    "\"Count\"=dword:0000002a\r\n"
    "\"Blob\"=hex:01,02,ff\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Unreal Technology\\Installed Apps\\UnrealTournament]\r\n"
    "\"Folder\"=\"/home/p/UT/\"\r\n\r\n";

bool silentRegistryFailure(int err) {
    return err == EACCES;  // the registry's "access denied": callers take it as "not written"
}

struct RegistryWrite {
    const char* name;
    const char* value;
    bool freshStore;  // no store and no folder yet: the write creates both
};

class RegistryFaultSweep : public ::testing::TestWithParam<RegistryWrite> {};

TEST_P(RegistryFaultSweep, StoreIsTheOldOrTheNewFile) {
    const RegistryWrite w = GetParam();
    std::string expected;
    long silent = 0;
    FaultTally tally(std::string("registry write ") + w.name +
                     (w.freshStore ? " (new store)" : ""));
    sweepEveryOperation(tally, [&](SweepPoint& p) {
        TempDir dir;
        const std::string folder = dir / "config/Quorvel";
        const std::string store = folder + "/registry.reg";
        if (!w.freshStore) {
            test::makeDirs(folder);
            writeFile(store, kStore);
        }
        ScriptedDialogs dialogs;
        clsRegistry program(&dialogs, store, &p.fs);
        program.setMainBranch("Software");
        program.setRegBase("Velmora");
        program.setProgram("Quorvel2");
        program.setSection("");
        program.WriteEntry(w.name, w.value);

        const std::string now = fileExists(store) ? readFile(store) : std::string();
        const std::string old = w.freshStore ? std::string() : kStore;
        if (p.err == 0) {
            ASSERT_NE(now, old);
            expected = now;
            EXPECT_TRUE(dialogs.shown.empty());
        } else if (now != old) {
            EXPECT_EQ(now, expected) << p.where;
            ADD_FAILURE() << p.where << ": the store changed although a step failed";
        } else if (silentRegistryFailure(p.err)) {
            EXPECT_TRUE(dialogs.shown.empty()) << p.where;
            ++silent;
        } else {
            ASSERT_EQ(dialogs.shown.size(), 1u) << p.where;
            EXPECT_EQ(dialogs.shown[0].title, "SetKeyValue") << p.where;
            EXPECT_EQ(dialogs.shown[0].text, errorMessage(p.err)) << p.where;
        }
        // The other values read back as they were, whatever happened.
        if (!w.freshStore) {
            clsRegistry reader(nullptr, store);
            reader.setMainBranch("Software");
            reader.setRegBase("Velmora");
            reader.setProgram("Quorvel2");
            reader.setSection("");
            EXPECT_EQ(reader.ReadEntry("CacheDir", "-"), "/home/p/UT/Cache") << p.where;
            EXPECT_EQ(reader.ReadEntry("Count", "-"), "42") << p.where;
            EXPECT_EQ(RegistryFile(store)
                          .getValue(HKEY_LOCAL_MACHINE_ROOT, "Software\\Velmora\\Quorvel2", "Blob")
                          .value.value_or(RegValue{})
                          .data,
                      std::string("\x01\x02\xff", 3))
                << p.where;
        }
        if (std::filesystem::is_directory(folder)) {
            EXPECT_EQ(strayNames(folder, {"registry.reg", "registry.reg.lock"}), Names{})
                << p.where;
        }
    });
    // The same failure straight from the store says so in its status.
    for (int err : kSweepErrors) {
        TempDir dir;
        const std::string store = dir / "registry.reg";
        writeFile(store, kStore);
        FaultyFileSystem faulty(realFileSystem());
        faulty.failFrom(1, err);
        const Status st = RegistryFile(store, &faulty)
                              .setValue(HKEY_LOCAL_MACHINE_ROOT, "Software\\Velmora\\Quorvel2",
                                        w.name, {REG_SZ_TYPE, "x"});
        EXPECT_EQ(st.code, err);
        EXPECT_EQ(readFile(store), kStore);
    }
    std::printf("[ faults   ]   %ld of them (EACCES) left the store unchanged without a message\n",
                silent);
}

INSTANTIATE_TEST_SUITE_P(Writes, RegistryFaultSweep,
                         ::testing::Values(RegistryWrite{"MoveNorm", "False", false},
                                           RegistryWrite{"NewValue", "\xe9t\xe9", false},
                                           RegistryWrite{"CacheDir", "/x", true}));

}  // namespace
}  // namespace qv::robust
