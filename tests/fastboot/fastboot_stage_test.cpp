#include <gtest/gtest.h>

#include <fstream>

#include "engine/download_progress.h"
#include "engine/fastboot_stage.h"
#include "devkit/worker_rig.h"
#include "tests/fastboot/scripted_transport.h"

namespace flintcast::testing {
namespace {

using engine::FastbootImage;
using Replies = std::deque<std::optional<std::string>>;

class LinkDirectory : public FakeDirectory {
public:
    int32_t FindFastbootDevice(int, std::string& path) override {
        path = "tcp:127.0.0.1:5554";
        return 0;
    }
};

// Bytes whose value tells their position, so a data phase shows where in the file it began.
void WritePatternFile(const std::filesystem::path& file, uint64_t size) {
    std::ofstream out(file, std::ios::binary);
    std::vector<char> block(1 << 20);
    for (uint64_t at = 0; at < size; at += block.size()) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(block.size(), size - at));
        for (size_t i = 0; i < n; ++i) block[i] = static_cast<char>('A' + ((at + i) / 4 % 26));
        out.write(block.data(), static_cast<std::streamsize>(n));
    }
}

std::string PatternAt(uint64_t offset) {
    std::string out;
    for (uint64_t i = offset; i < offset + 4; ++i) out.push_back(static_cast<char>('A' + (i / 4 % 26)));
    return out;
}

class FastbootStageTest : public ::testing::Test {
protected:
    WorkerRig rig;
    LinkDirectory directory;
    engine::DownloadProgress progress{0};
    engine::ImageSet images;
    engine::FastbootSelection selection;
    ScriptLog log;
    int connects = 0;

    void Select(FastbootImage image, uint64_t size, bool chunked = false) {
        const auto& rule = engine::RuleFor(image);
        const auto file = rig.root.path() / ("image-" + std::string(rule.partition));
        WritePatternFile(file, size);
        images.file(rule.slot) = {file.string(), static_cast<uint32_t>(size)};
        selection.selected[static_cast<size_t>(image)] = true;
        selection.chunked[static_cast<size_t>(image)] = chunked;
    }

    // Runs the fastboot-only stage against a link that answers `replies` in turn.
    void RunOnly(Replies replies, int failDataWrite = 0) {
        engine::FastbootStage stage(rig.ctx, progress, directory, images, selection,
                                    [&](std::string_view) {
                                        ++connects;
                                        auto link = std::make_unique<ScriptedTransport>(log, replies);
                                        link->failDataWrite = failDataWrite;
                                        return engine::FastbootConnection{std::move(link), {}};
                                    });
        stage.RunFastbootOnly();
    }

    std::string error() {
        const auto errors = rig.errors();
        return errors.empty() ? std::string() : errors.front();
    }
};

TEST_F(FastbootStageTest, SmallBootImageGoesWholeWithItsDownloadAndFlashCommands) {
    Select(FastbootImage::Boot, 4096);
    RunOnly({"DATA00001000", "OKAY", "OKAY", "OKAY"});
    EXPECT_EQ(log.writes, (std::vector<std::string>{"download:00001000", "<data 4096 bytes from AAAA>",
                                                    "flash:boot", "continue"}));
    EXPECT_EQ(log.writes[0].size(), 17u);
    EXPECT_TRUE(rig.reporter.ok()) << error();
    EXPECT_TRUE(rig.posted("No recovery-----------"));
    EXPECT_TRUE(rig.posted("Download boot successfully-----------"));
    EXPECT_TRUE(rig.posted("Close adb connection successfully"));
    EXPECT_EQ(log.closes, 1);
}

TEST_F(FastbootStageTest, LargeSystemImageGoesInTwoChunksTheSecondFromItsOffset) {
    Select(FastbootImage::System, 60'000'000, true);
    RunOnly({"DATA02fffdc0", "OKAY", "OKAY", "DATA00938940", "OKAY", "OKAY", "OKAY"});
    EXPECT_TRUE(rig.reporter.ok()) << error();
    EXPECT_EQ(log.writes, (std::vector<std::string>{
                              "download:02fffdc0", "<data 50331072 bytes from " + PatternAt(0) + ">",
                              "mutilflash:0:system", "download:00938940",
                              "<data 9668928 bytes from " + PatternAt(50'331'072) + ">", "mutilflash:1:system",
                              "continue"}));
    EXPECT_EQ(progress.bytesSent(), 60'000'000u);
}

TEST_F(FastbootStageTest, ChunkPlanNeverEndsInAnEmptyChunkAndFlagsTheRealLastOne) {
    const auto& system = engine::RuleFor(FastbootImage::System);
    const auto exact = engine::PlanChunks(2 * system.chunkSize, system);
    ASSERT_TRUE(exact);
    ASSERT_EQ(exact->size(), 2u);
    EXPECT_FALSE((*exact)[0].last);
    EXPECT_TRUE((*exact)[1].last);
    EXPECT_EQ((*exact)[1].offset, system.chunkSize);
    EXPECT_EQ((*exact)[1].length, system.chunkSize);
    // More chunks than the limit cannot be written whole: no plan.
    EXPECT_FALSE(engine::PlanChunks(system.chunkSize * 10 + 1, system));
    EXPECT_EQ(engine::PlanChunks(system.chunkSize * 10, system)->size(), 10u);
}

