// What runs, lists and checks make of damaged packages, installed versions, missing needs and
// cache files without a line.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <random>

#include "engine/cache/package_facts.h"
#include "engine/maintenance/package_check.h"
#include "engine/run/run_journal.h"
#include "engine/run/run_plan.h"
#include "engine/run/undo.h"
#include "platform/forwarding_filesystem.h"
#include "settings/program_files.h"
#include "tests/support/game.h"
#include "tools/package_writer.h"

namespace qv::test {
namespace {

// One game for the run, the list and the check: packages made by the writer and damaged copies.
struct PackageGame : Game {
    std::string package(unsigned n, std::vector<std::string> needs = {}) {
        pkg::PackageSpec spec;
        spec.guid = guidOf(n), spec.needs = std::move(needs);
        return pkg::writePackage(spec) + "body";
    }
    void addBytes(unsigned n, const std::string& name, const std::string& bytes) {
        lines.push_back(line(n, name));
        writeFile(cacheFile(n), bytes);
    }
    // Whole, damaged, installed and needed packages; returns the bytes of package 1, Map1.unr.
    std::string addMixedCache() {
        const std::string whole = package(1, {"Tex2", "Cut", "Engine", "Sky"});
        addBytes(1, "Map1.unr", whole);
        addBytes(2, "Tex2.utx", package(2));                  // installed as another version
        writeFile(game + "/Textures/TEX2.utx", package(77));  // another case, another GUID
        addBytes(3, "Cut.unr", package(3, {"Engine"}).substr(0, 100));
        addBytes(4, "Zero.unr", std::string(300, '\0'));
        addBytes(5, "Guid.unr", package(99));
        addBytes(6, "Text.unr", "This is not a map\r\n");
        addBytes(7, "Text.int", "[Public]\r\n");  // not a package type: moves
        addBytes(8, "Same.utx", package(8));      // same version, same bytes
        writeFile(game + "/Textures/same.utx", package(8));
        addBytes(9, "Twin.utx", package(9) + "more");  // same version, other bytes
        writeFile(game + "/Textures/Twin.utx", package(9));
        writeFile(game + "/System/Engine.u", package(50));
        addBytes(10, "Sky.utx", package(10));  // moves: what needs it needs nothing left
        addBytes(11, "Sky.utx", package(11));  // stays: another version of the one moved
        for (unsigned n = 12; n < 18; ++n)     // six more need Cut: the line names five, counts one
            addBytes(n, "Map" + std::to_string(n - 10) + ".unr", package(n, {"Cut"}));
        addBytes(18, "Late.utx", package(18));   // cut after the list was read
        addBytes(19, "map1.unr", package(19));   // one package to the game with Map1.unr
        addBytes(20, "Skins.utx", package(20));  // and with System/Skins.u
        writeFile(game + "/System/Skins.u", package(60));
        addBytes(21, "ModTex.utx", package(21));  // the game finds Mod/modtex.utx first
        makeDirs(game + "/Mod");
        writeFile(game + "/Mod/modtex.utx", package(61));
        writeFile(game + "/System/UnrealTournament.ini",
                  "[Core.System]\r\nPaths=..\\Mod\\*.utx\r\nPaths=../Maps/*.unr\r\n");
        writeIndex();
        return whole;
    }
};

// Counts the opens of cache files for reading.
class CacheReads final : public ForwardingFileSystem {
  public:
    CacheReads(FileSystem& inner, std::string cacheDir)
        : ForwardingFileSystem(inner), cacheDir_(std::move(cacheDir) + "/") {}
    Result<std::unique_ptr<InFile>> openForReading(const std::string& p) override {
        reads += p.rfind(cacheDir_, 0) == 0;
        return ForwardingFileSystem::openForReading(p);
    }
    std::size_t reads = 0;

