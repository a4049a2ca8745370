// Following the simulated device through a reset: the device-change flags from the watcher on
// <root>/dev, the re-discovery of ports that come back under other numbers, the reopen loops,
// and a device that never comes back.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "tests/discovery_sim/sim_rig.h"
#include "devkit/wait_until.h"

using namespace flintcast;
using flintcast::testing::SimRig;

namespace {

bool WaitFlag(const std::atomic<int32_t>& flag, std::chrono::milliseconds limit = std::chrono::seconds(3)) {
    return flintcast::testing::WaitUntil([&] { return flag.load() != 0; }, limit);
}

// The worker's side of the first reset of a run, after the reset request went out: close both
// ports, wait for the device, find its ports and reopen them.
struct FirstResetResult {
    bool arrived = false;
    engine::PortTexts texts;
    bool diagOpen = false;
    bool modemOpen = false;
    uint32_t tookMs = 0;
};

FirstResetResult FollowFirstReset(SimRig& rig, const std::string& resetCommand) {
    engine::ResetRediscovery reset(rig.worker.ctx, *rig.directory, engine::ResetSettings{});
    rig.worker.serial.port(engine::PortSlot::Diag).close();
    rig.worker.serial.port(engine::PortSlot::Modem).close();
    rig.directory->ClearDeviceFlags();
    EXPECT_EQ(rig.sim.Ctl(resetCommand), 0);
    FirstResetResult r;
    const uint32_t start = rig.worker.clock.tickMs();
    r.arrived = reset.WaitForDevice(engine::ResetStage::First);
    r.texts = reset.RediscoverPorts(engine::ResetStage::First);
    r.diagOpen = reset.ReopenAfterReset(engine::ResetStage::First, engine::PortKind::Diag, r.texts.diag);
    if (r.diagOpen)
        r.modemOpen = reset.ReopenAfterReset(engine::ResetStage::First, engine::PortKind::Modem, r.texts.modem);
    r.tookMs = rig.worker.clock.tickMs() - start;
    return r;
}

}  // namespace

TEST(RediscoveryOnSimulator, WatcherSetsChangeOnRemovalAndArrivalOnReturn) {
    SimRig rig("", 46);
    ASSERT_TRUE(rig.started());
    ASSERT_TRUE(rig.directory->WatchDevices(rig.sim.root()));
    ASSERT_EQ(rig.sim.Ctl("unplug"), 0);
    EXPECT_TRUE(WaitFlag(rig.directory->deviceChangeSeen()));
    EXPECT_EQ(rig.directory->deviceArrivalSeen().load(), 0) << "ports leaving are a change, not an arrival";
    ASSERT_EQ(rig.sim.Ctl("plug"), 0);
    EXPECT_TRUE(WaitFlag(rig.directory->deviceArrivalSeen()));
    rig.directory->StopWatching();
}

TEST(RediscoveryOnSimulator, PortsThatComeBackUnderNewNumbersAreFoundAndReopened) {
    SimRig rig(R"({"usb": {"shift_ports": true}})", 46);
    ASSERT_TRUE(rig.started());
    ASSERT_TRUE(rig.directory->WatchDevices(rig.sim.root()));
    ASSERT_TRUE(rig.discovery->RefreshPortBoxes());
    ASSERT_TRUE(rig.OpenPorts("ttyUSB0", "ttyUSB2"));
    const uint64_t before = rig.State()["enumerations"].get<uint64_t>();

    const auto r = FollowFirstReset(rig, "reset");
    const auto state = rig.WaitPresent(before + 1);
    ASSERT_EQ(SimRig::PortsWithRole(state, "diag"), std::vector<std::string>{"ttyUSB3"});
    EXPECT_TRUE(r.arrived);
    EXPECT_TRUE(rig.worker.posted("Receive device Arrival after reset"));
    EXPECT_TRUE(rig.worker.posted("Port has changed"));
    EXPECT_EQ(r.texts.diag, "ttyUSB3");
    EXPECT_EQ(r.texts.modem, "ttyUSB5");
    EXPECT_TRUE(rig.worker.posted("ttyUSB3 Diagnostic ready"));
    EXPECT_TRUE(rig.worker.posted("ttyUSB5 Modem ready"));
    EXPECT_TRUE(r.diagOpen);
    EXPECT_TRUE(r.modemOpen);
    EXPECT_TRUE(rig.worker.posted("ttyUSB3 Initial Diagnostic0......ok"));
    EXPECT_TRUE(rig.worker.posted("ttyUSB5 Initial Modem0......ok"));
    EXPECT_TRUE(rig.worker.errors().empty());
    EXPECT_EQ(rig.worker.serial.diagPortName, "ttyUSB3");
    EXPECT_EQ(rig.worker.serial.modemPortName, "ttyUSB5");
    // The reopened modem port talks to the device.
    std::string value;
    EXPECT_TRUE(rig.at->SendAT("AT+CGSN\r\n\r\n", value));
    EXPECT_NE(value.find(state["modem"]["identity"]["imei"].get<std::string>()), std::string::npos);
}

