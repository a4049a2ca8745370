// The device check over the simulator's device tree: ports found by their friendly names, the
// AT probe on the simulated modem, and the check's verdict for devices whose profile differs
// from the package in project code, mainboard or memory.
#include <gtest/gtest.h>

#include <fmt/format.h>

#include "controller/device_check.h"
#include "tests/discovery_sim/sim_rig.h"

using namespace flintcast;
using flintcast::testing::SimRig;

namespace {

struct Verdict {
    controller::PassOutcome outcome = controller::PassOutcome::KeepPolling;
    std::string status;
    std::string warning;
    bool start = false;
};

controller::DeviceCheckHooks Record(Verdict& v) {
    controller::DeviceCheckHooks h;
    h.status = [&v](std::string_view t, bool) { v.status = std::string(t); };
    h.warning = [&v](std::string_view t) { v.warning = std::string(t); };
    h.startEnabled = [&v](bool on) { v.start = on; };
    return h;
}

// A data-card package of project 38 with every check on: version SWK0038V1.4.0, 512M of
// flash and 1024M of RAM.
config::ProjectConfig CheckedPackage() {
    config::ProjectConfig cfg;
    cfg.projectType = 38;
    cfg.version = "SWK0038V1.4.0";
    cfg.bCheckProjectCode = true;
    cfg.bCheckMainboardType = true;
    cfg.bCheckDataCardMemory = true;
    cfg.memoryCheck = true;
    cfg.memoryFlashSize = "512M";
    cfg.ramSize = "1024M";
    return cfg;
}

std::string CardProfile(const std::string& cgmr, const std::string& flashinfo) {
    return fmt::format(R"({{"project": 38, "at": {{"cgmr": "{}", "flashinfo": "{}"}}}})", cgmr, flashinfo);
}

constexpr const char* kMatchingFlash = "ID:0XECA1 PAGESIZE:2048 MCP:1,2 DEVICEWIDTH:16";

Verdict RunCheck(const std::string& profile) {
    const auto cfg = CheckedPackage();
    SimRig rig(profile, cfg.projectType);
    EXPECT_TRUE(rig.started());
    rig.probeConfig = cfg;
    controller::DeviceDiscovery discovery(rig.worker.clock, rig.sim.root(), {}, flintcast::testing::ProbeFor(cfg));
    Verdict v;
    controller::DeviceCheck check(discovery, cfg, Record(v));
    v.outcome = check.RunDeviceCheck();
    EXPECT_EQ(discovery.boxes().modem, std::vector<std::string>{"ttyUSB2"}) << "the probe found the modem";
    return v;
}

}  // namespace

TEST(DeviceCheckOnSimulator, MatchingDeviceIsReady) {
    const auto v = RunCheck(CardProfile("SWK0038V1.4.0", kMatchingFlash));
    EXPECT_EQ(v.status, "Ready");
    EXPECT_TRUE(v.warning.empty()) << v.warning;
    EXPECT_TRUE(v.start);
    EXPECT_EQ(v.outcome, controller::PassOutcome::KeepPolling) << "ready, no switch sent: the check goes on";
}

TEST(DeviceCheckOnSimulator, RefusesOtherModelMainboardAndMemory) {
    struct Case {
        std::string profile;
        std::string warning;
    };
    const std::vector<Case> cases{
        {CardProfile("SWK0046V1.4.0", kMatchingFlash), "Could not update other irrelevant model device!"},
        {CardProfile("SWK0038V1.4.7", kMatchingFlash), "Can't update other irrelevant mobile devices."},
        {CardProfile("SWK0038V1.4.0", "ID:0XECA1 PAGESIZE:2048 MCP:2,2 DEVICEWIDTH:16"), "Memory size is not matched!"},
        {CardProfile("SWK0038V1.4.0", "ID:0XECA1 PAGESIZE:2048 MCP:1,1 DEVICEWIDTH:16"), "Memory size is not matched!"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.profile);
        const auto v = RunCheck(c.profile);
        EXPECT_EQ(v.warning, c.warning);
        EXPECT_EQ(v.status, "Not Ready");
        EXPECT_FALSE(v.start);
        EXPECT_EQ(v.outcome, controller::PassOutcome::Ended);
    }
}

