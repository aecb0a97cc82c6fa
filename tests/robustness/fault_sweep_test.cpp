// The fault sweep: every counted file operation of each user operation fails once in turn, with
// each of EACCES, ENOSPC, EXDEV and EIO. Whatever fails, nothing is lost or half-written, every
// file is its old or its new self, and no line of the status list or the log claims what did
// not happen.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <set>

#include "engine/run_index.h"
#include "settings/clsRegistry.h"
#include "settings/mdlINI.h"
#include "settings/never_move.h"
#include "tests/support/faulty_filesystem.h"
#include "tests/support/game.h"

namespace qv::test {
namespace {

using Lines = std::vector<std::string>;

// tmpfs when there is one: the copy path flushes every file it writes.
std::string sweepBase() {
    return ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "";
}

// Leftovers of a write cut short, in `folder`.
Lines strays(const std::string& folder) {
    Lines out;
    for (const std::string& n : listNames(folder))
        if (n.rfind(".quorvel-tmp-", 0) == 0 || n == kNewIndexTempName || n == "cachefix.ini")
            out.push_back(n);
    return out;
}

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Claims of a replaced index must be true, in the status list and in the log.
void expectHonestIndexClaims(const Game& g, const Lines& status, const std::string& old,
                             const std::string& where) {
    // A run that kept every line writes the old text again: the backup shows it happened.
    const bool replaced = g.index() != old || readFile(g.cacheDir + "/cachebak.ini") == old;
    for (const char* claim :
         {"CACHE.INI was renamed to CACHEBAK.INI", "A new CACHE.INI was created"}) {
        bool said = false;
        for (const std::string& l : status) said |= has(l, claim);
        EXPECT_FALSE(!replaced && said) << where << ": status claims " << claim;
        EXPECT_FALSE(!replaced && has(g.log(), claim)) << where << ": log claims " << claim;
    }
}

void checkRun(Game& g, const std::vector<Package>& packages, const RecordingSink& sink,
              const std::string& old, const std::string& where) {
    EXPECT_EQ(expectNothingLost(g, packages, old, where, {"Taken.unr", "UnrealTournament.ini"}), 0);
    expectHonestIndexClaims(g, sink.lines, old, where);
    const std::string log = g.log();
    for (const Package& p : packages) {
        const std::string claim = "**OLD** " + guidOf(p.n) + ".uxx ";
        bool claimed = has(log, claim);
        for (const std::string& l : sink.lines) claimed |= has(l, claim);
        EXPECT_TRUE(!claimed ||
                    (g.placed(g.game + "/" + p.folder, p.name) && !fileExists(g.cacheFile(p.n))))
            << where << ": claimed move of " << p.name;
    }
    EXPECT_EQ(readFile(g.game + "/Maps/Taken.unr"), "someone else's") << where;
    EXPECT_EQ(strays(g.cacheDir), Lines{}) << where;
}

void runOnce(FileSystem& fs, int, const std::string& where) {
    Game g(sweepBase());
    const std::vector<Package> packages = {{1, "CTF-Face.unr", "Maps"}, {2, "Rock.utx", "Textures"},
                                           {3, "Song.umx", "Music"},    {4, "Boom.uax", "Sounds"},
                                           {5, "Code.u", "System"},     {6, "readme.txt", ""},
                                           {7, "Taken.unr", ""},        {8, "Unchecked.umx", ""}};
    for (const Package& p : packages) g.add(p.n, p.name);
    g.add(9, "Gone.unr", false);
    writeFile(g.game + "/Maps/Taken.unr", "someone else's");
    const std::string old = g.writeIndex();
    RecordingSink sink;
    g.run(sink,
          {"CTF-Face.unr", "Rock.utx", "Song.umx", "Boom.uax", "Code.u", "readme.txt", "Taken.unr",
           "Gone.unr"},
          &fs);
    checkRun(g, packages, sink, old, where);
}

void purgeOnce(FileSystem& fs, int, const std::string& where) {
    Game g(sweepBase());
    std::vector<Package> packages;
    for (unsigned n = 1; n <= 4; ++n) packages.push_back({n, "P" + std::to_string(n) + ".unr", ""});
    for (const Package& p : packages) g.add(p.n, p.name);
    g.add(5, "Gone.unr", false);
    const std::string old = g.writeIndex("\n");
    g.dialogs.answers = {true};
    RecordingSink sink;
    g.purge(sink, &fs);
    const Lines lines = expectIndexFromOld(g, old, where);
    expectHonestIndexClaims(g, sink.lines, old, where);
    for (const Package& p : packages) {
        if (!fileExists(g.cacheFile(p.n))) continue;
        EXPECT_EQ(std::count(lines.begin(), lines.end(), g.line(p.n, p.name)), 1) << where << p.n;
        EXPECT_FALSE(sink.said("All cache files have been deleted")) << where;
    }
    EXPECT_EQ(strays(g.cacheDir), Lines{}) << where;
}

const std::string kRepairedMessage = "Auto-corrected all missing map extensions...";

void repairOnce(FileSystem& fs, int, const std::string& where) {
    Game g(sweepBase());
    g.add(1, "DM-Deck");
    g.add(2, "Rock.utx");
    g.add(3, "CTF-Face");
    const std::string old = g.writeIndex("\n");
    const std::string repaired =
        joinLines({"[Cache]", g.lines[1] + ".unr", g.lines[2], g.lines[3] + ".unr"}, LineEnd::CRLF);
    g.scan(&fs);
    const std::string now = g.index();
    EXPECT_TRUE(now == old || now == repaired) << where << ": " << now;
    const Lines said = g.dialogs.messages();
    EXPECT_EQ(std::count(said.begin(), said.end(), kRepairedMessage), now == repaired) << where;
    for (unsigned n = 1; n <= 3; ++n) EXPECT_TRUE(fileExists(g.cacheFile(n))) << where;
    EXPECT_EQ(strays(g.cacheDir), Lines{}) << where;
}

// A settings file changed through `change`: afterwards it is the old file, and the failure was
// reported, or the new file (as the clean run wrote it), reported as done.
using Change = std::function<bool(const std::string& file, FileSystem& fs, ScriptedDialogs& d)>;

void fileOnce(const char* name, const std::string& old, Change change, FileSystem& fs, int err,
              const std::string& where) {
    TempDir dir(sweepBase());
    const std::string file = dir / name, reference = dir / "reference";
    if (!old.empty()) writeFile(file, old), writeFile(reference, old);
    ScriptedDialogs dialogs;
    ASSERT_TRUE(change(reference, realFileSystem(), dialogs));
    const bool done = change(file, fs, dialogs);
    const std::string now = readFile(file);  // "" when missing
    EXPECT_TRUE(err != 0 || (done && now != old)) << where;
    EXPECT_EQ(now, done ? readFile(reference) : old) << where;
    EXPECT_EQ(dialogs.messages().empty(), done) << where;
    EXPECT_EQ(strays(dir.path()), Lines{}) << where;
}

const std::string kList = "CTF-Face.unr\r\nDM-\xe9t\xe9.unr\r\n  spaced .utx \r\n";

const struct Operation {
    const char* name;
    bool copyPath;  // every move takes the copy path of a move across file systems
    std::function<void(FileSystem&, int, const std::string&)> once;
} kOperations[] = {
    {"run", false, runOnce},
    {"run_copy_path", true, runOnce},
    {"purge", false, purgeOnce},
    {"repair", false, repairOnce},
    {"never_move_save", false,
     [](FileSystem& fs, int err, const std::string& where) {
         fileOnce(
             "QuorvelDontMove.ini", kList,
             [](auto& file, auto& fs, auto& d) {
                 const Status s = SaveNeverMoveList(file, {"A.unr", "B\x01.u"}, fs);
                 if (!s.ok()) d.message("save", s.text);
                 return s.ok();
             },
             fs, err, where);
     }},
    {"never_move_add", false,
     [](FileSystem& fs, int err, const std::string& where) {
         for (const std::string& old : {std::string("A.unr\nB.utx"), std::string()})
             fileOnce(
                 "QuorvelDontMove.ini", old,
                 [](auto& file, auto& fs, auto& d) {
                     const Status s = AppendNeverMoveName(file, "New.umx", fs);
                     if (!s.ok()) d.message("add", s.text);
                     return s.ok();
                 },
                 fs, err, where);
     }},
    {"profile_write", false,
     [](FileSystem& fs, int err, const std::string& where) {
         const std::string ini = readFile(QV_TEST_DATA_DIR "/settings/UnrealTournament.ini");
         for (const char* key : {"PurgeCacheDays", "NewKey"})
             fileOnce(
                 "UnrealTournament.ini", ini,
                 [key](auto& file, auto& fs, auto& d) {
                     return INIWriteSetting("Core.System", key, "7", file, &d, &fs);
                 },
                 fs, err, where);
     }},
    {"registry_write", false,
     [](FileSystem& fs, int err, const std::string& where) {
         const std::string old =
             "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\X]\r\n\"a\"=\"1\"\r\n";
         fileOnce(
             "registry.reg", old,
             [](auto& file, auto& fs, auto& d) {
                 const Status s = RegistryFile(file, &fs).setValue(
                     HKEY_LOCAL_MACHINE_ROOT, "SOFTWARE\\Quorvel", "Folder", {REG_SZ_TYPE, "/UT/"});
                 if (!s.ok()) d.message("write", s.text);
                 return s.ok();
             },
             fs, err, where);
     }},
};

class FaultSweep : public ::testing::TestWithParam<Operation> {};

TEST_P(FaultSweep, EveryOperationFailsInTurnWithEveryError) {
    const Operation& op = GetParam();
    PosixFileSystem posix;
    posix.setForceCrossDevice(op.copyPath);
    long total = 0;
    {
        FaultyFileSystem counting(posix);
        op.once(counting, 0, std::string(op.name) + " without a fault");
        total = counting.count;
    }
    ASSERT_GT(total, 0);
    if (HasFailure()) return;
    std::map<std::string, int> failed;  // by operation
    for (int err : {EACCES, ENOSPC, EXDEV, EIO}) {
        for (long k = 1; k <= total; ++k) {
            FaultyFileSystem fs(posix);
            fs.failAt(k, err);
            op.once(fs, err,
                    std::string(op.name) + " k=" + std::to_string(k) + " " + std::strerror(err));
            EXPECT_EQ(fs.injected, 1) << op.name << " k=" << k;
            ++failed[fs.lastFailed];
            if (HasFailure()) return;  // one broken case is enough to read
        }
    }
    std::string tally;
    for (const auto& [name, n] : failed) tally += " " + name + "=" + std::to_string(n);
    std::printf("[ sweep ] %s: %ld operations x 4 errors:%s\n", op.name, total, tally.c_str());
}

INSTANTIATE_TEST_SUITE_P(Operations, FaultSweep, ::testing::ValuesIn(kOperations),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qv::test
