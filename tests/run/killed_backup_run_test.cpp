// The tool killed (SIGKILL) while it makes its backup, at several points of it: every backup
// file left behind is whole, and `flintcast resume` restores from a complete backup, refuses
// a damaged file by name without changing it, and finds nothing to resume before the backup
// was complete.
#include <gtest/gtest.h>

#include <signal.h>

#include <fstream>
#include <functional>
#include <map>
#include <set>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "engine/backup_file_check.h"
#include "engine/nv_catalogues.h"
#include "platform/ini_file.h"
#include "tests/run/update_run_fixture.h"

namespace flintcast {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

std::string PatternHex(size_t size, unsigned seed) {
    std::string hex;
    for (size_t i = 0; i < size; ++i) hex += fmt::format("{:02x}", (seed * 7 + i * 3 + 5) & 0xFF);
    return hex;
}

// A unit with values of its own in the backed-up places, whose EFS image wipes them.
json UnitProfile() {
    json nv = json::array();
    const auto& plain = engine::DefaultNvCatalogue();
    for (size_t i = 0; i < plain.size(); i += 40) nv.push_back({{"id", plain[i].id}, {"hex", PatternHex(1 + i % 128, i)}});
    json rf = json::array();
    std::set<int32_t> seen;
    for (const auto& entry : engine::LteRfNvCatalogue()) {
        if (seen.insert(entry.id).second) rf.push_back({{"id", entry.id}, {"hex", PatternHex(8 + seen.size() * 5, entry.id)}});
    }
    return {{"name", "unit-killed-during-backup"},
            {"efs_image_wipes", true},
            {"identity",
             {{"sn", "FC46K1000031"}, {"imei", "860046000000313"}, {"testinf", "CAL:PASS,FT:PASS"}}},
            {"nv_items", nv},
            {"rf_nv_items", rf}};
}

class KilledBackupRunTest : public testing::UpdateRunFixture {
protected:
    fs::path backupRoot = dir.path() / "data/flintcast/Backup";

    void SetUp() override {
        UpdateRunFixture::SetUp();
        const fs::path profile = dir.path() / "profile.json";
        std::ofstream(profile) << UnitProfile().dump();
        StartSimulator({"--profile", profile.string()});
        before = DeviceState()["model"];
        config = ConfigWith({});
    }

    int Run(const std::string& command) {
        platform::ChildProcess run;
        EXPECT_TRUE(StartRun(run, config, command));
        const int code = WaitFor(run);
        out = Output();
        return code;
    }

    // Starts a run and kills it the moment `reached` holds.
    void RunKilledWhen(const std::function<bool()>& reached, const std::string& point) {
        platform::ChildProcess run;
        ASSERT_TRUE(StartRun(run, config, "run"));
        testing::WaitUntil([&] { return reached() || !run.running(); }, std::chrono::seconds(240));
        ASSERT_TRUE(run.running()) << point << " was never reached: " << Output();
        ASSERT_EQ(::kill(run.pid(), SIGKILL), 0);
        run.Stop(1000);
        out = Output();
    }

    std::vector<fs::path> BackupFiles(const std::string& name) const {
        std::vector<fs::path> found;
        std::error_code ec;
        for (auto it = fs::recursive_directory_iterator(backupRoot, ec); !ec && it != fs::recursive_directory_iterator();
             it.increment(ec)) {
            if (it->path().filename() == name) found.push_back(it->path());
        }
        return found;
    }
    bool HasBackupFile(const std::string& name, bool nonEmpty = false) const {
        for (const auto& file : BackupFiles(name)) {
            std::error_code ec;
            if (!nonEmpty || fs::file_size(file, ec) > 0) return true;
        }
        return false;
    }

