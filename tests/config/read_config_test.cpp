#include "config/read_config.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>

#include "config/derived_values.h"
#include "config/project_table.h"
#include "config/project_traits.h"
#include "embedded/package.h"
#include "tests/config/config_test_util.h"
#include "devkit/temp_dir.h"

using flintcast::config::MessageButtons;
using flintcast::config::MessageIcon;
using flintcast::config::ProjectConfig;
using flintcast::testing::ReadText;

namespace {

const std::filesystem::path kDefaultConfig = std::filesystem::path(FLINTCAST_SOURCE_DIR) / "package" / "Config.ini";

// A configuration that passes every check, with the image items on, to show what
// an error turns off and what it keeps.
std::string AllItems(std::string_view projectKeys = "Project=PRJ20\n") {
    return "[Project]\n" + std::string(projectKeys) +
    "[DownloadItems]\nbBootloader=1\nbAMSSFile=1\nbPhoneImage=1\nbAppsBootloader=1\n"
    "bAppsImageAndBootloader=1\nbDSP=1\nbCfgdata=1\nbEFS=1\nbRawAppsEFS=1\nbBackup=1\nbRestore=1\n"
    "bDISK=1\nbFastbootSystemImage=1\nbFastbootBootImageMutil=1\n"
    "[SIMLOCK]\nbSimLock=1,ABC\n";
}

void ExpectImageItemsOff(const ProjectConfig& c) {
    EXPECT_FALSE(c.bEFS || c.bRawAppsEFS || c.bPartOfEFS || c.bAMSSFile || c.bAppsBootloader ||
                 c.bAppsImageAndBootloader || c.pcSuite || c.bDISK || c.bCDROM || c.bResImage || c.bCfgdata ||
                 c.simLock || c.anyFastbootImage() || c.bFastbootBootImageMutil);
}

}  // namespace

