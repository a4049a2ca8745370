#include <gtest/gtest.h>

#include <fmt/format.h>
#include <fstream>

#include "controller/device_check.h"
#include "controller/discovery_directory.h"
#include "platform/paths.h"
#include "platform/port_scanner.h"
#include "tests/at/scripted_port.h"
#include "devkit/temp_dir.h"
#include "devkit/wait_until.h"

namespace fs = std::filesystem;
using namespace flintcast;
using flintcast::testing::ScriptedPort;

namespace {

void Write(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text << "\n";
}

// A USB device with serial interfaces in a device tree laid out like sysfs.
void AddUsbDevice(const fs::path& root, const std::string& pid,
                  const std::vector<std::tuple<int, std::string, std::string>>& interfaces) {
    const fs::path dev = root / "sys/devices/usb1" / ("1-" + pid);
    Write(dev / "idVendor", "f1c0");
    Write(dev / "idProduct", pid);
    Write(dev / "bcdDevice", "0100");
    Write(dev / "product", "Virtual Data Card");
    for (const auto& [number, name, tty] : interfaces) {
        const fs::path iface = dev / fmt::format("1-1:1.{}", number);
        Write(iface / "bInterfaceNumber", fmt::format("{:02x}", number));
        if (!name.empty()) Write(iface / "interface", name);
        fs::create_directories(iface / tty);
        const fs::path cls = root / "sys/class/tty" / tty;
        fs::create_directories(cls);
        fs::create_directory_symlink(iface / tty, cls / "device");
    }
    // A tty that is not on USB is never a candidate.
    fs::create_directories(root / "sys/class/tty/ttyS0");
}

// A modem of the simulated card: echo, value, OK.
std::string Answer(const std::string& in, const std::string& version) {
    if (in.find("AT+CGMR") != std::string::npos) return "AT+CGMR\r\r\n" + version + "\r\n\r\nOK\r\n";
    if (in.find("ATI") != std::string::npos) return "ATI\r\r\nVer." + version + "\r\nIMEI:1\r\nOK\r\n";
    if (in.find("AT+FLASHINFO") != std::string::npos)
        return "AT+FLASHINFO\r\r\nID:0XECA1 PAGESIZE:2048 MCP:1,2 DEVICEWIDTH:16\r\n\r\nOK\r\n";
    return in + "\r\nOK\r\n";
}

struct DiscoveryFixture : ::testing::Test {
    flintcast::testing::TempDir root;
    platform::Clock clock{0.01};
    std::vector<std::string> log;

    void SetUp() override {
        platform::SetDeviceRoot(root.path());
        AddUsbDevice(root.path(), "0046", {{0, "Diag", "ttyUSB0"}, {1, "Terminal", "ttyUSB1"}, {2, "Modem", "ttyUSB2"}});
    }
    void TearDown() override { platform::ResetDeviceRoot(); }

    controller::DeviceDiscovery Make(const config::ProjectConfig& cfg, controller::DiscoverySettings settings = {}) {
        controller::ProbeSettings probe;
        probe.projectType = cfg.projectType;
        probe.checkProjectCode = cfg.bCheckProjectCode;
        probe.memoryCheck = cfg.memoryCheck;
        probe.packageName = cfg.name;
        return controller::DeviceDiscovery(clock, root.path(), settings, probe,
                                           [this](std::string_view l) { log.emplace_back(l); });
    }
};

struct CheckResult {
    std::string status;
    std::string warning;
    bool start = false;
};

controller::DeviceCheckHooks Hooks(CheckResult& r) {
    controller::DeviceCheckHooks h;
    h.status = [&r](std::string_view t, bool) { r.status = std::string(t); };
    h.warning = [&r](std::string_view t) { r.warning = std::string(t); };
    h.startEnabled = [&r](bool on) { r.start = on; };
    return h;
}

}  // namespace

TEST_F(DiscoveryFixture, ScanFindsUsbPortsWithHardwareIds) {
    const auto ports = platform::ScanUsbSerialPorts(root.path());
    ASSERT_TRUE(ports);
    ASSERT_EQ(ports->size(), 3u);
    EXPECT_EQ((*ports)[0].hardwareId(), "USB\\VID_F1C0&PID_0046&REV_0100&MI_00");
    EXPECT_EQ((*ports)[2].interfaceString, "Modem");
    EXPECT_FALSE(platform::ScanUsbSerialPorts(root.path() / "nowhere"));
    EXPECT_TRUE(platform::PortNameLess("ttyUSB2", "ttyUSB10"));
}