TEST(DeviceCheckOnSimulator, ReadyDeviceGetsTheDiskSwitchOnceAndTheCheckEnds) {
    config::ProjectConfig cfg;
    cfg.projectType = 46;
    SimRig rig("", 46, {}, controller::DefaultDiscoverySettings());
    controller::DeviceDiscovery& discovery = *rig.discovery;
    Verdict v;
    controller::DeviceCheck check(discovery, cfg, Record(v));
    EXPECT_EQ(check.RunDeviceCheck(), controller::PassOutcome::Ended) << "the switch was sent: a ready device ends it";
    EXPECT_EQ(v.status, "Ready");
    EXPECT_TRUE(discovery.modeSwitchSent());
    const auto boxes = discovery.boxes();
    EXPECT_EQ(boxes.diag, std::vector<std::string>{"ttyUSB0"});
    EXPECT_EQ(boxes.terminal, std::vector<std::string>{"ttyUSB1"});
    EXPECT_EQ(boxes.modem, std::vector<std::string>{"ttyUSB2"});
    EXPECT_EQ(discovery.facts().deviceVersion, "V1.4.0") << "project 46 reads its version from ATI";
    EXPECT_EQ(rig.State()["modem"]["usb_mode"], "D1");
    // A second scan does not switch again.
    ASSERT_EQ(rig.sim.Ctl("fault at-silence:AT+DISK@*"), 0);
    EXPECT_TRUE(discovery.RefreshPortBoxes());
    EXPECT_EQ(rig.State()["faults"][0]["seen"], 0) << rig.State()["faults"].dump();
}

TEST(DeviceCheckOnSimulator, UnpluggedDeviceIsNotReadyAndKeepsPolling) {
    config::ProjectConfig cfg;
    cfg.projectType = 46;
    SimRig rig("", 46);
    ASSERT_EQ(rig.sim.Ctl("unplug"), 0);
    Verdict v;
    controller::DeviceCheck check(*rig.discovery, cfg, Record(v));
    EXPECT_EQ(check.RunDeviceCheck(), controller::PassOutcome::KeepPolling);
    EXPECT_EQ(v.status, "Not Ready");
    EXPECT_FALSE(v.start);
}

TEST(DeviceCheckOnSimulator, EnumeratePortsTakesPortsFromFriendlyNames) {
    // Interface strings as several firmware families spell them; interface 1 has none and gets
    // its role from the configured table. Numbering starts at 9 so names pass ttyUSB10.
    const std::string profile = R"({"usb": {"first_tty": 9, "personalities": {"normal": {"interfaces": [
        {"number": 0, "name": "Modem Diag Port", "role": "diag"},
        {"number": 1, "name": "", "role": "terminal"},
        {"number": 2, "name": "Modem", "role": "modem"},
        {"number": 3, "name": "QC DIAG", "role": "diag"}]}}}})";
    controller::DiscoverySettings settings;
    settings.portRoles["VID_F1C0&PID_0046&MI_01"] = "Application Terminal";
    SimRig rig(profile, 46, {}, settings);
    ASSERT_TRUE(rig.started());
    std::vector<std::string> diag;
    std::vector<std::string> terminal;
    ASSERT_TRUE(rig.discovery->EnumeratePorts(diag, terminal));
    EXPECT_EQ(diag, (std::vector<std::string>{"ttyUSB9", "ttyUSB12"}));
    EXPECT_EQ(terminal, std::vector<std::string>{"ttyUSB10"});
    EXPECT_FALSE(rig.discovery->modeSwitchSent()) << "no mode-switch ids configured";

    ASSERT_TRUE(rig.discovery->RefreshPortBoxes());
    EXPECT_EQ(rig.discovery->boxes().modem, std::vector<std::string>{"ttyUSB11"})
        << "only the port that answers the probe is a modem";
    EXPECT_EQ(rig.directory->FoundDiagPort(), "ttyUSB9");
    EXPECT_EQ(rig.directory->FoundModemPort(), "ttyUSB11");
    EXPECT_TRUE(rig.directory->IsSameDiagPort("ttyUSB9"));
    EXPECT_FALSE(rig.directory->IsSameDiagPort("ttyUSB12"));

    // Without the role table the unnamed interface has no friendly name and is no terminal.
    std::vector<std::string> diag2;
    std::vector<std::string> terminal2;
    controller::DeviceDiscovery bare(rig.worker.clock, rig.sim.root(), {}, {});
    ASSERT_TRUE(bare.EnumeratePorts(diag2, terminal2));
    EXPECT_TRUE(terminal2.empty());
}
