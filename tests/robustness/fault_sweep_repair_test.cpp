// The missing-extension repair under every failing file operation, with the error codes the
// engine tests do not sweep it with (they take EIO): whatever fails, cache.ini is the old index
// or the whole repaired one byte for byte, no package file is touched, no cachefix.ini is left,
// and a correction is announced exactly when it is on disk; otherwise the rows still show the
// missing extensions.
#include <gtest/gtest.h>

#include "tests/engine/scan_fixture.h"
#include "tests/robustness/robust_fixture.h"

namespace qv::robust {
namespace {

using test::entryLine;
using test::fileExists;
using test::readFile;
using test::ScanGame;

const std::string kFixed = "Auto-corrected all missing map extensions...";
const std::string kStillMissing = "A file extension is still missing...only maps can be fixed.";
const std::string kErr = "**ERROR** Missing file extension in cache.ini ---> ";

// A lived-in index with LF line ends: packages of every type, maps without their extension,
// one name that is no map, a name that is not UTF-8.
std::vector<std::string> indexLines() {
    std::vector<std::string> lines = {"[Cache]"};
    for (unsigned n = 1; n <= 24; ++n) {
        static const char* const kNames[] = {"Tex%u.utx", "CTF-Map%u",      "Song%u.umx",
                                             "Code%u.u",  "DM-Arena%u.unr", "Snd\xe9%u.uax"};
        char buf[64];
        std::snprintf(buf, sizeof buf, kNames[n % 6], n);
        lines.push_back(entryLine(n, buf));
    }
    lines.push_back(entryLine(25, "Readme"));
    return lines;
}

std::string repairedText(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& l : lines) {
        out += l;
        if (l.find('.') == std::string::npos && l != "[Cache]" &&
            l.find("CTF-") != std::string::npos)
            out += ".unr";
        out += "\r\n";
    }
    return out;
}

TEST(RepairFaultSweep, IndexIsWholeAndPackagesUntouchedWhateverFails) {
    const std::vector<std::string> lines = indexLines();
    const std::string original = test::joinWith(lines, "\n");
    const std::string repaired = repairedText(lines);
    FaultTally tally("repair");
    sweepEveryOperation(tally,
                        [&](SweepPoint& p) {
                            ScanGame game(p.fs);
                            // The faults start with the scan: setting up the game goes past them.
                            const long setUpOps = p.fs.operationCount();
                            ASSERT_EQ(setUpOps, 0);
                            game.writeIndex(lines, "\n");
                            for (unsigned n = 1; n <= 25; n += 3)
                                game.addCacheFile(n, 1000000000 + n);
                            const auto packages = test::listNames(game.cacheDir);
                            game.scan();

                            const std::string index = readFile(game.indexPath());
                            EXPECT_FALSE(fileExists(game.cacheDir + "/cachefix.ini")) << p.where;
                            EXPECT_EQ(test::listNames(game.cacheDir), packages) << p.where;
                            for (unsigned n = 1; n <= 25; n += 3) {
                                EXPECT_EQ(readFile(game.cacheDir + "/" + test::guid(n) + ".uxx"),
                                          "package " + std::to_string(n))
                                    << p.where;
                            }
                            std::size_t announced = 0;
                            for (const auto& text : game.dialogs.messages())
                                if (text == kFixed || text == kStillMissing) ++announced;
                            if (p.err == 0) {
                                ASSERT_EQ(index, repaired);
                                ASSERT_EQ(announced, 1u);
                                return;
                            }
                            if (index == original) {
                                EXPECT_FALSE(game.pv.MapFixDone) << p.where;
                                EXPECT_EQ(announced, 0u) << p.where;
                                // The failed repair claims nothing: the rows, when the scan got
                                // that far, still show every map without its extension.
                                std::size_t flagged = 0;
                                for (const auto& row : game.state.rows)
                                    if (row.text.rfind(kErr, 0) == 0) ++flagged;
                                EXPECT_TRUE(game.state.rows.empty() || flagged == 5u)
                                    << p.where << ": " << flagged << " rows flagged";
                            } else {
                                EXPECT_EQ(index, repaired) << p.where;
                                EXPECT_TRUE(game.pv.MapFixDone) << p.where;
                                EXPECT_EQ(announced, 1u) << p.where;
                            }
                        },
                        {EACCES, ENOSPC, EXDEV});
}

}  // namespace
}  // namespace qv::robust
