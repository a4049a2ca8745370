// Whole runs of the default configuration against a simulated unit whose EFS image wipes its
// own data: identity values, NV and RF NV items and EFS user files must come back from the
// backup the run made, and a run without the restore must leave them wiped.
#include <gtest/gtest.h>

#include <fstream>
#include <set>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "engine/nv_catalogues.h"
#include "tests/run/unit_state.h"

namespace flintcast {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using testing::ById;
using testing::ByPath;
using testing::PatternHex;

using testing::EfsDir;
using testing::EfsFile;

// A project-46 unit with personal data in every place the default configuration backs up,
// and data the run leaves alone: a read-only item and an inactive one.
json UnitProfile() {
    json nv = testing::SampledNvItems(40);
    const auto& lte = engine::LteNvCatalogue();
    for (size_t i = 3; i < lte.size(); i += 30) nv.push_back({{"id", lte[i].id}, {"hex", PatternHex(128, i + 7)}});
    nv.push_back({{"id", 1886}, {"hex", "00"}, {"status", "inactive"}});
    nv.push_back({{"id", 1880}, {"hex", PatternHex(16, 88)}, {"status", "read-only"}});

    // Every LTE RF item, with data of many sizes up to what one answer frame holds.
    const size_t sizes[] = {2, 4, 10, 32, 64, 100, 128, 200, 512, 1000, 2048, 4000};
    json rf = json::array();
    std::set<int32_t> seen;
    for (const auto& entry : engine::LteRfNvCatalogue()) {
        if (!seen.insert(entry.id).second) continue;
        rf.push_back({{"id", entry.id}, {"hex", PatternHex(sizes[seen.size() % std::size(sizes)], entry.id)}});
    }

    json efs = json::array({EfsDir("/nvm"), EfsDir("/nvm/num"), EfsFile("/nvm/num/888", 2976, 1), EfsDir("/wifi"),
                            EfsFile("/wifi/cal.bin", 256, 2), EfsDir("/user/cfg/sub/deeper"),
                            EfsFile("/user/cfg/a.dat", 1000, 3), EfsFile("/user/cfg/sub/b.dat", 2976, 4),
                            EfsFile("/user/cfg/sub/deeper/c.txt", 17, 5), EfsFile("/user/cfg/sub/prefs.dat", 40, 6)});
    return {{"name", "unit-with-data"},
            {"efs_image_wipes", true},
            {"identity",
             {{"sn", "FC46R2000042"}, {"imei", "860046000000421"}, {"imei_1", ""}, {"esn", ""}, {"meid", ""},
              {"bluetooth", "00:1A:7D:46:04:21"}, {"sales_count", "001A7D460421"}, {"sales_info", "SALES-0046-0421"},
              {"wifi_cal", "0A0B0C0D0E42"}, {"testinf", "CAL:PASS,FT:PASS,UIT87:PASS,UIT89:FAIL"},
              {"uit87", "PASS"}, {"uit89", "FAIL"}}},
            {"nv_items", nv},
            {"rf_nv_items", rf},
            {"efs", efs}};
}

class BackupRoundTripTest : public testing::UpdateRunFixture {
protected:
    void SetUp() override {
        UpdateRunFixture::SetUp();
        const fs::path profile = dir.path() / "profile.json";
        std::ofstream(profile) << UnitProfile().dump();
        std::vector<std::string> args{"--profile", profile.string()};
        if (!Faults().empty()) args.insert(args.end(), {"--faults", Faults()});
        StartSimulator(args);
    }
    virtual std::string Faults() const { return {}; }

    int Run(const fs::path& config) {
        platform::ChildProcess run;
        EXPECT_TRUE(StartRun(run, config));
        return WaitFor(run);
    }

    json LiveState() { return testing::LiveDeviceState(root, dir.path()); }