TEST(RediscoveryOnSimulator, PortsThatComeBackUnderTheSameNumbersSkipTheSearch) {
    SimRig rig("", 46);
    ASSERT_TRUE(rig.started());
    ASSERT_TRUE(rig.directory->WatchDevices(rig.sim.root()));
    ASSERT_TRUE(rig.discovery->RefreshPortBoxes());
    ASSERT_TRUE(rig.OpenPorts("ttyUSB0", "ttyUSB2"));

    const auto r = FollowFirstReset(rig, "reset");
    EXPECT_TRUE(r.arrived);
    EXPECT_FALSE(rig.worker.posted("Port has changed"));
    EXPECT_EQ(r.texts.diag, "ttyUSB0");
    EXPECT_EQ(r.texts.modem, "ttyUSB2");
    EXPECT_TRUE(r.diagOpen);
    EXPECT_TRUE(r.modemOpen);
    EXPECT_TRUE(rig.worker.errors().empty());
}

TEST(RediscoveryOnSimulator, DeviceThatNeverReturnsEndsInTheTimeOutText) {
    SimRig rig("", 46, {"--faults", "no-return"}, {}, flintcast::testing::kFastSimScale);
    ASSERT_TRUE(rig.started());
    ASSERT_TRUE(rig.directory->WatchDevices(rig.sim.root()));
    ASSERT_TRUE(rig.discovery->RefreshPortBoxes());
    ASSERT_TRUE(rig.OpenPorts("ttyUSB0", "ttyUSB2"));

    const auto r = FollowFirstReset(rig, "reset");
    EXPECT_EQ(rig.State()["status"], "unplugged");
    EXPECT_FALSE(r.arrived);
    EXPECT_FALSE(rig.worker.posted("Receive device Arrival after reset"));
    EXPECT_TRUE(rig.worker.posted("Port has changed"));
    EXPECT_TRUE(rig.worker.posted("Diagnostic commport0......empty"));
    EXPECT_TRUE(rig.worker.posted("Modem commport0......empty"));
    EXPECT_TRUE(rig.worker.posted(" Initial Diagnostic0......wait"));
    EXPECT_FALSE(r.diagOpen);
    const auto errors = rig.worker.errors();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("ComPort0 timeout"), std::string::npos) << errors[0];
    // The change is seen at the first 2-s poll, then 60 arrival polls of 2 s, 100 scans of at
    // least 2 s and 21 reopen waits of 6 s: the limits of the waits, with room for the scans'
    // own presence checks, but far from a hang.
    constexpr uint32_t kWaits = 2000u + 120000u + 200000u + 126000u;
    EXPECT_GE(r.tookMs, kWaits);
    EXPECT_LE(r.tookMs, kWaits + 240000u);
}

TEST(RediscoveryOnSimulator, StopRequestEndsTheReopenLoop) {
    SimRig rig("", 46, {"--faults", "no-return"});
    ASSERT_TRUE(rig.started());
    engine::ResetRediscovery reset(rig.worker.ctx, *rig.directory, engine::ResetSettings{});
    ASSERT_EQ(rig.sim.Ctl("reset"), 0);
    // The stop comes while the loop waits for the port: after its first attempt failed.
    std::thread stopper([&rig] {
        flintcast::testing::WaitUntil([&rig] { return rig.worker.posted("ttyUSB0 Initial Diagnostic0......wait"); });
        rig.worker.reporter.RequestStop();
    });
    const uint32_t start = rig.worker.clock.tickMs();
    EXPECT_FALSE(reset.ReopenAfterReset(engine::ResetStage::First, engine::PortKind::Diag, "ttyUSB0"));
    stopper.join();
    EXPECT_TRUE(rig.worker.posted("COMM Closed"));
    EXPECT_LT(rig.worker.clock.tickMs() - start, 126000u) << "the loop ends at the stop, not at its last attempt";
}

