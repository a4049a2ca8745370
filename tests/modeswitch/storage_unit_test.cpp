// A simulated unit in its disk personality, reached through the disk node of the simulated tree:
// it shows only its disk, refuses what a disk refuses, and the mode switch program turns it into
// a modem with its serial ports.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/scsi_pass_through.h"
#include "sim/profile.h"
#include "tests/support/sim_process.h"
#include "devkit/temp_dir.h"

namespace flintcast {
namespace {

namespace fs = std::filesystem;

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

fs::path StorageProfile(const testing::TempDir& dir) {
    const fs::path file = dir.path() / "storage.json";
    std::ofstream(file) << R"({"usb": {"power_up": "storage", "reenumeration_delay_ms": 500}})";
    return file;
}

class StorageUnit : public ::testing::Test {
protected:
    testing::TempDir dir;
    simtest::SimProcess sim{{"--profile", StorageProfile(dir).string()}};
    platform::Clock clock{0.01};

    void SetUp() override { platform::SetDeviceRoot(sim.root()); }
    void TearDown() override { platform::ResetDeviceRoot(); }

    platform::ScsiResult Send(std::vector<uint8_t> cdb, uint32_t transfer = 128) {
        std::string error;
        auto disk = platform::ScsiDisk::Open(sim.dev("sdz"), error);
        EXPECT_TRUE(disk) << error;
        if (!disk) return {};
        EXPECT_TRUE(disk->overSocket());
        platform::ScsiRequest request;
        request.cdb = std::move(cdb);
        request.direction = platform::ScsiDirection::FromDevice;
        request.transferLength = transfer;
        request.timeoutMs = 10000;
        request.senseCapacity = 24;
        return disk->Send(request, clock);
    }
};

TEST_F(StorageUnit, ShowsOnlyItsDiskAndRefusesUnknownCommands) {
    EXPECT_NE(sim.readyLine().find("storage ports  disk sdz"), std::string::npos) << sim.readyLine();
    EXPECT_EQ(sim.DevEntries(), std::vector<std::string>{"sdz"});
    EXPECT_EQ(ReadText(sim.root() / "sys/block/sdz/device/vendor"), "USBModem\n");
    EXPECT_EQ(ReadText(sim.root() / "sys/block/sdz/device/model"), "Disk            \n");

    const auto inquiry = Send({0x12, 0, 0, 0, 36, 0});
    ASSERT_TRUE(inquiry.delivered) << inquiry.error;
    EXPECT_EQ(inquiry.answer.status, 0);
    ASSERT_EQ(inquiry.answer.data.size(), 36u);
    EXPECT_EQ(std::string(inquiry.answer.data.begin() + 8, inquiry.answer.data.begin() + 32), "USBModemDisk            ");

    // An unknown operation code, and the switch opcode with one byte off: CHECK CONDITION,
    // ILLEGAL REQUEST; the unit stays a disk.
    for (const auto& cdb : {std::vector<uint8_t>{0x28, 0, 0, 0, 0, 0, 0, 0, 1, 0},
                            std::vector<uint8_t>{0x06, 0xF5, 0x04, 0x02, 0x52, 0x81}}) {
        const auto refused = Send(cdb);
        ASSERT_TRUE(refused.delivered) << refused.error;
        EXPECT_EQ(refused.answer.status, 0x02);
        ASSERT_GE(refused.answer.sense.size(), 14u);
        EXPECT_EQ(refused.answer.sense[0], 0x70);
        EXPECT_EQ(refused.answer.sense[2] & 0x0F, 0x05);
        EXPECT_EQ(refused.answer.sense[12], cdb[0] == 0x06 ? 0x24 : 0x20);
        EXPECT_TRUE(refused.answer.data.empty());
    }
    EXPECT_EQ(sim.StateFile().value("personality", ""), "storage");
    EXPECT_EQ(sim.DevEntries(), std::vector<std::string>{"sdz"});
}

TEST_F(StorageUnit, ModeSwitchProgramBringsUpTheSerialPorts) {
    platform::LaunchOptions options;
    options.environment = {{"FLINTCAST_DEVICE_ROOT", sim.root().string()},
                           {"FLINTCAST_TIME_SCALE", "0.01"},
                           {"XDG_STATE_HOME", (dir.path() / "state").string()}};
    EXPECT_EQ(platform::RunAndWait(fs::path(FLINTCAST_BIN_DIR) / "flintcast-gearswap", options), 0);
    ASSERT_TRUE(sim.WaitForDev({"ttyUSB0", "ttyUSB1", "ttyUSB2"})) << ::testing::PrintToString(sim.DevEntries());
    EXPECT_FALSE(fs::exists(sim.root() / "sys/block/sdz"));
    const auto log = ReadText(dir.path() / "state/flintcast/logs/gearswap.log");
    EXPECT_NE(log.find("sdz: status 0x00, sense [], 0 data bytes"), std::string::npos) << log;

    // The control channel puts the unit back into its disk personality.
    ASSERT_EQ(sim.Ctl("personality storage"), 0);
    ASSERT_TRUE(sim.WaitForDev({"sdz"}));
    std::string answer;
    ASSERT_EQ(sim.Ctl("state", &answer), 0);
    const auto state = nlohmann::json::parse(answer.substr(3), nullptr, false);
    EXPECT_EQ(state.value("personality", ""), "storage");
    EXPECT_EQ(state["usb"]["storage"]["kind"], "disk");
}

TEST(StorageProfile, PowerUpKeyTakesNormalOrStorageOnly) {
    EXPECT_EQ(sim::ParseProfile(R"({"usb": {"power_up": "storage"}})").powerUp, sim::UsbPersonality::Storage);
    EXPECT_EQ(sim::DefaultProfile().powerUp, sim::UsbPersonality::Normal);
    EXPECT_THROW(sim::ParseProfile(R"({"usb": {"power_up": "download"}})"), std::runtime_error);
    EXPECT_THROW(sim::ParseProfile(
                     R"({"usb": {"personalities": {"storage": {"interfaces": [{"number": 0, "role": "diag"}]}}}})"),
                 std::runtime_error);
}

}  // namespace
}  // namespace flintcast