TEST_F(FastbootStageTest, ReplyStartingWithFaFailsWithItsBytesInHexAndTheReason) {
    Select(FastbootImage::Boot, 4096);
    RunOnly({"DATA00001000", "OKAY", "FAILno such partition"});
    EXPECT_EQ(error(),
              "ERROR, Could not read OKAY reply. Read value:  46 41 49 4C 6E 6F 20 73 75 63 68 20 70 61 72 74 "
              "(FAILno such partition), Error code: 0");
    EXPECT_EQ(log.writes.back(), "flash:boot");  // no continue after the failure
    EXPECT_FALSE(rig.posted("Download boot successfully-----------"));
}

TEST_F(FastbootStageTest, NothingSelectedStillConnectsSendsContinueAndCloses) {
    RunOnly({"OKAY"});
    EXPECT_TRUE(rig.reporter.ok()) << error();
    for (const char* name : {"recovery", "boot", "system", "userdata", "splash"}) {
        EXPECT_TRUE(rig.posted(std::string("No ") + name + "-----------")) << name;
    }
    EXPECT_EQ(log.writes, std::vector<std::string>{"continue"});
    EXPECT_EQ(log.closes, 1);
    EXPECT_EQ(connects, 1);
}

TEST_F(FastbootStageTest, InfoLinesAreShownAndSkippedBeforeTheAnswer) {
    Select(FastbootImage::Boot, 100);
    RunOnly({"INFOerasing", "DATA00000064", "OKAY", "INFOwriting 'boot'", "INFOdone", "OKAY", "OKAY"});
    EXPECT_TRUE(rig.reporter.ok()) << error();
    EXPECT_TRUE(rig.posted("INFOwriting 'boot'"));
    EXPECT_EQ(log.writes.size(), 4u);
}

TEST_F(FastbootStageTest, RefusedDownloadStopsBeforeAnyData) {
    Select(FastbootImage::Boot, 4096);
    RunOnly({"FAILdata too large"});
    EXPECT_EQ(log.writes, std::vector<std::string>{"download:00001000"});
    EXPECT_EQ(error(), "ERROR, Receive handshake command failed. FAILdata too large, Error code: 0");
}

TEST_F(FastbootStageTest, DeviceThatAcceptsAnotherSizeOrStallsGetsNoData) {
    Select(FastbootImage::Boot, 4096);
    RunOnly({"DATA00000800"});
    EXPECT_EQ(log.writes.size(), 1u);
    EXPECT_TRUE(error().starts_with("ERROR, Receive handshake command failed. Read value:  44 41 54 41")) << error();

    WorkerRig stalled;
    engine::FastbootStage stage(stalled.ctx, progress, directory, images, selection, [&](std::string_view) {
        return engine::FastbootConnection{std::make_unique<ScriptedTransport>(log, Replies{std::nullopt}), {}};
    });
    stage.RunFastbootOnly();
    EXPECT_EQ(stalled.errors().front(), "ERROR, Receive handshake command failed., Error code: 0");
}

TEST_F(FastbootStageTest, DeviceLostMidTransferEndsTheImageWithoutItsFlashCommand) {
    Select(FastbootImage::Boot, 3 * 4096);
    RunOnly({"DATA00003000", "OKAY"}, 2);
    EXPECT_TRUE(rig.posted("ImageBulkWrite failure(retry): image-boot 1"));
    EXPECT_FALSE(rig.reporter.ok());
    for (const auto& w : log.writes) EXPECT_NE(w, "flash:boot");
}

TEST_F(FastbootStageTest, ImagesThatCannotBeDescribedOrAreMissingAreRefusedBeforeTheStage) {
    Select(FastbootImage::Userdata, 10);
    const auto huge = rig.root.path() / "huge.img";
    { std::ofstream create(huge); }
    std::filesystem::resize_file(huge, 0x100000000ull);  // sparse: costs no disk
    images.file(engine::ImageSlot::FastbootUserdata).path = huge.string();
    auto problem = engine::FastbootImagesProblem(selection, images);
    ASSERT_TRUE(problem);
    EXPECT_NE(problem->find("4 GiB"), std::string::npos) << *problem;

    images.file(engine::ImageSlot::FastbootUserdata).path = (rig.root.path() / "gone.img").string();
    problem = engine::FastbootImagesProblem(selection, images);
    ASSERT_TRUE(problem);
    EXPECT_NE(problem->find("missing"), std::string::npos) << *problem;
}

TEST(FastbootLinkNameTest, NamesTheTwoLinkKindsAndNothingElse) {
    auto tcp = engine::ParseFastbootLinkName("tcp:127.0.0.1:5554");
    ASSERT_TRUE(tcp);
    EXPECT_EQ(tcp->host, "127.0.0.1");
    EXPECT_EQ(tcp->port, 5554);
    auto usb = engine::ParseFastbootLinkName("usb:3:17");
    ASSERT_TRUE(usb);
    EXPECT_EQ(usb->bus, 3);
    EXPECT_EQ(usb->device, 17);
    for (const char* bad : {"tcp:host", "tcp::80", "tcp:h:0", "tcp:h:99999", "usb:1", "usb:0:1", "usb:1:x",
                            "ttyUSB0", "usb#vid_05c6&pid_9025"}) {
        EXPECT_FALSE(engine::ParseFastbootLinkName(bad)) << bad;
    }
}

}  // namespace
}  // namespace flintcast::testing
