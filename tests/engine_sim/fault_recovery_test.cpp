// Injected faults on the simulated device during the bootloader and streaming stages: a
// refused (NAK), dropped or corrupted reply is retried and the images still arrive intact;
// a fault on every attempt ends in the stage's own message; a device that leaves the bus
// mid-image ends the stage within the protocol's limits.
#include <gtest/gtest.h>

#include <fmt/format.h>

#include <chrono>
#include <thread>

#include "engine/streaming_download.h"
#include "tests/engine_sim/engine_sim_rig.h"
#include "devkit/wait_until.h"

namespace flintcast::testing {
namespace {

using engine::ImageSlot;

// A default-project rig writing only the modem image, with `faults` armed from the start.
void StartModemOnly(EngineSimRig& rig, size_t imageKiB = 16) {
    rig.config.bAMSSFile = true;
    ASSERT_TRUE(rig.Generate(imageKiB));
    ASSERT_TRUE(rig.Start()) << rig.failure();
}

uint64_t Fired(const nlohmann::json& state) {
    uint64_t fired = 0;
    if (!state.contains("faults")) return 0;
    for (const auto& rule : state["faults"]) fired += rule.value("fired", 0u);
    return fired;
}

void ExpectModemImageIntact(EngineSimRig& rig) {
    const auto state = rig.State();
    ASSERT_FALSE(state.is_discarded());
    EXPECT_GE(Fired(state), 1u) << state["faults"].dump();
    ASSERT_TRUE(state["model"]["images"].contains("amss")) << state["model"].dump();
    EXPECT_TRUE(state["model"]["images"]["amss"].value("complete", false));
    EXPECT_TRUE(rig.Written(state, "amss") == EngineSimRig::ReadBytes(rig.imageSet.file(ImageSlot::Amss).path));
}

// Each fault hits one reply; the request is repeated and the update goes on.
class OneFaultTest : public ::testing::TestWithParam<const char*> {};

TEST_P(OneFaultTest, IsRetriedAndTheImageArrivesIntact) {
    EngineSimRig rig(SimDevice{}.Faults(GetParam()));
    StartModemOnly(rig);
    rig.RunBootloaderStage();
    if (rig.reporter.ok()) rig.RunStreamingStage();
    EXPECT_TRUE(rig.errors().empty()) << Joined(rig.errors()) << Joined(rig.texts());
    ExpectModemImageIntact(rig);
}

// Replies on the bootloader port: 1 no-operation, 2 parameters, 3 no-operation, 4.. writes.
// Replies on the programmer port: 1 hello, 2 security, 3 partition table, 4 open, 5.. writes.
INSTANTIATE_TEST_SUITE_P(DmssAndStreaming, OneFaultTest,
                         ::testing::Values("refuse:dmss.nop@1", "refuse:dmss.write@3", "drop-reply:download@1",
                                           "drop-reply:download@6", "corrupt-crc:download@5",
                                           "refuse:stream.hello@1", "refuse:stream.open@1", "refuse:stream.write@4",
                                           "drop-reply:programmer@2", "drop-reply:programmer@7",
                                           "corrupt-crc:programmer@4", "corrupt-crc:programmer@9",
                                           "split-reply:programmer@8", "split-reply:download@2"));

// Every no-operation refused, or every reply of the bootloader dropped: the first no-operation fails.
// (A slower scale keeps the switch confirmation, read before the device leaves the bus,
// from being missed on a busy machine.)
class BootloaderFaultTest : public ::testing::TestWithParam<const char*> {};

TEST_P(BootloaderFaultTest, OnEveryReplyEndsWithTheNopFailure) {
    EngineSimRig rig(SimDevice{}.Scale(0.05).Faults(GetParam()));
    StartModemOnly(rig);
    rig.RunBootloaderStage();
    ASSERT_EQ(rig.errors().size(), 1u) << Joined(rig.texts());
    EXPECT_EQ(rig.errors()[0], "ERROR, [Bootloader] Nop command failed, Error code: 0") << Joined(rig.texts());
    EXPECT_TRUE(rig.posted("Sending nop_cmd...9"));
    EXPECT_FALSE(rig.posted("Sending nop_cmd...10"));
}

INSTANTIATE_TEST_SUITE_P(RefusedDropped, BootloaderFaultTest,
                         ::testing::Values("refuse:dmss.nop@*", "drop-reply:download@*"));

// Every reply of the programmer dropped or spoiled: the hello is given up after 50 attempts.
class ProgrammerFaultTest : public ::testing::TestWithParam<const char*> {};

TEST_P(ProgrammerFaultTest, OnEveryReplyEndsWithTheHelloFailure) {
    EngineSimRig rig({});
    StartModemOnly(rig);
    rig.RunBootloaderStage();
    ASSERT_TRUE(rig.errors().empty()) << Joined(rig.errors());
    ASSERT_TRUE(rig.Ctl(std::string("fault ") + GetParam()));
    rig.RunStreamingStage();
    ASSERT_EQ(rig.errors().size(), 1u);
    EXPECT_EQ(rig.errors()[0], "ERROR, [Dload] Fail to send hello command, Error code: 0");
    // The tool has given up; on a busy machine the device may still be reading its last hellos.
    const auto hellos = [&] { return rig.State()["model"]["requests"].value("stream.hello", 0u); };
    EXPECT_TRUE(flintcast::testing::WaitUntil([&] { return hellos() >= 50u; }));
    EXPECT_EQ(hellos(), 50u);
}

INSTANTIATE_TEST_SUITE_P(DroppedCorrupted, ProgrammerFaultTest,
                         ::testing::Values("drop-reply:programmer@*", "corrupt-crc:programmer@*"));

TEST(FaultOnEveryAttempt, Project44ReportsWithoutTheBracketedPrefix) {
    EngineSimRig rig(SimDevice{}.Project(44).Scale(0.05).Faults("refuse:dmss.nop@*"));
    StartModemOnly(rig);
    rig.RunBootloaderStage();
    ASSERT_EQ(rig.errors().size(), 1u) << Joined(rig.texts());
    EXPECT_EQ(rig.errors()[0], "ERROR, Nop command failed, Error code: 0");
}

// A programmer block refused, or answered with a spoiled acknowledgement, every time: the
// block is given up after three rounds of ten writes. (The no-operation and parameter checks
// look at the reply's code bytes only, so spoiled check sequences first tell on the writes.)
class ProgrammerBlockFaultTest : public ::testing::TestWithParam<const char*> {};

TEST_P(ProgrammerBlockFaultTest, NamesTheBlockInUnitsOf64) {
    EngineSimRig rig(SimDevice{}.Faults(GetParam()));
    StartModemOnly(rig);
    rig.RunBootloaderStage();
    const auto blocks = (rig.imageSet.file(ImageSlot::Programmer).size + 1016) / 1017;
    ASSERT_EQ(rig.errors().size(), 1u);
    const auto name = std::filesystem::path(rig.imageSet.file(ImageSlot::Programmer).path).filename().string();
    EXPECT_EQ(rig.errors()[0],
              fmt::format("ERROR, {}, fail to write block 1 of {}, Error code: 0", name, (blocks + 63) / 64));
    EXPECT_EQ(rig.count("re-downloading D002......"), 3u);
    EXPECT_EQ(rig.State()["model"]["requests"].value("dmss.write", 0u), 30u);
}

INSTANTIATE_TEST_SUITE_P(RefusedCorrupted, ProgrammerBlockFaultTest,
                         ::testing::Values("refuse:dmss.write@*", "corrupt-crc:download@*"));

TEST(FaultOnEveryAttempt, RefusedHelloEndsTheStreamingStage) {
    EngineSimRig rig({});
    StartModemOnly(rig);
    rig.RunBootloaderStage();
    ASSERT_TRUE(rig.errors().empty()) << Joined(rig.errors());
    ASSERT_TRUE(rig.Ctl("fault refuse:stream.hello@*"));
    rig.RunStreamingStage();
    ASSERT_EQ(rig.errors().size(), 1u);
    EXPECT_EQ(rig.errors()[0], "ERROR, [Dload] Fail to send hello command, Error code: 0");
    EXPECT_EQ(rig.State()["model"]["requests"].value("stream.hello", 0u), 50u);
}

TEST(FaultOnEveryAttempt, RefusedStreamWritesEndTheImage) {
    EngineSimRig rig({});
    StartModemOnly(rig);
    rig.RunBootloaderStage();
    ASSERT_TRUE(rig.errors().empty()) << Joined(rig.errors());
    ASSERT_TRUE(rig.Ctl("fault refuse:stream.write@*"));
    rig.RunStreamingStage();
    const auto blocks = (rig.imageSet.file(ImageSlot::Amss).size + 1023) / 1024;
    ASSERT_EQ(rig.errors().size(), 1u);
    EXPECT_EQ(rig.errors()[0],
              fmt::format("ERROR, amss.mbn, fail to write block 1 of {}, Error code: 0", (blocks + 63) / 64));
    // Three block attempts of 25 stream writes each.
    EXPECT_EQ(rig.State()["model"]["requests"].value("stream.write", 0u), 75u);
    EXPECT_EQ(rig.count("Downloading D005......"), 3u);
}

TEST(DeviceLeavesMidImage, UnplugDuringTheModemImageEndsTheStageInTime) {
    EngineSimRig rig({});
    StartModemOnly(rig, 4096);
    rig.RunBootloaderStage();
    ASSERT_TRUE(rig.errors().empty()) << Joined(rig.errors());
    // Unplug once the first blocks of the image are on their way.
    std::thread unplugger([&rig] {
        WaitUntil([&] { return rig.posted("Downloading D004......"); });
        rig.Ctl("unplug");
    });
    const uint32_t start = rig.clock.tickMs();
    rig.RunStreamingStage();
    const uint32_t took = rig.clock.tickMs() - start;
    unplugger.join();
    ASSERT_EQ(rig.errors().size(), 1u) << Joined(rig.texts());
    EXPECT_NE(rig.errors()[0].find("amss.mbn, fail to write block "), std::string::npos) << rig.errors()[0];
    // 75 stream write attempts, each with its failing write and read: minutes of tool time, not a hang.
    EXPECT_LT(took, 75u * 12000u);
    const auto state = rig.State();
    EXPECT_EQ(state.value("status", ""), "unplugged");
    EXPECT_FALSE(state["model"]["images"].contains("amss") &&
                 state["model"]["images"]["amss"].value("complete", false));
}

TEST(DeviceLeavesMidImage, UnplugFaultAtAGivenBlock) {
    EngineSimRig rig(SimDevice{}.Faults("unplug-at:1.5"));
    StartModemOnly(rig);
    rig.RunBootloaderStage();
    ASSERT_TRUE(rig.errors().empty()) << Joined(rig.errors());
    rig.RunStreamingStage();
    ASSERT_EQ(rig.errors().size(), 1u) << Joined(rig.texts());
    EXPECT_NE(rig.errors()[0].find("amss.mbn, fail to write block 1 of "), std::string::npos) << rig.errors()[0];
}

TEST(DeviceLeavesMidImage, RepliesWithoutTimeLimitGiveUpOnAVanishedPort) {
    // Close, reset and GO replies are read without a time limit; a device that leaves the
    // bus before answering must not hold the worker forever.
    EngineSimRig rig({});
    StartModemOnly(rig);
    rig.RunBootloaderStage();
    ASSERT_TRUE(rig.errors().empty()) << Joined(rig.errors());
    ASSERT_TRUE(rig.Ctl("unplug"));
    ASSERT_TRUE(rig.sim().WaitForDev({}));
    engine::StreamingDownload streaming(rig.ctx, rig.progress, rig.directory.get());
    const uint32_t start = rig.clock.tickMs();
    EXPECT_EQ(streaming.CloseImage(), 1);
    EXPECT_NE(streaming.Reset(), 0);
    // Ten close attempts and a reset, each with its failing writes and a read given up
    // after the reply limit of 5 s.
    EXPECT_LT(rig.clock.tickMs() - start, 11u * 15000u);
    EXPECT_TRUE(rig.reporter.ok());
}

}  // namespace
}  // namespace flintcast::testing