  private:
    std::string cacheDir_;
};

// What the mixed cache's run says of the packages that stay.
void expectStayingSaid(const PackageGame& g, const RecordingSink& sink) {
    for (const char* line :
         {"Cut.unr is damaged (its export table lies beyond its end) and stays in the cache",
          "Zero.unr is damaged (not a package) and stays in the cache",
          "Guid.unr is damaged (its GUID is not its cache file name) and stays in the cache",
          "Text.unr is damaged (not a package) and stays in the cache",
          "Late.utx is damaged (its name table lies beyond its end) and stays in the cache",
          "Map1.unr, Map2.unr, Map3.unr, Map4.unr, Map5.unr and 2 other moved packages need "
          "Cut, which stays in the cache"})
        EXPECT_TRUE(sink.said(line)) << line;
    for (const std::string& line : sink.lines) EXPECT_EQ(line.find("Sky,"), std::string::npos);
    EXPECT_TRUE(sink.said("Tex2.utx stays in the cache: " + g.game +
                          "/Textures/TEX2.utx is another version of it; the game needs this "
                          "one for the server that sent it"));
    for (const auto& [name, installed] :
         {std::pair{"map1.unr", "/Maps/Map1.unr"}, std::pair{"Skins.utx", "/System/Skins.u"},
          std::pair{"Sky.utx", "/Textures/Sky.utx"}})
        EXPECT_TRUE(sink.said(std::string(name) + " stays in the cache: " + g.game + installed +
                              " is another version of it; the game needs this one for the "
                              "server that sent it"))
            << name;
    EXPECT_TRUE(sink.said("Twin.utx stays in the cache: " + g.game +
                          "/Textures/Twin.utx is the same version of it with other contents; "
                          "both are kept"));
}

// The table of whole headers finds each of its files by name and identity, at every size (its
// buckets are made from the count), and no other.
TEST(PackageRun, WholeHeadersFindEveryFileTheyHoldAndNoOther) {
    for (std::size_t n : {0u, 1u, 2u, 3u, 5000u}) {
        WholeHeaders whole;
        const auto name = [](std::size_t i) { return std::to_string(i) + ".uxx"; };
        const auto id = [](std::size_t i) { return FileIdentity{1024, 7, 0, 2049, i + 1}; };
        for (std::size_t i = 0; i < n; ++i) whole.add(name(i), id(i));
        whole.seal();
        for (std::size_t i = 0; i < n; ++i) {
            ASSERT_TRUE(whole.knows(name(i))) << n << " " << i;
            ASSERT_TRUE(whole.wasWhole(name(i), id(i))) << n << " " << i;
            ASSERT_FALSE(whole.wasWhole(name(i), id(i + 1))) << n << " " << i;
            // What a landing is checked against, kept from before the move.
            const WholeHeaders::Known k = whole.known(name(i));
            ASSERT_EQ(whole.seen(name(i), k, id(i)), WholeHeaders::Seen::Same) << n << " " << i;
            ASSERT_EQ(whole.seen(name(i), k, id(i + 1)), WholeHeaders::Seen::Changed) << n;
        }
        for (std::size_t i = n; i < n + 200; ++i) ASSERT_FALSE(whole.knows(name(i))) << n;
        // Asked many at once, known and unknown alike, the answers are the same.
        std::vector<std::string> names;
        for (std::size_t i = 0; i < n + 200; ++i) names.push_back(name(i));
        const std::vector<std::string_view> views(names.begin(), names.end());
        std::vector<WholeHeaders::Known> many(views.size());
        whole.known(views.data(), views.size(), many.data());
        for (std::size_t i = 0; i < views.size(); ++i) {
            const WholeHeaders::Known one = whole.known(views[i]);
            ASSERT_EQ(many[i].files, one.files) << n << " " << i;
            ASSERT_EQ(many[i].identity, one.identity) << n << " " << i;
        }
    }
    // One name read twice (two identities): either is whole.
    WholeHeaders twice;
    for (const std::uint64_t inode : {5u, 6u}) twice.add("A.uxx", {10, 7, 0, 1, inode});
    twice.seal();
    for (const std::uint64_t inode : {5u, 6u, 7u})
        EXPECT_EQ(twice.seen("A.uxx", twice.known("A.uxx"), {10, 7, 0, 1, inode}),
                  inode == 7 ? WholeHeaders::Seen::Changed : WholeHeaders::Seen::Same);
}

// The mixed cache and 1,478 entries more, at random: cut, of another GUID, gone, not of a
// package type, or whole. Large enough for the header pass's second reader.
void addLargeMixedCache(PackageGame& g) {
    g.addMixedCache();
    std::mt19937 random(41);
    for (unsigned n = 22; n < 1500; ++n) {
        const std::string bytes = g.package(n), number = std::to_string(n);
        switch (random() % 6) {
            case 0:
                g.addBytes(n, "Cut" + number + ".unr", bytes.substr(0, random() % bytes.size()));
                break;
            case 1:
                g.addBytes(n, "Foreign" + number + ".utx", g.package(n + 5000));
                break;
            case 2:
                g.addBytes(n, "Gone" + number + ".uax", bytes);
                std::filesystem::remove(g.cacheFile(n));
                break;
            case 3:
                g.addBytes(n, "Text" + number + ".int", "[Public]\r\n");
                break;
            default:
                g.addBytes(n, "Map" + number + ".unr", bytes);
        }
    }
    g.writeIndex();
    g.scan();
}

// A first pass over a large cache reads with two threads: it must find exactly what one reader
// finds (a file system that does not allow reads on two), entry by entry and in the table of
// whole files, with the batches reported in order. Stopped in its third batch, while the second
// reader is ahead: both end, and what was examined before the stop is what one reader finds.
TEST(PackageList, TwoReadersFindWhatOneFindsAndAStopEndsBoth) {
    PackageGame g;
    addLargeMixedCache(g);
    ForwardingFileSystem oneReader(g.posix);
    ASSERT_TRUE(g.posix.readsInParallel());
    const PlacementContext listed = listingPlacement(g.pv, g.state.cacheDir, {}, g.posix);
    std::vector<PackageFacts> one, two, cut;
    HeaderCache oneHeaders, twoHeaders, stopped;
    WholeHeaders oneWhole, twoWhole;
    examineEntries(g.pv, listed, one, oneHeaders, oneReader, {}, nullptr, &oneWhole);
    std::vector<std::size_t> batches;
    examineEntries(
        g.pv, listed, two, twoHeaders, g.posix,
        [&](std::size_t first, std::size_t) { batches.push_back(first); }, nullptr, &twoWhole);
    ASSERT_EQ(one.size(), two.size());
    for (std::size_t k = 0; k < one.size(); ++k) {
        ASSERT_EQ(one[k].condition, two[k].condition) << k;
        ASSERT_EQ(one[k].reason, two[k].reason) << k;
        ASSERT_EQ(one[k].guid.view(), two[k].guid.view()) << k;
        ASSERT_EQ(one[k].installed, two[k].installed) << k;
        ASSERT_EQ(one[k].installedPath, two[k].installedPath) << k;
        const std::string file = guidOf(static_cast<unsigned>(k + 1)) + ".uxx";
        ASSERT_EQ(oneWhole.knows(file), twoWhole.knows(file)) << k;
    }
    EXPECT_EQ(oneHeaders.reads(), twoHeaders.reads());
    EXPECT_EQ(oneHeaders.size(), twoHeaders.size());
    for (std::size_t b = 0; b < batches.size(); ++b) EXPECT_EQ(batches[b], 256 * b);

    std::atomic<bool> stop{false};
    examineEntries(
        g.pv, listed, cut, stopped, g.posix,
        [&](std::size_t first, std::size_t) { stop = first == 256; }, &stop);
    for (std::size_t k = 0; k < 512; ++k) ASSERT_EQ(cut[k].condition, one[k].condition) << k;
    for (std::size_t k = 512; k < cut.size(); ++k)
        ASSERT_EQ(cut[k].condition, PackageCondition::Unknown) << k;
}

// As the command line runs (each header read before its move) and as the window runs, after the
// list's header pass: then a whole package is not read again, and one changed since the pass is
// read where it landed and goes back when it is damaged now.
TEST(PackageRun, DamagedAndOtherVersionsStayWithTheirReasonAndTheRestMoves) {
    for (const bool afterPass : {false, true}) {
        SCOPED_TRACE(afterPass ? "after the header pass" : "reading each header");
        PackageGame g;
        const std::string whole = g.addMixedCache();
        g.scan();
        std::vector<PackageFacts> facts;
        HeaderCache headers;
        WholeHeaders vouched;
        const PlacementContext listed = listingPlacement(g.pv, g.state.cacheDir, {}, g.posix);
        examineEntries(g.pv, listed, facts, headers, g.posix, {}, nullptr, &vouched);
        EXPECT_EQ(facts[0].condition, PackageCondition::Whole);
        EXPECT_EQ(facts[1].installed, InstalledVersion::Other);
        EXPECT_EQ(facts[7].installed, InstalledVersion::Same);
        EXPECT_EQ(facts[6].condition, PackageCondition::NotPackage);
        for (int k : {2, 3, 4, 5}) EXPECT_EQ(facts[k].condition, PackageCondition::Damaged) << k;
        EXPECT_EQ(facts[19].installed, InstalledVersion::Other);
        EXPECT_EQ(facts[19].installedPath, g.game + "/System/Skins.u");
        uncheckDamaged(g.state.rows, facts);
        EXPECT_EQ(countToProcess(g.state.rows, g.pv, g.state.cacheDir, g.posix), 15u);
        const std::size_t reads = headers.reads();
        examineEntries(g.pv, listed, facts, headers, g.posix);
        EXPECT_EQ(headers.reads(), reads) << "a re-scan read the headers again";
        writeFile(g.cacheFile(18), g.package(18).substr(0, 60));
        writeFile(g.cacheFile(13), g.package(13, {"Cut"}) + "x");  // changed, still whole
        writeFile(g.cacheFile(9), g.package(9) + "other");         // installed, and changed as well

        RecordingSink sink;
        g.pv.GameDir = g.gameDir;
        CacheReads counted(g.posix, g.cacheDir);
        EngineContext ctx{counted, g.dialogs};
        RunRequest request{g.state.options, g.state.cacheDir, {}};
        for (std::size_t k = 0; k < 21; ++k) request.checkedEntries.push_back(k);  // all, by hand
        if (afterPass) request.wholeHeaders = &vouched;
        ASSERT_EQ(ProcessCache(g.pv, request, ctx, sink).outcome, RunOutcome::Completed);
        // Read before their moves: the damaged and the one not of a package type, and each
        // installed one unless the pass found its cache file whole as it still is.
        EXPECT_EQ(counted.reads, afterPass ? 5u : 18u);
        EXPECT_EQ(readFile(g.game + "/Maps/Map1.unr"), whole);
        EXPECT_TRUE(fileExists(g.game + "/System/Text.int"));
        expectStayingSaid(g, sink);
        EXPECT_FALSE(fileExists(g.cacheFile(8)));
        EXPECT_FALSE(fileExists(g.game + "/Textures/Same.utx")) << "a second copy in another case";
        EXPECT_FALSE(fileExists(g.game + "/Textures/Late.utx"));
        const std::string index = g.index();
        for (unsigned n : {2, 3, 4, 5, 6, 9, 11, 18, 19, 20, 21}) {
            EXPECT_TRUE(fileExists(g.cacheFile(n))) << n;
            EXPECT_TRUE(has(index, guidOf(n))) << n;
        }
        for (unsigned n : {1, 7, 8, 10, 12, 17}) EXPECT_FALSE(has(index, guidOf(n))) << n;
        // The undo finds the one that went back where it is.
        const UndoResult undone = g.undo(sink, &counted);
        EXPECT_EQ(undone.failed + undone.stayed, 0u);
        EXPECT_TRUE(fileExists(g.cacheFile(18)));
    }
}

// Memory that runs out while a package is read ends the run as Stop does: what moved lost its
// line, everything else kept its own, and the log says why.
TEST(PackageRun, MemoryRunningOutStopsTheRunWithEveryLineAccountedFor) {
    struct Exhausted final : ForwardingFileSystem {
        using ForwardingFileSystem::ForwardingFileSystem;
        Result<std::unique_ptr<InFile>> openForReading(const std::string& p) override {
            if (p.find(guidOf(3)) != std::string::npos) throw std::bad_alloc();
            return ForwardingFileSystem::openForReading(p);
        }
    };
    PackageGame g;
    for (unsigned n = 1; n <= 5; ++n)
        g.addBytes(n, "Map" + std::to_string(n) + ".unr", g.package(n));
    g.writeIndex();
    g.scan();
    g.pv.GameDir = g.gameDir;
    Exhausted fs(g.posix);
    EngineContext ctx{fs, g.dialogs};
    RecordingSink sink;
    RunRequest request{g.state.options, g.state.cacheDir, {0, 1, 2, 3, 4}};
    const RunResult r = ProcessCache(g.pv, request, ctx, sink);
    EXPECT_TRUE(r.stopped && r.outOfMemory);
    EXPECT_EQ(r.moved, 2u);
    EXPECT_TRUE(sink.said("Memory ran out; the run stops here"));
    const std::string index = g.index();
    for (unsigned n = 1; n <= 5; ++n) {
        EXPECT_EQ(index.find(guidOf(n)) != std::string::npos, n >= 3) << n;
        EXPECT_EQ(fileExists(g.cacheFile(n)), n >= 3) << n;
    }
    EXPECT_TRUE(has(readFile(programFiles(g.programFolder, g.posix).runLog), "Memory ran out"));
}

TEST(PackageCheck, NamesEveryMissingNeedOnlyAndPutsLostLinesBack) {
    PackageGame g;
    writeFile(g.game + "/System/Engine.u", g.package(50, {"Core"}));
    writeFile(g.game + "/System/core.U", g.package(51));
    writeFile(g.game + "/Maps/DM-Old.unr", g.package(52, {"ENGINE", "OldTex", "Gone"}));
    g.addBytes(1, "OldTex.utx", g.package(1, {"Core", "Lost"}));
    g.addBytes(2, "CTF-New.unr", g.package(2, {"Engine", "Skies"}));
    g.writeIndex();
    // Two cache files without a line: one named by cachebak.ini, one by a run journal.
    writeFile(g.cacheFile(3), g.package(3));
    writeFile(g.cacheDir + "/cachebak.ini", "[Cache]\r\n" + g.line(3, "Skies.utx") + "\r\n");
    writeFile(g.cacheFile(4), g.package(4));
    g.pv.ProgramFolder = g.programFolder, g.pv.GameDir = g.gameDir;
    {
        const std::string lost = g.line(4, "Lost.unr");
        RunJournal journal(g.posix, journalFolder(programFiles(g.programFolder, g.posix).runLog),
                           g.cacheDir, "uxx");
        RunPlan plan;
        plan.lines = {lost};
        plan.selected = {true};
        plan.steps = {LineStep::Move};
        journal.planMoves(plan, listingPlacement(g.pv, g.cacheDir, {}, g.posix));
        journal.finish(0);
    }
    g.pv.ProgramFolder = g.programFolder, g.pv.GameDir = g.gameDir;
    const Result<CheckPlaces> places = checkPlacesFor(g.pv, "", g.posix);
    ASSERT_TRUE(places.ok());
    CheckReport report = checkPackages(places.value, g.posix);
    ASSERT_TRUE(report.indexRead);
    std::vector<std::string> said;
    for (const MissingNeed& m : report.missing) said.push_back(missingNeedLine(m));
    std::sort(said.begin(), said.end());
    EXPECT_EQ(said, (std::vector<std::string>{
                        "CTF-New.unr needs Skies, which is neither installed nor in the cache",
                        "DM-Old.unr needs Gone, which is neither installed nor in the cache",
                        "OldTex.utx needs Lost, which is neither installed nor in the cache"}));
    ASSERT_EQ(report.cacheOnly.size(), 1u);
    EXPECT_EQ(cacheOnlyLine(report.cacheOnly[0]),
              "DM-Old.unr needs OldTex, which only the cache holds");
    ASSERT_EQ(report.lineless.size(), 2u);
    for (const LinelessFile& f : report.lineless) EXPECT_FALSE(f.savedLine.empty()) << f.fileName;

    const RestoreResult restored =
        restoreIndexLines(g.cacheDir, report.lineless, g.posix, g.dialogs);
    ASSERT_TRUE(restored.status.ok()) << restored.status.text;
    EXPECT_EQ(restored.restored.size(), 2u);
    for (const std::string& l :
         {g.line(3, "Skies.utx"), g.line(4, "Lost.unr"), g.line(1, "OldTex.utx")})
        EXPECT_TRUE(has(g.index(), l + "\r\n")) << l;
    report = checkPackages(places.value, g.posix);
    EXPECT_TRUE(report.lineless.empty());
    EXPECT_EQ(report.missing.size(), 1u) << "Skies and Lost are in the cache now";
}

// Guards: a count of "needs" pairs called packages, a package spelt in two letter cases counted
// twice, groups or their packages left unsorted.
TEST(PackageCheck, MissingNeedsGroupByPackageAndCountBoth) {
    const std::vector<MissingNeed> needs = {
        {"b.unr", "Skies"}, {"A.unr", "Gone"}, {"c.unr", "SKIES"}, {"a.unr", "skies"}};
    const std::vector<MissingPackage> groups = groupMissing(needs);
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(groups[0].name, "Gone");
    EXPECT_EQ(groups[0].neededBy, std::vector<std::string>{"A.unr"});
    EXPECT_EQ(groups[1].name, "Skies");
    EXPECT_EQ(groups[1].neededBy, (std::vector<std::string>{"a.unr", "b.unr", "c.unr"}));
    EXPECT_EQ(missingCountText(groups.size(), needs.size()),
              "2 packages are missing, needed 4 times");
    EXPECT_EQ(missingCountText(1, 1), "1 package is missing, needed once");
}

}  // namespace
}  // namespace qv::test
