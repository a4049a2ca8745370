// A failed update resumed with `flintcast resume`, and Start pressed again after a failure,
// against a simulated unit whose EFS image wipes its own identity, NV and RF NV data.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <map>
#include <limits>
#include <thread>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "engine/nv_catalogues.h"
#include "platform/child_process.h"
#include "platform/ini_file.h"
#include "tests/run/unit_state.h"
#include "tests/run/update_run_fixture.h"
#include "devkit/wait_until.h"

namespace flintcast {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

using testing::ById;
using testing::PatternHex;

// A project-46 unit with its own values in the places the default configuration backs up.
json UnitProfile() {
    json nv = testing::SampledNvItems(60);
    const auto& lte = engine::LteNvCatalogue();
    for (size_t i = 5; i < lte.size(); i += 50) nv.push_back({{"id", lte[i].id}, {"hex", PatternHex(128, i)}});
    return {{"name", "unit-that-wipes"},
            {"efs_image_wipes", true},
            {"identity",
             {{"sn", "FC46R1000077"}, {"imei", "860046000000777"}, {"imei_1", ""}, {"esn", ""}, {"meid", ""},
              {"bluetooth", "00:1A:7D:46:07:77"}, {"sales_count", "001A7D460777"}, {"sales_info", "SALES-0046-0777"},
              {"wifi_cal", "0A0B0C0D0E77"}, {"testinf", "CAL:PASS,FT:PASS,UIT87:PASS,UIT89:PASS"}}},
            {"nv_items", nv},
            {"rf_nv_items", testing::SampledRfNvItems(std::numeric_limits<size_t>::max(), 4, 9)}};
}

class ResumedRunTest : public testing::UpdateRunFixture {
protected:
    void StartUnit(const std::string& faults) {
        const fs::path profile = dir.path() / "profile.json";
        std::ofstream(profile) << UnitProfile().dump();
        StartSimulator({"--profile", profile.string(), "--faults", faults});
    }

    // "flintcast-devsim ctl ROOT <args>": the state as pure JSON, other answers after their "OK ".
    std::string Ctl(const std::vector<std::string>& args) { return testing::SimulatorCtl(root, dir.path(), args); }
    json LiveState() { return json::parse(Ctl({"state"}), nullptr, false); }

    int Run(const std::string& command, const fs::path& config) {
        platform::ChildProcess run;
        EXPECT_TRUE(StartRun(run, config, command));
        const int code = WaitFor(run);
        outputs.push_back(Output());
        return code;
    }

    std::string Setting(const std::string& name) {
        auto ini = platform::IniFile::Load(dir.path() / "config/flintcast/Flintcast_QCOMM.ini");
        return ini ? ini->readString("Flintcast_QCOMM", name, "<absent>") : "<no settings>";
    }

    static std::map<std::string, std::string> Files(const fs::path& folder) {
        std::map<std::string, std::string> files;
        for (const auto& e : fs::recursive_directory_iterator(folder)) {
            if (e.is_regular_file()) files[fs::relative(e.path(), folder).string()] = testing::ReadText(e.path());
        }
        return files;
    }

    static bool Has(const std::string& out, const std::string& text) {
        return out.find("\"text\":\"" + text + "\"") != std::string::npos;
    }

