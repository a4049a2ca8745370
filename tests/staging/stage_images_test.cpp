// Start-up staging from embedded resources: table order, conditions, the
// part-of-EFS files, the system image copy, the second package and clean-up.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "controller/image_staging.h"
#include "platform/clock.h"
#include "tests/staging/staging_fixture.h"
#include "devkit/files.h"

namespace flintcast::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;

std::vector<uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

class StageImagesTest : public StagingTest {
protected:
    void SetUp() override {
        StagingTest::SetUp();
        folders_ = {dir_.path() / "tmp" / "TempFiles", dir_.path() / "tmp" / "TempFiles2", dir_.path() / "Backup" / "2026_01_02"};
        for (const char* name : {"NPRG6260File", "PartitionFile", "AmssFile", "AmsshdFile", "AppEfsFile", "EfsFile", "DblFile",
                                 "FsblFile", "OsblFile", "QcsblFile", "DSP1File", "DSP2File", "RavelinFile", "GearswapFile"}) {
            resources_.add("", name, Bytes(name));
        }
    }
    controller::StagingResult stage(const std::string& ini) {
        resources_.add("INI", "ConfigFile", Bytes(ini));
        return controller::StageImages(folders_, resources_, cfg_, messages_, clock_);
    }
    // The source looks resources up by type and name; this one ignores the type.
    class AnyTypeSource : public controller::ResourceSource {
    public:
        void add(const std::string&, const std::string& name, std::vector<uint8_t> bytes) { map_.add("", name, std::move(bytes)); }
        std::optional<std::span<const uint8_t>> find(const controller::ResourceRef& ref) const override {
            auto copy = ref;
            copy.type = "";
            return map_.find(copy);
        }
        controller::MapResourceSource map_;
    };

    controller::StagingFolders folders_;
    AnyTypeSource resources_;
    config::ProjectConfig cfg_;
    platform::Clock clock_{0.001};
};

constexpr const char* kProject46 =
    "[Project]\nProject = PRJ46\n[DownloadItems]\nbBootLoader=1\nbEFS=1\nbAMSSFile=1\nbDSP=1\n";

TEST_F(StageImagesTest, WritesSelectedResourcesInTableOrder) {
    const auto result = stage(kProject46);
    ASSERT_TRUE(result.ok);
    EXPECT_TRUE(result.configOk);
    EXPECT_THAT(result.written, ElementsAre("NPRG6260File", "PartitionFile", "AmssFile", "AppEfsFile", "DblFile", "FsblFile",
                                            "OsblFile", "DSP1File", "DSP2File", "RavelinFile", "GearswapFile"));
    EXPECT_EQ(ReadText(folders_.staging / "amss.mbn"), "AmssFile");
    EXPECT_EQ(ReadText(folders_.staging / "NPRG6260.hex"), "NPRG6260File");
    EXPECT_TRUE(fs::is_directory(folders_.backup));
    EXPECT_EQ(cfg_.projectType, 46);
    EXPECT_NE(fs::status(folders_.staging / "gearswap").permissions() & fs::perms::owner_exec, fs::perms::none);
}

TEST_F(StageImagesTest, Project35StagesNoPartitionAndOtherProjectsTheirOwnSet) {
    const auto result = stage("[Project]\nProject = PRJ35\n[DownloadItems]\nbBootLoader=1\nbEFS=1\nbAMSSFile=1\n");
    ASSERT_TRUE(result.ok);
    EXPECT_THAT(result.written, ElementsAre("NPRG6260File", "AmssFile", "AmsshdFile", "EfsFile", "QcsblFile",
                                            "RavelinFile", "GearswapFile"));
    EXPECT_THAT(result.missingResources, ElementsAre("Qcsblhd_cfgdataFile", "OemsblFile", "OemsblhdFile"));
}

TEST_F(StageImagesTest, ReplacesALinkAtTheTargetInsteadOfWritingThroughIt) {
    const fs::path victim = dir_.path() / "victim";
    WriteBytes(victim, 4, 'v');
    fs::create_directories(folders_.staging);
    fs::create_symlink(victim, folders_.staging / "amss.mbn");
    ASSERT_TRUE(stage(kProject46).ok);
    EXPECT_EQ(ReadText(victim), "vvvv");
    EXPECT_FALSE(fs::is_symlink(folders_.staging / "amss.mbn"));
}

TEST_F(StageImagesTest, PartOfEfsFilesAreStagedByBaseName) {
    resources_.add("TXT", "extraFile", Bytes("extra"));
    const auto result = stage("[Project]\nProject = PRJ46\n[DownloadItems]\nbPartOfEFS=1\n"
                              "[AddFiles]\nAF0=/nv/item_files/extra.txt\nAF1=/nv/dir/\n");
    EXPECT_EQ(ReadText(folders_.staging / "extra.txt"), "extra");
    EXPECT_FALSE(result.ok) << "an entry without a file name is refused";
    EXPECT_EQ(controller::PartOfEfsFileName("../.."), "");
    EXPECT_EQ(controller::PartOfEfsFileName("plain.bin"), "plain.bin");
}

TEST_F(StageImagesTest, SystemImageIsCopiedFromTheConfiguredPath) {
    const fs::path source = dir_.path() / "release";
    fs::create_directories(source);
    WriteBytes(source / "system.img", 64, 's');
    auto result = stage("[Project]\nProject = PRJ46\n[DownloadItems]\nbFastbootSystemImage=1\nFastBootSystemImageFilePath=" +
                        source.string() + "\n");
    ASSERT_TRUE(result.ok);
    EXPECT_EQ(fs::file_size(folders_.staging / "system.img"), 64u);

    result = stage("[Project]\nProject = PRJ46\n[DownloadItems]\nbFastbootSystemImage=1\nFastBootSystemImageFilePath=" +
                   (dir_.path() / "nowhere").string() + "\n");
    EXPECT_TRUE(result.mustExit);
    EXPECT_EQ(messages_.messages().back(), (config::Message{"Warning", "Copy file failed [system.img]!",
                                                            config::MessageButtons::Ok, config::MessageIcon::Warning}));
}

TEST_F(StageImagesTest, SecondPackageUsesSuffixedNamesAndCleanUpKeepsBackups) {
    ASSERT_TRUE(stage(kProject46).ok);
    resources_.add("", "AmssFile2", Bytes("second amss"));
    resources_.add("", "ConfigFile2", Bytes("[Project]\n"));
    const auto second = controller::StageSecondPackage(folders_, resources_, cfg_, messages_);
    ASSERT_TRUE(second.ok);
    EXPECT_EQ(ReadText(folders_.secondStaging / "amss.mbn"), "second amss");
    EXPECT_FALSE(fs::exists(folders_.secondStaging / "dbl.mbn")) << "projects 43 to 47 get no boot loader files";
    EXPECT_EQ(second.written.back(), "ConfigFile2");

    EXPECT_TRUE(controller::CleanUpStaging(folders_, true));
    EXPECT_FALSE(fs::exists(folders_.staging));
    EXPECT_FALSE(fs::exists(folders_.secondStaging));
    EXPECT_TRUE(fs::is_directory(folders_.backup));
}

}  // namespace
}  // namespace flintcast::testing
