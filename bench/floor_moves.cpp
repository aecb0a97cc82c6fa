#include "bench/floor_moves.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/run/placement.h"

namespace qv::bench {

namespace {

struct Move {
    std::string from, to;
};

// The moves the run makes in the type-folder mode with every row checked, for the index lines
// [from, to): every line of a known type and a safe name, in index order.
std::vector<Move> plannedMoves(const SyntheticGame& game, const std::vector<std::string>& realNames,
                               std::size_t from, std::size_t to) {
    std::vector<Move> moves;
    moves.reserve(to - from);
    for (std::size_t i = from; i < to; ++i) {
        const std::string guid = syntheticGuid(i);
        const char* folder = nullptr;
        switch (qv::packageTypeOfLine(guid + "=" + realNames[i])) {
            case qv::PackageType::Map:
                folder = "/Maps/";
                break;
            case qv::PackageType::Texture:
                folder = "/Textures/";
                break;
            case qv::PackageType::Music:
                folder = "/Music/";
                break;
            case qv::PackageType::Sound:
                folder = "/Sounds/";
                break;
            case qv::PackageType::System:
                folder = "/System/";
                break;
            case qv::PackageType::Unknown:
                continue;
        }
        moves.push_back(
            {game.cacheDir + "/" + guid + ".uxx", game.gameDir + folder + realNames[i]});
    }
    return moves;
}

}  // namespace

FloorMoves floorMoves(const SyntheticGame& twin, std::size_t entries, bool back) {
    const std::vector<std::string> realNames = syntheticRealNames(entries);
    constexpr std::size_t kSlice = 10000;
    FloorMoves f;
    const auto add = [](Spent& to, const Spent& s) { to.wall += s.wall, to.cpu += s.cpu; };
    for (std::size_t from = 0; from < entries; from += kSlice) {
        const std::vector<Move> moves =
            plannedMoves(twin, realNames, from, std::min(entries, from + kSlice));
        f.planned += moves.size();
        if (!back)
            add(f.header, spentOn([&] {
                    char block[64];
                    for (const Move& m : moves) {
                        const int fd = ::open(m.from.c_str(), O_RDONLY | O_NOATIME | O_CLOEXEC);
                        if (fd < 0) continue;
                        (void)::pread(fd, block, sizeof block, 0);
                        ::close(fd);
                    }
                }));
        add(f.moves, spentOn([&] {
                for (const Move& m : moves)
                    if (::renameat2(AT_FDCWD, (back ? m.to : m.from).c_str(), AT_FDCWD,
                                    (back ? m.from : m.to).c_str(), RENAME_NOREPLACE) == 0)
                        ++f.done;
            }));
        add(f.lookup, spentOn([&] {
                struct stat st;
                for (const Move& m : moves) (void)::lstat((back ? m.from : m.to).c_str(), &st);
            }));
    }
    // The moves' metadata goes to the disk now, so that the step timed next does not pay for it
    // in its own first flush.
    ::sync();
    return f;
}

}  // namespace qv::bench
