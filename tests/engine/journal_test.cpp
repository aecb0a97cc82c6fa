// What a run's journal promises its undo, tried as a user would break it.

#include <cstring>
#include <filesystem>
#include <tuple>

#include "engine/run/run_journal.h"
#include "engine/run/undo.h"
#include "tests/support/faulty_filesystem.h"
#include "tests/support/game.h"

namespace qv::test {
namespace {

// A run that changes nothing touches no file: two of them in a row keep the real backup.
TEST(Journal, ARunThatChangesNothingWritesNothing) {
    Game g;
    g.addAndIndex({"notes.txt"}, "\n");
    writeFile(g.cacheDir + "/cachebak.ini", "[Cache]\r\nthe real backup\r\n");
    const std::string index = g.index();
    RecordingSink sink;
    for (const std::vector<std::string>& checked : {std::vector<std::string>{"notes.txt"}, {"-"}}) {
        const RunResult r = g.run(sink, checked);
        EXPECT_TRUE(r.nothingToDo);
        EXPECT_EQ(completionOf(r), Completion::Nothing);
    }
    EXPECT_TRUE(sink.said("No package is selected; nothing was changed."));
    EXPECT_EQ(readFile(g.cacheDir + "/cachebak.ini"), "[Cache]\r\nthe real backup\r\n");
    EXPECT_EQ(g.index(), index);  // LF line ends: a rewrite would have made them CR LF
    EXPECT_FALSE(fileExists(g.programFolder + "/Quorvel.log"));
    EXPECT_FALSE(fileExists(g.programFolder + "/runs"));
}

// A journal that cannot be written stops the run before its first move, with no question to
// go on without it, and leaves no empty journal. A number another run took between the listing
// and the creation is never written over.
TEST(Journal, WrittenExclusivelyAndBeforeTheFirstMove) {
    Game g;
    g.addAndIndex({"Face.unr", "Rock.utx"});
    const std::string index = g.index();
    FaultyFileSystem fs(g.posix);
    fs.failPath("1.journal", ENOSPC);
    RecordingSink sink;
    g.dialogs.answers = {true};  // a Yes to any question asked
    EXPECT_EQ(g.run(sink, {}, &fs).outcome, RunOutcome::Refused);
    EXPECT_EQ(g.dialogs.shown.size(), 1u);  // the message alone
    EXPECT_TRUE(
        has(g.dialogs.messages().back(), "so this run could not be undone; nothing was moved"));
    EXPECT_EQ(g.index(), index);
    EXPECT_TRUE(fileExists(g.cacheFile(1)) && fileExists(g.cacheFile(2)));
    EXPECT_FALSE(fileExists(g.programFolder + "/runs/1.journal"));
    EXPECT_FALSE(fileExists(g.programFolder + "/Quorvel.log"));

    fs.failPath("-", 0);
    fs.watch = [&](const char* op, const std::string& path, const std::string&, bool done) {
        if (!done && std::string(op) == "createNewFile" && path.ends_with("/1.journal"))
            writeFile(path, "another run's journal");
    };
    EXPECT_EQ(g.run(sink, {}, &fs).moved, 2u);
    EXPECT_EQ(readFile(g.programFolder + "/runs/1.journal"), "another run's journal");
    EXPECT_TRUE(fileExists(g.programFolder + "/runs/2.journal"));
}

// A journal that cannot hold the next landing stops the run before that move, as Stop does: what
// moved is recorded, history and the undo agree on it, and nothing says the run cannot be undone.
TEST(Journal, ALandingItCannotHoldStopsTheRunBeforeTheMove) {
    Game g;
    for (unsigned n = 1; n <= 3; ++n) g.add(n, "Map" + std::to_string(n) + ".unr");
    const std::string old = g.writeIndex();
    FaultyFileSystem fs(g.posix);
    int reserved = 0;
    fs.watch = [&](const char* op, const std::string& path, const std::string&, bool done) {
        if (!done && std::string(op) == "reserve" && path.ends_with("/1.journal") &&
            ++reserved == 2)
            fs.failAt(fs.count, ENOSPC);  // this one operation
    };
    RecordingSink sink;
    const RunResult r = g.run(sink, {}, &fs);
    EXPECT_TRUE(r.stopped);
    EXPECT_EQ(r.moved, 1u);
    EXPECT_TRUE(sink.said("The journal " + g.programFolder +
                          "/runs/1.journal cannot hold the record of another move (" +
                          std::strerror(ENOSPC) + "); the run stops here"));
    EXPECT_TRUE(has(g.log(), stoppedLine(1, 3) + "\r\n"));
    for (const std::string& l : sink.lines) EXPECT_EQ(l.find("cannot be undone"), l.npos) << l;
    EXPECT_EQ(g.index(), joinLines({"[Cache]", g.lines[2], g.lines[3]}, LineEnd::CRLF));
    const HistoryEntry run = RunHistory(g.programFolder, g.posix).at(0);
    EXPECT_TRUE(run.moved == 1 && run.finished);
    EXPECT_EQ(g.undo(sink).restored, 1u);
    for (unsigned n = 1; n <= 3; ++n) EXPECT_TRUE(fileExists(g.cacheFile(n)));
    EXPECT_EQ(splitLines(g.index()).size(), 4u);
}

// A run whose index could not be written: the next run removes the lines of what it moved in one
// summary, not with a NOT FOUND line each. It finds that run's journal past a newer journal of
// another cache, both large enough to be read only at their ends, and not when it was undone.
TEST(Journal, TheNextRunSumsUpTheLinesTheLastRunCouldNotRemove) {
    Game g;
    const std::string old = g.addAndIndex({"Face.unr", "Rock.utx"});
    RecordingSink sink;
    ASSERT_EQ(g.run(sink).moved, 2u);
    const std::string runs = g.programFolder + "/runs/";
    std::string journal = readFile(runs + "1.journal");
    const std::size_t afterStart = journal.find('\n', journal.find("\nS\t") + 1) + 1;
    for (int i = 0; i < 3000; ++i)  // lines a large run dropped: 190 KB
        journal.insert(afterStart, "D\t" + std::string(60, 'x') + "\n");
    std::string elsewhere = journal;
    elsewhere.replace(elsewhere.find(g.cacheDir), g.cacheDir.size(), g.cacheDir + "2");
    writeFile(runs + "2.journal", elsewhere + "U\t1\n");  // undone: taken, it would end the search
    const std::string summary =
        "2 lines of packages the last run moved were still in CACHE.INI (it could not be written "
        "then, or the game wrote them back) and were removed";
    for (const bool undone : {true, false}) {
        writeFile(runs + "1.journal", journal + (undone ? "U\t1\n" : ""));
        std::filesystem::remove(runs + "3.journal");
        writeFile(g.cacheDir + "/cache.ini", old);  // as a full disk left it
        g.state.rows.clear();
        RecordingSink next;
        (void)g.run(next);  // judged by what it says
        EXPECT_EQ(next.said(summary), !undone);
        EXPECT_EQ(next.said(guidOf(1) + ".uxx NOT FOUND in the Cache Directory"), undone);
        EXPECT_EQ(g.index(), "[Cache]\r\n");
    }
}

// A run killed between a move and its record: what landed is found by the header's GUID (in the
// header, or in an old package's heritage table) or, a copy whose source was not yet removed, by
// its bytes; another file at the destination is not. Once the look is recorded (its M record and
// K) the journal holds it, and no later look takes another file for the run's.
TEST(Journal, ALandingAKillLeftUnrecordedIsFoundByItsGuidOrItsBytes) {
    enum Disk { AsLanded, OtherGuid, CopyBeside, OtherBeside };
    const struct {
        const char* name;
        std::uint16_t version;
        Disk disk;
        bool found;
    } cases[] = {
        {"GUID in the header", 69, AsLanded, true},
        {"GUID in the heritage table", 61, AsLanded, true},
        {"another package of that name", 69, OtherGuid, false},
        {"a copy beside its cache file", 69, CopyBeside, true},
        {"another file beside the cache file", 69, OtherBeside, false},
    };
    for (const auto& c : cases) {
        Game g;
        pkg::PackageSpec spec;
        spec.guid = guidOf(1);
        spec.version = c.version;
        const std::string bytes = pkg::writePackage(spec);
        g.add(1, "Face.unr", false);
        writeFile(g.cacheFile(1), bytes);
        g.writeIndex();
        RecordingSink sink;
        ASSERT_EQ(g.run(sink).moved, 1u) << c.name;
        const std::string journal = g.programFolder + "/runs/1.journal",
                          dest = g.game + "/Maps/Face.unr";
        std::string cut;  // as the kill left it: no landing, no end
        for (const std::string& line : splitLines(readFile(journal)))
            if (!line.starts_with("M") && !line.starts_with("E")) cut += line + "\n";
        writeFile(journal, cut);
        spec.guid = guidOf(2);
        if (c.disk == OtherGuid) writeFile(dest, pkg::writePackage(spec));
        if (c.disk == CopyBeside) writeFile(g.cacheFile(1), bytes);
        if (c.disk == OtherBeside) writeFile(g.cacheFile(1), bytes + "x");

        JournalRecord r;
        ASSERT_TRUE(readJournal(g.posix, journal, r, true)) << c.name;
        EXPECT_TRUE(lookForUnrecordedLandings(g.posix, r)) << c.name;
        EXPECT_EQ(r.recovered, c.found ? std::vector<std::size_t>{0} : std::vector<std::size_t>{})
            << c.name;
        EXPECT_EQ(r.moved, c.found ? 1u : 0u) << c.name;
        EXPECT_TRUE(r.settled) << c.name;
        ASSERT_TRUE(recordLandingsFound(g.posix, r).ok()) << c.name;
        JournalRecord again;
        ASSERT_TRUE(readJournal(g.posix, journal, again, true)) << c.name;
        EXPECT_TRUE(again.settled) << c.name;
        EXPECT_EQ(again.moved, r.moved) << c.name;
        EXPECT_FALSE(lookForUnrecordedLandings(g.posix, again)) << c.name;
    }
}

// A large journal read at its ends says what it says read whole (its kind, cache folder, end and
// undo's mark): finished, undone, killed with its mapped room left as zeros, and with a record
// that starts right at the edge of the last block read.
TEST(Journal, ReadAtItsEndsAsReadWhole) {
    TempDir dir;
    PosixFileSystem fs;
    std::string start = "QUORVEL-JOURNAL 1\nS\trun\t1\t/cache\\tdir\tuxx\n";
    for (int i = 0; i < 8000; ++i) start += "P\tA=Map" + std::to_string(i) + ".unr\t0\n";
    const std::string zeros(300000, '\0');
    const std::string edgeMark = "U\t" + std::string(65533, '1') + "\n";  // the last 64 KiB
    const std::vector<std::string> ends = {"E\t2\n", "E\t2\nU\t1\n", zeros, zeros + "\nU\t1\n",
                                           edgeMark};
    for (std::size_t k = 0; k < ends.size(); ++k) {
        writeFile(dir / "j.journal", start + ends[k]);
        JournalRecord whole, atEnds;
        ASSERT_TRUE(readJournal(fs, dir / "j.journal", whole, false));
        ASSERT_TRUE(readJournalEnds(fs, dir / "j.journal", atEnds));
        EXPECT_EQ(std::tie(atEnds.kind, atEnds.cacheDir, atEnds.finished, atEnds.undone),
                  std::tie(whole.kind, whole.cacheDir, whole.finished, whole.undone))
            << k;
        EXPECT_EQ(atEnds.cacheDir, "/cache\tdir");
    }
}

// An undo that reaches nothing (the game folder on a disk not mounted now) leaves the run
// undoable; an edit that kept size and time is seen by its change time; the folders the run made
// go when it leaves them empty.
TEST(Journal, UndoneOnlyWhenEverythingThatCanGoBackWent) {
    Game g;
    g.addAndIndex({"Face.unr", "Rock.utx"});
    Options tree;
    tree.MoveNorm = false, tree.MoveDir2 = true, tree.MoveDir2Text = g.tmp / "disk/tree";
    makeDirs(g.tmp / "disk");
    RecordingSink sink;
    ASSERT_EQ(g.run(sink, {}, nullptr, tree).moved, 2u);
    const std::string rock = g.tmp / "disk/tree/Textures/Rock.utx";
    const std::filesystem::file_time_type before = std::filesystem::last_write_time(rock);
    writeFile(rock, std::string(readFile(rock).size(), 'e'));  // same size
    std::filesystem::last_write_time(rock, before);            // same modification time

    // A journal a full disk cut inside a record takes the undone mark on a line of its own.
    writeFile(g.tmp / "cut.journal", readFile(g.programFolder + "/runs/1.journal") + "M\t1\t5");
    ASSERT_TRUE(markUndone(g.posix, g.tmp / "cut.journal").ok());
    JournalRecord cut;
    EXPECT_TRUE(readJournal(g.posix, g.tmp / "cut.journal", cut, false) && cut.undone);
    // Killed while the second landing was copied into the journal's mapped end, its first byte
    // not yet in: no landing, and the room after it is no record; the mark still counts.
    const std::string run = readFile(g.programFolder + "/runs/1.journal");
    const std::size_t second = run.find("\nM\t1\t") + 1, end = run.find('\n', second);
    writeFile(g.tmp / "killed.journal", run.substr(0, second) + '\0' +
                                            run.substr(second + 1, end - second) +
                                            std::string(4096, '\0'));
    ASSERT_TRUE(markUndone(g.posix, g.tmp / "killed.journal").ok());
    JournalRecord killed;
    ASSERT_TRUE(readJournal(g.posix, g.tmp / "killed.journal", killed, true));
    EXPECT_TRUE(killed.undone && !killed.finished && killed.moved == 1);
    EXPECT_TRUE(killed.entries.at(0).landed && !killed.entries.at(1).landed);

    std::filesystem::rename(g.tmp / "disk", g.tmp / "unmounted");
    EngineContext ctx{g.posix, g.dialogs};
    ctx.uid = 4321;  // not root: the log says other users' programs went unchecked
    UndoResult undo = UndoRun({g.programFolder, "", false, g.cacheDir}, ctx, sink);
    EXPECT_EQ(undo.unreachable, 2u);
    EXPECT_EQ(completionOf(undo), Completion::Nothing);
    EXPECT_FALSE(RunHistory(g.programFolder, g.posix)[0].undone);

    std::filesystem::rename(g.tmp / "unmounted", g.tmp / "disk");
    undo = UndoRun({g.programFolder, "", false, g.cacheDir}, ctx, sink);
    EXPECT_EQ(undo.restored, 1u);
    EXPECT_EQ(undo.stayed, 1u);
    EXPECT_TRUE(sink.said("Rock.utx has changed since the run and stays at " + rock));
    EXPECT_TRUE(RunHistory(g.programFolder, g.posix)[0].undone);
    EXPECT_TRUE(has(g.log(), kOthersUnseenNote));
    EXPECT_EQ(listNames(g.tmp / "disk/tree"), std::vector<std::string>{"Textures"});
}

}  // namespace
}  // namespace qv::test
