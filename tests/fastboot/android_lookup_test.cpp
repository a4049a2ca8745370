#include <gtest/gtest.h>

#include <fstream>

#include <fmt/format.h>

#include "controller/android_interfaces.h"
#include "devkit/temp_dir.h"

namespace flintcast::testing {
namespace {

namespace fs = std::filesystem;
using controller::AndroidInterface;
using controller::FindAndroidInterface;

void Attribute(const fs::path& file, const std::string& value) { std::ofstream(file) << value << "\n"; }

// A USB device with one Android interface of `protocol`, as sysfs shows it.
void PlugUnit(const fs::path& root, const std::string& protocol, int bus, int dev) {
    const fs::path device = root / "sys/devices/pci0000:00/usb1" / fmt::format("{}-1", bus);
    const fs::path iface = device / fmt::format("{}-1:1.0", bus);
    fs::create_directories(iface);
    Attribute(device / "busnum", std::to_string(bus));
    Attribute(device / "devnum", std::to_string(dev));
    Attribute(iface / "bInterfaceClass", "ff");
    Attribute(iface / "bInterfaceSubClass", "42");
    Attribute(iface / "bInterfaceProtocol", protocol);
}

TEST(AndroidLookupTest, FastbootInterfaceNamesItsUsbDeviceOrTheNetworkLinkItsNodeLeadsTo) {
    TempDir root;
    std::string name;
    EXPECT_EQ(FindAndroidInterface(root.path(), AndroidInterface::Fastboot, 0, name), 259);

    PlugUnit(root.path(), "03", 3, 17);
    ASSERT_EQ(FindAndroidInterface(root.path(), AndroidInterface::Fastboot, 0, name), 0);
    EXPECT_EQ(name, "usb:3:17");
    EXPECT_EQ(FindAndroidInterface(root.path(), AndroidInterface::Fastboot, 1, name), 259);
    EXPECT_EQ(FindAndroidInterface(root.path(), AndroidInterface::Adb, 0, name), 259);

    fs::create_directories(root.path() / "dev/bus/usb/003");
    fs::create_symlink("tcp:127.0.0.1:40123", root.path() / "dev/bus/usb/003/017");
    ASSERT_EQ(FindAndroidInterface(root.path(), AndroidInterface::Fastboot, 0, name), 0);
    EXPECT_EQ(name, "tcp:127.0.0.1:40123");
}

TEST(AndroidLookupTest, UnitRunningAndroidIsNotReadyForFastbootButHasItsAdbInterface) {
    TempDir root;
    PlugUnit(root.path(), "01", 1, 4);
    std::string name;
    EXPECT_EQ(FindAndroidInterface(root.path(), AndroidInterface::Fastboot, 0, name), 255);
    ASSERT_EQ(FindAndroidInterface(root.path(), AndroidInterface::Adb, 0, name), 0);
    EXPECT_EQ(name, "usb:1:4");
}

}  // namespace
}  // namespace flintcast::testing
