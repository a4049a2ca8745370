#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

#include "config/project_config.h"
#include "engine/device_data_ops.h"
#include "engine/device_data_service.h"

namespace flintcast::engine {
namespace {

bool Names(const std::vector<std::string>& missing, const std::string& feature) {
    return std::find(missing.begin(), missing.end(), feature) != missing.end();
}

TEST(UnavailableFeaturesTest, DataServiceMakesBackupAndEfsAvailableAndAdbAndFastbootNeedNoService) {
    config::ProjectConfig c;
    c.bBackup = true;
    c.bRestore = true;
    c.bBackupUserData = true;
    c.bPartOfEFS = true;
    c.bBackupARM11Files = true;
    c.fastbootOnly = true;

    const auto without = UnavailableFeatures(c, false);
    EXPECT_TRUE(Names(without, "backup and restore of device data"));
    EXPECT_TRUE(Names(without, "user data file backup"));
    EXPECT_TRUE(Names(without, "part-of-EFS file operations"));

    EXPECT_EQ(without.size(), 3u);
    EXPECT_TRUE(UnavailableFeatures(c, true).empty());
}

TEST(UnavailableFeaturesTest, PlainBackupRunNeedsNothingMoreThanTheService) {
    config::ProjectConfig c;
    c.bBackup = true;
    c.bRestore = true;
    EXPECT_TRUE(UnavailableFeatures(c, true).empty());
    EXPECT_FALSE(UnavailableFeatures(c, false).empty());
}

TEST(DeviceDataServiceTest, UnboundServiceRefusesDeviceOperationsInsteadOfPretending) {
    DeviceDataService service;
    EXPECT_THROW(service.BuildNvLists(), std::logic_error);
    EXPECT_THROW(service.ReadIdentity(), std::logic_error);
    EXPECT_THROW(service.SetBackupPaths("a", "a/at.bak", "a/nv.bak", "a/nv1.bak"), std::logic_error);
    EXPECT_FALSE(service.identity().imeiRead);
}

}  // namespace
}  // namespace flintcast::engine
