// The streaming stage end to end against the fake programmer: image order and
// open requests per project, block sizes, counted messages, the fast transfer.
#include <gtest/gtest.h>

#include "engine/image_procedures.h"
#include "tests/streaming/fake_device.h"

namespace flintcast::testing {
namespace {

using engine::ImageSlot;

struct Stage {
    explicit Stage(int32_t project, double scale = 0.05) : bench(project, scale) {
        images.file(ImageSlot::Partition) = file("partition.mbn", Pattern(200, 9));
    }
    engine::ImageFile file(const std::string& name, const Bytes& bytes) {
        return {bench.writeFile(name, bytes).string(), static_cast<uint32_t>(bytes.size())};
    }
    void put(ImageSlot slot, const std::string& name, const Bytes& bytes) { images.file(slot) = file(name, bytes); }
    void run() {
        engine::DownloadProgress progress(images.totalBytes);
        engine::RunStreamingStage(bench.ctx, images, progress);
    }
    std::vector<uint8_t> openTypes() {
        std::vector<uint8_t> out;
        for (const auto& [type, data] : bench.device->images()) out.push_back(type);
        return out;
    }
    // Sizes of the stream writes, in order.
    std::vector<size_t> writeSizes() {
        std::vector<size_t> out;
        for (const auto& r : bench.device->requests()) {
            if (r[0] == 0x07 && r.size() > 1) out.push_back(r.size() - 5);
        }
        return out;
    }
    DeviceBench bench;
    engine::ImageSet images;
};

TEST(StreamingStage, DefaultProjectWritesEveryImageInOrder) {
    Stage s(46);
    auto& cfg = s.bench.config;
    cfg.bBootloader = cfg.bdbl = cfg.bosbl = true;  // FSBL not selected
    cfg.bAMSSFile = cfg.bDSP = cfg.bEFS = cfg.bCDROM = true;
    const Bytes dbl = Pattern(3000, 1), osbl = Pattern(1024, 2), amss = Pattern(2049, 3), dsp1 = Pattern(700, 4),
                dsp2 = Pattern(1500, 5), cdrom = Pattern(5000, 6), efs = Pattern(4096, 7);
    s.put(ImageSlot::Dbl, "dbl.mbn", dbl);
    s.put(ImageSlot::Osbl, "osbl.mbn", osbl);
    s.put(ImageSlot::Amss, "amss.mbn", amss);
    s.put(ImageSlot::Dsp1, "dsp1.mbn", dsp1);
    s.put(ImageSlot::Dsp2, "dsp2.mbn", dsp2);
    s.put(ImageSlot::PcSuite, "CDROM.iso", cdrom);
    s.put(ImageSlot::AppsEfs, "cefs_apps.mbn", efs);
    s.run();

    ASSERT_TRUE(s.bench.errors.empty()) << s.bench.errors[0];
    EXPECT_EQ(s.openTypes(), (std::vector<uint8_t>{0x0F, 0x10, 0x05, 0x0D, 0x12, 0x0E, 0x0B}));
    const auto images = s.bench.device->images();
    const std::vector<Bytes> expected{dbl, osbl, amss, dsp1, dsp2, cdrom, efs};
    for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(images[i].second, expected[i]) << i;
    // The companion image is opened by its name, the AMSS image without header.
    for (const auto& r : s.bench.device->requests()) {
        if (r[0] == 0x1B && r[1] == 0x0E) {
            EXPECT_EQ(std::string(r.begin() + 2, r.end()), std::string("0:FTL\0", 6));
        }
        if (r[0] == 0x1B && r[1] == 0x05) {
            EXPECT_EQ(r.size(), 2u);
        }
    }
    // 2,049 bytes in 1,024-byte blocks: 1,024, 1,024 and 1.
    const auto sizes = s.writeSizes();
    EXPECT_EQ((std::vector<size_t>(sizes.begin() + 4, sizes.begin() + 7)), (std::vector<size_t>{1024, 1024, 1}));
    EXPECT_EQ(s.bench.count("AMSSFile succssfully"), 1u);
    EXPECT_EQ(s.bench.count("PCSuite succssfully"), 1u);
    EXPECT_EQ(s.bench.count("[Dload] Bootloader file download over(Dbl)"), 1u);
    EXPECT_EQ(s.bench.count("[Dload] Applicaton EFS file download over"), 1u);
    EXPECT_EQ(s.bench.count("cefs_apps.mbn downloading, 1 blocks"), 1u);
}

TEST(StreamingStage, SmallBlockProjectSendsAmssWithHeaderIn512ByteBlocks) {
    Stage s(38);
    s.bench.config.bAMSSFile = true;
    s.bench.config.blockSize = 2000;  // ignored on this project
    const Bytes header = Pattern(300, 8), amss = Pattern(1300, 9);
    s.put(ImageSlot::AmssHeader, "amsshd.mbn", header);
    s.put(ImageSlot::Amss, "amss.mbn", amss);
    s.run();
    ASSERT_TRUE(s.bench.errors.empty()) << s.bench.errors[0];
    EXPECT_EQ(s.writeSizes(), (std::vector<size_t>{512, 512, 276}));
    for (const auto& r : s.bench.device->requests()) {
        if (r[0] == 0x1B) {
            EXPECT_EQ(Bytes(r.begin() + 2, r.end()), header);
        }
    }
    EXPECT_EQ(s.bench.device->images()[0].second, amss);
}

TEST(StreamingStage, Project7WritesApplicationAndModemEfs) {
    Stage s(7);
    s.bench.config.bEFS = true;
    const Bytes apps = Pattern(3000, 10), modem = Pattern(2000, 11);
    s.put(ImageSlot::AppsEfs, "cefs_apps.mbn", apps);
    s.put(ImageSlot::CompactEfs, "cefs.mbn", modem);
    s.run();
    ASSERT_TRUE(s.bench.errors.empty()) << s.bench.errors[0];
    EXPECT_EQ(s.openTypes(), (std::vector<uint8_t>{0x0B, 0x09}));
    EXPECT_EQ(s.bench.device->images()[0].second, apps);
    EXPECT_EQ(s.bench.device->images()[1].second, modem);
    EXPECT_EQ(s.bench.count("[Dload] Modem EFS file download over"), 1u);
}

TEST(StreamingStage, Project44CompanionAndBootChainSkipsUnselectedDbl) {
    Stage s(44);
    auto& cfg = s.bench.config;
    cfg.bBootloader = cfg.bfsbl = cfg.bosbl = true;
    cfg.bResImage = true;
    s.put(ImageSlot::Fsbl, "fsbl.mbn", Pattern(100, 1));
    s.put(ImageSlot::Osbl, "osbl.mbn", Pattern(100, 2));
    s.put(ImageSlot::PcSuite, "resimage", Pattern(100, 3));
    s.run();
    ASSERT_TRUE(s.bench.errors.empty()) << s.bench.errors[0];
    EXPECT_EQ(s.openTypes(), (std::vector<uint8_t>{0x11, 0x10, 0x20}));
}

TEST(StreamingStage, AppsImageIsFollowedByItsBootloader) {
    Stage s(20);
    auto& cfg = s.bench.config;
    cfg.bAppsImageAndBootloader = cfg.bAppsBootloader = true;
    s.put(ImageSlot::Apps, "apps.mbn", Pattern(100, 1));
    s.put(ImageSlot::AppsHeader, "appshd.mbn", Pattern(40, 2));
    s.put(ImageSlot::AppsBoot, "appsboot.mbn", Pattern(100, 3));
    s.put(ImageSlot::AppsBootHeader, "appsboothd.mbn", Pattern(40, 4));
    s.run();
    ASSERT_TRUE(s.bench.errors.empty()) << s.bench.errors[0];
    EXPECT_EQ(s.openTypes(), (std::vector<uint8_t>{0x0A, 0x06, 0x0A}));
}

TEST(StreamingStage, BadHeaderAndImageFilesStopTheStage) {
    {
        Stage s(20);
        s.bench.config.bAMSSFile = true;
        s.put(ImageSlot::AmssHeader, "amsshd.mbn", Pattern(600));
        s.put(ImageSlot::Amss, "amss.mbn", Pattern(600));
        s.run();
        ASSERT_EQ(s.bench.errors.size(), 1u);
        EXPECT_EQ(s.bench.errors[0].rfind("ERROR, BIN file length error: " + s.images.file(ImageSlot::AmssHeader).path, 0), 0u);
        EXPECT_TRUE(s.openTypes().empty());
    }
    {
        // An empty image is never reported as written.
        Stage s(46);
        s.bench.config.bAMSSFile = true;
        s.put(ImageSlot::Amss, "amss.mbn", {});
        s.run();
        ASSERT_EQ(s.bench.errors.size(), 1u);
        EXPECT_EQ(s.bench.errors[0].rfind("ERROR, Could not read from BIN file: ", 0), 0u);
        EXPECT_EQ(s.bench.count("AMSSFile succssfully"), 0u);
    }
    {
        Stage s(46);
        s.bench.config.bAMSSFile = true;
        s.images.file(ImageSlot::Amss) = {(s.bench.root.path() / "missing.mbn").string(), 10};
        s.run();
        ASSERT_EQ(s.bench.errors.size(), 1u);
        EXPECT_EQ(s.bench.errors[0].rfind("ERROR, Could not open BIN file: ", 0), 0u);
    }
    {
        Stage s(46);
        s.bench.config.bAMSSFile = true;
        s.bench.config.blockSize = 0;
        s.put(ImageSlot::Amss, "amss.mbn", Pattern(10));
        s.run();
        ASSERT_EQ(s.bench.errors.size(), 1u);
        EXPECT_EQ(s.bench.errors[0].rfind("ERROR, BlockSize error: 0", 0), 0u);
    }
}

TEST(StreamingStage, BlockRefusedThreeTimesNamesTheFileAndBlock) {
    Stage s(46);
    s.bench.config.bAMSSFile = true;
    s.put(ImageSlot::Amss, "amss.mbn", Pattern(3000));
    s.bench.device->override = [](const Bytes& r, int) -> std::optional<Bytes> {
        if (r[0] == 0x07 && r.size() > 1 && r[1] == 0x00 && r[2] == 0x08) return Bytes{};  // block at 2,048
        return std::nullopt;
    };
    s.run();
    ASSERT_EQ(s.bench.errors.size(), 1u);
    EXPECT_EQ(s.bench.errors[0].rfind("ERROR, amss.mbn, fail to write block 1 of 1", 0), 0u);
    EXPECT_EQ(s.bench.count("Downloading D005......"), 3u);
    EXPECT_EQ(s.bench.count("AMSSFile succssfully"), 0u);
}

TEST(StreamingStage, FastTransferSendsTwentyMegabytePartsAndPadsTheLast) {
    // Five thousand block replies in a row: a slower clock keeps a busy
    // machine's scheduling delays inside the port's reply wait.
    Stage s(46, 0.5);
    auto& cfg = s.bench.config;
    cfg.bAMSSFile = true;
    cfg.bFastSpeedDownload = true;
    cfg.blockSize = 4096;
    s.bench.device->fastBlockSize = 4096;
    const Bytes amss = Pattern(20 * 1024 * 1024 + 1, 12);
    s.put(ImageSlot::Amss, "amss.mbn", amss);
    s.images.crcOf(engine::CrcSlot::Amss) = 0xBEEF;
    s.run();
    ASSERT_TRUE(s.bench.errors.empty()) << s.bench.errors[0];
    std::vector<Bytes> transmits;
    for (const auto& r : s.bench.device->requests()) {
        if (r[0] == 0x20) transmits.push_back(r);
        EXPECT_NE(r[0], 0x07) << "no stream write in fast mode";
    }
    ASSERT_EQ(transmits.size(), 2u);
    EXPECT_EQ(transmits[0], (Bytes{0x20, 0, 0, 0, 0, 0, 0, 0x40, 0x01, 0xEF, 0xBE}));
    EXPECT_EQ(transmits[1], (Bytes{0x20, 0, 0, 0x40, 0x01, 1, 0, 0, 0, 0xEF, 0xBE}));
    EXPECT_EQ(s.bench.device->images()[0].second, amss);
    EXPECT_EQ(s.bench.count("Write Flash OK."), 2u);
    EXPECT_EQ(s.bench.count("Transmit data reset----"), 1u);
    EXPECT_EQ(s.bench.count("Downloading AMSS Modem..."), 1u);
}

TEST(StreamingStage, FastTransferResynchronisesAfterAFailedRound) {
    Stage s(46);
    auto& cfg = s.bench.config;
    cfg.bAMSSFile = cfg.bFastSpeedDownload = true;
    s.put(ImageSlot::Amss, "amss.mbn", Pattern(5000, 3));
    s.bench.device->override = [](const Bytes& r, int index) -> std::optional<Bytes> {
        if (r[0] == 0xFF && index == 2) return Framed({0x25, 0x00});  // third block refused
        return std::nullopt;
    };
    s.run();
    ASSERT_TRUE(s.bench.errors.empty()) << s.bench.errors[0];
    EXPECT_EQ(s.bench.count("===Try transmit data again==="), 1u);
    EXPECT_EQ(s.bench.count("Transmit data reset OK"), 1u);
    EXPECT_EQ(s.bench.count("Write Flash OK."), 1u);
}

// The fast transfer counts the bytes of the image it sent (not a fixed amount per block, which
// would take the bar past its end), and an image it cannot read is an error, never a pass.
TEST(StreamingStage, FastTransferCountsImageBytesAndAMissingImageIsAnError) {
    {
        Stage s(46);
        auto& cfg = s.bench.config;
        cfg.bAMSSFile = cfg.bFastSpeedDownload = true;
        s.put(ImageSlot::Amss, "amss.mbn", Pattern(5000, 3));
        s.images.totalBytes = 5000;
        engine::DownloadProgress progress(s.images.totalBytes);
        engine::RunStreamingStage(s.bench.ctx, s.images, progress);
        ASSERT_TRUE(s.bench.errors.empty()) << s.bench.errors[0];
        EXPECT_EQ(progress.bytesSent(), 5000u);
    }
    {
        Stage s(46);
        auto& cfg = s.bench.config;
        cfg.bAMSSFile = cfg.bFastSpeedDownload = true;
        s.images.file(ImageSlot::Amss) = {(s.bench.root.path() / "missing.mbn").string(), 10};
        s.run();
        ASSERT_EQ(s.bench.errors.size(), 1u);
        EXPECT_EQ(s.bench.errors[0].rfind("ERROR, Could not open BIN file: ", 0), 0u) << s.bench.errors[0];
        EXPECT_EQ(s.bench.count("AMSSFile succssfully"), 0u);
        EXPECT_EQ(s.bench.count("Write Flash OK."), 0u);
    }
}

}  // namespace
}  // namespace flintcast::testing