    void ExpectUnitDataAsBefore(const json& before, const json& after) {
        // The test information comes back without its UIT results, which are values of their own.
        json identity = before["modem"]["identity"];
        identity["testinf"] = "CAL:PASS,FT:PASS";
        EXPECT_EQ(after["modem"]["identity"], identity);
        EXPECT_EQ(ById(after["model"]["nv_items"]), ById(before["model"]["nv_items"]));
        EXPECT_EQ(ById(after["model"]["rf_nv_items"]), ById(before["model"]["rf_nv_items"]));
        EXPECT_EQ(after["model"]["factory_restores"], 1) << "the EFS image was written once and wiped the unit";
    }
};

TEST_F(BackupRoundTripTest, DefaultConfigurationGivesBackIdentityNvAndRfNvAfterTheWipe) {
    DeviceState();
    const json before = LiveState();
    ASSERT_EQ(before["model"]["rf_nv_items"].size(), 26u);
    ASSERT_EQ(Run(ConfigWith({})), 0) << Output();
    const std::string out = Output();
    EXPECT_NE(out.find("\"kind\":3,\"slot\":0,\"text\":\"PASS\""), std::string::npos) << out;
    EXPECT_EQ(out.find("ERROR"), std::string::npos) << out;

    const json after = LiveState();
    ExpectUnitDataAsBefore(before, after);
    // Without bBackupUserData the EFS files are not part of the backup: the wipe took them.
    const auto files = ByPath(after["model"]["efs"]);
    EXPECT_EQ(files.count("/user/cfg/a.dat"), 0u);
    EXPECT_EQ(files.count("/nvm/num/888"), 0u);
}

TEST_F(BackupRoundTripTest, UserDataFilesComeBackWithoutPrefsAndMissingFiles) {
    DeviceState();
    const json before = LiveState();
    ASSERT_EQ(Run(ConfigWith({{"DownloadItems/bBackupUserData", "1"},
                              {"UserDataFiles/UF0", "/nvm/num/888"},
                              {"UserDataFiles/UF1", "/missing/none.bin"},
                              {"UserDataDir/UD0", "/user/cfg"}})),
              0)
        << Output();
    EXPECT_NE(Output().find("\"kind\":3,\"slot\":0,\"text\":\"PASS\""), std::string::npos) << Output();

    const json after = LiveState();
    ExpectUnitDataAsBefore(before, after);
    const auto was = ByPath(before["model"]["efs"]);
    const auto now = ByPath(after["model"]["efs"]);
    for (const char* path : {"/nvm/num/888", "/user/cfg/a.dat", "/user/cfg/sub/b.dat", "/user/cfg/sub/deeper/c.txt"}) {
        ASSERT_EQ(now.count(path), 1u) << path;
        EXPECT_EQ(now.at(path)["size"], was.at(path)["size"]) << path;
        EXPECT_EQ(now.at(path)["sha256"], was.at(path)["sha256"]) << path;
    }
    EXPECT_EQ(now.at("/user/cfg/sub/deeper")["type"], "dir");
    // prefs.dat is never backed up; a file outside the configured lists is not either.
    EXPECT_EQ(now.count("/user/cfg/sub/prefs.dat"), 0u);
    EXPECT_EQ(now.count("/wifi/cal.bin"), 0u);
    // A configured file the device did not have is dropped, not made.
    EXPECT_EQ(now.count("/missing/none.bin"), 0u);
    EXPECT_EQ(now.count("/missing"), 0u);
}

TEST_F(BackupRoundTripTest, WithoutTheRestoreTheUnitIsLeftWiped) {
    DeviceState();
    const json before = LiveState();
    // Backup and restore go together: the run without the restore writes the images only.
    ASSERT_EQ(Run(ConfigWith({{"DownloadItems/bBackup", "0"}, {"DownloadItems/bRestore", "0"}})), 0) << Output();

    const json after = LiveState();
    EXPECT_EQ(after["model"]["factory_restores"], 1);
    EXPECT_EQ(after["modem"]["identity"]["sn"], "");
    EXPECT_EQ(after["modem"]["identity"]["imei"], "");
    EXPECT_TRUE(after["model"]["rf_nv_items"].empty());
    const auto was = ById(before["model"]["nv_items"]);
    for (const auto& [id, item] : ById(after["model"]["nv_items"])) {
        // Read-only items survive; every other item the unit had is inactive and blank.
        if (was.at(id)["status"] == "read-only") {
            EXPECT_EQ(item, was.at(id));
        } else {
            EXPECT_EQ(item["status"], "inactive") << id;
            EXPECT_EQ(item["data"].get<std::string>().find_first_not_of('0'), std::string::npos) << id;
        }
    }
}

// The unit refuses the restore write of one calibration item (its third request for the id: the
// first is the backup's RF NV read, the second the unit archive's read of the plain NV id).
class RefusingUnitTest : public BackupRoundTripTest {
protected:
    std::string Faults() const override { return "nv-status:20209=4@3"; }
};

TEST_F(RefusingUnitTest, ACalibrationItemTheUnitDidNotTakeFailsTheRunAndKeepsTheBackup) {
    EXPECT_EQ(Run(ConfigWith({})), 1) << Output();
    const std::string out = Output();
    const auto item = out.find("ERROR, [20209]");
    ASSERT_NE(item, std::string::npos) << out;
    EXPECT_EQ(out.find(":Fail to restore NV", item), out.find(":Fail to restore NV")) << out;
    EXPECT_EQ(out.find("\"text\":\"PASS\""), std::string::npos) << out;
    // The backup that still holds the item stays for a later restore.
    size_t backups = 0;
    for (const auto& e : fs::recursive_directory_iterator(dir.path() / "data")) {
        if (e.path().filename() == "nv1.bak" && fs::file_size(e.path()) > 0) ++backups;
    }
    EXPECT_EQ(backups, 1u);
}

}  // namespace
}  // namespace flintcast
