// A unit without interface strings and without a configured role table: its ports are found by
// what they answer, a silent port is left alone after its probe, and a port another program
// holds is named with that program.
#include <unistd.h>

#include <algorithm>
#include <fstream>

#include <gtest/gtest.h>

#include <fmt/format.h>

#include "controller/device_check.h"
#include "platform/paths.h"
#include "tests/discovery_sim/sim_rig.h"

using namespace flintcast;
using flintcast::testing::SimRig;

namespace {

constexpr const char* kNamelessCard = R"({"usb": {"interface_strings": false}})";

uint64_t Received(const nlohmann::json& state, const std::string& port) {
    for (const auto& p : state["ports"])
        if (p.value("name", "") == port) return p.value("received", uint64_t{0});
    ADD_FAILURE() << port << " missing from " << state.dump();
    return 0;
}

uint64_t Requests(const nlohmann::json& state, const std::string& kind) {
    return state["model"]["requests"].value(kind, uint64_t{0});
}

bool Logged(const std::vector<std::string>& log, const std::string& line) {
    return std::count(log.begin(), log.end(), line) == 1;
}

std::string OwnCommandName() {
    std::string name;
    std::getline(std::ifstream("/proc/self/comm"), name);
    return name;
}

}  // namespace

TEST(PortProbeOnSimulator, NamelessPortsAreFoundByWhatTheyAnswerAndTheDeviceIsReady) {
    config::ProjectConfig cfg;
    cfg.projectType = 46;
    SimRig rig(kNamelessCard, 46, {}, controller::DefaultDiscoverySettings());
    ASSERT_TRUE(rig.started());
    ASSERT_EQ(rig.State()["ports"][0]["interface_name"], "");
    std::string status;
    controller::DeviceCheckHooks hooks;
    hooks.status = [&](std::string_view t, bool) { status = std::string(t); };
    controller::DeviceCheck check(*rig.discovery, cfg, hooks);
    EXPECT_EQ(check.RunDeviceCheck(), controller::PassOutcome::Ended);
    EXPECT_EQ(status, "Ready");
    const auto boxes = rig.discovery->boxes();
    EXPECT_EQ(boxes.diag, std::vector<std::string>{"ttyUSB0"});
    EXPECT_EQ(boxes.modem, std::vector<std::string>{"ttyUSB2"});
    EXPECT_TRUE(boxes.terminal.empty());
    EXPECT_TRUE(rig.discovery->modeSwitchSent()) << "the probed modem port carries the listed hardware id";
    EXPECT_EQ(rig.discovery->facts().deviceVersion, "V1.4.0");
    const auto log = rig.discoveryLog();
    EXPECT_TRUE(Logged(log, "ttyUSB0 answers DIAG"));
    EXPECT_TRUE(Logged(log, "ttyUSB2 answers AT"));
    EXPECT_TRUE(Logged(log, "ttyUSB1 answers neither DIAG nor AT and is left alone"));

    // The worker takes the ports the probe found and talks on both.
    ASSERT_TRUE(rig.OpenPorts(boxes.diag.front(), boxes.modem.front()));
    EXPECT_TRUE(rig.at->SendAT("ATI\r\n"));
    rig.worker.serial.port(engine::PortSlot::Diag).close();
    rig.worker.serial.port(engine::PortSlot::Modem).close();

    // In download mode the one nameless port speaks the bootloader protocol: it refuses the
    // version request with a frame of its own, which marks it as the binary port.
    ASSERT_EQ(rig.sim.Ctl("personality download"), 0);
    const auto state = rig.WaitPresent(2);
    ASSERT_EQ(state.value("personality", ""), "download") << state.dump();
    EXPECT_TRUE(rig.discovery->IsSameDiagPort("ttyUSB0"));
}

TEST(PortProbeOnSimulator, PortThatAnswersNeitherIsNeverWrittenAfterItsProbe) {
    SimRig rig(kNamelessCard, 46);
    ASSERT_TRUE(rig.started());
    ASSERT_TRUE(rig.discovery->RefreshPortBoxes());
    auto state = rig.State();
    // The probe's whole traffic on the silent port: "AT" and one framed version request.
    EXPECT_EQ(Received(state, "ttyUSB1"), 8u);
    EXPECT_EQ(Requests(state, "diag.version"), 1u);
    const uint64_t modemBytes = Received(state, "ttyUSB2");

    for (int pass = 0; pass < 3; ++pass) ASSERT_TRUE(rig.discovery->RefreshPortBoxes());
    EXPECT_TRUE(rig.discovery->IsSameDiagPort("ttyUSB0"));
    state = rig.State();
    EXPECT_EQ(Received(state, "ttyUSB1"), 8u) << "nothing more is written to the silent port";
    EXPECT_EQ(Requests(state, "diag.version"), 1u) << "the answers are kept for the device";
    EXPECT_GT(Received(state, "ttyUSB2"), modemBytes) << "the modem port is still asked for the device facts";
    EXPECT_EQ(rig.discovery->boxes().modem, std::vector<std::string>{"ttyUSB2"});

    // A new enumeration of the device is asked again.
    ASSERT_EQ(rig.sim.Ctl("unplug"), 0);
    std::vector<std::string> diag, terminal;
    EXPECT_FALSE(rig.discovery->EnumeratePorts(diag, terminal));
    ASSERT_EQ(rig.sim.Ctl("plug"), 0);
    ASSERT_TRUE(rig.discovery->RefreshPortBoxes());
    EXPECT_EQ(Requests(rig.State(), "diag.version"), 2u);
}

TEST(PortProbeOnSimulator, PortHeldByAnotherProgramIsNamedWithIt) {
    SimRig rig("", 46);
    ASSERT_TRUE(rig.started());
    platform::SerialPort holder(rig.worker.clock);
    ASSERT_TRUE(holder.open(platform::PortDevicePath("ttyUSB2")->string()));
    const std::string prefix = "ttyUSB2 is held by ";
    const std::string self = fmt::format("{} (pid {})", OwnCommandName(), ::getpid());
    const auto heldLines = [&](const std::vector<std::string>& lines) {
        std::vector<std::string> held;
        for (const auto& l : lines)
            if (l.rfind(prefix, 0) == 0) held.push_back(l);
        return held;
    };

    ASSERT_TRUE(rig.discovery->RefreshPortBoxes());
    ASSERT_TRUE(rig.discovery->RefreshPortBoxes());
    EXPECT_TRUE(rig.discovery->boxes().modem.empty());
    const auto logged = heldLines(rig.discoveryLog());
    ASSERT_EQ(logged.size(), 1u) << "named once, not on every pass";
    EXPECT_NE(logged[0].find(self), std::string::npos) << logged[0];

    EXPECT_FALSE(rig.OpenPorts("ttyUSB0", "ttyUSB2"));
    const auto posted = heldLines(rig.worker.texts());
    ASSERT_EQ(posted.size(), 1u) << ::testing::PrintToString(rig.worker.texts());
    EXPECT_NE(posted[0].find(self), std::string::npos) << posted[0];
}
