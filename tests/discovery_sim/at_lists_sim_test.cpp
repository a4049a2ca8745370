// The configured start and end AT lists replayed on the simulated modem, with the device's
// own rejections injected as AT faults.
#include <gtest/gtest.h>

#include "tests/discovery_sim/sim_rig.h"

using flintcast::testing::SimRig;

namespace {

bool Contains(const std::vector<std::string>& texts, const std::string& part) {
    for (const auto& t : texts)
        if (t.find(part) != std::string::npos) return true;
    return false;
}

}  // namespace

TEST(AtListsOnSimulator, StartListPassesOverRejectedDiagLineAndStopsAtRejectedThirdLine) {
    SimRig rig("", 46, {"--faults", "at-error:AT+DIAG=1@*;at-error:AT+CFUN=5@*"});
    ASSERT_TRUE(rig.started());
    ASSERT_TRUE(rig.OpenPorts("ttyUSB0", "ttyUSB2"));
    rig.at->RunStartATList({"AT+DISK=8,\"D1\"\r\n\r\n", "AT+DIAG=1\r\n\r\n", "AT+CFUN=5\r\n\r\n",
                            "AT+SFIRSTTIME=1\r\n\r\n"});
    const auto errors = rig.worker.errors();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_TRUE(Contains(errors, "Fail to send command(start) :3,")) << errors[0];
    const auto modem = rig.State()["modem"];
    EXPECT_EQ(modem["usb_mode"], "D1") << "the first line reached the device";
    EXPECT_EQ(modem["diag_enabled"], false);
    EXPECT_EQ(modem["radio"], 1);
    EXPECT_EQ(modem["first_time"], "") << "the list stops at the rejected third line";
}

TEST(AtListsOnSimulator, StartListSkipsDiskSwitchThatDiscoveryAlreadySent) {
    SimRig rig("", 46, {}, flintcast::controller::DefaultDiscoverySettings());
    ASSERT_TRUE(rig.started());
    // The scan finds the card among the mode-switch ids and sends it the disk switch once.
    ASSERT_TRUE(rig.discovery->RefreshPortBoxes());
    ASSERT_TRUE(rig.directory->ModeSwitchSent());
    EXPECT_EQ(rig.State()["modem"]["usb_mode"], "D1");
    // From now on the device refuses the switch: sent again, it would stop the list.
    ASSERT_EQ(rig.sim.Ctl("fault at-error:AT+DISK=8@*"), 0);
    ASSERT_TRUE(rig.OpenPorts("ttyUSB0", "ttyUSB2"));
    rig.at->RunStartATList({"AT+DISK=8,\"D1\"\r\n\r\n", "AT+SFIRSTTIME=1\r\n\r\n"});
    EXPECT_TRUE(rig.worker.errors().empty());
    EXPECT_EQ(rig.State()["modem"]["first_time"], "1");
    // Without the flag the same line is sent and its rejection stops the list at once.
    SimRig fresh("", 46, {"--faults", "at-error:AT+DISK=8@*"});
    ASSERT_TRUE(fresh.OpenPorts("ttyUSB0", "ttyUSB2"));
    fresh.at->RunStartATList({"AT+DISK=8,\"D1\"\r\n\r\n", "AT+SFIRSTTIME=1\r\n\r\n"});
    EXPECT_TRUE(Contains(fresh.worker.errors(), "Fail to send command(start) :1,"));
}

TEST(AtListsOnSimulator, EndListToleratesItsLinesPausesAndResetsTheDevice) {
    SimRig rig("", 46, {"--faults", "at-error:AT+CDROM=1@*;at-error:AT+ZRVRESET@*"});
    ASSERT_TRUE(rig.started());
    ASSERT_TRUE(rig.OpenPorts("ttyUSB0", "ttyUSB2"));
    const uint64_t before = rig.State()["enumerations"].get<uint64_t>();

    const uint32_t start = rig.worker.clock.tickMs();
    rig.at->RunEndATList({"AT%SLEEP=1500\r\n\r\n", "AT+CDROM=1\r\n\r\n", "AT+ZRVRESET\r\n\r\n",
                          "AT+SFIRSTTIME=2\r\n\r\n", "AT%RESET\r\n\r\n"});
    const uint32_t took = rig.worker.clock.tickMs() - start;
    EXPECT_TRUE(rig.worker.errors().empty()) << rig.worker.errors().front();
    // The pause, plus one 800 ms read for each of the three answered lines.
    EXPECT_GE(took, 1500u + 3 * 800u);
    // AT%RESET is the offline and reset requests on the diagnostic port: the device restarts.
    const auto state = rig.WaitPresent(before + 1);
    EXPECT_EQ(state["enumerations"].get<uint64_t>(), before + 1);
    EXPECT_EQ(state["modem"]["first_time"], "2") << "the lines after the tolerated failures were sent";
    EXPECT_EQ(state["modem"]["cdrom"], "");
}

TEST(AtListsOnSimulator, EndListPauseLinesWithoutANumberDoNotPause) {
    SimRig rig("", 46);
    ASSERT_TRUE(rig.OpenPorts("ttyUSB0", "ttyUSB2"));
    const uint32_t start = rig.worker.clock.tickMs();
    rig.at->RunEndATList({"AT%SLEEP\r\n\r\n", "AT%SLEEP=abc\r\n\r\n", "AT%SLEEP= \r\n\r\n"});
    EXPECT_LT(rig.worker.clock.tickMs() - start, 500u);
    EXPECT_TRUE(rig.worker.errors().empty());
}

TEST(AtListsOnSimulator, EndListStopsAtRejectedLineWithItsText) {
    SimRig rig("", 46, {"--faults", "at-error:AT+CGDCONT@*"});
    ASSERT_TRUE(rig.OpenPorts("ttyUSB0", "ttyUSB2"));
    rig.at->RunEndATList({"AT+SFIRSTTIME=3\r\n\r\n", "AT+CGDCONT=1,\"IP\",\"net\"\r\n\r\n", "AT+CDROM=1\r\n\r\n"});
    const auto errors = rig.worker.errors();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_TRUE(Contains(errors, "Fail to send command(end) :2[AT+CGDCONT=1,\"IP\",\"net\"\r\n\r\n]")) << errors[0];
    const auto modem = rig.State()["modem"];
    EXPECT_EQ(modem["first_time"], "3");
    EXPECT_EQ(modem["cdrom"], "") << "nothing after the failed line is sent";
}

TEST(AtListsOnSimulator, SilentDeviceEndsTheListAfterTheExchangeLimit) {
    SimRig rig("", 46, {"--faults", "at-silence:AT+CFUN@*"});
    ASSERT_TRUE(rig.OpenPorts("ttyUSB0", "ttyUSB2"));
    const uint32_t start = rig.worker.clock.tickMs();
    rig.at->RunStartATList({"AT+CFUN=5\r\n\r\n", "AT+SFIRSTTIME=4\r\n\r\n"});
    const uint32_t took = rig.worker.clock.tickMs() - start;
    EXPECT_TRUE(Contains(rig.worker.errors(), "Fail to send command(start) :1,"));
    EXPECT_GE(took, 7000u);
    EXPECT_LE(took, 10000u) << "about the 8-second limit";
    EXPECT_EQ(rig.State()["modem"]["first_time"], "");
}
