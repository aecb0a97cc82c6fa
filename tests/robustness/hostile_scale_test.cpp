// Never-move lists of 100,000 names: loaded, matched against 100,000 rows, saved and added to,
// with every name in its place. The times of a tenth of the work are printed beside the full
// ones so a run shows whether the work grows in step with the list (nothing is timed as a check).
#include <gtest/gtest.h>

#include <chrono>

#include "engine/scan.h"
#include "settings/never_move.h"
#include "tests/engine/scan_fixture.h"
#include "tests/robustness/robust_fixture.h"

namespace qv::robust {
namespace {

using test::readFile;
using test::writeFile;
using Names = std::vector<std::string>;
using Clock = std::chrono::steady_clock;

// Name i of the list; every seventh is not ASCII, and the rows spell each one in upper case.
std::string nameOf(std::size_t i) {
    return "Pkg" + std::to_string(i) + (i % 7 == 0 ? "-\xe9t\xe9" : "") + ".unr";
}

struct Figures {
    double load = 0, mark = 0, save = 0, add = 0;
};

double msSince(Clock::time_point t) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

// The whole round of one list size, checked; returns the times taken.
Figures roundTrip(std::size_t count) {
    Figures f;
    test::TempDir dir;
    const std::string file = dir / "QuorvelDontMove.ini";
    std::string text;
    for (std::size_t i = 0; i < count; ++i) text += nameOf(i) + "\r\n";
    writeFile(file, text);
    FileSystem& fs = realFileSystem();

    auto t = Clock::now();
    auto loaded = LoadNeverMoveList(file, fs);
    f.load = msSince(t);
    EXPECT_TRUE(loaded.ok());
    EXPECT_EQ(loaded.value.size(), count);
    if (loaded.value.size() != count) return f;
    for (std::size_t i = 0; i < count; i += count / 10) EXPECT_EQ(loaded.value[i], nameOf(i));

    // One row per name, in upper case, and as many rows that are on no list.
    std::vector<FileRow> rows;
    rows.reserve(2 * count);
    for (std::size_t i = 0; i < count; ++i) {
        std::string upper = nameOf(i);
        for (char& c : upper)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        rows.push_back({upper, "", false, true, rows.size()});
        rows.push_back({"Other" + std::to_string(i) + ".unr", "", false, true, rows.size()});
    }
    t = Clock::now();
    MarkNeverMoveItems(rows, loaded.value);
    f.mark = msSince(t);
    std::size_t marked = 0;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const bool listed = r % 2 == 0;
        if (rows[r].neverMove != listed || rows[r].checked == listed) {
            ADD_FAILURE() << "row " << r << " " << rows[r].text;
            return f;
        }
        marked += rows[r].neverMove;
    }
    EXPECT_EQ(marked, count);

    t = Clock::now();
    EXPECT_TRUE(SaveNeverMoveList(file, loaded.value, fs).ok());
    f.save = msSince(t);
    std::string reversed;
    for (std::size_t i = count; i-- > 0;) reversed += nameOf(i) + "\r\n";
    EXPECT_EQ(readFile(file), reversed);

    t = Clock::now();
    EXPECT_TRUE(AppendNeverMoveName(file, "Added.utx", fs).ok());
    f.add = msSince(t);
    EXPECT_EQ(readFile(file), reversed + "Added.utx\r\n");
    EXPECT_EQ(test::listNames(dir.path()), Names{"QuorvelDontMove.ini"});
    return f;
}

TEST(HostileScale, HundredThousandNameNeverMoveList) {
    const Figures tenth = roundTrip(10000);
    const Figures full = roundTrip(100000);
    std::printf(
        "[ scale    ] never-move list   10,000 / 100,000 names (ms): load %.1f / %.1f, "
        "mark %.1f / %.1f, save %.1f / %.1f, add %.1f / %.1f\n",
        tenth.load, full.load, tenth.mark, full.mark, tenth.save, full.save, tenth.add, full.add);
}

TEST(HostileScale, ScanOfHundredThousandLinesAgainstAHundredThousandNameList) {
    test::ScanGame game;
    constexpr unsigned kCount = 100000;
    std::vector<std::string> lines = {"[Cache]"};
    std::string list;
    for (unsigned n = 1; n <= kCount; ++n) {
        lines.push_back(test::entryLine(n, nameOf(n)));
        if (n % 2 == 0) list += nameOf(n) + "\r\n";
    }
    game.writeIndex(lines);
    writeFile(game.programFolder + "/QuorvelDontMove.ini", list);
    const auto t = Clock::now();
    game.scan();
    const double ms = msSince(t);
    ASSERT_EQ(game.state.rows.size(), kCount);
    EXPECT_EQ(game.state.lstNM.size(), kCount / 2);
    for (unsigned n = 1; n <= kCount; ++n) {
        const FileRow& row = game.state.rows[n - 1];
        if (row.neverMove != (n % 2 == 0) || row.checked == (n % 2 == 0)) {
            ADD_FAILURE() << "row " << n;
            break;
        }
    }
    EXPECT_EQ(game.state.statusText, "Found " + std::to_string(kCount / 2) + " files to process");
    std::printf("[ scale    ] scan of %u lines with a %u-name never-move list: %.0f ms\n", kCount,
                kCount / 2, ms);
}

}  // namespace
}  // namespace qv::robust
