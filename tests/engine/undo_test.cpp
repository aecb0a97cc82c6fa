// Undo of a run, as a user would try it.
#include "engine/run/undo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <filesystem>

#include "engine/cache/index_transaction.h"
#include "engine/maintenance/maintenance.h"
#include "engine/run/run_journal.h"
#include "tests/support/faulty_filesystem.h"
#include "tests/support/game.h"

namespace qv::test {
namespace {

// A run, then the player edits one package and the game downloads another: the undo puts the
// rest back (the property over random caches tries every mode), names the edited one, and keeps
// the download.
TEST(Undo, PutsTheRunsPackagesBackAndLeavesWhatChangedSinceNamed) {
    Game g;
    const std::vector<std::string> names = {"DM-Deck.unr", "Skin.utx", "Tune.umx",
                                            "Bang.uax",    "Mod.u",    "notes.txt"};
    for (unsigned i = 0; i < names.size(); ++i) g.add(i + 1, names[i]);
    g.writeIndex();
    const std::set<std::string> before = snapshot(g);
    RecordingSink sink;
    const RunResult run = g.run(sink);
    ASSERT_EQ(run.moved, 5u);
    // After the run the player edits one package and the game downloads another.
    const std::string edited = g.game + "/Maps/DM-Deck.unr";
    writeFile(edited, "edited");
    g.add(9, "New.unr");
    writeFile(g.cacheDir + "/cache.ini", g.index() + g.line(9, "New.unr") + "\r\n");
    std::set<std::string> expected = before;
    expected.erase(g.cacheFile(1) + " : " + bytesOf("DM-Deck.unr", 1));
    expected.erase("line " + g.line(1, "DM-Deck.unr"));
    expected.insert({edited + " : edited", "line " + g.line(9, "New.unr"),
                     g.cacheFile(9) + " : " + bytesOf("New.unr", 9)});
    // A foreign file at a package's cache name: it stays, the package stays, no line is added.
    const std::string skin = g.game + "/Textures/Skin.utx";
    writeFile(g.cacheFile(2), "foreign");
    expected.erase(g.cacheFile(2) + " : " + bytesOf("Skin.utx", 2));
    expected.erase("line " + g.line(2, "Skin.utx"));
    expected.insert({g.cacheFile(2) + " : foreign", skin + " : " + bytesOf("Skin.utx", 2)});

    EngineContext ctx{g.posix, g.dialogs};
    const std::set<std::string> afterRun = snapshot(g);
    RecordingSink dry;
    const UndoResult preview = UndoRun({g.programFolder, "", true, g.cacheDir}, ctx, dry);
    EXPECT_EQ(preview.outcome, UndoOutcome::DryRun);
    EXPECT_EQ(preview.restored, 3u);
    EXPECT_EQ(snapshot(g), afterRun);  // a dry run moves nothing

    RecordingSink undoLines;
    const UndoResult undo = g.undo(undoLines);
    EXPECT_EQ(undo.outcome, UndoOutcome::Done);
    EXPECT_EQ(undo.restored, 3u);
    EXPECT_EQ(undo.stayed, 2u);
    EXPECT_EQ(undo.linesAdded, 3u);
    EXPECT_EQ(completionOf(undo), Completion::Part);
    EXPECT_EQ(snapshot(g), expected);
    const std::string named = "DM-Deck.unr has changed since the run and stays at " + edited;
    EXPECT_TRUE(undoLines.said(named));
    EXPECT_TRUE(has(g.log(), named));
    EXPECT_TRUE(fileExists(g.cacheDir + "/cachebak.ini"));

    // Undoing twice does nothing the second time, by default or by the run's ID.
    RecordingSink again;
    EXPECT_EQ(g.undo(again).outcome, UndoOutcome::NothingToUndo);
    EXPECT_EQ(UndoRun({g.programFolder, undo.runId, false, {}}, ctx, again).outcome,
              UndoOutcome::AlreadyUndone);
    EXPECT_EQ(snapshot(g), expected);
}

// A cache copy a run removed because the same bytes were installed comes back with its line.
TEST(Undo, ACacheCopyRemovedAsSpareComesBackWithItsLine) {
    Game g;
    const std::string old = g.addAndIndex({"Face.unr"});
    writeFile(g.game + "/Maps/Face.unr", bytesOf("Face.unr", 1));  // installed already
    RecordingSink sink;
    ASSERT_EQ(g.run(sink).outcome, RunOutcome::Completed);
    ASSERT_FALSE(fileExists(g.cacheFile(1)));
    EXPECT_EQ(g.undo(sink).restored, 1u);
    EXPECT_EQ(readFile(g.cacheFile(1)), bytesOf("Face.unr", 1));
    EXPECT_EQ(g.index(), old);
    EXPECT_TRUE(fileExists(g.game + "/Maps/Face.unr"));
    EXPECT_TRUE(RunHistory(g.programFolder, g.posix)[0].undone);
}

// A run cut short before it could say what landed, and an undo cut short, are finished by the
// next undo; purges are listed and never undone; only the last runs are kept.
TEST(UndoHistory, KilledRunsAreUndoneAndPurgesAreNot) {
    Game g;
    g.addAndIndex({"CTF-Face.unr", "Rock.utx"});
    const std::set<std::string> before = snapshot(g);
    RecordingSink sink;
    ASSERT_EQ(g.run(sink).moved, 2u);
    // As a killed run leaves its journal: the plans, no identities, no end; its index unwritten.
    const std::string journal = g.programFolder + "/runs/1.journal";
    std::string text;
    for (const std::string& line : splitLines(readFile(journal)))
        if (!line.starts_with("M") && !line.starts_with("E")) text += line + "\n";
    writeFile(journal, text);
    writeFile(g.cacheDir + "/cache.ini", g.lines[0] + "\r\n" + g.lines[1] + "\r\n");
    // An undo cut short: one package already back, without its line.
    std::filesystem::rename(g.game + "/Textures/Rock.utx", g.cacheFile(2));

    EngineContext ctx{g.posix, g.dialogs};
    const UndoResult undo = g.undo(sink);
    EXPECT_EQ(undo.outcome, UndoOutcome::Done);
    EXPECT_EQ(undo.restored, 1u);
    EXPECT_EQ(undo.linesAdded, 1u);  // Rock.utx's; CTF-Face.unr's was never removed
    EXPECT_EQ(snapshot(g), before);

    g.dialogs.answers = {true};
    EXPECT_EQ(g.purge(sink), PurgeOutcome::Done);
    for (unsigned i = 0; i < 19; ++i) {  // a run that moves nothing leaves no journal
        g.lines = {"[Cache]"};
        g.add(10 + i, "Map" + std::to_string(i) + ".unr");
        g.writeIndex();
        ASSERT_EQ(g.run(sink).moved, 1u);
    }
    const std::vector<HistoryEntry> history = RunHistory(g.programFolder, g.posix);
    ASSERT_EQ(history.size(), kJournalsKept);
    EXPECT_EQ(history[0].id, "21");  // the first run's journal went
    EXPECT_TRUE(history.back().purge);
    EXPECT_TRUE(has(historyLine(history.back()), "cannot be undone"));
    EXPECT_EQ(UndoRun({g.programFolder, "2", false, {}}, ctx, sink).outcome,
              UndoOutcome::NotUndoable);
}

// History counts what was done: a run's moves apart from the cache copies it removed (the undo
// counts them the same way), an undo stopped part way shows as such and announces the new index
// once, and a purge counts the files it deleted, not the lines whose file was gone.
TEST(UndoHistory, CountsMovesCopiesPartialUndosAndDeletedFilesApart) {
    Game g;
    g.addAndIndex({"Face.unr", "Rock.utx", "Tune.umx"});
    writeFile(g.game + "/Music/Tune.umx", bytesOf("Tune.umx", 3));  // installed already
    RecordingSink sink;
    ASSERT_EQ(g.run(sink).moved, 3u);  // two moves and the removed copy
    EXPECT_TRUE(has(historyLine(RunHistory(g.programFolder, g.posix).at(0)),
                    "run, 2 packages moved, 1 cache copy removed"));

    std::atomic<bool> stop{false};
    FaultyFileSystem stopping(g.posix);
    stopping.watch = [&](const char* op, const std::string&, const std::string&, bool done) {
        stop = stop || (done && std::string(op) == "moveListedFile");
    };
    EngineContext stoppable{stopping, g.dialogs, &stop};
    RecordingSink stopped;
    const UndoResult part = UndoRun({g.programFolder, "", false, g.cacheDir}, stoppable, stopped);
    ASSERT_TRUE(part.stopped);
    EXPECT_EQ(part.restored, 1u);
    EXPECT_EQ(std::count_if(stopped.lines.begin(), stopped.lines.end(),
                            [](const std::string& l) { return l.starts_with("A new CACHE.INI"); }),
              1);
    const HistoryEntry afterStop = RunHistory(g.programFolder, g.posix).at(0);
    EXPECT_TRUE(has(historyLine(afterStop), "partly undone (1 put back)"));

    EngineContext ctx{g.posix, g.dialogs};
    RecordingSink rest;
    const UndoResult undo = g.undo(rest);
    EXPECT_EQ(undo.copiedBack, 1u);
    EXPECT_TRUE(
        rest.said("1 package was moved back into the cache, 1 removed cache copy was "
                  "copied back, 2 lines added to CACHE.INI; 0 stay where they are"));
    EXPECT_TRUE(has(historyLine(RunHistory(g.programFolder, g.posix).at(0)), ", undone"));

    // One line of the purged index has no file: it leaves the index, but was not deleted.
    std::filesystem::remove(g.cacheFile(1));
    g.dialogs.answers = {true};
    PurgeResult purged;
    ASSERT_EQ(PurgeCache(g.pv, ctx, sink, {}, &purged), PurgeOutcome::Done);
    EXPECT_EQ(purged.deleted, 2u);
    EXPECT_EQ(purged.linesDropped, 1u);
    EXPECT_TRUE(has(historyLine(RunHistory(g.programFolder, g.posix).at(0)),
                    "purge, 2 cache files deleted"));

    // A run whose only work is dropping the line of a package the last run moved (its index
    // written back over, as when that run was killed) says so, not "0 packages moved".
    g.lines = {"[Cache]"};
    g.add(20, "Gone.unr");
    g.writeIndex();
    ASSERT_EQ(g.run(sink).moved, 1u);
    g.writeIndex();
    RecordingSink dropping;
    EXPECT_EQ(g.run(dropping).moved, 0u);
    EXPECT_TRUE(has(historyLine(RunHistory(g.programFolder, g.posix).at(0)),
                    "run, 1 index line without a cache file dropped  "));
}

// A package replaced after the undo looked at it, right before its move back, must not enter the
// cache under the run's name: it goes back where it was, is named, and its line leaves the index.
TEST(UndoRace, APackageReplacedBeforeItsMoveBackStays) {
    Game g;
    g.addAndIndex({"CTF-Face.unr", "Rock.utx"});
    RecordingSink lines;
    ASSERT_EQ(g.run(lines).moved, 2u);
    FaultyFileSystem fs{g.posix};
    const std::string rock = g.game + "/Textures/Rock.utx";
    fs.watch = [&](const char* op, const std::string& path, const std::string&, bool done) {
        if (done || std::string(op) != "moveListedFile" || path != rock) return;
        writeFile(rock + ".new", "another Rock.utx");
        std::filesystem::rename(rock + ".new", rock);
    };
    const UndoResult undo = g.undo(lines, &fs);
    EXPECT_EQ(undo.restored, 1u);
    EXPECT_EQ(undo.stayed, 1u);
    EXPECT_EQ(readFile(rock), "another Rock.utx");
    EXPECT_FALSE(fileExists(g.cacheFile(2)));
    EXPECT_FALSE(has(readFile(g.cacheDir + "/cache.ini"), g.line(2, "Rock.utx")));
    EXPECT_TRUE(has(readFile(g.cacheDir + "/cache.ini"), g.line(1, "CTF-Face.unr")));
    EXPECT_TRUE(lines.said("Rock.utx has changed since the run and stays at " + rock));
}

// cache.ini that cannot be read once the lines went in: the undo says so, and names no line as
// not kept that may well be there.
TEST(UndoFaults, AnIndexUnreadableAtTheEndIsSaidSoItsLinesAreNotNamedAsLost) {
    Game g;
    g.addAndIndex({"CTF-Face.unr"});
    RecordingSink lines;
    ASSERT_EQ(g.run(lines).moved, 1u);
    FaultyFileSystem fs{g.posix};
    fs.watch = [&](const char* op, const std::string&, const std::string&, bool done) {
        if (done && std::string(op) == "moveListedFile") fs.failPath("cache.ini", EACCES);
    };
    RecordingSink undoLines;
    const UndoResult undo = g.undo(undoLines, &fs);
    EXPECT_EQ(undo.outcome, UndoOutcome::Done);
    EXPECT_EQ(undo.restored, 1u);
    EXPECT_EQ(completionOf(undo), Completion::Part);  // the line may be lost: not all is known
    EXPECT_TRUE(undoLines.said("CACHE.INI could not be read again (" +
                               Status::fromErrno(EACCES).text +
                               "): whether the 1 line added to it is still there is not known"));
    EXPECT_FALSE(undoLines.said(notKeptLine(g.line(1, "CTF-Face.unr"))));
    EXPECT_TRUE(has(readFile(g.cacheDir + "/cache.ini"), g.line(1, "CTF-Face.unr")));
}

}  // namespace
}  // namespace qv::test
