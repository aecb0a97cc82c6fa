// The lock of this machine for what cannot be flocked itself: private to the owner, shared with
// root, and not to be blocked by another user.
#include "platform/machine_lock.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

namespace qv::test {
namespace {

mode_t modeOf(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

uid_t ownerOf(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? st.st_uid : static_cast<uid_t>(-1);
}

// Guards: a second holder let in, a lock file or folder others can open (and so hold), a lock
// left held after its holder ended, root and the owner at different files, another user's
// folder of the owner's name taken for the owner's.
TEST(MachineLock, OneHolderAtATimeInTheOwnersPrivateFolder) {
    const dev_t device = 0x5eed;
    const ino_t inode = 0x1000 + static_cast<ino_t>(::getpid());
    std::string path;
    {
        MachineLock first(device, inode, ::geteuid(), false);
        ASSERT_EQ(first.state(), MachineLock::State::Held) << first.failure();
        path = first.path();
        EXPECT_EQ(MachineLock(device, inode, ::geteuid(), false).state(), MachineLock::State::Busy);
        EXPECT_EQ(modeOf(path), 0600u);
        EXPECT_EQ(modeOf(std::filesystem::path(path).parent_path()), 0700u);
    }
    EXPECT_EQ(MachineLock(device, inode, ::geteuid(), false).state(), MachineLock::State::Held);
    ::unlink(path.c_str());
    if (::geteuid() != 0) GTEST_SKIP() << "the rest needs root to play two other users";

    // Root locks for a player: the player's folder and file, the player's to open.
    const uid_t player = 54321, other = 54322;
    for (const char* base : {"/run/lock", "/tmp"})
        std::filesystem::remove_all(std::string(base) + "/quorvel-" + std::to_string(player));
    {
        MachineLock root(device, inode, player, false);
        ASSERT_EQ(root.state(), MachineLock::State::Held) << root.failure();
        EXPECT_EQ(ownerOf(root.path()), player);
        EXPECT_EQ(ownerOf(std::filesystem::path(root.path()).parent_path()), player);
        // The player's own Quorvel meets root's at that file; another user's cannot enter.
        for (const auto& [who, expected] : {std::pair{player, MachineLock::State::Busy},
                                            std::pair{other, MachineLock::State::Unavailable}}) {
            const pid_t child = ::fork();
            if (child == 0) {
                const bool dropped =
                    ::setresgid(who, who, who) == 0 && ::setresuid(who, who, who) == 0;
                ::_exit(dropped && MachineLock(device, inode, player, false).state() == expected
                            ? 0
                            : 1);
            }
            int status = -1;
            ::waitpid(child, &status, 0);
            EXPECT_EQ(status, 0) << who;
        }
        ::unlink(root.path().c_str());
        ::rmdir(std::filesystem::path(root.path()).parent_path().c_str());
    }
    // Another user made the player's folder first: it is not used, and nothing blocks.
    const std::string taken = "/run/lock/quorvel-" + std::to_string(player);
    ASSERT_EQ(::mkdir(taken.c_str(), 0777), 0);
    ASSERT_EQ(::chown(taken.c_str(), other, other), 0);
    ::chmod(taken.c_str(), 0777);
    {
        MachineLock root(device, inode, player, false);
        ASSERT_EQ(root.state(), MachineLock::State::Held) << root.failure();
        EXPECT_EQ(root.path().rfind("/tmp/quorvel-", 0), 0u) << root.path();
    }
    for (const char* base : {"/run/lock", "/tmp"})
        std::filesystem::remove_all(std::string(base) + "/quorvel-" + std::to_string(player));
}

}  // namespace
}  // namespace qv::test
