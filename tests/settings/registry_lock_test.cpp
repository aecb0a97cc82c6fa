// The registry store where the file system has no flock (ctest runs this under the nfs_like shim).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <thread>

#include "platform/machine_lock.h"
#include "settings/registry_file.h"
#include "tests/support/temp_dir.h"

namespace qv::test {
namespace {

constexpr std::int32_t kMachine = static_cast<std::int32_t>(0x80000002u);

// Guards: "No locks available" for every save, a save that does not wait for another writer.
TEST(RegistryStoreWithoutFlock, SavesUnderTheLockOfThisMachine) {
    TempDir dir;
    ::setenv("QV_SHIM_NO_FILE_FLOCK", dir.path().c_str(), 1);
    const std::string probe = dir / "probe";
    const int fd = ::open(probe.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    const bool refused = ::flock(fd, LOCK_EX) != 0 && errno == ENOLCK;
    ::close(fd);
    ::unlink(probe.c_str());
    if (!refused) {
        ::unsetenv("QV_SHIM_NO_FILE_FLOCK");
        GTEST_SKIP() << "needs the nfs_like shim preloaded";
    }
    RegistryFile store(dir / "registry.reg");
    const Status first = store.setValue(kMachine, "Software\\Velmora", "A", {REG_SZ_TYPE, "1"});
    ASSERT_TRUE(first.ok()) << first.text;

    struct stat st {};
    ASSERT_EQ(::stat((dir / "registry.reg.lock").c_str(), &st), 0);
    auto held = std::make_unique<MachineLock>(st.st_dev, st.st_ino, st.st_uid, false);
    ASSERT_EQ(held->state(), MachineLock::State::Held) << held->failure();
    const std::string lockFile = held->path();
    std::atomic<bool> saved{false};
    std::thread writer([&] {
        saved = store.setValue(kMachine, "Software\\Velmora", "B", {REG_SZ_TYPE, "2"}).ok();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(saved) << "saved while another writer held the store";
    held.reset();
    writer.join();
    EXPECT_TRUE(saved);
    const auto b = store.getValue(kMachine, "Software\\Velmora", "B");
    ASSERT_TRUE(b.ok() && b.value);
    EXPECT_EQ(b.value->data, "2");
    EXPECT_TRUE(store.getValue(kMachine, "Software\\Velmora", "A").value.has_value());
    ::unlink(lockFile.c_str());
    ::unsetenv("QV_SHIM_NO_FILE_FLOCK");
}

}  // namespace
}  // namespace qv::test
