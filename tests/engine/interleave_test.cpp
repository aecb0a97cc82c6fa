// The game writing cache.ini between any two file-system calls of a run, a purge, an undo and
// the extension repair, in each of the shapes it really writes in; the index's invariant is
// checked after each: every package in the cache has its line in cache.ini or is named as not
// kept, and nothing is named falsely.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "engine/cache/index_transaction.h"
#include "engine/cache/package_facts.h"
#include "engine/run/run_plan.h"
#include "engine/run/undo.h"
#include "platform/forwarding_filesystem.h"
#include "tests/support/game.h"

namespace qv::test {
namespace {

enum class Shape {
    InMemory,           // writes the copy it read at its start, in place, never reading again
    TruncateThenWrite,  // reads, truncates, then writes in two pieces, one call apart each
    RenameOver,         // reads, writes a file of its own and renames it over cache.ini
    Stubborn,           // writes its copy in place before each look at cache.ini, to the end
};

// Calls `before` ahead of every file-system call the operation makes.
class Interleaved final : public ForwardingFileSystem {
  public:
    using ForwardingFileSystem::ForwardingFileSystem;
    std::function<void(const std::string& path)> before;
    long calls = 0, lastIndexRead = 0, indexWrites = 0;
    bool alwaysStale = false;  // every exchange finds cache.ini rewritten

    Status counted(const std::string& p, Status s) {
        if (s.ok() && p.ends_with("/cache.ini")) ++indexWrites;
        return s;
    }

    void at(const std::string& p, bool indexRead = false) {
        ++calls;
        if (indexRead && p.ends_with("/cache.ini")) lastIndexRead = calls;
        if (before) before(p);
    }
    Result<std::string> readAll(const std::string& p) override {
        return at(p, true), inner_.readAll(p);
    }
    Result<bool> holdsExactly(const std::string& p, std::string_view x) override {
        return at(p, true), inner_.holdsExactly(p, x);
    }
    Status writeAtomic(const std::string& p, std::string_view d) override {
        return at(p), counted(p, inner_.writeAtomic(p, d));
    }
    Status writeAtomicLike(const std::string& p, std::string_view d,
                           const std::string& o) override {
        return at(p), inner_.writeAtomicLike(p, d, o);
    }
    Result<std::unique_ptr<OutFile>> createFile(const std::string& p) override {
        return at(p), inner_.createFile(p);
    }
    Status renameReplace(const std::string& f, const std::string& t) override {
        return at(f), counted(t, inner_.renameReplace(f, t));
    }
    Status moveNoReplace(const std::string& f, const std::string& t) override {
        return at(f), inner_.moveNoReplace(f, t);
    }
    Status moveListedFile(const std::string& f, const std::string& t, FileIdentity* l) override {
        return at(f), inner_.moveListedFile(f, t, l);
    }
    // Two steps, the check and the swap, with room for the game between them.
    Result<std::string> exchangeAtomic(const std::string& p, std::string_view d,
                                       const std::string* x) override {
        at(p, true);
        if (alwaysStale || (x && !inner_.holdsExactly(p, *x).value))
            return {{}, Status::fromErrno(kErrStale)};
        at(p);
        Result<std::string> swapped = inner_.exchangeAtomic(p, d, nullptr);
        (void)counted(p, swapped.status);
        return swapped;
    }
    Status removeFile(const std::string& p) override { return at(p), inner_.removeFile(p); }
    Result<std::vector<FileInfo>> listFiles(const std::string& f, const std::string& p) override {
        return at(f), inner_.listFiles(f, p);
    }
    Status forEachEntry(const std::string& f,
                        const std::function<void(std::string_view, EntryKind)>& e) override {
        return at(f), inner_.forEachEntry(f, e);
    }
    Status linkReplacing(const std::string& p, const std::string& n) override {
        return at(p), inner_.linkReplacing(p, n);
    }
    Result<FileIdentity> identityOf(const std::string& p) override {
        return at(p), inner_.identityOf(p);
    }
    Result<bool> openForWriting(const std::string& p) override {
        return at(p), inner_.openForWriting(p);
    }
};

// The game: a download ends (its file, then its line), written in one of the shapes.
struct SimulatedGame {
    Game& g;
    Shape shape;
    std::string memory;     // the index as the game read it when it started
    int stage = 0;          // 0 not yet, 1 truncated, 2 first piece written, 3 done
    std::ofstream inPlace;  // the index written in place, as the game writes it
    std::string text;

