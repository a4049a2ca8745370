// Whole runs of the default package on a simulated unit whose EFS image wipes its data: the
// unit archive names exactly what the catalogue restore could not bring back, restore-archive
// brings it back, a restored value the unit did not take fails the run and keeps the backup,
// and a damaged archive is refused before any unit is touched.
#include <gtest/gtest.h>

#include <fstream>
#include <set>

#include <nlohmann/json.hpp>

#include "devkit/files.h"
#include "tests/run/unit_state.h"

namespace flintcast {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using testing::ById;
using testing::ByPath;

// The identity keys of the simulator's state and the names the tool gives them.
const std::map<std::string, std::string> kIdentityLabels = {
    {"sn", "SN"},           {"esn", "ESN"},
    {"imei", "IMEI"},       {"imei_1", "IMEI_1"},
    {"meid", "MEID"},       {"bluetooth", "BLUETOOTHADDR"},
    {"wifi_cal", "WifiCal"}, {"sales_count", "SalesCount"},
    {"sales_info", "SalesInfo"}, {"testinf", "TESTINF"},
    {"uit87", "UIT87"},     {"uit89", "UIT89"},
    {"cllen", "CLLEN"},     {"zrreq", "ZRREQ"},
    {"gmi", "GMI"},
};

// Everything in which two states of the unit differ, named as the tool names its items.
std::set<std::string> Differences(const json& before, const json& after) {
    std::set<std::string> out;
    for (const auto& [key, label] : kIdentityLabels)
        if (before["modem"]["identity"].value(key, "") != after["modem"]["identity"].value(key, "")) out.insert(label);
    const auto nvWas = ById(before["model"]["nv_items"]), nvNow = ById(after["model"]["nv_items"]);
    for (const auto& [id, item] : nvWas)
        if (!nvNow.contains(id) || nvNow.at(id) != item) out.insert(fmt::format("NV {}", id));
    const auto rfWas = ById(before["model"]["rf_nv_items"]), rfNow = ById(after["model"]["rf_nv_items"]);
    for (const auto& [id, item] : rfWas)
        if (!rfNow.contains(id) || rfNow.at(id) != item) out.insert(fmt::format("RF NV {}", id));
    const auto efsWas = ByPath(before["model"]["efs"]), efsNow = ByPath(after["model"]["efs"]);
    for (const auto& [path, entry] : efsWas) {
        const bool dir = entry["type"] == "dir";
        if (!efsNow.contains(path) || efsNow.at(path) != entry)
            out.insert(fmt::format("{} {}", dir ? "EFS directory" : "EFS file", path));
    }
    return out;
}

std::vector<std::string> LineTexts(const std::string& output) {
    std::vector<std::string> texts;
    std::istringstream in(output);
    for (std::string line; std::getline(in, line);) {
        const json event = json::parse(line, nullptr, false);
        if (event.is_object() && event.value("event", "") == "line") texts.push_back(event.value("text", ""));
    }
    return texts;
}

class UnitArchiveRunTest : public testing::UpdateRunFixture {
protected:
    void SetUp() override {
        UpdateRunFixture::SetUp();
        const fs::path profile = dir.path() / "profile.json";
        std::ofstream(profile) << json{{"efs_image_wipes", true}}.dump();
        std::vector<std::string> args{"--profile", profile.string()};
        if (!Faults().empty()) args.insert(args.end(), {"--faults", Faults()});
        StartSimulator(args);
        DeviceState();
        before = testing::LiveDeviceState(root, dir.path());
    }
    virtual std::string Faults() const { return {}; }

    int Run() {
        platform::ChildProcess run;
        EXPECT_TRUE(StartRun(run, ConfigWith({})));
        return WaitFor(run);
    }

    // The backup folders the runs left.
    std::vector<fs::path> BackupFolders() {
        std::vector<fs::path> folders;
        std::error_code ec;
        for (const auto& e : fs::recursive_directory_iterator(dir.path() / "data", ec))
            if (e.path().filename() == "at.bak") folders.push_back(e.path().parent_path());
        return folders;
    }

