// How often an unnamed port is asked what it is, and the shipped role table for common layouts.
#include <gtest/gtest.h>

#include <fstream>

#include "controller/discovery_settings.h"
#include "controller/port_probe.h"
#include "platform/ini_file.h"

using namespace flintcast;
using controller::PortAnswer;
using controller::ProbeRecords;

TEST(ProbeRecords, SilentPortIsAskedAgainOnlyWhileTheDeviceIsStarting) {
    ProbeRecords records;
    // A device whose modem is not up yet: its silent ports are asked again, all in the same
    // scan, no more often than the gap allows and only within the window after its first probe.
    uint32_t now = 1000;
    ASSERT_TRUE(records.ShouldProbe("card", 0, 1, now));
    records.Record("card", 0, PortAnswer::Diag);
    for (int i : {1, 2}) {
        ASSERT_TRUE(records.ShouldProbe("card", i, 1, now));
        records.Record("card", i, PortAnswer::Neither);
    }
    EXPECT_FALSE(records.ShouldProbe("card", 0, 2, now + 5000)) << "an answer that names a role is kept";
    EXPECT_FALSE(records.ShouldProbe("card", 1, 2, now + 500)) << "too soon after the last round";
    int rounds = 0;
    for (unsigned scan = 3; scan < 30; ++scan) {
        const uint32_t t = now + (scan - 2) * 1000;
        const bool first = records.ShouldProbe("card", 1, scan, t);
        EXPECT_EQ(records.ShouldProbe("card", 2, scan, t), first) << "both silent ports belong to one round";
        rounds += first ? 1 : 0;
    }
    EXPECT_EQ(rounds, static_cast<int>(ProbeRecords::kSettleWindowMs / ProbeRecords::kReprobeGapMs) - 1);

    // A device that has shown both of its ports leaves a silent one alone at once.
    records.Record("other", 0, PortAnswer::Diag);
    records.Record("other", 1, PortAnswer::Neither);
    records.Record("other", 2, PortAnswer::Modem);
    EXPECT_FALSE(records.ShouldProbe("other", 1, 40, now + 3000));

    // A device that is gone is forgotten; when it comes back it is asked again.
    records.KeepOnly({"other"});
    EXPECT_EQ(records.Answer("card", 0), nullptr);
    EXPECT_TRUE(records.ShouldProbe("card", 1, 41, now + 60000));
    ASSERT_NE(records.Answer("other", 2), nullptr);
    EXPECT_EQ(*records.Answer("other", 2), PortAnswer::Modem);
}

TEST(ShippedDiscoveryTable, EveryRoleOfTheExampleIsRead) {
    const std::filesystem::path file = std::filesystem::path(FLINTCAST_SOURCE_DIR) / "docs/device-discovery.ini";
    const auto ini = platform::IniFile::Load(file);
    ASSERT_TRUE(ini) << file;
    const auto settings = controller::ReadDiscoverySettings(*ini);
    // Every active PortRole line becomes an entry (the reader stops at the first gap in the numbering).
    std::ifstream in(file);
    size_t lines = 0;
    for (std::string line; std::getline(in, line);) lines += line.rfind("PortRole", 0) == 0 ? 1 : 0;
    EXPECT_EQ(settings.portRoles.size(), lines);
    EXPECT_GE(lines, 5u);
    EXPECT_EQ(settings.RoleFor("2C7C", "0125", 0), "Diag");
    EXPECT_EQ(settings.RoleFor("2c7c", "0125", 2), "Modem");
    EXPECT_TRUE(settings.modeSwitchIds.empty()) << "the example switches nothing by itself";

    // As the operator's own table it adds its roles and keeps the package's switch ids.
    controller::DiscoverySettings package = controller::DefaultDiscoverySettings();
    package.portRoles["VID_2C7C&PID_0125&MI_00"] = "Terminal";
    const auto merged = controller::AddOperatorTable(package, *ini);
    EXPECT_EQ(merged.modeSwitchIds, package.modeSwitchIds);
    EXPECT_EQ(merged.portRoles.size(), lines);
    EXPECT_EQ(merged.RoleFor("2C7C", "0125", 0), "Diag") << "the operator's role wins";
}
