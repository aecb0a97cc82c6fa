// A disk that fails lookups as well as the move: a package whose cache file cannot be looked at
// is not taken for a missing one, so its line stays in the index.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "engine/run_index.h"
#include "platform/forwarding_filesystem.h"
#include "platform/textfile.h"
#include "tests/engine/run_fixture.h"
#include "tests/robustness/robust_fixture.h"

namespace qv::robust {
namespace {

using runtest::contentOf;
using runtest::guidOf;
using runtest::RecordingSink;
using runtest::RunGame;

// Every question about one file fails as a stat(2) with EIO would: it seems absent and it
// cannot be moved.
class FlakyFileFs final : public ForwardingFileSystem {
  public:
    FlakyFileFs(FileSystem& inner, std::string bad)
        : ForwardingFileSystem(inner), bad_(std::move(bad)) {}

    bool isFile(const std::string& p) override { return p != bad_ && inner_.isFile(p); }
    bool isFolder(const std::string& p) override { return p != bad_ && inner_.isFolder(p); }
    bool exists(const std::string& p) override { return p != bad_ && inner_.exists(p); }
    Status moveNoReplace(const std::string& f, const std::string& t) override {
        return f == bad_ ? Status::fromErrno(EIO) : inner_.moveNoReplace(f, t);
    }
    std::optional<std::int64_t> modifiedTime(const std::string& p) override {
        return p == bad_ ? std::nullopt : inner_.modifiedTime(p);
    }

  private:
    std::string bad_;
};

TEST(FlakyDisk, PackageThatCannotBeLookedAtKeepsItsLine) {
    RunGame g;
    g.add(1, "Face.unr");
    g.add(2, "Rock.utx");
    g.add(3, "Gone.umx", /*present=*/false);
    g.writeIndex();
    FlakyFileFs flaky(g.posix, g.runCacheDir + "/" + guidOf(1) + ".uxx");
    RecordingSink sink;
    ASSERT_EQ(g.run({"Face.unr", "Rock.utx", "Gone.umx"}, sink, Options{}, &flaky).outcome,
              RunOutcome::Completed);

    EXPECT_EQ(test::readFile(g.cacheFile(1)), contentOf("Face.unr"));
    // The package that moved and the one that is truly gone lose their lines; the other stays.
    EXPECT_EQ(g.index(), "[Cache]\r\n" + g.line(1, "Face.unr") + "\r\n");
    const std::string said = guidOf(1) + ".uxx could NOT be moved to " + g.game +
                             "/Maps/Face.unr (" + std::strerror(EIO) + ")";
    EXPECT_NE(std::find(sink.lines.begin(), sink.lines.end(), said), sink.lines.end());
    EXPECT_NE(std::find(sink.lines.begin(), sink.lines.end(),
                        guidOf(3) + ".uxx NOT FOUND in the Cache Directory"),
              sink.lines.end());
}

}  // namespace
}  // namespace qv::robust
