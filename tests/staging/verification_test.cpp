// Scan and verification of image folders: names, patterns, bounds, labels, CRCs.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "codec/hdlc.h"
#include "tests/staging/staging_fixture.h"

namespace flintcast::testing {
namespace {

namespace fs = std::filesystem;
using engine::CrcSlot;
using engine::ImageSlot;
using ::testing::ElementsAre;

std::string Missing(const std::string& label, const fs::path& path) { return label + path.string() + " does not exist!\n"; }
std::string SizeError(const std::string& label, const fs::path& path) { return label + path.string() + " size error!\n"; }

TEST_F(StagingTest, GeneratedPackagesVerifyForEachProjectFamily) {
    for (const int project : {46, 7, 45, 12, 35}) {
        SCOPED_TRACE(project);
        fs::remove_all(images());
        generate(project);
        ASSERT_TRUE(verify(ConfigFor(project))) << ::testing::PrintToString(texts());
        EXPECT_EQ(set_.programmerLoadAddress, 0x00800000u);
        uint64_t sum = 0;
        for (const auto& image : list_) sum += image.size;
        EXPECT_EQ(set_.totalBytes, sum);
        EXPECT_EQ(set_.file(ImageSlot::Programmer).path, (staging() / "NPRG6260.BIN").string());
    }
    // Project 35 carries no partition table and does not need one.
    EXPECT_TRUE(set_.file(ImageSlot::Partition).path.empty());
}

TEST_F(StagingTest, NamesMatchInLowerCaseAndLaterMatchWins) {
    generate(46);
    fs::rename(images() / "amss.mbn", images() / "AMSS.MBN");
    fs::create_directories(images() / "z-later");
    WriteBytes(images() / "z-later" / "dsp1.mbn", 100);
    ASSERT_TRUE(verify(ConfigFor(46)));
    EXPECT_EQ(set_.file(ImageSlot::Amss).path, (images() / "AMSS.MBN").string());
    EXPECT_EQ(set_.file(ImageSlot::Dsp1).path, (images() / "z-later" / "dsp1.mbn").string());
    EXPECT_EQ(set_.file(ImageSlot::Dsp1).size, 100u);
}

TEST_F(StagingTest, PcSuitePatternsFollowTheirSwitches) {
    generate(46);
    WriteBytes(images() / "CDROM.iso", 2048);
    WriteBytes(images() / "imageempty.iso", 2048);
    auto cfg = ConfigFor(46);
    ASSERT_TRUE(verify(cfg));
    EXPECT_TRUE(set_.file(ImageSlot::PcSuite).path.empty()) << "bCDROM off: the ISO is ignored";

    cfg.bCDROM = cfg.pcSuite = true;
    ASSERT_TRUE(verify(cfg));
    EXPECT_EQ(set_.file(ImageSlot::PcSuite).path, (images() / "CDROM.iso").string());

    fs::remove(images() / "CDROM.iso");
    EXPECT_FALSE(verify(cfg)) << "imageempty.iso is never taken";
    EXPECT_THAT(texts(), ElementsAre(Missing("Error:PCSuit file ", images() / "*.iso")));
    EXPECT_TRUE(list_.empty());
}

TEST_F(StagingTest, PartitionTableBound) {
    generate(46);
    WriteBytes(images() / "partition.mbn", 511);
    EXPECT_TRUE(verify(ConfigFor(46)));
    WriteBytes(images() / "partition.mbn", 512);
    EXPECT_FALSE(verify(ConfigFor(46)));
    EXPECT_THAT(texts(), ElementsAre(SizeError("Error:partition file ", images() / "partition.mbn")));
    EXPECT_TRUE(list_.empty());
}

TEST_F(StagingTest, FailuresCarryTheirLabelsAsWritten) {
    generate(46);
    fs::remove(images() / "fsbl.mbn");
    EXPECT_FALSE(verify(ConfigFor(46)));
    generate(46);
    WriteBytes(images() / "amss.mbn", 0);
    EXPECT_FALSE(verify(ConfigFor(46)));
    generate(46);
    fs::remove(images() / "dsp2.mbn");
    EXPECT_FALSE(verify(ConfigFor(46)));
    generate(12);
    WriteBytes(images() / "oemsblhd.mbn", 600);
    EXPECT_FALSE(verify(ConfigFor(12)));
    fs::remove(images() / "oemsbl.mbn");
    fs::remove(images() / "oemsblhd.mbn");
    EXPECT_FALSE(verify(ConfigFor(12)));
    EXPECT_THAT(texts(), ElementsAre(Missing("Error:Fsbl ile ", images() / "fsbl.mbn"),
                                     SizeError("Error:AMss file ", images() / "amss.mbn"),
                                     Missing("Error: File ", images() / "dsp2.mbn"),
                                     SizeError("Error:Oemh file ", images() / "oemsblhd.mbn"),
                                     Missing("Error:Oemhd file ", images() / "oemsblhd.mbn")));
}

TEST_F(StagingTest, FailedConversionLeavesTheProgrammerSlotEmpty) {
    generate(46, "--load-word 0081");
    EXPECT_FALSE(verify(ConfigFor(46)));
    EXPECT_THAT(texts(), ElementsAre("Base address error!", Missing("Error: BIN file ", images() / "*.hex")));
}

TEST_F(StagingTest, LinkedFoldersAreNotWalkedAndDanglingLinksAreMissing) {
    generate(46);
    const fs::path outside = dir_.path() / "outside";
    fs::create_directories(outside);
    fs::rename(images() / "dsp1.mbn", outside / "dsp1.mbn");
    fs::create_directory_symlink(outside, images() / "linked");
    fs::create_directory_symlink(images(), images() / "loop");
    EXPECT_FALSE(verify(ConfigFor(46)));
    fs::create_symlink(outside / "gone.mbn", images() / "dsp1.mbn");
    EXPECT_FALSE(verify(ConfigFor(46)));
    EXPECT_THAT(texts(), ElementsAre(Missing("Error: File ", images() / "dsp1.mbn"),
                                     Missing("Error: File ", images() / "dsp1.mbn")));
}

TEST_F(StagingTest, RestoreWithoutBackupNeedsTheBackupFiles) {
    generate(46);
    auto cfg = ConfigFor(46);
    cfg.bRestore = true;
    EXPECT_FALSE(verify(cfg));
    EXPECT_THAT(texts(), ElementsAre(Missing("Error: File ", images() / "nv.bak")));
    WriteBytes(images() / "nv.bak", 10);
    WriteBytes(images() / "at.bak", 10);
    EXPECT_TRUE(verify(cfg));
    // A resumed run takes them from the device's backup folder instead.
    const fs::path backup = dir_.path() / "backup";
    EXPECT_FALSE(controller::VerifyImageSet(images(), cfg, {true, backup}, {staging(), staging()}, messages_, set_, list_));
    EXPECT_EQ(texts().back(), Missing("Error: File ", backup / "nv.bak"));
}

TEST_F(StagingTest, PartOfEfsFilesCountTowardsTheTotal) {
    generate(46);
    auto cfg = ConfigFor(46);
    cfg.bEFS = false;
    cfg.bPartOfEFS = true;
    cfg.addFiles = {"/nv/item_files/extra.bin"};
    EXPECT_FALSE(verify(cfg));
    WriteBytes(images() / "extra.bin", 1234);
    ASSERT_TRUE(verify(cfg));
    ASSERT_EQ(set_.partOfEfsFiles.size(), 1u);
    EXPECT_EQ(set_.partOfEfsFiles[0].size, 1234u);
    uint64_t sum = 0;
    for (const auto& image : list_) sum += image.size;
    EXPECT_EQ(set_.totalBytes, sum);
}

TEST_F(StagingTest, FastSpeedDownloadFillsTheCrcSlots) {
    generate(46);
    auto cfg = ConfigFor(46);
    cfg.bFastSpeedDownload = true;
    ASSERT_TRUE(verify(cfg));
    std::ifstream in(images() / "amss.mbn", std::ios::binary);
    const std::vector<uint8_t> amss((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(set_.crcOf(CrcSlot::Amss), hdlc::CheckSequence(amss));
    EXPECT_NE(set_.crcOf(CrcSlot::ProjectEfs), 0) << "project 46's EFS is cefs_apps.mbn";
    EXPECT_EQ(set_.crcOf(CrcSlot::CompactAppsEfs), 0);
}

TEST_F(StagingTest, EmptyFolderPathDoesNothing) {
    EXPECT_FALSE(controller::VerifyImageSet({}, ConfigFor(46), {}, {staging(), staging()}, messages_, set_, list_));
    EXPECT_TRUE(texts().empty());
}

}  // namespace
}  // namespace flintcast::testing