    std::vector<std::string> outputs;
};

TEST_F(ResumedRunTest, UpdateCutOffAfterTheImagesIsResumedAndRestoresEverything) {
    // The unit does not come back from the reset that follows the images.
    StartUnit("no-return");
    const json before = LiveState();
    ASSERT_FALSE(before.is_discarded());
    const fs::path config = ConfigWith({});

    EXPECT_EQ(Run("run", config), 1) << outputs.back();
    const std::string& failed = outputs.back();
    ASSERT_TRUE(Has(failed, "Backup succssfully")) << failed;
    ASSERT_TRUE(Has(failed, "PCSuite succssfully")) << failed;
    EXPECT_FALSE(Has(failed, "PASS"));
    EXPECT_EQ(Setting("DownloadStatus"), "PCSuite succssfully");
    const fs::path backup = Setting("Backup Folder");
    ASSERT_TRUE(fs::is_regular_file(backup / "at.bak")) << backup;
    ASSERT_TRUE(fs::is_regular_file(backup / "nv.bak"));
    ASSERT_TRUE(fs::is_regular_file(backup / "nv1.bak"));

    // Plugged in again, the unit runs the new firmware with its data wiped.
    Ctl({"plug"});
    const json wiped = LiveState();
    ASSERT_EQ(wiped.value("status", ""), "present") << wiped.dump();
    ASSERT_NE(wiped["modem"]["identity"], before["modem"]["identity"]);
    ASSERT_NE(ById(wiped["model"]["nv_items"]), ById(before["model"]["nv_items"]));

    EXPECT_EQ(Run("resume", config), 0) << outputs.back();
    const std::string& resumed = outputs.back();
    EXPECT_TRUE(Has(resumed, "Restoring from the backup in " + backup.string())) << resumed;
    EXPECT_FALSE(Has(resumed, "Backup succssfully")) << "the backup was done by the failed run";
    EXPECT_FALSE(Has(resumed, "Bootloader succssfully"));
    EXPECT_FALSE(Has(resumed, "AMSSFile succssfully"));
    EXPECT_TRUE(Has(resumed, "Restore NV......OK"));
    EXPECT_TRUE(Has(resumed, "PASS"));
    EXPECT_EQ(resumed.find("ERROR"), std::string::npos) << resumed;

    const json after = LiveState();
    json identity = before["modem"]["identity"];
    identity["testinf"] = "CAL:PASS,FT:PASS";  // kept without its UIT results, which have values of their own
    EXPECT_EQ(after["modem"]["identity"], identity);
    EXPECT_EQ(ById(after["model"]["nv_items"]), ById(before["model"]["nv_items"]));
    EXPECT_EQ(ById(after["model"]["rf_nv_items"]), ById(before["model"]["rf_nv_items"]));

    // Nothing is left to resume, and the state says so. The folder stays only for the unit
    // archive, which holds what the unit lost outside the catalogues (its EFS files, the UIT
    // results of its test information), and the run said so.
    EXPECT_EQ(Setting("DownloadStatus"), "PASS");
    EXPECT_EQ(Setting("Backup Folder"), "");
    EXPECT_TRUE(Has(resumed, "Warning: not restored: EFS file /nvm/num/888")) << resumed;
    EXPECT_TRUE(fs::is_regular_file(backup / "unit-archive.bin"));
}

TEST_F(ResumedRunTest, StartPressedAgainAfterAFailureKeepsTheFirstBackup) {
    // The first run fails after its backup: the unit refuses to enter download mode.
    StartUnit("refuse:diag.download@*");
    const fs::path config = ConfigWith({});
    EXPECT_EQ(Run("run", config), 1) << outputs.back();
    ASSERT_TRUE(Has(outputs.back(), "Backup succssfully")) << outputs.back();
    const fs::path first = Setting("Backup Folder");
    ASSERT_TRUE(fs::is_directory(first)) << first;
    const auto firstFiles = Files(first);
    ASSERT_EQ(firstFiles.count("at.bak"), 1u);
    ASSERT_EQ(firstFiles.count("nv.bak"), 1u);

    Ctl({"clear-faults"});
    EXPECT_EQ(Run("run", config), 0) << outputs.back();
    const std::string& second = outputs.back();
    EXPECT_TRUE(Has(second, "PASS")) << second;

    // The second backup of the same unit moved the first one aside, whole; its own folder stays
    // after the pass only for the unit archive of what the unit lost.
    std::vector<fs::path> aside;
    for (const auto& e : fs::directory_iterator(first.parent_path())) {
        if (e.path().filename().string().rfind(first.filename().string() + ".", 0) == 0) aside.push_back(e.path());
    }
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_TRUE(Has(second, "Earlier backup kept in " + aside[0].string())) << second;
    EXPECT_EQ(Files(aside[0]), firstFiles);
    EXPECT_TRUE(Has(second, "Warning: not restored: EFS file /nvm/num/888")) << second;
    EXPECT_TRUE(fs::is_regular_file(first / "unit-archive.bin"));
}

}  // namespace
}  // namespace flintcast
