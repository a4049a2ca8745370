// The final USB personality on the simulated device: each table row's AT+DISK commands are
// parsed by the device, stored, and take effect when it next enumerates, with the storage
// function the commands chose beside the serial ports.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/discovery_sim/sim_rig.h"

namespace fs = std::filesystem;
using flintcast::testing::SimRig;

namespace {

struct PersonalityCase {
    const char* name;
    int32_t project;
    bool disk;
    bool cdrom;
    const char* disk0;
    const char* disk1;
    const char* mode;
    const char* storageKind;  // "cdrom" or "disk"
    bool readOnly;
    const char* maker;        // AT+GMI value afterwards, or nullptr when untouched
};

std::string ReadLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

class UsbPersonalityOnSimulator : public ::testing::TestWithParam<PersonalityCase> {};

}  // namespace

TEST_P(UsbPersonalityOnSimulator, DeviceComesBackInTheChosenPersonality) {
    const auto& c = GetParam();
    SimRig rig("", c.project);
    ASSERT_TRUE(rig.started());
    ASSERT_TRUE(rig.OpenPorts("ttyUSB0", "ttyUSB2"));
    ASSERT_TRUE(rig.at->OpenDiagService());
    ASSERT_EQ(rig.State()["modem"]["diag_service_open"], true);
    const std::string makerBefore = rig.State()["modem"]["identity"]["gmi"].get<std::string>();

    rig.at->SwitchUsbPersonality(c.disk, c.cdrom);
    EXPECT_TRUE(rig.worker.errors().empty()) << rig.worker.errors().front();

    auto state = rig.State();
    const auto& modem = state["modem"];
    EXPECT_EQ(modem["disk0"], c.disk0);
    EXPECT_EQ(modem["disk1"], c.disk1);
    EXPECT_EQ(modem["usb_mode"], c.mode);
    EXPECT_EQ(modem["identity"]["gmi"], c.maker != nullptr ? std::string(c.maker) : makerBefore);
    // Project 35 keeps the diagnostic service open; every other row closes it.
    EXPECT_EQ(modem["diag_service_open"], c.project == 35);
    // The device keeps its present composition until it enumerates again.
    EXPECT_TRUE(state["usb"]["storage"].is_null());

    const uint64_t before = state["enumerations"].get<uint64_t>();
    ASSERT_EQ(rig.sim.Ctl("reset"), 0);
    state = rig.WaitPresent(before + 1);
    ASSERT_EQ(state["status"], "present");
    EXPECT_EQ(state["usb"]["mode"], c.mode);
    ASSERT_TRUE(state["usb"]["storage"].is_object()) << state["usb"].dump();
    EXPECT_EQ(state["usb"]["storage"]["kind"], c.storageKind);
    EXPECT_EQ(state["usb"]["storage"]["read_only"], c.readOnly);
    // The serial ports are still there, and the storage function sits in the tree beside them.
    EXPECT_EQ(SimRig::PortsWithRole(state, "modem"), std::vector<std::string>{"ttyUSB2"});
    const std::string block = std::string(c.storageKind) == "disk" ? "sdz" : "sr0";
    const fs::path blockDir = rig.sim.root() / "sys/block" / block;
    ASSERT_TRUE(fs::exists(blockDir / "device/model"));
    EXPECT_EQ(ReadLine(blockDir / "ro"), c.readOnly ? "1" : "0");
    EXPECT_EQ(ReadLine(blockDir / "device/type"), std::string(c.storageKind) == "disk" ? "0" : "5");
}

INSTANTIATE_TEST_SUITE_P(
    Tables, UsbPersonalityOnSimulator,
    ::testing::Values(
        PersonalityCase{"GroupADisk", 12, true, false, "HD", "RO", "D3", "disk", true, nullptr},
        PersonalityCase{"GroupACdRomWithMaker", 29, false, true, "CD", "RO", "D3", "cdrom", true,
                        "QUELLMARK HOLDINGS LIMITED"},
        PersonalityCase{"Project34Disk", 34, true, false, "HD", "RO", "D3", "disk", true, nullptr},
        PersonalityCase{"Project34CdRom", 34, false, true, "HD", "", "D3", "disk", false, nullptr},
        PersonalityCase{"Project13CdRom", 13, false, true, "CD", "", "D2", "cdrom", true, nullptr},
        PersonalityCase{"Project35OnlyD3", 35, false, false, "", "", "D3", "cdrom", true, nullptr}),
    [](const ::testing::TestParamInfo<PersonalityCase>& p) { return std::string(p.param.name); });

TEST(UsbPersonalityCommands, DeviceAnswersUnknownOrMalformedDiskCommandsWithError) {
    SimRig rig("", 46);
    ASSERT_TRUE(rig.OpenPorts("ttyUSB0", "ttyUSB2"));
    const auto modemBefore = rig.State()["modem"];
    for (const char* command : {"AT+DISK=9,\"D1\"\r\n\r\n", "AT+DISK=8,\"D4\"\r\n\r\n", "AT+DISK=8\r\n\r\n",
                                "AT+DISK=0,\"XX\"\r\n\r\n", "AT+DISK=8,\"D3\r\n\r\n", "AT+DISK=1,RO,1\r\n\r\n",
                                "AT+DISK=\r\n\r\n", "AT+DISK=x,\"D3\"\r\n\r\n"}) {
        const uint32_t start = rig.worker.clock.tickMs();
        EXPECT_FALSE(rig.at->SendAT(command)) << command;
        EXPECT_LT(rig.worker.clock.tickMs() - start, 4000u) << command << " is answered, not left unanswered";
    }
    EXPECT_EQ(rig.State()["modem"], modemBefore) << "a refused command changes nothing";
    EXPECT_TRUE(rig.worker.errors().empty());
    // The well-formed forms, quoted or bare, are taken.
    EXPECT_TRUE(rig.at->SendAT("AT+DISK=0,\"HD\"\r\n\r\n"));
    EXPECT_TRUE(rig.at->SendAT("at+disk=1,ro\r\n\r\n"));
    const auto modem = rig.State()["modem"];
    EXPECT_EQ(modem["disk0"], "HD");
    EXPECT_EQ(modem["disk1"], "RO");
}

TEST(UsbPersonalityCommands, DeviceWithoutDiagServiceIsLeftAsItIs) {
    SimRig rig(R"({"at": {"disk_mode7": false}})", 21);
    ASSERT_TRUE(rig.OpenPorts("ttyUSB0", "ttyUSB2"));
    rig.at->SwitchUsbPersonality(false, true);
    EXPECT_TRUE(rig.worker.errors().empty());
    EXPECT_TRUE(rig.worker.posted("Not support to close diagnostic service"));
    const auto modem = rig.State()["modem"];
    EXPECT_EQ(modem["disk0"], "CD");
    EXPECT_EQ(modem["usb_mode"], "D3");
}
