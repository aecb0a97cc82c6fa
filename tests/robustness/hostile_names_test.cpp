// Index lines a server or a damaged disk may leave behind: names that would reach outside their
// folder, control bytes, bytes that are not UTF-8, NUL bytes and lines of a mebibyte. A run keeps
// every such line, moves no such package and says why; the scan shows the bytes as they are.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <set>

#include "engine/placement.h"
#include "engine/scan.h"
#include "platform/textfile.h"
#include "settings/mdlINI.h"
#include "settings/never_move.h"
#include "tests/engine/run_fixture.h"
#include "tests/engine/scan_fixture.h"
#include "tests/robustness/robust_fixture.h"

namespace qv::robust {
namespace {

using runtest::contentOf;
using runtest::guidOf;
using runtest::RecordingSink;
using runtest::RunGame;
using test::fileExists;
using test::readFile;
using test::writeFile;
using Lines = std::vector<std::string>;

// Every path under `root` (links not followed), relative to it.
std::set<std::string> treeOf(const std::string& root) {
    std::set<std::string> paths;
    for (auto it = std::filesystem::recursive_directory_iterator(root);
         it != std::filesystem::recursive_directory_iterator(); ++it)
        paths.insert(std::filesystem::relative(it->path(), root).string());
    return paths;
}

bool hasLine(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

const std::string kMiB(1 << 20, 'M');

// Real names that must never be joined to a folder.
const Lines kUnsafeNames = {"sub/evil.unr",  "..\\evil.unr",
                            "/etc/evil.u",   "..",
                            "C:evil.unr",    "c:\\Maps\\x.unr",
                            "Bell\x07.unr",  "Tab\tName.utx",
                            "Del\x7f.umx",   std::string("Nul\0Inside.unr", 14),
                            "Esc\x1b[2J.uax"};

TEST(HostileIndexNames, UnsafeNamesStayWithTheirLinesAndAreReported) {
    RunGame g;
    RecordingSink sink;
    Lines checked;
    unsigned n = 1;
    for (const std::string& name : kUnsafeNames) {
        g.add(n++, name);
        checked.push_back(name);
    }
    // A GUID field that climbs out of the cache folder, with a decoy where it would lead.
    const std::string climbing = "../../decoy-aaaaaaaaaaaaaaaaaaaa";
    ASSERT_EQ(climbing.size(), 32u);
    g.indexLines.push_back(climbing + "=Good.unr");
    writeFile(g.tmp / "decoy-aaaaaaaaaaaaaaaaaaaa.uxx", "not a package");
    checked.push_back("Good.unr");
    g.writeIndex();
    const std::string oldIndex = g.index();
    const auto before = treeOf(g.tmp.path());

    ASSERT_EQ(g.run(checked, sink).outcome, RunOutcome::Completed);

    const Lines after = splitLines(g.index());
    for (unsigned k = 1; k < n; ++k) {
        const std::string& name = kUnsafeNames[k - 1];
        SCOPED_TRACE(name);
        EXPECT_TRUE(hasLine(after, g.line(k, name)));
        EXPECT_EQ(readFile(g.cacheFile(k)), contentOf(name));
        // ".." has no known extension, which is found first; either way it is reported.
        EXPECT_TRUE(hasLine(sink.lines, name + " is not a safe file name and cannot be moved") ||
                    (name == ".." &&
                     hasLine(sink.lines,
                             name + " does NOT have a known file extension and cannot be moved")));
    }
    EXPECT_TRUE(hasLine(after, climbing + "=Good.unr"));
    EXPECT_TRUE(hasLine(sink.lines, climbing + ".uxx is not a safe file name and cannot be moved"));
    EXPECT_EQ(readFile(g.tmp / "decoy-aaaaaaaaaaaaaaaaaaaa.uxx"), "not a package");
    for (const auto& l : sink.lines) EXPECT_EQ(l.rfind("**OLD** ", 0), std::string::npos) << l;
    // Nothing appeared or went anywhere but the index, its backup, the log and the lock.
    std::set<std::string> changed;
    const auto afterTree = treeOf(g.tmp.path());
    std::set_symmetric_difference(before.begin(), before.end(), afterTree.begin(), afterTree.end(),
                                  std::inserter(changed, changed.end()));
    EXPECT_EQ(changed, (std::set<std::string>{"UT/Cache/.quorvel.lock", "UT/Cache/cachebak.ini",
                                              "prog/Quorvel.log"}));
    EXPECT_EQ(g.backup(), oldIndex);
}

TEST(HostileIndexNames, NamesThatAreNotUtf8MoveUnderTheirExactBytes) {
    RunGame g;
    RecordingSink sink;
    const Lines names = {"Caf\xe9-\xff\xfe.unr", "Bad\xc3\x28Seq.utx", "Half\xe2\x82.umx",
                         "\xef\xbb\xbf"
                         "Bom.uax"};
    for (unsigned n = 0; n < names.size(); ++n) g.add(n + 1, names[n]);
    g.writeIndex();
    ASSERT_EQ(g.run(names, sink).outcome, RunOutcome::Completed);
    const char* subs[] = {"/Maps/", "/Textures/", "/Music/", "/Sounds/"};
    for (unsigned n = 0; n < names.size(); ++n) {
        EXPECT_EQ(readFile(g.game + subs[n] + names[n]), contentOf(names[n])) << names[n];
        EXPECT_FALSE(fileExists(g.cacheFile(n + 1)));
        EXPECT_TRUE(
            hasLine(sink.lines, moveLineText(guidOf(n + 1) + ".uxx", g.game + subs[n] + names[n])));
    }
    EXPECT_EQ(g.index(), "[Cache]\r\n");
}

TEST(HostileIndexNames, MebibyteLinesAreKeptAndTheFailedMoveSaysWhy) {
    RunGame g;
    RecordingSink sink;
    const std::string longName = kMiB + ".unr";
    g.add(1, longName);
    g.add(2, "Fine.utx");
    g.indexLines.push_back(std::string(1 << 20, 'G'));  // no entry at all, a mebibyte long
    g.writeIndex("\n");
    ASSERT_EQ(g.run({longName, "Fine.utx"}, sink).outcome, RunOutcome::Completed);

    const Lines after = splitLines(g.index());
    EXPECT_EQ(after, (Lines{"[Cache]", g.line(1, longName), std::string(1 << 20, 'G')}));
    EXPECT_EQ(readFile(g.cacheFile(1)), contentOf(longName));
    EXPECT_EQ(readFile(g.game + "/Textures/Fine.utx"), contentOf("Fine.utx"));
    const std::string failure = guidOf(1) + ".uxx could NOT be moved to " + g.game + "/Maps/" +
                                longName + " (" + std::strerror(ENAMETOOLONG) + ")";
    EXPECT_TRUE(hasLine(sink.lines, failure));
}

TEST(HostileIndexNames, ScanShowsHostileBytesAsTheyAre) {
    test::ScanGame game;
    Lines lines = {"[Cache]"};
    Lines expected;
    unsigned n = 1;
    for (const std::string& name : kUnsafeNames) {
        lines.push_back(test::entryLine(n++, name));
        expected.push_back(name);
    }
    lines.push_back(test::entryLine(n++, kMiB + ".utx"));
    expected.push_back(kMiB + ".utx");
    lines.push_back(test::entryLine(n++, "Caf\xe9.umx"));
    expected.push_back("Caf\xe9.umx");
    // The missing-extension repair would rewrite the index; ".." and the like have no '.'
    // after the name part, so give it nothing to do by having it done already.
    game.pv.MapFixDone = true;
    game.writeIndex(lines);
    game.scan();
    Lines texts = game.texts();
    // A name without a '.' is shown with the missing-extension note in front.
    const std::string note = "**ERROR** Missing file extension in cache.ini ---> ";
    for (std::string& t : texts)
        if (t.rfind(note, 0) == 0) t = t.substr(note.size());
    EXPECT_EQ(texts, expected);
    EXPECT_EQ(game.pv.EntryCount(), expected.size());
}

TEST(HostileTextFiles, NulBytesAndMebibyteLinesSurviveNeverMoveListAndProfile) {
    test::TempDir dir;
    FileSystem& fs = realFileSystem();
    const std::string list = dir / "QuorvelDontMove.ini";
    const std::string nul("Nul\0Name.unr", 12);
    writeFile(list, nul + "\r\n" + kMiB + "\r\nPlain.utx\r\n");
    auto loaded = LoadNeverMoveList(list, fs);
    ASSERT_TRUE(loaded.ok());
    EXPECT_EQ(loaded.value, (Lines{nul, kMiB, "Plain.utx"}));
    ASSERT_TRUE(AppendNeverMoveName(list, std::string("Add\0ed.u", 8), fs).ok());
    EXPECT_EQ(readFile(list),
              nul + "\r\n" + kMiB + "\r\nPlain.utx\r\n" + std::string("Add\0ed.u", 8) + "\r\n");
    // The never-move marks compare the whole name, NUL and all.
    std::vector<FileRow> rows = {{nul, "", false, true, 0}, {"Nul", "", false, true, 1}};
    MarkNeverMoveItems(rows, loaded.value);
    EXPECT_TRUE(rows[0].neverMove);
    EXPECT_FALSE(rows[1].neverMove);

    // The game's configuration with a NUL byte and a mebibyte line: a write changes one value.
    const std::string ini = dir / "UnrealTournament.ini";
    const std::string text = "[Engine.Engine]\r\nOdd=a" + std::string("\0b", 2) +
                             "c\r\nLong=" + kMiB +
                             "\r\n[Core.System]\r\nPurgeCacheDays=30\r\nPaths=..\\Maps\r\n";
    writeFile(ini, text);
    test::ScriptedDialogs dialogs;
    EXPECT_EQ(INIGetSettingString("Engine.Engine", "Long", ini, "", &dialogs), kMiB.substr(0, 255));
    ASSERT_TRUE(INIWriteSetting("Core.System", "PurgeCacheDays", "7", ini, &dialogs));
    std::string expected = text;
    expected.replace(expected.find("=30"), 3, "=7");
    EXPECT_EQ(readFile(ini), expected);
    EXPECT_TRUE(dialogs.shown.empty());
}

}  // namespace
}  // namespace qv::robust