    json before;
};

TEST_F(UnitArchiveRunTest, ThePassNamesExactlyWhatTheUnitLost) {
    ASSERT_EQ(Run(), 0) << Output();
    const auto texts = LineTexts(Output());
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(texts.back(), "PASS");

    std::set<std::string> warned;
    const std::string prefix = "Warning: not restored: ";
    for (const auto& text : texts)
        if (text.starts_with(prefix)) warned.insert(text.substr(prefix.size()));
    const json after = testing::LiveDeviceState(root, dir.path());
    // The warnings name what the unit really lost, no more and no less ...
    EXPECT_EQ(warned, Differences(before, after));
    // ... which on the default unit is what the catalogues leave out (the test information
    // comes back without the UIT results it carried).
    EXPECT_EQ(warned, (std::set<std::string>{"ESN", "IMEI_1", "MEID", "TESTINF", "NV 550", "RF NV 6503",
                                             "EFS file /nvm/num/888", "EFS file /wifi/cal.bin"}));

    // The archive that still holds them stays, and the closing warning says where.
    const auto folders = BackupFolders();
    ASSERT_EQ(folders.size(), 1u);
    const fs::path archive = folders[0] / "unit-archive.bin";
    EXPECT_TRUE(fs::is_regular_file(archive));
    EXPECT_NE(Output().find(fmt::format("8 item(s) the unit held before the update were not restored; they are kept "
                                        "in {}",
                                        archive.string())),
              std::string::npos)
        << Output();
}

TEST_F(UnitArchiveRunTest, RestoreArchiveBringsTheUnitBackToWhatItWas) {
    ASSERT_EQ(Run(), 0) << Output();
    const auto folders = BackupFolders();
    ASSERT_EQ(folders.size(), 1u);
    const fs::path archive = folders[0] / "unit-archive.bin";

    platform::ChildProcess restore;
    ASSERT_TRUE(restore.Start(fs::path(FLINTCAST_BIN_DIR) / "flintcast",
                              {"--time-scale", scale, "restore-archive", archive.string(), "--device-root", root.string(),
                               "--device-wait", "60"},
                              dir.path() / "restore.out"));
    EXPECT_EQ(WaitFor(restore), 0) << testing::ReadText(dir.path() / "restore.out");
    const std::string out = testing::ReadText(dir.path() / "restore.out");
    EXPECT_NE(out.find("Restored and read back: 8 item(s)"), std::string::npos) << out;

    const json after = testing::LiveDeviceState(root, dir.path());
    EXPECT_EQ(Differences(before, after), std::set<std::string>{});
    EXPECT_EQ(after["modem"]["identity"], before["modem"]["identity"]);
    EXPECT_EQ(ById(after["model"]["nv_items"]), ById(before["model"]["nv_items"]));
    EXPECT_EQ(ById(after["model"]["rf_nv_items"]), ById(before["model"]["rf_nv_items"]));
    EXPECT_EQ(ByPath(after["model"]["efs"]), ByPath(before["model"]["efs"]));
}

// The unit answers the write of its sales count with ERROR: the identity restore goes on past
// it by design, so only the read-back sees that the value did not come back.
class UnitRefusingItsSalesCount : public UnitArchiveRunTest {
protected:
    std::string Faults() const override { return "at-error:AT+ZRVSN=1,11@*"; }
};

TEST_F(UnitRefusingItsSalesCount, FailsTheRunNamingTheItemAndKeepsTheBackup) {
    EXPECT_EQ(Run(), 1) << Output();
    const auto texts = LineTexts(Output());
    EXPECT_EQ(std::count(texts.begin(), texts.end(), "PASS"), 0);
    const auto failure = std::find_if(texts.begin(), texts.end(), [](const std::string& t) {
        return t.find("Restored items do not read back as backed up: SalesCount;") != std::string::npos;
    });
    ASSERT_NE(failure, texts.end()) << Output();
    const auto folders = BackupFolders();
    ASSERT_EQ(folders.size(), 1u);
    EXPECT_NE(failure->find(folders[0].string()), std::string::npos) << *failure;
    for (const char* file : {"at.bak", "nv.bak", "nv1.bak", "unit-archive.bin"})
        EXPECT_TRUE(fs::is_regular_file(folders[0] / file)) << file;
}

TEST(RestoreArchiveCommand, RefusesADamagedArchiveBeforeTouchingAnyUnit) {
    testing::TempDir dir;
    const fs::path bad = dir.path() / "unit-archive.bin";
    std::ofstream(bad, std::ios::binary) << "FCUNITAR" << std::string(60, '\0');
    platform::ChildProcess restore;
    // No unit is attached at all: the refusal must come before any wait for one.
    ASSERT_TRUE(restore.Start(fs::path(FLINTCAST_BIN_DIR) / "flintcast",
                              {"restore-archive", bad.string(), "--device-root", (dir.path() / "none").string()},
                              dir.path() / "out"));
    testing::WaitUntil([&] { return !restore.running(); });
    EXPECT_EQ(restore.Stop(1000), 4);
    EXPECT_NE(testing::ReadText(dir.path() / "out").find("fails its check (its check sum does not match"),
              std::string::npos)
        << testing::ReadText(dir.path() / "out");
}

}  // namespace
}  // namespace flintcast
