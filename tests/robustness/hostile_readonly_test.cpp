// A cache folder on a read-only file system: the run moves nothing out of it (a copy that
// cannot delete its source is taken back), keeps every line, says for each package why it
// stayed, and leaves cache.ini as it was; a purge deletes nothing and says so.
//
// Where the process may make a private mount namespace (root, or a user namespace), the cache is
// a real read-only tmpfs; elsewhere the same checks run over a file system that refuses every
// change inside the cache folder with EROFS, which runs always.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>

#include "engine/maintenance.h"
#include "platform/textfile.h"
#include "tests/engine/run_fixture.h"
#include "tests/robustness/robust_fixture.h"

namespace qv::robust {
namespace {

using runtest::contentOf;
using runtest::guidOf;
using runtest::RecordingSink;
using runtest::RunGame;
using test::fileExists;
using test::readFile;
using Lines = std::vector<std::string>;

// Refuses every change under one folder with EROFS, as a read-only mount does; the rest passes.
class ReadOnlyFolderFs final : public FileSystem {
  public:
    ReadOnlyFolderFs(FileSystem& inner, std::string folder)
        : inner_(inner), folder_(std::move(folder) + "/") {}
    long refused = 0;

    bool isFile(const std::string& p) override { return inner_.isFile(p); }
    bool isFolder(const std::string& p) override { return inner_.isFolder(p); }
    bool exists(const std::string& p) override { return inner_.exists(p); }
    Result<std::string> readAll(const std::string& p) override { return inner_.readAll(p); }
    Status writeAtomic(const std::string& p, std::string_view d) override {
        return inside(p) ? refuse() : inner_.writeAtomic(p, d);
    }
    Result<std::unique_ptr<OutFile>> createFile(const std::string& p) override {
        if (inside(p)) return {nullptr, refuse()};
        return inner_.createFile(p);
    }
    Status appendToFile(const std::string& p, std::string_view d) override {
        return inside(p) ? refuse() : inner_.appendToFile(p, d);
    }
    Status moveNoReplace(const std::string& f, const std::string& t) override {
        return inside(f) || inside(t) ? refuse() : inner_.moveNoReplace(f, t);
    }
    Status renameReplace(const std::string& f, const std::string& t) override {
        return inside(f) || inside(t) ? refuse() : inner_.renameReplace(f, t);
    }
    Status removeFile(const std::string& p) override {
        return inside(p) ? refuse() : inner_.removeFile(p);
    }
    Status makeFolder(const std::string& p) override {
        return inside(p) ? refuse() : inner_.makeFolder(p);
    }
    Result<std::vector<FileInfo>> listFiles(const std::string& f, const std::string& p) override {
        return inner_.listFiles(f, p);
    }
    std::optional<std::int64_t> modifiedTime(const std::string& p) override {
        return inner_.modifiedTime(p);
    }
    Status makeWritable(const std::string& p) override {
        return inside(p) ? refuse() : inner_.makeWritable(p);
    }

