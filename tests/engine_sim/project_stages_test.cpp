// The bootloader and streaming stages of each project family against the simulated device:
// the flash programmer is loaded and started, the device is followed to its new port, and
// every selected image ends up in the device's flash byte for byte.
#include <gtest/gtest.h>

#include <fmt/format.h>

#include <fstream>

#include "engine/streaming_download.h"

#include "tests/engine_sim/engine_sim_rig.h"

namespace flintcast::testing {
namespace {

using engine::ImageSlot;

// Every image in `expected` (device name -> staged slot) is stored complete with the staged bytes.
void ExpectWritten(EngineSimRig& rig, const nlohmann::json& state,
                   const std::vector<std::pair<std::string, ImageSlot>>& expected) {
    ASSERT_FALSE(state.is_discarded());
    for (const auto& [name, slot] : expected) {
        SCOPED_TRACE(name);
        const auto& image = state["model"]["images"];
        ASSERT_TRUE(image.contains(name)) << state["model"]["images"].dump();
        EXPECT_TRUE(image[name].value("complete", false));
        const auto staged = EngineSimRig::ReadBytes(rig.imageSet.file(slot).path);
        ASSERT_FALSE(staged.empty());
        EXPECT_EQ(image[name].value("size", 0u), staged.size());
        EXPECT_TRUE(rig.Written(state, name) == staged);
    }
}

uint64_t Requests(const nlohmann::json& state, const std::string& name) {
    const auto& counts = state["model"]["requests"];
    return counts.contains(name) ? counts[name].get<uint64_t>() : 0;
}

TEST(BootloaderStageOnSimulator, DefaultProgrammerRunsAndTheDeviceIsFollowedToItsPort) {
    EngineSimRig rig({});
    rig.config.bAMSSFile = true;
    ASSERT_TRUE(rig.Generate());
    ASSERT_TRUE(rig.Start()) << rig.failure();
    rig.RunBootloaderStage();
    EXPECT_TRUE(rig.errors().empty()) << Joined(rig.errors()) << Joined(rig.texts());
    EXPECT_TRUE(rig.posted("Run DLOAD program successfully")) << Joined(rig.texts());
    EXPECT_TRUE(rig.posted("Receive device Arrival after running"));

    const auto state = rig.State();
    ASSERT_FALSE(state.is_discarded());
    EXPECT_EQ(state.value("personality", ""), "programmer");
    // The whole programmer went to its load address in 1,017-byte writes.
    const auto programmer = EngineSimRig::ReadBytes(rig.imageSet.file(ImageSlot::Programmer).path);
    EXPECT_EQ(Requests(state, "dmss.write"), (programmer.size() + 1016) / 1017);
    ASSERT_EQ(state["model"]["download_ram"].size(), 1u);
    EXPECT_EQ(state["model"]["download_ram"][0].value("size", 0u), programmer.size());
    EXPECT_EQ(state["model"]["download_ram"][0].value("address", ""),
              fmt::format("0x{:08x}", rig.imageSet.programmerLoadAddress));
    // The worker's port answers the running programmer.
    EXPECT_EQ(rig.serial.diagPortName, "ttyUSB0");
    EXPECT_EQ(engine::StreamingDownload(rig.ctx, rig.progress).SendHello(), 0);
}


// Bootloader and streaming stage in a row, as the worker runs them; returns the device's state.
nlohmann::json RunBothStages(EngineSimRig& rig) {
    rig.RunBootloaderStage();
    if (rig.reporter.ok()) rig.RunStreamingStage();
    EXPECT_TRUE(rig.errors().empty()) << Joined(rig.errors()) << Joined(rig.texts());
    return rig.State();
}

uint64_t Blocks(const EngineSimRig& rig, ImageSlot slot, uint64_t blockSize) {
    return (rig.imageSet.file(slot).size + blockSize - 1) / blockSize;
}

std::vector<uint8_t> StoredHeader(const nlohmann::json& state, const std::string& name) {
    std::string file = state["model"]["images"][name].value("file", "");
    if (file.size() < 4) return {};
    return EngineSimRig::ReadBytes(file.substr(0, file.size() - 4) + ".hdr");
}

TEST(StreamingStageOnSimulator, DefaultProjectWritesBootloadersModemDspAndApplicationEfs) {
    EngineSimRig rig({});
    auto& c = rig.config;
    c.bBootloader = c.bdbl = c.bfsbl = c.bosbl = c.bAMSSFile = c.bDSP = c.bEFS = true;
    ASSERT_TRUE(rig.Generate());
    ASSERT_TRUE(rig.Start()) << rig.failure();
    const auto state = RunBothStages(rig);
    ExpectWritten(rig, state,
                  {{"dbl", ImageSlot::Dbl}, {"fsbl", ImageSlot::Fsbl}, {"osbl_pcsuite", ImageSlot::Osbl},
                   {"amss", ImageSlot::Amss}, {"dsp1", ImageSlot::Dsp1}, {"dsp2", ImageSlot::Dsp2},
                   {"app_efs", ImageSlot::AppsEfs}});
    EXPECT_EQ(state["model"]["images"].size(), 7u);
    // Project 46 opens its modem image without a header and sent the staged partition table.
    EXPECT_FALSE(state["model"]["images"]["amss"].contains("header_size"));
    EXPECT_EQ(state["model"].value("partition_table", ""),
              [&] {
                  std::string hex;
                  for (uint8_t b : EngineSimRig::ReadBytes(rig.imageSet.file(ImageSlot::Partition).path))
                      hex += fmt::format("{:02x}", b);
                  return hex;
              }())
        << state["model"]["partition_table"].dump();
    for (const char* line : {"[Dload] Bootloader file download over(Osbl)", "AMSSFile succssfully", "[Dload] DSP1 file download over",
                             "[Dload] Applicaton EFS file download over"}) {
        EXPECT_TRUE(rig.posted(line)) << line;
    }
}

TEST(StreamingStageOnSimulator, Project38StreamsModemAndEfsIn512ByteBlocksWhateverBlockSizeSays) {
    EngineSimRig rig(SimDevice{}.Project(38));
    auto& c = rig.config;
    c.bBootloader = c.bAMSSFile = c.bEFS = true;
    c.blockSize = 2048;
    ASSERT_TRUE(rig.Generate(20));
    ASSERT_TRUE(rig.Start()) << rig.failure();
    const auto state = RunBothStages(rig);
    ExpectWritten(rig, state,
                  {{"qcsbl_header", ImageSlot::QcsblHeader}, {"qcsbl", ImageSlot::Qcsbl},
                   {"oemsbl", ImageSlot::Oemsbl}, {"amss", ImageSlot::Amss}, {"efs", ImageSlot::Efs}});
    // The modem image and the OEM bootloader carry their header files.
    EXPECT_TRUE(StoredHeader(state, "amss") == EngineSimRig::ReadBytes(rig.imageSet.file(ImageSlot::AmssHeader).path));
    EXPECT_TRUE(StoredHeader(state, "oemsbl") ==
                EngineSimRig::ReadBytes(rig.imageSet.file(ImageSlot::OemsblHeader).path));
    // Bootloaders go in 1,024-byte blocks; the modem image and the EFS in 512-byte blocks.
    const uint64_t writes = Blocks(rig, ImageSlot::QcsblHeader, 1024) + Blocks(rig, ImageSlot::Qcsbl, 1024) +
                            Blocks(rig, ImageSlot::Oemsbl, 1024) + Blocks(rig, ImageSlot::Amss, 512) +
                            Blocks(rig, ImageSlot::Efs, 512);
    // (A write whose acknowledgement came late is sent again, and says so.)
    EXPECT_EQ(Requests(state, "stream.write"), writes + rig.count("Re_transmit data"));
    EXPECT_TRUE(rig.posted("Bootloader succssfully"));
    EXPECT_TRUE(rig.posted("Download file P005......"));
}

TEST(StreamingStageOnSimulator, Project7WritesApplicationAndModemEfs) {
    EngineSimRig rig(SimDevice{}.Project(7));
    auto& c = rig.config;
    c.bAMSSFile = c.bEFS = true;
    ASSERT_TRUE(rig.Generate());
    ASSERT_TRUE(rig.Start()) << rig.failure();
    const auto state = RunBothStages(rig);
    ExpectWritten(rig, state,
                  {{"amss", ImageSlot::Amss}, {"app_efs", ImageSlot::AppsEfs}, {"efs", ImageSlot::CompactEfs}});
    EXPECT_TRUE(rig.posted("[Dload] Applicaton EFS file download over"));
    EXPECT_TRUE(rig.posted("[Dload] Modem EFS file download over"));
    // The counted form names the file and its blocks in units of 64.
    EXPECT_TRUE(rig.posted(fmt::format("cefs.mbn downloading, {} blocks",
                                       (Blocks(rig, ImageSlot::CompactEfs, 1024) + 63) / 64)))
        << Joined(rig.texts());
}

TEST(StreamingStageOnSimulator, Project44SendsItsPreCommandsAndWritesTheSelectedBootloaders) {
    EngineSimRig rig(SimDevice{}.Project(44));
    auto& c = rig.config;
    c.bBootloader = c.bdbl = c.bosbl = c.bAMSSFile = true;  // FSBL not selected
    ASSERT_TRUE(rig.Generate());
    ASSERT_TRUE(rig.Start()) << rig.failure();
    const auto state = RunBothStages(rig);
    EXPECT_TRUE(rig.posted("nop_cmd_6200_pre1 successfully"));
    EXPECT_TRUE(rig.posted("nop_cmd_6200_pre2 successfully"));
    EXPECT_EQ(Requests(state, "diag.version"), 1u);
    EXPECT_EQ(Requests(state, "diag.spc"), 1u);
    // Its own bootloader sequence: four no-operations (each possibly repeated on a slow reply).
    // (The two version requests are sent without reading a reply; the purge before the next
    // send may discard them before the device reads them, so they are not counted here.)
    EXPECT_EQ(rig.count("Sending nop_cmd...0"), 4u);
    size_t nopAttempts = 0;
    for (const auto& line : rig.texts()) nopAttempts += line.rfind("Sending nop_cmd...", 0) == 0 ? 1 : 0;
    EXPECT_EQ(Requests(state, "dmss.nop"), nopAttempts);
    ExpectWritten(rig, state, {{"dbl", ImageSlot::Dbl}, {"osbl_pcsuite", ImageSlot::Osbl}, {"amss", ImageSlot::Amss}});
    EXPECT_FALSE(state["model"]["images"].contains("fsbl"));
}

TEST(StreamingStageOnSimulator, Project35SkipsSecurityModeAndPartitionTable) {
    EngineSimRig rig(SimDevice{}.Project(35));
    auto& c = rig.config;
    c.bAMSSFile = c.bEFS = true;
    ASSERT_TRUE(rig.Generate());
    ASSERT_TRUE(rig.Start()) << rig.failure();
    const auto state = RunBothStages(rig);
    ExpectWritten(rig, state, {{"amss", ImageSlot::Amss}, {"efs", ImageSlot::Efs}});
    EXPECT_EQ(Requests(state, "stream.hello"), 1u);
    EXPECT_EQ(Requests(state, "stream.security_mode"), 0u);
    EXPECT_EQ(Requests(state, "stream.partition_table"), 0u);
    EXPECT_TRUE(state["model"]["partition_table"].is_null());
    EXPECT_FALSE(rig.posted("Security cmd"));
}

}  // namespace
}  // namespace flintcast::testing
