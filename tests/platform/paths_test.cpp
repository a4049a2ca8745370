#include "platform/paths.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/instance_lock.h"
#include "devkit/temp_dir.h"

using namespace flintcast::platform;
namespace fs = std::filesystem;

namespace {

// Sets an environment variable for one test and puts the old value back.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value != nullptr)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }
    ~ScopedEnv() {
        if (old_)
            ::setenv(name_, old_->c_str(), 1);
        else
            ::unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

}  // namespace

TEST(PortNames, WindowsRuleAndDevicePathsUnderTheRoot) {
    EXPECT_EQ(WindowsPortDeviceName(9), "COM9");
    EXPECT_EQ(WindowsPortDeviceName(10), "\\\\.\\COM10");
    EXPECT_EQ(WindowsPortDeviceName(12), "\\\\.\\COM12");
    EXPECT_EQ(WindowsPortLabel(12), "COM12");

    SetDeviceRoot("/tmp/simroot");
    EXPECT_EQ(PortDevicePath("ttyUSB2"), fs::path("/tmp/simroot/dev/ttyUSB2"));
    for (const char* bad : {"", ".", "..", "../ttyUSB2", "tty/USB2", "pts\\1", "tty\nUSB"})
        EXPECT_FALSE(PortDevicePath(bad).has_value()) << bad;
    ResetDeviceRoot();
    {
        ScopedEnv env("FLINTCAST_DEVICE_ROOT", "/srv/dev-tree");
        EXPECT_EQ(DeviceRoot(), fs::path("/srv/dev-tree"));
    }
    {
        ScopedEnv env("FLINTCAST_DEVICE_ROOT", nullptr);
        EXPECT_EQ(PortDevicePath("ttyACM0"), fs::path("/dev/ttyACM0"));
    }
}

TEST(ToolFolders, FollowXdgWithDefaultsForUnsetOrRelativeValues) {
    ScopedEnv home("HOME", "/home/op");
    ScopedEnv data("XDG_DATA_HOME", "/data");
    ScopedEnv state("XDG_STATE_HOME", "relative/state");  // ignored: not absolute
    ScopedEnv config("XDG_CONFIG_HOME", nullptr);
    ScopedEnv tmp("TMPDIR", "/scratch");
    EXPECT_EQ(BackupRoot(), fs::path("/data/flintcast/Backup"));
    EXPECT_EQ(RunLogDir(), fs::path("/home/op/.local/state/flintcast/logs"));
    EXPECT_EQ(AutotestMarkerDir(), fs::path("/home/op/.local/state/flintcast/autotest"));
    EXPECT_EQ(AppConfigDir(), fs::path("/home/op/.config/flintcast"));
    const fs::path temp = fs::path("/scratch") / ("flintcast-" + std::to_string(::getuid()));
    EXPECT_EQ(StagingDir(), temp / "TempFiles");
    EXPECT_EQ(SecondStagingDir(), temp / "TempFiles2");
}

TEST(InstanceLocks, SecondHolderIsRefusedUntilTheFirstLetsGo) {
    flintcast::testing::TempDir dir;
    ScopedEnv runtime("XDG_RUNTIME_DIR", dir.path().c_str());
    EXPECT_FALSE(InstanceLock::IsHeld("Downloading_Mutex"));
    auto first = InstanceLock::TryAcquire("Downloading_Mutex");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(InstanceLock::LockPath("Downloading_Mutex"), dir.path() / "Downloading_Mutex.lock");
    EXPECT_TRUE(InstanceLock::IsHeld("Downloading_Mutex"));
    EXPECT_EQ(InstanceLock::TryAcquire("Downloading_Mutex"), nullptr);
    EXPECT_FALSE(InstanceLock::IsHeld("Other_Mutex"));
    first.reset();
    EXPECT_FALSE(InstanceLock::IsHeld("Downloading_Mutex"));
    EXPECT_NE(InstanceLock::TryAcquire("Downloading_Mutex"), nullptr);

    // Names cannot reach outside the runtime folder.
    EXPECT_EQ(InstanceLock::LockPath("../x/y").parent_path(), dir.path());
    EXPECT_EQ(InstanceLock::LockPath("..").parent_path(), dir.path());
}