  private:
    bool inside(const std::string& p) const { return p.rfind(folder_, 0) == 0; }
    Status refuse() {
        ++refused;
        return Status::fromErrno(EROFS);
    }
    FileSystem& inner_;
    std::string folder_;
};

// Every path under `root` with its bytes (folders with none), links not followed.
std::map<std::string, std::string> snapshot(const std::string& root) {
    std::map<std::string, std::string> out;
    for (const auto& e : std::filesystem::recursive_directory_iterator(root)) {
        const std::string rel = std::filesystem::relative(e.path(), root).string();
        out[rel] = e.is_regular_file() ? readFile(e.path().string()) : std::string("<dir>");
    }
    return out;
}

const Lines kNames = {"Face.unr", "Rock.utx", "Song.umx", "Boom.uax", "Code.u", "Mod.int"};

void fillCache(RunGame& g) {
    for (unsigned n = 0; n < kNames.size(); ++n) g.add(n + 1, kNames[n]);
    g.writeIndex("\n");
}

// What must hold after a run over a read-only cache: see the top of the file.
void expectNothingMoved(RunGame& g, const RecordingSink& sink,
                        const std::map<std::string, std::string>& cacheBefore) {
    EXPECT_EQ(snapshot(g.cacheDir), cacheBefore);
    for (unsigned n = 0; n < kNames.size(); ++n) {
        const std::string& name = kNames[n];
        EXPECT_EQ(readFile(g.cacheFile(n + 1)), contentOf(name));
        bool said = false;
        for (const auto& l : sink.lines)
            said |= l.rfind(guidOf(n + 1) + ".uxx could NOT be moved to ", 0) == 0 &&
                    l.find(std::string("(") + std::strerror(EROFS) + ")") != std::string::npos;
        EXPECT_TRUE(said) << name;
    }
    for (const auto& l : sink.lines) EXPECT_EQ(l.rfind("**OLD** ", 0), std::string::npos) << l;
    const std::string notReplaced =
        std::string("CACHE.INI could not be replaced (") + std::strerror(EROFS) + ")";
    EXPECT_NE(std::find(sink.lines.begin(), sink.lines.end(), notReplaced), sink.lines.end());
    for (const auto& l : sink.lines)
        EXPECT_EQ(l.find("was renamed to CACHEBAK"), std::string::npos);
    // Nothing stands in the type folders, whole or half-copied.
    for (const char* sub : {"Maps", "Textures", "Music", "Sounds", "System"})
        EXPECT_EQ(test::listNames(g.game + "/" + sub), Lines{}) << sub;
}

TEST(ReadOnlyCache, SimulatedReadOnlyFolderKeepsEverything) {
    for (bool cross : {false, true}) {
        SCOPED_TRACE(cross ? "across file systems" : "same file system");
        RunGame g;
        g.posix.setForceCrossDevice(cross);
        fillCache(g);
        const auto before = snapshot(g.cacheDir);
        ReadOnlyFolderFs ro(g.posix, g.runCacheDir);  // the folder as the run spells it
        RecordingSink sink;
        ASSERT_EQ(g.run(kNames, sink, Options{}, &ro).outcome, RunOutcome::Completed);
        // The lock file is made outside the file-system layer, so it is the one new name.
        auto after = snapshot(g.cacheDir);
        after.erase(".quorvel.lock");
        EXPECT_EQ(after, before);
        expectNothingMoved(g, sink, snapshot(g.cacheDir));
        EXPECT_GE(ro.refused, static_cast<long>(kNames.size()));
    }
}

// Makes `folder` a tmpfs in a mount namespace of this process alone; false when not allowed.
bool privateTmpfs(const std::string& folder, std::string& why) {
    if (::unshare(CLONE_NEWNS) != 0) {
        why = std::string("unshare(CLONE_NEWNS): ") + std::strerror(errno);
        return false;
    }
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("quorvel-ro", folder.c_str(), "tmpfs", 0, "size=16m") != 0) {
        why = std::string("mount: ") + std::strerror(errno);
        return false;
    }
    return true;
}

TEST(ReadOnlyCache, RealReadOnlyMount) {
    RunGame g;
    std::string why;
    if (!privateTmpfs(g.cacheDir, why))
        GTEST_SKIP() << "no private read-only mount here (" << why
                     << "); the simulated read-only folder covers the case";
    fillCache(g);
    ASSERT_EQ(::mount(nullptr, g.cacheDir.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0)
        << std::strerror(errno);
    const auto before = snapshot(g.cacheDir);
    RecordingSink sink;
    const RunOutcome outcome = g.run(kNames, sink).outcome;
    EXPECT_EQ(outcome, RunOutcome::Completed);
    expectNothingMoved(g, sink, before);
    std::printf("[ hostile  ] read-only tmpfs cache: %zu status lines, cache.ini unchanged\n",
                sink.lines.size());

    // A purge deletes nothing and says that the files stay.
    g.dialogs.answers = {true};
    EngineContext ctx{g.posix, g.dialogs};
    RecordingSink purge;
    EXPECT_EQ(PurgeCache(g.pv, ctx, purge), PurgeOutcome::Done);
    EXPECT_EQ(snapshot(g.cacheDir), before);
    ASSERT_FALSE(purge.lines.empty());
    EXPECT_EQ(purge.lines[0], std::to_string(kNames.size()) +
                                  " cache files could not be deleted and stay in "
                                  "CACHE.INI");
    ::umount2(g.cacheDir.c_str(), MNT_DETACH);
}

}  // namespace
}  // namespace qv::robust
