// The fault sweep: every counted file operation of each user operation fails once in turn, with
// each of EACCES, ENOSPC, EXDEV and EIO. Whatever fails, nothing is lost or half-written, every
// file is its old or its new self, and no line of the status list or the log claims what did
// not happen.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <set>

#include "engine/cache/index_file.h"
#include "engine/run/run_log.h"
#include "settings/cls_registry.h"
#include "settings/mdl_ini.h"
#include "settings/never_move.h"
#include "settings/registry_file.h"
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
        if (n.rfind(".quorvel-tmp-", 0) == 0 || n == "cachefix.ini") out.push_back(n);
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
    // One failure never costs the backup: a link that fails is answered by a copy.
    EXPECT_TRUE(g.index() == old || readFile(g.cacheDir + "/cachebak.ini") == old)
        << where << ": a new index without the old one as its backup";
    // An index that stayed never shares its file with the backup: a later write into it would
    // change the backup too.
    std::error_code either;
    EXPECT_FALSE(g.index() == old &&
                 std::filesystem::equivalent(g.cacheDir + "/cache.ini",
                                             g.cacheDir + "/cachebak.ini", either))
        << where << ": cache.ini and cachebak.ini are one file";
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
    // An index not written is said as such, not put down to selection.
    if (std::any_of(sink.lines.begin(), sink.lines.end(),
                    [](auto& l) { return l.starts_with("CACHE.INI could not be replaced"); })) {
        EXPECT_FALSE(sink.said(kStatusNoteLine)) << where;
    }
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
    // Whatever the fault made of it, the run is judged by the cache, the index and its lines.
    (void)g.run(sink,
                {"CTF-Face.unr", "Rock.utx", "Song.umx", "Boom.uax", "Code.u", "readme.txt",
                 "Taken.unr", "Gone.unr"},
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
    const std::string old = g.addAndIndex({"DM-Deck", "Rock.utx", "CTF-Face"}, "\n");
    const std::string repaired =
        joinLines({"[Cache]", g.lines[1] + ".unr", g.lines[2], g.lines[3] + ".unr"}, LineEnd::CRLF);
    g.scan(&fs);
    const std::string now = g.index();
    EXPECT_TRUE(now == old || now == repaired) << where << ": " << now;
    const Lines said = g.dialogs.messages();
    EXPECT_EQ(std::count(said.begin(), said.end(), kRepairedMessage), now == repaired) << where;
    for (unsigned n = 1; n <= 3; ++n) EXPECT_TRUE(fileExists(g.cacheFile(n))) << where;
    // A failed removal of the displaced old index leaves it under its hidden name, unlocked: the
    // next run or purge removes it as a leftover.
    const auto* faulty = dynamic_cast<FaultyFileSystem*>(&fs);
    if (!faulty || faulty->lastFailed != "removeFile") {
        EXPECT_EQ(strays(g.cacheDir), Lines{}) << where;
    }
}

// The changes of a settings file, each by one call that says whether it was done (a failure is
// shown through `d`).
using Change = bool (*)(const std::string& file, FileSystem& fs, ScriptedDialogs& d);

bool shown(ScriptedDialogs& d, const Status& s) {
    if (!s.ok()) d.message("failed", s.text);
    return s.ok();
}
bool saveList(const std::string& file, FileSystem& fs, ScriptedDialogs& d) {
    return shown(d, SaveNeverMoveList(file, {"A.unr", "B\x01.u"}, fs));
}
bool addName(const std::string& file, FileSystem& fs, ScriptedDialogs& d) {
    return shown(d, AppendNeverMoveName(file, "N.u", fs));
}
bool writeProfile(const std::string& file, FileSystem& fs, ScriptedDialogs& d) {
    return INIWriteSetting("Core.System", "NewKey", "7", file, &d, &fs);
}
bool writeStore(const std::string& file, FileSystem& fs, ScriptedDialogs& d) {
    const RegValue v{REG_SZ_TYPE, "/UT/"};
    return shown(d, RegistryFile(file, &fs).setValue(HKEY_LOCAL_MACHINE_ROOT, "SW\\Q", "F", v));
}

const std::string kList = "CTF-Face.unr\r\nDM-\xe9t\xe9.unr\r\n  spaced .utx \r\n";
const std::string kIni = readFile(QV_TEST_DATA_DIR "/settings/UnrealTournament.ini");
const std::string kStore = "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SW\\X]\r\n\"a\"=\"1\"\r\n";

const struct Operation {
    const char* name;
    bool copyPath;  // every move takes the copy path of a move across file systems
    void (*once)(FileSystem&, int, const std::string&);  // else one change of a settings file:
    const char* file;
    std::string old;  // "": no file yet
    Change change;
} kOperations[] = {
    {"run", false, runOnce, nullptr, "", nullptr},
    {"run_copy_path", true, runOnce, nullptr, "", nullptr},
    {"purge", false, purgeOnce, nullptr, "", nullptr},
    {"repair", false, repairOnce, nullptr, "", nullptr},
    {"never_move_save", false, nullptr, "QuorvelDontMove.ini", kList, saveList},
    {"never_move_add", false, nullptr, "QuorvelDontMove.ini", "A.unr\nB.utx", addName},
    {"never_move_add_first", false, nullptr, "QuorvelDontMove.ini", "", addName},
    {"profile_write", false, nullptr, "UnrealTournament.ini", kIni, writeProfile},
    {"registry_write", false, nullptr, "registry.reg", kStore, writeStore},
};

// Afterwards the settings file is the old file and the failure was shown, or the new file (as
// the same call writes it without a fault) and nothing was shown.
void attempt(const Operation& op, FileSystem& fs, int err, const std::string& where) {
    if (op.once) return op.once(fs, err, where);
    TempDir dir(sweepBase());
    const std::string file = dir / op.file, reference = dir / "reference";
    if (!op.old.empty()) writeFile(file, op.old), writeFile(reference, op.old);
    ScriptedDialogs dialogs;
    ASSERT_TRUE(op.change(reference, realFileSystem(), dialogs));
    const bool done = op.change(file, fs, dialogs);
    const std::string now = readFile(file);  // "" when missing
    EXPECT_TRUE(err != 0 || (done && now != op.old)) << where;
    EXPECT_EQ(now, done ? readFile(reference) : op.old) << where;
    EXPECT_EQ(dialogs.messages().empty(), done) << where;
    EXPECT_EQ(strays(dir.path()), Lines{}) << where;
}

class FaultSweep : public ::testing::TestWithParam<Operation> {};

TEST_P(FaultSweep, EveryOperationFailsInTurnWithEveryError) {
    const Operation& op = GetParam();
    PosixFileSystem real;
    CopyingFileSystem copying(real);
    FileSystem& posix = op.copyPath ? static_cast<FileSystem&>(copying) : real;
    long total = 0;
    {
        FaultyFileSystem counting(posix);
        attempt(op, counting, 0, std::string(op.name) + " without a fault");
        total = counting.count;
    }
    ASSERT_GT(total, 0);
    if (HasFailure()) return;
    std::map<std::string, int> failed;  // by operation
    for (int err : {EACCES, ENOSPC, EXDEV, EIO}) {
        for (long k = 1; k <= total; ++k) {
            FaultyFileSystem fs(posix);
            fs.failAt(k, err);
            attempt(op, fs, err,
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
