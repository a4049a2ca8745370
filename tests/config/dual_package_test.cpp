#include "config/dual_package.h"

#include <gtest/gtest.h>

#include <fstream>

#include "tests/config/config_test_util.h"
#include "devkit/temp_dir.h"

using namespace flintcast::config;
using flintcast::testing::ReadText;

namespace {

struct SecondFile {
    flintcast::testing::TempDir dir;
    std::filesystem::path path = dir.path() / "Config.ini";
    explicit SecondFile(std::string_view text) { std::ofstream(path, std::ios::binary) << text; }
};

ProjectConfig First(std::string_view projectKeys) {
    return ReadText("[Project]\nPacket=2\n" + std::string(projectKeys) +
                    "[DownloadItems]\nbAMSSFile=1\nbEFS=1\nbBackup=1\nbRestore=1\n")
        .config;
}

}  // namespace

TEST(CheckSecondPackage, FlashTypeMustDifferForUnpairedBoards) {
    SecondFile second("[Project]\nFlashType=2\nName=OTHER\nVersion=V2\n");
    RecordingMessageSink messages;
    SecondPackage info;
    ProjectConfig first = First("FlashType=2\n");
    EXPECT_EQ(CheckSecondPackage(second.path, first, info, messages), SecondPackageCheck::EndApplication);
    ASSERT_EQ(messages.messages().size(), 1u);
    EXPECT_EQ(messages.messages()[0].caption, "警告");
    EXPECT_EQ(messages.messages()[0].text, "两个版本包中不能是相同Flash大小的版本[FlashType]");
    EXPECT_FALSE(first.bAMSSFile || first.bEFS);
    EXPECT_TRUE(first.bBackup);
    EXPECT_EQ(info.version, "");  // read only with the mainboard check

    ProjectConfig differs = First("FlashType=1\nbCheckMainboardType=1\nVersion=V1\n");
    messages.clear();
    EXPECT_EQ(CheckSecondPackage(second.path, differs, info, messages), SecondPackageCheck::Ok);
    EXPECT_TRUE(messages.messages().empty());
    EXPECT_EQ(info.name, "OTHER");
    EXPECT_EQ(info.flashType, 2);
    EXPECT_EQ(info.version, "V2");
}

TEST(CheckSecondPackage, PairedBoardsMustMatchTheirPartner) {
    SecondFile mbx2("[Project]\nFlashType=1\nName=MBX2\n");
    SecondFile mby2("[Project]\nFlashType=1\nName=MBY2\n");
    struct Case {
        const char* firstName;
        const std::filesystem::path* second;
        bool ok;
    } cases[] = {{"MBX1", &mbx2.path, true}, {"MBX1", &mby2.path, false}, {"MBY1", &mby2.path, true},
                 {"MBY2", &mbx2.path, false}, {"MBX2", &mbx2.path, false}};
    for (const auto& c : cases) {
        RecordingMessageSink messages;
        SecondPackage info;
        ProjectConfig first = First(std::string("FlashType=1\nName=") + c.firstName + "\n");
        const auto result = CheckSecondPackage(*c.second, first, info, messages);
        EXPECT_EQ(result == SecondPackageCheck::Ok, c.ok) << c.firstName;
        if (!c.ok) {
            ASSERT_EQ(messages.messages().size(), 1u);
            EXPECT_EQ(messages.messages()[0].text, "MBX1或MBY售后方案的配置不正确");
            EXPECT_FALSE(first.bAMSSFile);
        }
    }
}

TEST(CheckSecondPackage, MissingSecondFileEndsTheApplication) {
    flintcast::testing::TempDir dir;
    RecordingMessageSink messages;
    SecondPackage info;
    ProjectConfig first = First("Name=MBX1\n");
    EXPECT_EQ(CheckSecondPackage(dir.path() / "none.ini", first, info, messages), SecondPackageCheck::EndApplication);
    ASSERT_EQ(messages.messages().size(), 1u);
    EXPECT_FALSE(first.bAMSSFile);
}

TEST(SelectPackage, ChoiceByDeviceBoardAndPacketCount) {
    const std::string bang = "Device and software version is not matched!";
    const std::string stop = "Device and software version is not matched.";
    struct Case {
        int packet;
        const char* package;
        const char* second;
        const char* device;
        PackageChoice choice;
        std::string message;
    } cases[] = {
        {2, "MBX1", "MBX2", "MBX1", PackageChoice::First, ""},
        {2, "MBX1", "MBX2", "MBX2", PackageChoice::Second, ""},
        {2, "MBX1", "MBX2", "MBY1", PackageChoice::NotMatched, bang},
        {3, "MBX1", "MBX2", "MBX1", PackageChoice::NotMatched, bang},
        {1, "MBX1", "", "MBX1", PackageChoice::First, ""},
        {1, "MBY1", "", "MBX1", PackageChoice::NotMatched, bang},
        {1, "MBY2", "", "MBY2", PackageChoice::First, ""},
        {0, "MBX2", "", "MBY2", PackageChoice::NotMatched, bang},
        {1, "MBX1", "", "MBX2", PackageChoice::NotMatched, stop},
        {1, "MBY1", "", "MBX2", PackageChoice::First, ""},
        {1, "MBY2", "", "MBY1", PackageChoice::NotMatched, stop},
        {1, "MBX2", "", "MBY1", PackageChoice::First, ""},
        {1, "MBX1", "", "OTHER", PackageChoice::NotMatched, bang},
    };
    for (const auto& c : cases) {
        ProjectConfig first;
        first.packet = c.packet;
        first.name = c.package;
        SecondPackage second;
        second.name = c.second;
        RecordingMessageSink messages;
        EXPECT_EQ(SelectPackage(first, second, c.device, messages), c.choice)
            << c.packet << " " << c.package << " " << c.device;
        if (c.message.empty()) {
            EXPECT_TRUE(messages.messages().empty());
        } else {
            ASSERT_EQ(messages.messages().size(), 1u);
            EXPECT_EQ(messages.messages()[0].text, c.message);
        }
    }
    ProjectConfig unknown;
    EXPECT_FALSE(NeedsPackageSelection(unknown));
    unknown.name = "MBY2";
    EXPECT_TRUE(NeedsPackageSelection(unknown));
}
