// The programmer conversion's checks and messages, and the folder helpers.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

#include "controller/programmer_conversion.h"
#include "platform/folder_tree.h"
#include "tests/staging/staging_fixture.h"

namespace flintcast::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;

class ConvertProgrammerTest : public StagingTest {
protected:
    bool convert(const std::string& hexText, const fs::path& libraryFolder) {
        std::ofstream(hex(), std::ios::binary) << hexText;
        return controller::ConvertProgrammer(hex(), bin(), libraryFolder, messages_, loadAddress_);
    }
    fs::path hex() const { return dir_.path() / "p.hex"; }
    fs::path bin() const { return dir_.path() / "p.BIN"; }
    uint32_t loadAddress_ = 0;
};

TEST_F(ConvertProgrammerTest, AcceptedWordsGiveTheLoadAddress) {
    EXPECT_EQ(controller::LoadAddressForWord("0080"), 0x00800000u);
    EXPECT_EQ(controller::LoadAddressForWord("0D70"), 0x0D700000u);
    EXPECT_EQ(controller::LoadAddressForWord("0081"), std::nullopt);
    EXPECT_EQ(controller::LoadAddressForWord("0d70"), std::nullopt) << "the match is on upper-case characters";
    EXPECT_EQ(controller::ConvertedProgrammerName("NPRG6260.hex"), "NPRG6260.BIN");
    EXPECT_EQ(controller::ConvertedProgrammerName("a.b.HEX"), "a.BIN");
}

TEST_F(ConvertProgrammerTest, ConvertsAndReportsEachFailure) {
    const std::string good = ":020000040DB03D\n:0400000001020304F2\n:00000001FF\n";
    ASSERT_TRUE(convert(good, staging()));
    EXPECT_EQ(loadAddress_, 0x0DB00000u);
    EXPECT_EQ(fs::file_size(bin()), 4u);

    EXPECT_FALSE(controller::ConvertProgrammer(dir_.path() / "none.hex", bin(), staging(), messages_, loadAddress_));
    EXPECT_FALSE(convert(":02000004", staging()));
    EXPECT_FALSE(convert(":02000004008179\n:00000001FF\n", staging()));
    EXPECT_FALSE(convert(":0200000200807C\n:00000001FF\n", staging())) << "a segment record is no load address";
    EXPECT_FALSE(convert(good, dir_.path() / "no-library"));
    EXPECT_FALSE(convert(":0200000400807A\n:0400000001020304F2\n", staging()));
    EXPECT_THAT(texts(), ElementsAre("Read hex file failed(INVALID_HANDLE)!", "Read hex file failed!",
                                     "Base address error!", "Base address error!",
                                     "Load library failed [libravelin.so]!", "1:*.Hex", "switch hex to bin failed!"));
    EXPECT_EQ(messages_.messages().back().caption, "ERROR");
}

TEST(FolderTree, CreateFolderLevelsReportsTheLevelThatFailed) {
    TempDir dir;
    const fs::path deep = dir.path() / "a" / "b" / "c";
    EXPECT_EQ(platform::CreateFolderLevels(deep.string()), std::nullopt);
    EXPECT_TRUE(fs::is_directory(deep));
    WriteBytes(dir.path() / "file", 1);
    EXPECT_EQ(platform::CreateFolderLevels((dir.path() / "file" / "x").string()), (dir.path() / "file").string());
}

TEST(FolderTree, RemoveFolderNeverFollowsLinksOutOfTheTree) {
    TempDir dir;
    const fs::path keep = dir.path() / "keep";
    fs::create_directories(keep / "inner");
    WriteBytes(keep / "inner" / "precious", 5);
    WriteBytes(keep / "file", 5);
    const fs::path tree = dir.path() / "tree";
    fs::create_directories(tree / "sub" / "deeper");
    WriteBytes(tree / "sub" / "deeper" / "x", 3);
    fs::create_directory_symlink(keep, tree / "sub" / "dirlink");
    fs::create_symlink(keep / "file", tree / "filelink");

    EXPECT_TRUE(platform::RemoveFolder(tree.string() + "/"));
    EXPECT_FALSE(fs::exists(fs::symlink_status(tree)));
    EXPECT_TRUE(fs::exists(keep / "inner" / "precious"));
    EXPECT_TRUE(fs::exists(keep / "file"));

    // A link standing for the folder: only the link goes.
    fs::create_directory_symlink(keep, dir.path() / "alias");
    EXPECT_TRUE(platform::RemoveFolder((dir.path() / "alias").string()));
    EXPECT_TRUE(fs::exists(keep / "file"));
    EXPECT_TRUE(platform::RemoveFolder((dir.path() / "never-was").string()));
}

}  // namespace
}  // namespace flintcast::testing
