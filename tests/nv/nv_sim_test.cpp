// NV round trips against flintcast-devsim: backup, items spoiled on the device, restore.
#include <gtest/gtest.h>

#include "engine/nv_items.h"
#include "devkit/devsim_rig.h"

using namespace flintcast;
using namespace flintcast::engine;
using flintcast::testing::DevsimRig;
namespace fs = std::filesystem;

namespace {

constexpr const char* kProfile = R"({
  "nv_items": [
    {"id": 141, "hex": "01 02 03 04"}, {"id": 5479, "text": "thermal"}, {"id": 1882, "hex": "7E 7D 00 FF"},
    {"id": 20144, "hex": "44 55"}, {"id": 1886, "hex": "09", "status": "inactive"}, {"id": 550, "hex": "01"}
  ],
  "rf_nv_items": [
    {"id": 20208, "hex": "1600 0D00 1D00 2D00"}, {"id": 20300, "hex": "AA BB CC 7E"}, {"id": 21242, "hex": "01"}
  ]
})";

nlohmann::json Items(const nlohmann::json& state, const char* kind) { return state["model"][kind]; }

}  // namespace

TEST(NvSimulator, BackupAndRestoreRoundTrip) {
    DevsimRig sim(kProfile);
    ASSERT_TRUE(sim.ready) << sim.log();
    auto& w = sim.worker;
    w.config.lteType = "LTE";
    NvItems nv(w.ctx);
    const fs::path nvBak = sim.backup() / "nv.bak";
    const fs::path nv1Bak = sim.backup() / "nv1.bak";
    nv.SetBackupPaths(nvBak.string(), nv1Bak.string());
    nv.BuildNvLists();
    nv.BackupNvItems();
    nv.BackupRfNvItems();
    ASSERT_TRUE(w.errors().empty()) << w.errors()[0];
    // The inactive item (and every item the device does not hold) is left out.
    EXPECT_TRUE(w.posted("[1886]:status Error Received:Item inactive"));
    EXPECT_EQ(fs::file_size(nvBak), 4u * 130u);
    EXPECT_EQ(fs::file_size(nv1Bak), (4u + 8u) + (4u + 4u) + (4u + 1u));
    const auto before = sim.State();

    // Spoil two items and an RF item, as a full update would.
    nv.WriteNvCommand("141", "FF");
    nv.WriteNvCommand("20144", "00,00");
    const fs::path spoil = sim.backup() / "spoil.bak";
    std::ofstream(spoil, std::ios::binary).write("\x4C\x4F\x02\x00\x00\x00", 6);
    nv.SetBackupPaths(nvBak.string(), spoil.string());
    nv.RestoreRfNvItems();
    ASSERT_TRUE(w.errors().empty());
    ASSERT_NE(Items(sim.State(), "nv_items"), Items(before, "nv_items"));
    ASSERT_NE(Items(sim.State(), "rf_nv_items"), Items(before, "rf_nv_items"));

    const std::string savedNv = flintcast::testing::ReadText(nvBak);
    const std::string savedRf = flintcast::testing::ReadText(nv1Bak);
    nv.SetBackupPaths(nvBak.string(), nv1Bak.string());
    nv.RestoreNvItems();
    nv.RestoreRfNvItems();
    EXPECT_TRUE(w.errors().empty());
    const auto after = sim.State();
    EXPECT_EQ(Items(after, "nv_items"), Items(before, "nv_items"));
    EXPECT_EQ(Items(after, "rf_nv_items"), Items(before, "rf_nv_items"));
    EXPECT_EQ(flintcast::testing::ReadText(nvBak), savedNv);
    EXPECT_EQ(flintcast::testing::ReadText(nv1Bak), savedRf);
}

TEST(NvSimulator, ProjectBackupKeepsInactiveItems) {
    DevsimRig sim(kProfile, 0.02, 12);
    ASSERT_TRUE(sim.ready) << sim.log();
    auto& w = sim.worker;
    w.config.isVarnel = true;
    NvItems nv(w.ctx);
    const fs::path nvBak = sim.backup() / "nv.bak";
    nv.SetBackupPaths(nvBak.string(), (sim.backup() / "nv1.bak").string());
    nv.BuildNvLists();
    EXPECT_TRUE(nv.nvList().empty());
    nv.BackupProjectNvItems();
    ASSERT_TRUE(w.errors().empty());
    // Items the device does not hold answer "inactive": logged, and kept all the same.
    EXPECT_TRUE(w.posted("[74]NV_AUTO_ANSWER_I:status Error Received:Item inactive"));
    EXPECT_EQ(fs::file_size(nvBak), 349u * 130u);
    nv.RestoreProjectNvItems();
    EXPECT_TRUE(w.errors().empty());
    EXPECT_TRUE(w.posted("Restore NV......OK"));
}

