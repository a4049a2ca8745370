// The fast transfer of a large image and the bootloader stage on a device whose ports come
// back under other numbers, against the simulated device.
#include <gtest/gtest.h>

#include <fmt/format.h>

#include <fstream>

#include "tests/engine_sim/engine_sim_rig.h"

namespace flintcast::testing {
namespace {

using engine::ImageSlot;

uint64_t Requests(const nlohmann::json& state, const std::string& name) {
    const auto& counts = state["model"]["requests"];
    return counts.contains(name) ? counts[name].get<uint64_t>() : 0;
}

TEST(FastTransferOnSimulator, ImageOf20MiBPlusOneByteGoesInTwoParts) {
    EngineSimRig rig(SimDevice{}.Scale(0.2));
    rig.config.bAMSSFile = true;
    rig.config.bFastSpeedDownload = true;
    ASSERT_TRUE(rig.Generate());
    {
        // A modem image of 20 MiB and one byte, with a varied pattern so a misplaced part shows.
        std::vector<uint8_t> image(0x1400000 + 1);
        uint32_t x = 0x12345678;
        for (auto& b : image) {
            x = x * 1103515245u + 12345u;
            b = static_cast<uint8_t>(x >> 24);
        }
        std::ofstream(rig.images() / "amss.mbn", std::ios::binary)
            .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    }
    ASSERT_TRUE(rig.Start()) << rig.failure();
    ASSERT_EQ(rig.imageSet.file(ImageSlot::Amss).size, 0x1400001u);
    rig.RunBootloaderStage();
    ASSERT_TRUE(rig.errors().empty()) << Joined(rig.errors());
    rig.RunStreamingStage();
    EXPECT_TRUE(rig.errors().empty()) << Joined(rig.errors()) << Joined(rig.texts());

    const auto state = rig.State();
    ASSERT_FALSE(state.is_discarded());
    ASSERT_TRUE(state["model"]["images"].contains("amss"));
    EXPECT_EQ(state["model"]["images"]["amss"].value("size", 0u), 0x1400001u);
    EXPECT_TRUE(rig.Written(state, "amss") == EngineSimRig::ReadBytes(rig.imageSet.file(ImageSlot::Amss).path));
    // Two parts, each announced and written to flash; no stream writes at all. (A round that
    // met a late reply on a busy machine is started again and announced again.)
    EXPECT_EQ(Requests(state, "stream.transmit_request"), rig.count("Transmit data request."));
    EXPECT_EQ(rig.count("Transmit data request OK") - rig.count("===Try transmit data again==="), 2u);
    EXPECT_EQ(Requests(state, "stream.write_flash"), 2u);
    EXPECT_EQ(Requests(state, "stream.write"), 0u);
    EXPECT_EQ(rig.count("Transmit data reset----"), 1u);
    EXPECT_EQ(rig.count("Write Flash OK."), 2u);
    EXPECT_TRUE(rig.posted("Downloading AMSS Modem..."));
    EXPECT_TRUE(rig.posted("AMSSFile succssfully"));
}

TEST(PortShiftOnSimulator, BootloaderStageFollowsTheDeviceToItsNewPorts) {
    EngineSimRig rig(SimDevice{}.ShiftPorts(true));
    rig.config.bAMSSFile = true;
    ASSERT_TRUE(rig.Generate());
    ASSERT_TRUE(rig.Start()) << rig.failure();
    rig.RunBootloaderStage();
    EXPECT_TRUE(rig.errors().empty()) << Joined(rig.errors()) << Joined(rig.texts());
    EXPECT_GE(rig.count("Port has changed"), 2u) << Joined(rig.texts());
    const auto state = rig.State();
    EXPECT_EQ(state.value("personality", ""), "programmer");
    ASSERT_EQ(state["ports"].size(), 1u) << state["ports"].dump();
    // The worker talks on the port the programmer now answers on.
    EXPECT_NE(rig.serial.diagPortName, "ttyUSB0");
    EXPECT_NE(state["ports"].dump().find(rig.serial.diagPortName), std::string::npos) << state["ports"].dump();
    rig.RunStreamingStage();
    EXPECT_TRUE(rig.errors().empty()) << Joined(rig.errors());
    EXPECT_TRUE(rig.State()["model"]["images"]["amss"].value("complete", false));
}

// The device switches but its confirmation of the switch request is lost: once it is back,
// the bootloader is found answering, and the switch request is not repeated into it.
class LostSwitchConfirmationTest : public ::testing::TestWithParam<bool> {};

TEST_P(LostSwitchConfirmationTest, DeviceIsFoundInDownloadModeWithoutAnotherSwitchRequest) {
    const bool shifted = GetParam();
    EngineSimRig rig(SimDevice{}.ShiftPorts(shifted).Faults("drop-reply:diag@1"));
    rig.config.bAMSSFile = true;
    ASSERT_TRUE(rig.Generate());
    ASSERT_TRUE(rig.Start()) << rig.failure();
    const uint32_t start = rig.clock.tickMs();
    rig.RunBootloaderStage();
    const uint32_t took = rig.clock.tickMs() - start;
    EXPECT_TRUE(rig.errors().empty()) << Joined(rig.errors()) << Joined(rig.texts());
    EXPECT_EQ(rig.posted("switch_1 start"), shifted);
    const auto state = rig.State();
    EXPECT_EQ(state.value("personality", ""), "programmer");
    EXPECT_EQ(Requests(state, "diag.download"), 1u);
    EXPECT_EQ(Requests(state, "dmss.diag_download"), 0u);
    // Tool time: the switch did not run into its 180 s limit.
    EXPECT_LT(took, 60000u);
}

INSTANTIATE_TEST_SUITE_P(SameAndShiftedPorts, LostSwitchConfirmationTest, ::testing::Bool());

TEST(DeviceNeverReturns, AfterGoTheStageEndsAndTheStreamingStageReportsTheSilentDevice) {
    // A programmer made for another project "crashes" the device: it leaves the bus after
    // GO and stays away.
    EngineSimRig rig({});
    rig.config.bAMSSFile = true;
    ASSERT_TRUE(rig.Generate());
    {
        EngineSimRig other(SimDevice{}.Project(38));
        ASSERT_TRUE(other.Generate());
        std::filesystem::copy_file(other.images() / "NPRG6260.hex", rig.images() / "NPRG6260.hex",
                                   std::filesystem::copy_options::overwrite_existing);
    }
    ASSERT_TRUE(rig.Start()) << rig.failure();
    const auto start = std::chrono::steady_clock::now();
    rig.RunBootloaderStage();
    EXPECT_TRUE(rig.posted("Run DLOAD program successfully"));
    EXPECT_FALSE(rig.posted("Receive device Arrival after running"));
    EXPECT_TRUE(rig.posted("Port has changed"));
    rig.RunStreamingStage();
    const auto took = std::chrono::steady_clock::now() - start;
    ASSERT_FALSE(rig.errors().empty()) << Joined(rig.texts());
    EXPECT_EQ(rig.errors()[0].rfind("ERROR, [Dload] Fail to send hello command", 0), 0u) << rig.errors()[0];
    EXPECT_EQ(rig.State().value("status", ""), "crashed");
    // 60 s of arrival wait, 100 port searches of 2 s and 50 hellos: minutes of tool time, seconds here.
    EXPECT_LT(took, std::chrono::seconds(60));
}

}  // namespace
}  // namespace flintcast::testing