    std::string index() const { return g.cacheDir + "/cache.ini"; }
    void act() {
        if (stage == 0) {
            writeFile(g.cacheFile(50), bytesOf("New.unr", 50));
            text = (shape == Shape::InMemory ? memory : g.index()) + g.line(50, "New.unr") + "\r\n";
        }
        if (shape == Shape::Stubborn) {
            writeFile(index(), memory + g.line(50, "New.unr") + "\r\n");
            stage = 1;
        } else if (shape == Shape::RenameOver) {
            writeFile(index() + ".game", text);
            std::filesystem::rename(index() + ".game", index());
            stage = 3;
        } else if (shape == Shape::InMemory) {
            std::ofstream(index(), std::ios::binary | std::ios::trunc) << text;
            stage = 3;
        } else if (stage == 0) {
            inPlace.open(index(), std::ios::binary | std::ios::trunc);
            stage = 1;
        } else {  // the first piece ends inside a line; the second ends the write
            const std::size_t half = text.size() / 2;
            const std::string_view piece = stage == 1 ? std::string_view(text).substr(0, half)
                                                      : std::string_view(text).substr(half);
            inPlace.write(piece.data(), static_cast<std::streamsize>(piece.size())).flush();
            if (++stage == 3) inPlace.close();
        }
    }
};

const char* const kOperations[] = {"run", "purge", "undo", "repair"};

// In memory where the machine has a tmpfs: some 400 trials, each flushing files to the disk.
std::string fastBase() {
    return std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "";
}

struct Trial {
    Game g{fastBase()};
    RecordingSink sink;
    Interleaved fs{g.posix};