TEST(NvSimulator, RefusedSwitchToFactoryTestModeLatchesEveryRfStep) {
    DevsimRig sim(kProfile);
    ASSERT_TRUE(sim.ready) << sim.log();
    auto& w = sim.worker;
    w.config.lteType = "LTE";
    NvItems nv(w.ctx);
    const fs::path nv1Bak = sim.backup() / "nv1.bak";
    nv.SetBackupPaths((sim.backup() / "nv.bak").string(), nv1Bak.string());
    nv.BuildNvLists();
    nv.BackupRfNvItems();
    ASSERT_TRUE(w.errors().empty());
    const auto before = Items(sim.State(), "rf_nv_items");

    // The calibration is out of reach once the device refuses the switch: backup, restore and
    // the item fix each end the run's hope of passing instead of going on after a notice.
    sim.Ctl({"fault", "refuse:diag.mode_switch@*"});
    const std::vector<void (NvItems::*)()> steps{&NvItems::BackupRfNvItems, &NvItems::RestoreRfNvItems,
                                                  &NvItems::FixRfNv20208};
    for (size_t i = 0; i < steps.size(); ++i) {
        w.reporter.ClearError();
        (nv.*steps[i])();
        EXPECT_FALSE(w.ctx.ok()) << "step " << i;
        ASSERT_EQ(w.errors().size(), i + 1) << "step " << i;
        EXPECT_NE(w.errors().back().find("Fail to switch mode for the RF NV items"), std::string::npos);
    }
    EXPECT_TRUE(fs::exists(nv1Bak));
    EXPECT_EQ(Items(sim.State(), "rf_nv_items"), before);
}

// A unit whose security lock is on, or that does not know the request, answers with a DIAG
// refusal: the request is not repeated and the error names the item and the reason.
TEST(NvSimulator, RefusedRequestsEndAtOnceNamingTheItem) {
    nlohmann::json profile = nlohmann::json::parse(kProfile);
    profile["diag"] = {{"security_lock", true}, {"spc", "123456"}, {"protected_nv", {141}}, {"lock_answer", "0x47"}};
    DevsimRig sim(profile.dump());
    ASSERT_TRUE(sim.ready) << sim.log();
    auto& w = sim.worker;
    NvItems nv(w.ctx);
    nv.SetBackupPaths((sim.backup() / "nv.bak").string(), (sim.backup() / "nv1.bak").string());
    nv.BuildNvLists();
    size_t position = 0;
    while (position < nv.nvList().size() && nv.nvList()[position].id != 141) ++position;
    ASSERT_LT(position, nv.nvList().size());

    nv.BackupNvItems();
    ASSERT_EQ(w.errors().size(), 1u);
    EXPECT_EQ(w.errors()[0],
              "ERROR, [141]:NV request refused, the unit's security lock is on (service programming code not "
              "accepted) (answer 0x47), Error code: 0");
    EXPECT_EQ(sim.State()["model"]["requests"].value("diag.nv_read", 0u), position + 1);

    // Writes are behind the lock as well.
    w.reporter.ClearError();
    nv.WriteNvCommand("550", "01");
    ASSERT_EQ(w.errors().size(), 2u);
    EXPECT_NE(w.errors()[1].find("[550]:NV request refused, the unit's security lock is on"), std::string::npos);
    EXPECT_EQ(sim.State()["model"]["requests"].value("diag.nv_write", 0u), 1u);

    // A request the unit does not know.
    sim.Ctl({"fault", "refuse:diag.nv_read@*"});
    w.reporter.ClearError();
    nv.BackupNvItems();
    ASSERT_EQ(w.errors().size(), 3u);
    EXPECT_NE(w.errors()[2].find("NV request refused, the unit does not know the command (answer 0x13)"),
              std::string::npos)
        << w.errors()[2];
    EXPECT_EQ(sim.State()["model"]["requests"].value("diag.nv_read", 0u), position + 2);
}
