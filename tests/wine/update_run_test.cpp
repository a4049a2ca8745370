// One whole update of the simulated unit by the Windows program under Wine: it finds the unit's
// COM ports through SetupAPI, backs up the unit's data, writes the images, follows the unit
// through its resets and restores the data the image wiped.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>

#include <nlohmann/json.hpp>

#include "platform/ini_file.h"
#include "tests/run/unit_state.h"
#include "tests/wine/wine_rig.h"

namespace flintcast {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using testing::ById;
using testing::ByPath;
using testing::EfsDir;
using testing::EfsFile;
using testing::SampledNvItems;
using testing::SampledRfNvItems;

// A unit whose EFS image wipes its identity, NV items and user files, so only the run's
// restore can bring them back.
json UnitProfile() {
    json efs = json::array({EfsDir("/nvm"), EfsDir("/nvm/num"), EfsFile("/nvm/num/888", 2976, 1),
                            EfsDir("/user/cfg/sub"), EfsFile("/user/cfg/a.dat", 1000, 3),
                            EfsFile("/user/cfg/sub/b.dat", 300, 4)});
    return {{"name", "wine-unit"},
            {"efs_image_wipes", true},
            {"identity",
             {{"sn", "FC46W0000016"}, {"imei", "860046000000168"}, {"imei_1", ""}, {"esn", ""}, {"meid", ""},
              {"bluetooth", "00:1A:7D:46:00:16"},
              {"sales_count", "001A7D460016"}, {"sales_info", "SALES-0046-0016"}, {"wifi_cal", "0A0B0C0D0E16"},
              {"testinf", "CAL:PASS,FT:PASS,UIT87:PASS,UIT89:PASS"}}},
            {"nv_items", SampledNvItems(60)},
            {"rf_nv_items", SampledRfNvItems(6, 0, 64)},
            {"efs", efs}};
}

// A Linux path as the Windows program names it (Wine's drive Z: is the Linux root).
std::string WindowsPath(const fs::path& path) {
    std::string text = "Z:" + path.string();
    std::replace(text.begin(), text.end(), '/', '\\');
    return text;
}

std::string ReadConsoleText(const fs::path& path) {
    std::string text = testing::ReadText(path);
    std::erase(text, '\r');
    return text;
}

TEST(WineUpdateRun, TheWindowsProgramUpdatesTheUnitToPassAndRestoresItsData) {
    testing::WineRig rig;
    ASSERT_TRUE(rig.ready) << "no usable Wine prefix at " << testing::WineRig::Prefix();
    const fs::path profile = rig.dir.path() / "profile.json";
    std::ofstream(profile) << UnitProfile().dump();
    const std::string scale = "0.02";
    ASSERT_TRUE(rig.StartUnit({"--profile", profile.string()}, scale)) << rig.BridgeLog();
    const json before = testing::LiveDeviceState(rig.root(), rig.dir.path());
    ASSERT_EQ(before.value("status", ""), "present");

    auto ini = platform::IniFile::Load(fs::path(FLINTCAST_SOURCE_DIR) / "package/Config.ini");
    ASSERT_TRUE(ini);
    ini->writeString("DownloadItems", "bBackupUserData", "1");
    ini->writeString("UserDataFiles", "UF0", "/nvm/num/888");
    ini->writeString("UserDataDir", "UD0", "/user/cfg");
    const fs::path config = rig.dir.path() / "Config.ini";
    ASSERT_TRUE(ini->save(config));

    const fs::path out = rig.dir.path() / "run.out";
    const auto started = std::chrono::steady_clock::now();
    const int exitCode = rig.RunWindows("flintcast.exe",
                                        {"--time-scale", scale, "run", "--json", "--config", WindowsPath(config),
                                         "--device-wait", "60"},
                                        out, std::chrono::minutes(4));
    const auto seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("whole update under Wine: %.1f s\n", seconds);
    ::testing::Test::RecordProperty("wine_update_seconds", std::to_string(seconds));
    const std::string text = ReadConsoleText(out);
    ASSERT_EQ(exitCode, 0) << text << rig.BridgeLog();
    EXPECT_NE(text.find("\"text\":\"Backup succssfully\""), std::string::npos) << text;
    EXPECT_NE(text.find("\"text\":\"Restore NV......OK\""), std::string::npos) << text;
    EXPECT_NE(text.find("\"kind\":3,\"slot\":0,\"text\":\"PASS\""), std::string::npos) << text;
    EXPECT_EQ(text.find("ERROR"), std::string::npos) << text;
    // The program found the unit's ports by the system's port list, under their COM names.
    EXPECT_NE(text.find("COM10"), std::string::npos) << text;
    // The unit went away and came back as a new device: the bridge followed it.
    EXPECT_TRUE(rig.WaitForBridge("removed COM10 ")) << rig.BridgeLog();

    const json after = testing::LiveDeviceState(rig.root(), rig.dir.path());
    EXPECT_EQ(after["model"]["factory_restores"], 1) << "the EFS image was written once and wiped the unit";
    json identity = before["modem"]["identity"];
    identity["testinf"] = "CAL:PASS,FT:PASS";  // the UIT results are values of their own
    EXPECT_EQ(after["modem"]["identity"], identity);
    EXPECT_EQ(ById(after["model"]["nv_items"]), ById(before["model"]["nv_items"]));
    EXPECT_EQ(ById(after["model"]["rf_nv_items"]), ById(before["model"]["rf_nv_items"]));
    const auto was = ByPath(before["model"]["efs"]);
    const auto now = ByPath(after["model"]["efs"]);
    for (const char* path : {"/nvm/num/888", "/user/cfg/a.dat", "/user/cfg/sub/b.dat"}) {
        ASSERT_EQ(now.count(path), 1u) << path;
        EXPECT_EQ(now.at(path)["sha256"], was.at(path)["sha256"]) << path;
    }
}

}  // namespace
}  // namespace flintcast