    explicit Trial(const std::string& op) {
        // Stay.txt has no type: a run leaves it in the cache.
        g.addAndIndex({"A.unr", op == std::string("repair") ? "DM-Deck" : "B.utx", "Stay.txt"});
        g.dialogs.answers = {true, true};
        if (op == std::string("undo")) {
            RecordingSink first;
            EXPECT_EQ(g.run(first).moved, 2u);
        }
    }
    // What an operation reports depends on where the game cut in; the cache and the index are
    // judged afterwards.
    void operate(const std::string& op) {
        if (op == "run") (void)g.run(sink, {}, &fs);
        if (op == "purge") g.purge(sink, &fs);
        if (op == "repair") g.scan(&fs);
        if (op == "undo") {
            (void)g.undo(sink, &fs);
        }
    }
    // Every package in the cache has a line there (by its GUID) or a line named as not kept;
    // a line named as not kept is not there, one said kept is.
    void expectInvariant(const std::string& where) {
        const std::vector<std::string> index = splitLines(g.index());
        // The backup is a whole index on a file of its own.
        const std::string ini = g.cacheDir + "/cache.ini", bak = g.cacheDir + "/cachebak.ini";
        if (std::filesystem::exists(bak)) {
            std::error_code either;
            EXPECT_TRUE(std::filesystem::exists(ini) &&
                        !std::filesystem::equivalent(ini, bak, either))
                << where;
            EXPECT_TRUE(readFile(g.cacheDir + "/cachebak.ini").starts_with("[Cache]\r\n")) << where;
        }
        std::vector<std::string> said = sink.lines;
        for (const std::string& m : g.dialogs.messages())
            for (const std::string& l : splitLines(m)) said.push_back(l);
        const auto has = [](const std::vector<std::string>& ls, const std::string& part) {
            return std::any_of(ls.begin(), ls.end(), [&](auto& l) { return l.starts_with(part); });
        };
        const auto namedNotKept = [&](const std::string& guid) {
            return std::any_of(said.begin(), said.end(), [&](auto& l) {
                return l.starts_with(guid) && l.find(" could NOT be kept") != l.npos;
            });
        };
        for (unsigned n : {1u, 2u, 3u, 50u}) {
            if (!fileExists(g.cacheFile(n))) continue;
            EXPECT_TRUE(has(index, guidOf(n) + "=") || namedNotKept(guidOf(n) + "="))
                << where << ": package " << n << " lost its line";
        }
        // The report claims no write that did not happen, and no failure where one did.
        const bool created = has(said, "A new CACHE.INI was created");
        EXPECT_FALSE(created && fs.indexWrites == 0) << where << ": a new index claimed";
        EXPECT_FALSE(has(said, "CACHE.INI could not be replaced") && fs.indexWrites > 0) << where;
        if (std::any_of(said.begin(), said.end(),
                        [](auto& l) { return l.ends_with("was renamed to CACHEBAK.INI"); })) {
            EXPECT_TRUE(fileExists(g.cacheDir + "/cachebak.ini")) << where;
        }
        // The repair does not say it corrected a line it names as not kept.
        EXPECT_FALSE(has(said, "Auto-corrected") && namedNotKept(g.line(2, "DM-Deck.unr")))
            << where;
        for (const std::string& l : said) {
            const std::string line = l.substr(0, l.find(' '));
            const bool notKept = l.find(" could NOT be kept") != l.npos;
            const bool kept = l.ends_with("and is kept") || l.ends_with("it is kept in CACHE.INI");
            if (notKept || kept) {
                EXPECT_EQ(std::count(index.begin(), index.end(), line) > 0, kept) << where << l;
            }
        }
    }
};

TEST(Interleaving, TheGameWritingBetweenAnyTwoCallsLosesNoLineUnsaid) {
    const IndexWaits saved = indexWaits();
    indexWaits() = {std::chrono::milliseconds(1), std::chrono::milliseconds(4),
                    std::chrono::milliseconds(2000)};
    int trials = 0;
    for (const char* op : kOperations)
        for (Shape shape :
             {Shape::InMemory, Shape::TruncateThenWrite, Shape::RenameOver, Shape::Stubborn}) {
            long steps = 0;  // a game that never stops writing makes the reads give up soon
            indexWaits().limit = std::chrono::milliseconds(shape == Shape::Stubborn ? 6 : 2000);
            {
                Trial dry(op);
                dry.operate(op);
                steps = dry.fs.lastIndexRead;
            }
            for (long step = 1; step <= steps; ++step) {
                const std::string where = std::string(op) + " shape " + std::to_string(int(shape)) +
                                          " step " + std::to_string(step);
                Trial t(op);
                SimulatedGame game{t.g, shape, t.g.index(), 0, {}, {}};
                long actedAt = 0;
                t.fs.before = [&](const std::string& p) {
                    if (t.fs.calls < step || game.stage == 3) return;
                    if (shape == Shape::Stubborn && !p.ends_with("/cache.ini")) return;
                    if (game.stage == 0) actedAt = t.fs.calls;
                    game.act();
                };
                t.operate(op);
                if (shape == Shape::Stubborn) game.stage = 3;
                while (game.stage < 3) game.act();  // a write under way ends
                // Where waits are timed (no lease here), the calls differ from the dry pass: a
                // write after the operation's last look at cache.ini is beyond any program.
                if (actedAt == 0 || actedAt > t.fs.lastIndexRead) continue;
                ++trials;
                t.expectInvariant(where);
                // A run moves what the cache holds, though the game was writing when it looked.
                const bool stayed = fileExists(t.g.cacheFile(1)) || fileExists(t.g.cacheFile(2));
                EXPECT_FALSE(op == std::string("run") && shape != Shape::Stubborn && stayed)
                    << where;
            }
        }
    // A game that rewrites cache.ini before every exchange: nothing is written, none is claimed.
    for (const char* op : kOperations) {
        Trial t(op);
        const std::string before = t.g.index(), backup = t.g.cacheDir + "/cachebak.ini";
        const bool backedUp = fileExists(backup);  // by the run an undo undoes
        const std::string backupBefore = backedUp ? readFile(backup) : "";
        t.fs.alwaysStale = true;
        t.operate(op);
        t.expectInvariant(std::string(op) + " always stale");
        EXPECT_EQ(t.g.index(), before) << op;
        EXPECT_EQ(fileExists(backup), backedUp) << op;
        EXPECT_EQ(backedUp ? readFile(backup) : "", backupBefore) << op;
        const bool failureSaid = std::any_of(t.sink.lines.begin(), t.sink.lines.end(), [](auto& l) {
            return l.starts_with("CACHE.INI could not be replaced");
        });
        EXPECT_TRUE(failureSaid || op == std::string("repair")) << op;
    }
    indexWaits() = saved;
    EXPECT_GT(trials, 300);
}

// Guards: a line whose file the game put back after the run listed the cache folder (which it
// does while it reads the index) dropped as if the file were gone, leaving a file with no line.
TEST(Interleaving, AFileThatCameBackAfterTheListingIsPlannedAsAMove) {
    Game g;
    g.addAndIndex({"DM-Stays.unr", "DM-Back.unr"});
    std::filesystem::remove(g.cacheFile(2));
    g.scan();
    const CacheFolderNames ahead = readCacheFolderAhead(g.cacheDir, "uxx", g.posix);
    ASSERT_TRUE(ahead.read);
    EXPECT_EQ(ahead.plain.size(), 1u);
    writeFile(g.cacheFile(2), bytesOf("DM-Back.unr", 2));  // downloaded again
    const std::string index = g.index();
    const PlacementContext place = listingPlacement(g.pv, g.cacheDir, {}, g.posix);
    const RunPlan plan =
        planRun(index, {0, 1}, g.pv, place, g.posix, nullptr, nullptr, [&] { return ahead; });
    ASSERT_EQ(plan.steps.size(), 3u);
    EXPECT_EQ(plan.steps[1], LineStep::Move);
    EXPECT_EQ(plan.steps[2], LineStep::Move);
    EXPECT_EQ(plan.moves, 2u);
}

}  // namespace
}  // namespace qv::test