    // Every backup file on the disk reads whole: no crash leaves a part of one.
    void ExpectWholeBackupFiles(const std::string& point) const {
        for (const auto& file : BackupFiles("at.bak")) {
            EXPECT_EQ(engine::IdentityBackupDamage(file.string()), std::nullopt) << point << ": " << file;
            EXPECT_TRUE(platform::IniFile::Load(file).has_value()) << point << ": " << file;
        }
        for (const auto& file : BackupFiles("nv.bak")) {
            EXPECT_EQ(engine::NvBackupDamage(file.string()), std::nullopt) << point << ": " << file;
        }
        for (const auto& file : BackupFiles("nv1.bak")) {
            EXPECT_EQ(engine::RfNvBackupDamage(file.string()), std::nullopt) << point << ": " << file;
        }
    }

    std::string Setting(const std::string& name) {
        auto ini = platform::IniFile::Load(dir.path() / "config/flintcast/Flintcast_QCOMM.ini");
        return ini ? ini->readString("Flintcast_QCOMM", name, "<absent>") : "<no settings>";
    }

    bool Has(const std::string& text) const { return out.find("\"text\":\"" + text + "\"") != std::string::npos; }

    void ExpectUnitDataAsBefore(const std::string& point) {
        const json now = DeviceState()["model"];
        EXPECT_EQ(now["nv_items"], before["nv_items"]) << point;
        EXPECT_EQ(now["rf_nv_items"], before["rf_nv_items"]) << point;
    }

    json before;
    fs::path config;
    std::string out;
};

TEST_F(KilledBackupRunTest, KilledDuringTheBackupLeavesWholeFilesAndResumeTrustsOnlyACompleteOne) {
    // Killed while the backup is still being made: whatever is on the disk reads whole, and as
    // the backup was never complete there is nothing to resume; the unit was not touched.
    const std::vector<std::pair<std::string, std::function<bool()>>> early = {
        {"at.bak written", [&] { return HasBackupFile("at.bak"); }},
        {"nv.bak written", [&] { return HasBackupFile("nv.bak", true); }},
    };
    for (const auto& [point, reached] : early) {
        RunKilledWhen(reached, point);
        ExpectWholeBackupFiles(point);
        EXPECT_NE(Setting("DownloadStatus"), "Backup succssfully") << point;
        EXPECT_EQ(Run("resume"), 6) << point << ": " << out;
        ExpectUnitDataAsBefore(point);
    }

    // Killed once the backup is recorded as complete (the update may have begun).
    RunKilledWhen(
        [&] {
            const std::string status = Setting("DownloadStatus");
            return status != "Start succssfully" && status != "<absent>" && status != "<no settings>";
        },
        "backup complete");
    ExpectWholeBackupFiles("backup complete");
    const fs::path folder = Setting("Backup Folder");
    ASSERT_TRUE(fs::is_regular_file(folder / "nv1.bak")) << folder << "\n" << out;
    ASSERT_TRUE(fs::is_regular_file(folder / "nv.bak"));

    // nv1.bak cut short, as a disk fault would leave it: the resume names it, restores nothing
    // and leaves the file as it found it.
    const std::string whole = testing::ReadText(folder / "nv1.bak");
    ASSERT_GT(whole.size(), 8u);
    const std::string cut = whole.substr(0, whole.size() - 3);
    std::ofstream(folder / "nv1.bak", std::ios::binary | std::ios::trunc) << cut;
    EXPECT_EQ(Run("resume"), 1) << out;
    EXPECT_NE(out.find("Cannot resume: the backup file " + (folder / "nv1.bak").string() + " is damaged"),
              std::string::npos)
        << out;
    EXPECT_FALSE(Has("Restore NV Start.")) << out;
    EXPECT_EQ(testing::ReadText(folder / "nv1.bak"), cut);

    // Whole again, the same backup is restored and the unit has its data back.
    std::ofstream(folder / "nv1.bak", std::ios::binary | std::ios::trunc) << whole;
    EXPECT_EQ(Run("resume"), 0) << out;
    EXPECT_TRUE(Has("Restore NV......OK")) << out;
    EXPECT_TRUE(Has("PASS")) << out;
    ExpectUnitDataAsBefore("resumed");
}

}  // namespace
}  // namespace flintcast