TEST(DefaultConfig, ShippedFileReadsAsProject46WithTheEmbeddedCopyIdentical) {
    flintcast::config::RecordingMessageSink messages;
    ProjectConfig c;
    ASSERT_TRUE(flintcast::config::ReadConfig(kDefaultConfig, c, messages));
    EXPECT_TRUE(messages.messages().empty());
    EXPECT_EQ(c.caption, "Arvo Flintcast");
    EXPECT_EQ(c.version, "V1.5.0");
    EXPECT_EQ(c.projectType, 46);
    EXPECT_EQ(c.platformNumber, 255);
    EXPECT_EQ(c.networkType, 0);
    EXPECT_EQ(c.name, "UNKNOWN");
    EXPECT_EQ(c.lteType, "LTE");
    EXPECT_TRUE(c.bBootloader && c.bdbl && !c.bfsbl && c.bosbl && c.bEFS && c.bAMSSFile && c.bDSP);
    EXPECT_TRUE(c.bBackup && c.bRestore && c.bCDROM && !c.bDISK && c.pcSuite && !c.fastbootOnly);
    EXPECT_TRUE(c.nvCommandList.empty());
    EXPECT_EQ(c.startAtList, (std::vector<std::string>{"AT+DISK=8,\"D1\"\r\n\r\n", "AT+CFUN=5\r\n\r\n"}));
    ASSERT_EQ(c.endAtList.size(), 5u);
    EXPECT_EQ(c.endAtList[2], "AT+CGDCONT=15,\"IP\"\r\n\r\n");
    EXPECT_EQ(c.endAtList[4], "AT+CFUN=1\r\n\r\n");

    const auto embedded = flintcast::embedded::package::Find("Config.ini");
    ASSERT_TRUE(embedded.has_value());
    std::ifstream in(kDefaultConfig, std::ios::binary);
    const std::string onDisk((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(std::string(embedded->begin(), embedded->end()), onDisk);
}

TEST(ReadConfig, ProjectAndPlatformTables) {
    EXPECT_EQ(ReadText("[Project]\nProject=PRJ48\n").config.projectType, 48);
    EXPECT_EQ(ReadText("[Project]\nProject=PRJ39\n").config.projectType, 39);
    auto lower = ReadText("[Project]\nProject=prj46\n");
    EXPECT_TRUE(lower.ok);
    EXPECT_EQ(lower.config.projectType, -1);
    EXPECT_TRUE(lower.messages.messages().empty());
    for (int p : {5, 7, 11}) EXPECT_TRUE(flintcast::config::IsPhoneProject(p));
    EXPECT_FALSE(flintcast::config::IsPhoneProject(46));
    // PRJ48 sits between PRJ38 and PRJ39 in matching order.
    const auto table = flintcast::config::ProjectTable();
    ASSERT_EQ(table.size(), 49u);
    EXPECT_EQ(table[38].code, "PRJ38");
    EXPECT_EQ(table[39].code, "PRJ48");
    EXPECT_EQ(table[40].code, "PRJ39");

    EXPECT_EQ(ReadText("[Project]\nPlatform=MSM6260\n").config.platformNumber, 186);
    EXPECT_EQ(ReadText("[Project]\nPlatform=MSM6290/6260\n").config.platformNumber, 186);  // table order wins
    EXPECT_EQ(ReadText("[Project]\nPlatform=QSC6085\n").config.platformNumber, 119);
    EXPECT_EQ(ReadText("[Project]\nPlatform=UNKNOWN\n").config.platformNumber, 255);

    auto bad = ReadText(AllItems("Platform=MSM9999\nName=MBX1\n"));
    EXPECT_FALSE(bad.ok);
    EXPECT_EQ(bad.onlyMessage(), "Config was wrong.Not support platform configuration.");
    EXPECT_EQ(bad.messages.messages()[0].caption, "Warning");
    EXPECT_EQ(bad.config.name, "UNKNOWN");  // reading stopped before Name
    EXPECT_FALSE(ReadText("[Project]\nPlatform=unknown\n").ok);
}

TEST(ReadConfig, NamesLanguageNetworkTypeAndVersionMarkers) {
    EXPECT_EQ(ReadText("[Project]\nType=LTE\n").config.networkType, 3);
    EXPECT_EQ(ReadText("[Project]\nType=lte\n").config.networkType, 0);
    EXPECT_EQ(ReadText("[Project]\nType=EVDO\n").config.networkType, 2);
    EXPECT_EQ(ReadText("[Project]\nType=CDMA2000\n").config.networkType, 1);
    using flintcast::config::Language;
    EXPECT_EQ(ReadText("[Project]\nLanguage=Japanese\n").config.language, Language::Japanese);
    EXPECT_EQ(ReadText("[Project]\nLanguage=English+Japanese\n").config.language, Language::English);
    EXPECT_EQ(ReadText("[Project]\nLanguage=Chinese\n").config.language, Language::English);

    EXPECT_EQ(ReadText("[Project]\nProject=PRJ03\nVersion=A_SWKII02_SWK0018\n").config.versionMarker, 1);
    EXPECT_EQ(ReadText("[Project]\nProject=PRJ03\nVersion=SWKAX02\n").config.versionMarker, 2);
    EXPECT_EQ(ReadText("[Project]\nProject=PRJ04\nVersion=SWKAX02\n").config.versionMarker, 0);
    EXPECT_TRUE(ReadText("[Project]\nProject=PRJ12\nIsVarnel=1\n").config.isVarnel);
    EXPECT_FALSE(ReadText("[Project]\nProject=PRJ13\nIsVarnel=1\n").config.isVarnel);
}

TEST(ReadConfig, VersionRequiredByMainboardCheckAndSomeProjects) {
    for (const char* text : {"[Project]\nProject=PRJ03\nPacket=2\n", "[Project]\nProject=PRJ41\nPacket=2\n",
                             "[Project]\nbCheckMainboardType=1\nPacket=2\n"}) {
        auto r = ReadText(text);
        EXPECT_FALSE(r.ok) << text;
        EXPECT_EQ(r.onlyMessage(), "Could not find software version");
        EXPECT_EQ(r.config.packet, 1);  // stopped before Packet
    }
    EXPECT_TRUE(ReadText("[Project]\nbCheckMainboardType=2\n").ok);  // check switches are on only at 1
}

TEST(ReadConfig, MemoryChecks) {
    auto both = ReadText("[MemoryType]\nbCheckDataCardMemory=1\nbCheckRouterMemory=1\nRAMSize=64\n");
    EXPECT_EQ(both.onlyMessage(), "Unknow the terminal type.");
    auto empty = ReadText("[MemoryType]\nbCheckDataCardMemory=1\n");
    EXPECT_EQ(empty.onlyMessage(), "Memory type configuration was wrong.");
    auto ram = ReadText("[MemoryType]\nbCheckRouterMemory=1\nRAMSize=64\nSupportFlashID=EC,AA\n");
    EXPECT_TRUE(ram.ok);
    EXPECT_TRUE(ram.config.memoryCheck);
    EXPECT_EQ(ram.config.supportFlashID, "EC,AA");
    auto off = ReadText("[MemoryType]\nRAMSize=64\n");
    EXPECT_FALSE(off.config.memoryCheck);
    EXPECT_EQ(off.config.ramSize, "");  // only read when a check is on
}

TEST(ReadConfig, DownloadItemRulesAndDerivedFlags) {
    auto pc = ReadText("[DownloadItems]\nbDISK=1\nbCDROM=1\nbResImage=1\n");
    EXPECT_TRUE(pc.config.bDISK && !pc.config.bCDROM && !pc.config.bResImage && pc.config.pcSuite);
    auto cd = ReadText("[DownloadItems]\nbCDROM=-3\nbResImage=1\n");
    EXPECT_TRUE(cd.config.bCDROM && !cd.config.bResImage && cd.config.pcSuite);

    auto boot = ReadText("[DownloadItems]\nbBootloader=0\nbdbl=1\n");
    EXPECT_FALSE(boot.config.bdbl || boot.config.bfsbl || boot.config.bosbl);
    auto group = ReadText("[DownloadItems]\nbBootloader=1\nbfsbl=0\nbosbl=junk\n");
    EXPECT_TRUE(group.config.bdbl && !group.config.bfsbl && group.config.bosbl);

    auto fb = ReadText("[DownloadItems]\nbFastbootSystemImage=1\nFastBootSystemImageFilePath=/s.img\n");
    EXPECT_TRUE(fb.config.fastbootOnly);
    EXPECT_EQ(fb.config.fastBootSystemImageFilePath, "/s.img");
    EXPECT_FALSE(ReadText("[DownloadItems]\nbFastbootBootImage=1\nbDSP=1\n").config.fastbootOnly);
    EXPECT_FALSE(ReadText("[DownloadItems]\nbFastbootBootImage=1\nbResImage=1\n").config.fastbootOnly);
    EXPECT_EQ(ReadText("[DownloadItems]\nFastBootSystemImageFilePath=/s.img\n").config.fastBootSystemImageFilePath, "");

    auto arm = ReadText("[DownloadItems]\nbBackupARM11Files=1\n");
    EXPECT_FALSE(arm.config.bBackupARM11Files);
    EXPECT_TRUE(ReadText("[DownloadItems]\nbBackupARM11Files=1\n[ARM11Files]\nARM11F0=/data/x\n")
                    .config.bBackupARM11Files);

    // Out-of-range and odd values read as their defaults; hex works.
    auto odd = ReadText("[DownloadItems]\nbEFS=99999999999\nbAMSSFile=0x1\n[General Option]\nBlockSize=0\n");
    EXPECT_FALSE(odd.config.bEFS);
    EXPECT_TRUE(odd.config.bAMSSFile);
    EXPECT_EQ(odd.config.blockSize, 1024);
    EXPECT_EQ(ReadText("[General Option]\nBlockSize=$800\n").config.blockSize, 2048);
}

TEST(ReadConfig, ConsistencyErrorsClearOnlyTheImageItems) {
    auto phone = ReadText(AllItems("Project=PRJ07\n"));
    EXPECT_EQ(phone.onlyMessage(), "Config was wrong.Phone type can't download PCSuite.");

    auto backup = ReadText("[DownloadItems]\nbBackup=1\nbAMSSFile=1\nbDSP=1\nbPhoneImage=1\nbBootloader=1\n");
    EXPECT_FALSE(backup.ok);
    EXPECT_EQ(backup.onlyMessage(), "Config was wrong.\nBackup and restore must be selected at same time.");
    ExpectImageItemsOff(backup.config);
    EXPECT_TRUE(backup.config.bBackup && backup.config.bDSP && backup.config.bPhoneImage && backup.config.bBootloader);
    EXPECT_TRUE(ReadText("[DownloadItems]\nbAMSSFile=1\n").ok);  // neither backup nor restore

    auto efs = ReadText("[DownloadItems]\nbEFS=1\nbPartOfEFS=1\n[RemoveFiles]\nRF0=/a\nRF2=/c\n");
    EXPECT_EQ(efs.onlyMessage(), "Config was wrong.\nEFS and part of EFS can't be selected at same time.");
    EXPECT_EQ(efs.config.removeFiles, std::vector<std::string>{"/a"});

    ProjectConfig all = ReadText(AllItems()).config;
    ASSERT_TRUE(all.bEFS && all.pcSuite && all.simLock && all.anyFastbootImage());
    flintcast::config::ClearDownloadItems(all);
    ExpectImageItemsOff(all);
    EXPECT_TRUE(all.bBackup && all.bRestore && all.bPhoneImage && all.bBootloader && all.bDSP);
}

TEST(ReadConfig, UserDataAndSimLock) {
    auto none = ReadText("[DownloadItems]\nbBackupUserData=1\n[UserDataFiles]\nUF1=/skipped\n");
    ASSERT_EQ(none.messages.messages().size(), 1u);
    EXPECT_EQ(none.messages.messages()[0].text, "User data file not found.");
    EXPECT_EQ(none.messages.messages()[0].buttons, MessageButtons::OkCancel);
    EXPECT_FALSE(none.ok);
    auto dirs = ReadText("[DownloadItems]\nbBackupUserData=1\n[UserDataDir]\nUD0=/a\nUD1=/b\n");
    EXPECT_TRUE(dirs.ok);
    EXPECT_EQ(dirs.config.userDataDirs.size(), 2u);

    auto one = ReadText("[SIMLOCK]\nbSimLock=1\n");
    EXPECT_EQ(one.onlyMessage(), "SIMLOCKList is empty!");
    auto shortList = ReadText("[SIMLOCK]\nbSimLock=1,\n");
    EXPECT_EQ(shortList.onlyMessage(), "SIMLOCKList is empty!");
    EXPECT_EQ(shortList.messages.messages()[0].icon, MessageIcon::Warning);
    EXPECT_FALSE(shortList.config.simLock);
    auto mode0 = ReadText("[SIMLOCK]\nbSimLock=0\n");
    EXPECT_TRUE(mode0.ok && mode0.config.simLock && mode0.config.simLockMode == 0);
    auto mode1 = ReadText("[SIMLOCK]\nbSimLock=1,46001\n");
    EXPECT_TRUE(mode1.config.simLock && mode1.config.simLockMode == 1 && mode1.config.simLockString == "1,46001");
    EXPECT_EQ(ReadText("[SIMLOCK]\nbSimLock=X1\n").config.simLockMode, 0);
}

TEST(ReadConfig, NvAndAtLists) {
    auto nv = ReadText("[NV_Default]\nNV1=10:1\nNV2=ab:cd\n[NV_Custom]\nNV1=20:2\n[Start_AT]\nAT1=AT+A\nAT3=AT+C\n");
    ASSERT_TRUE(nv.ok);
    EXPECT_EQ(nv.config.nvCommandList, (std::vector<std::string>{"10:1", "AB:CD", "20:2"}));
    EXPECT_EQ(nv.config.startAtList, std::vector<std::string>{"AT+A\r\n\r\n"});

    auto bad = ReadText(AllItems() + "[NV_Default]\nNV1=10:1\nNV2=abc\n[Start_AT]\nAT1=AT+A\n");
    EXPECT_EQ(bad.onlyMessage(), "Default NV configration is incorrect!");
    ExpectImageItemsOff(bad.config);
    EXPECT_EQ(bad.config.nvCommandList, std::vector<std::string>{"10:1"});
    EXPECT_TRUE(bad.config.startAtList.empty());
    EXPECT_FALSE(bad.config.fastbootOnly);

    EXPECT_EQ(ReadText("[NV_Custom]\nNV1=1\n").onlyMessage(), "Custom NV configration is incorrect!");
    EXPECT_EQ(ReadText("[Start_AT]\nAT1=at+cfun=1\n").onlyMessage(), "Start AT command configration is incorrect!");
    EXPECT_EQ(ReadText("[End_AT]\nAT1=+CFUN\n").onlyMessage(), "End AT command configration is incorrect!");

    std::string big = "[NV_Custom]\n";
    for (int i = 1; i <= 1001; ++i) big += "NV" + std::to_string(i) + "=" + std::to_string(i) + ":0\n";
    EXPECT_EQ(ReadText(big).config.nvCommandList.size(), 1000u);
}

TEST(ReadConfig, UnreadableFilesAndGarbage) {
    flintcast::testing::TempDir dir;
    for (const auto& path : {dir.path() / "missing.ini", dir.path()}) {
        flintcast::config::RecordingMessageSink messages;
        ProjectConfig c;
        c.bAMSSFile = true;
        EXPECT_FALSE(flintcast::config::ReadConfig(path, c, messages));
        ASSERT_EQ(messages.messages().size(), 1u);
        EXPECT_TRUE(messages.messages()[0].text.starts_with("Could not read configuration file "));
        EXPECT_FALSE(c.bAMSSFile);
    }
    std::mt19937 rng(5);
    for (int round = 0; round < 100; ++round) {
        std::string text;
        for (int i = 0; i < 300; ++i) text += "[]=\n:ATNV1$x0PRJ46"[rng() % 18];
        (void)ReadText("[Project]\nProject=PRJ03\n" + text);
    }
}
