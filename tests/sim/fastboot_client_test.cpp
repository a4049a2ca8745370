// The simulated Android-based unit in fastboot mode, checked with the standard fastboot tool:
// its USB function in the device tree, the tool's handshake and commands over TCP, and a flash
// whose partition digest equals the file's.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include <fmt/format.h>

#include "sim/model/sha256.h"
#include "tests/sim/sim_process.h"
#include "tests/support/program_run.h"

namespace flintcast::simtest {
namespace {
namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string ReadAttr(const fs::path& p) {
    std::ifstream in(p);
    std::string s;
    std::getline(in, s);
    return s;
}

// Waits (real time) until the state file shows fastboot mode up; returns "127.0.0.1:PORT".
std::string WaitForFastboot(const SimProcess& sim) {
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (std::chrono::steady_clock::now() < deadline) {
        const auto state = sim.StateFile();
        if (state.contains("fastboot") && state["fastboot"].is_object()) return state["fastboot"]["tcp"];
        std::this_thread::sleep_for(20ms);
    }
    return {};
}

class FastbootClient : public ::testing::Test {
protected:
    void SetUp() override {
        if (!OnPath("fastboot")) GTEST_SKIP() << "fastboot is not installed (Debian package fastboot)";
    }
};

TEST_F(FastbootClient, ShowsItsFunctionAndAnswersTheStandardTool) {
    SimProcess sim({"--profile", "android"});
    EXPECT_TRUE(sim.StateFile()["fastboot"].is_null());
    ASSERT_EQ(sim.Ctl("personality fastboot"), 0);
    const auto address = WaitForFastboot(sim);
    ASSERT_FALSE(address.empty());

    // The function as a real system shows it, and the USB node that leads to it.
    const fs::path device = sim.root() / "sys/devices/flintcast-sim/usb1/1-1";
    const fs::path iface = device / "1-1:1.0";
    EXPECT_EQ(ReadAttr(iface / "bInterfaceClass"), "ff");
    EXPECT_EQ(ReadAttr(iface / "bInterfaceSubClass"), "42");
    EXPECT_EQ(ReadAttr(iface / "bInterfaceProtocol"), "03");
    const int bus = std::stoi(ReadAttr(device / "busnum"));
    const int dev = std::stoi(ReadAttr(device / "devnum"));
    const fs::path node = sim.root() / "dev/bus/usb" / fmt::format("{:03d}", bus) / fmt::format("{:03d}", dev);
    ASSERT_TRUE(fs::is_symlink(node));
    EXPECT_EQ(fs::read_symlink(node).string(), "tcp:" + address);
    EXPECT_TRUE(sim.DevEntries() == std::vector<std::string>{"bus"});  // no serial port in fastboot mode

    const std::string target = "tcp:" + address;
    auto r = RunProgram({"fastboot", "-s", target, "getvar", "product"});
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_NE(r.output.find("product: VAR35"), std::string::npos) << r.output;

    // A file of a few blocks with a remainder.
    const fs::path image = sim.state().parent_path() / "boot.img";
    std::vector<uint8_t> bytes(3 * 4096 + 123);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 31 + (i >> 8));
    std::ofstream(image, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    r = RunProgram({"fastboot", "-s", target, "flash", "boot", image.string()});
    EXPECT_EQ(r.exitCode, 0) << r.output;
    const auto boot = sim.StateFile()["partitions"]["boot"];
    EXPECT_EQ(boot["size"], bytes.size());
    EXPECT_EQ(boot["sha256"], sim::Sha256Hex(bytes));

    r = RunProgram({"fastboot", "-s", target, "flash", "modem", image.string()});
    EXPECT_NE(r.exitCode, 0);
    EXPECT_NE(r.output.find("does not exist"), std::string::npos) << r.output;

    // continue: the unit boots its system and comes back with its ports; fastboot is gone.
    r = RunProgram({"fastboot", "-s", target, "continue"});
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_TRUE(sim.WaitForDev({"bus", "ttyUSB0", "ttyUSB1", "ttyUSB2"}));
    EXPECT_TRUE(sim.StateFile()["fastboot"].is_null());
    for (const auto& entry : fs::recursive_directory_iterator(sim.root() / "dev/bus/usb"))
        if (entry.is_symlink()) {
            EXPECT_NE(fs::read_symlink(entry.path()).string(), target);
        }
}

TEST_F(FastbootClient, InjectedFaultsReachTheTool) {
    // Powers up in fastboot mode; a refused flash, then a link that drops mid-download.
    SimProcess sim({"--profile", "android", "--faults", "refuse:fastboot.flash;disconnect-at:fastboot=10000@2"});
    ASSERT_EQ(sim.Ctl("personality fastboot"), 0);
    const std::string target = "tcp:" + WaitForFastboot(sim);
    ASSERT_NE(target, "tcp:");
    const fs::path image = sim.state().parent_path() / "splash.bin";
    std::ofstream(image, std::ios::binary) << std::string(40000, 'S');

    auto r = RunProgram({"fastboot", "-s", target, "flash", "splash", image.string()});
    EXPECT_NE(r.exitCode, 0);
    EXPECT_NE(r.output.find("command refused"), std::string::npos) << r.output;
    EXPECT_FALSE(sim.StateFile()["partitions"].contains("splash"));

    // The standard tool does not notice the closed connection and is stopped after a while.
    r = RunProgram({"fastboot", "-s", target, "flash", "splash", image.string()}, {}, 3s);
    EXPECT_NE(r.exitCode, 0) << r.output;
    const auto state = sim.StateFile();
    EXPECT_EQ(state["status"], "unplugged");
    EXPECT_TRUE(state["fastboot"].is_null());
    EXPECT_FALSE(state["partitions"].contains("splash"));
}

}  // namespace
}  // namespace flintcast::simtest