namespace {

// Puts the simulated device into its programmer personality and opens the worker's diagnostic
// port on the programmer port, as the streaming stage leaves it.
std::string EnterProgrammer(SimRig& rig) {
    const uint64_t before = rig.State()["enumerations"].get<uint64_t>();
    EXPECT_EQ(rig.sim.Ctl("personality programmer"), 0);
    const auto state = rig.WaitPresent(before + 1);
    const auto ports = SimRig::PortsWithRole(state, "programmer");
    if (ports.size() != 1) return {};
    rig.worker.serial.diagPortName = ports[0];
    rig.worker.serial.modemPortName.clear();
    rig.worker.serial.OpenDiagPort();
    return ports[0];
}

}  // namespace

TEST(RediscoveryOnSimulator, ResetAfterDownloadFollowsShiftedPortsAndReopensBoth) {
    SimRig rig(R"({"project": 19, "usb": {"shift_ports": true}})", 19);
    ASSERT_TRUE(rig.started());
    ASSERT_TRUE(rig.directory->WatchDevices(rig.sim.root()));
    ASSERT_EQ(EnterProgrammer(rig), "ttyUSB3");
    const uint64_t before = rig.State()["enumerations"].get<uint64_t>();
    engine::ResetRediscovery reset(rig.worker.ctx, *rig.directory, engine::ResetSettings{});
    EXPECT_TRUE(reset.ResetAfterDownload());
    const auto state = rig.WaitPresent(before + 1);
    EXPECT_EQ(state["personality"], "normal");
    EXPECT_TRUE(rig.worker.posted("Reset or power off......"));
    EXPECT_TRUE(rig.worker.posted("Receive device Arrival after reset"));
    EXPECT_TRUE(rig.worker.posted("Port has changed"));
    EXPECT_TRUE(rig.worker.posted("ttyUSB4 ready"));
    EXPECT_TRUE(rig.worker.posted("ttyUSB6 ready"));
    EXPECT_TRUE(rig.worker.posted("Reset or poweroff successfully!"));
    EXPECT_TRUE(rig.worker.errors().empty());
    EXPECT_TRUE(rig.worker.serial.diagOpen());
    EXPECT_TRUE(rig.worker.serial.modemOpen());
    EXPECT_EQ(rig.worker.serial.modemPortName, "ttyUSB6");
}

TEST(RediscoveryOnSimulator, ResetAfterDownloadOfADeviceThatNeverReturnsFails) {
    SimRig rig(R"({"project": 6})", 6, {"--faults", "no-return"}, {}, flintcast::testing::kFastSimScale);
    ASSERT_TRUE(rig.started());
    ASSERT_TRUE(rig.directory->WatchDevices(rig.sim.root()));
    ASSERT_FALSE(EnterProgrammer(rig).empty());
    engine::ResetRediscovery reset(rig.worker.ctx, *rig.directory, engine::ResetSettings{});
    const uint32_t start = rig.worker.clock.tickMs();
    EXPECT_FALSE(reset.ResetAfterDownload());
    const uint32_t took = rig.worker.clock.tickMs() - start;
    EXPECT_EQ(rig.State()["status"], "unplugged");
    EXPECT_TRUE(rig.worker.posted("Diagnostic......empty"));
    EXPECT_TRUE(rig.worker.posted("Modem......empty"));
    EXPECT_TRUE(rig.worker.posted("Reset or poweroff......wait"));
    const auto errors = rig.worker.errors();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("Fail to initial port after rest"), std::string::npos) << errors[0];
    // A 1-s change poll, 60 arrival polls of 1 s, 100 scans of at least 2 s, five 3-s attempts.
    constexpr uint32_t kWaits = 1000u + 60000u + 200000u + 15000u;
    EXPECT_GE(took, kWaits);
    EXPECT_LE(took, kWaits + 240000u);
}