TEST_F(DiscoveryFixture, ReadyDeviceAndModeSwitchSentOnce) {
    ScriptedPort modem(root.path(), "ttyUSB2", [](const std::string& in) { return Answer(in, "SWK0046V1.4.0"); });
    config::ProjectConfig cfg;
    cfg.projectType = 46;
    auto discovery = Make(cfg, controller::DefaultDiscoverySettings());
    CheckResult r;
    controller::DeviceCheck check(discovery, cfg, Hooks(r));
    EXPECT_EQ(check.RunDeviceCheck(), controller::PassOutcome::Ended) << "the switch was sent: the check ends when ready";
    EXPECT_EQ(r.status, "Ready");
    EXPECT_TRUE(r.start);
    const auto boxes = discovery.boxes();
    EXPECT_EQ(boxes.diag, std::vector<std::string>{"ttyUSB0"});
    EXPECT_EQ(boxes.terminal, std::vector<std::string>{"ttyUSB1"});
    EXPECT_EQ(boxes.modem, std::vector<std::string>{"ttyUSB2"});
    EXPECT_TRUE(discovery.modeSwitchSent());
    EXPECT_EQ(discovery.facts().deviceVersion, "SWK0046V1.4.0");
    size_t switches = 0;
    bool askedInfo = false;
    for (const auto& chunk : modem.received()) {
        switches += chunk == "AT+DISK=8,\"D1\"\r\n";
        askedInfo = askedInfo || chunk == "ATI\r\n\r\n";
    }
    EXPECT_EQ(switches, 1u);
    EXPECT_TRUE(askedInfo) << "project 46 asks its version with ATI";
    EXPECT_TRUE(discovery.IsSameDiagPort("ttyUSB0"));
    EXPECT_FALSE(discovery.IsSameDiagPort("ttyUSB3"));
}

TEST_F(DiscoveryFixture, RefusalsEndTheCheck) {
    ScriptedPort modem(root.path(), "ttyUSB2", [](const std::string& in) { return Answer(in, "SWK0038V1.4.0"); });
    config::ProjectConfig cfg;
    cfg.projectType = 38;
    cfg.bCheckProjectCode = true;
    cfg.version = "SWK0046.1";
    {
        auto discovery = Make(cfg);
        CheckResult r;
        controller::DeviceCheck check(discovery, cfg, Hooks(r));
        EXPECT_EQ(check.RunDeviceCheck(), controller::PassOutcome::Ended);
        EXPECT_EQ(r.warning, "Could not update other irrelevant model device!");
        EXPECT_EQ(r.status, "Not Ready");
        EXPECT_FALSE(r.start);
    }
    cfg.bCheckProjectCode = false;
    cfg.bCheckMainboardType = true;
    cfg.version = "SWK0038V1.4.1";
    {
        auto discovery = Make(cfg);
        CheckResult r;
        controller::DeviceCheck check(discovery, cfg, Hooks(r));
        check.RunDeviceCheck();
        EXPECT_EQ(r.warning, "Can't update other irrelevant mobile devices.");
    }
    cfg.bCheckMainboardType = false;
    cfg.memoryCheck = cfg.bCheckDataCardMemory = true;
    cfg.memoryFlashSize = "1024M";
    {
        auto discovery = Make(cfg);
        CheckResult r;
        controller::DeviceCheck check(discovery, cfg, Hooks(r));
        check.RunDeviceCheck();
        EXPECT_EQ(r.warning, "Memory size is not matched!");
    }
}

TEST_F(DiscoveryFixture, SilentModemIsNoModemAndDeviceNotReady) {
    ScriptedPort modem(root.path(), "ttyUSB2", [](const std::string&) { return std::string(); });
    config::ProjectConfig cfg;
    cfg.projectType = 6;
    auto discovery = Make(cfg);
    CheckResult r;
    std::string label;
    auto hooks = Hooks(r);
    hooks.versionLabel = [&label](std::string_view t) { label = std::string(t); };
    bool uninstalled = false;
    hooks.markDriverUninstalled = [&] { uninstalled = true; };
    controller::DeviceCheck check(discovery, cfg, hooks);
    EXPECT_EQ(check.RunDeviceCheck(), controller::PassOutcome::KeepPolling);
    EXPECT_EQ(r.status, "Not Ready");
    EXPECT_EQ(label, "Versinon:");
    EXPECT_TRUE(uninstalled);
}

TEST_F(DiscoveryFixture, DeviceNodeWatcherSetsFlags) {
    config::ProjectConfig cfg;
    auto discovery = Make(cfg);
    controller::DiscoveryDirectory directory(discovery);
    ASSERT_TRUE(directory.WatchDevices(root.path()));
    fs::create_symlink("/dev/null", root.path() / "dev/ttyUSB7");
    flintcast::testing::WaitUntil([&] { return directory.deviceArrivalSeen().load() != 0; });
    EXPECT_EQ(directory.deviceArrivalSeen().load(), 1);
    directory.ClearDeviceFlags();
    fs::remove(root.path() / "dev/ttyUSB7");
    flintcast::testing::WaitUntil([&] { return directory.deviceChangeSeen().load() != 0; });
    EXPECT_EQ(directory.deviceChangeSeen().load(), 1);
    EXPECT_EQ(directory.deviceArrivalSeen().load(), 0) << "a removal is a change, not an arrival";
}
