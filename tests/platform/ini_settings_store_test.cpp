#include "platform/settings_store.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "devkit/temp_dir.h"

using flintcast::platform::SettingsStore;

TEST(SettingsStore, DefaultPathFollowsXdgConfigHome) {
    flintcast::testing::TempDir dir;
    ::setenv("XDG_CONFIG_HOME", dir.path().c_str(), 1);
    EXPECT_EQ(SettingsStore::DefaultPath(), dir.path() / "flintcast" / "Flintcast_QCOMM.ini");
    ::unsetenv("XDG_CONFIG_HOME");
}

TEST(SettingsStore, WritesCreateFolderAndKeepOtherValues) {
    flintcast::testing::TempDir dir;
    SettingsStore store(dir.path() / "cfg" / "flintcast" / "Flintcast_QCOMM.ini");
    EXPECT_FALSE(store.readString(SettingsStore::kDownloadStatus).has_value());
    EXPECT_EQ(store.readInteger(SettingsStore::kCommPort, 1), 1);

    ASSERT_TRUE(store.writeString(SettingsStore::kDownloadStatus, "Backup succssfully")) << store.lastError();
    ASSERT_TRUE(store.writeInteger(SettingsStore::kCommPort, 12));
    ASSERT_TRUE(store.writeInteger(SettingsStore::kSerialCommPort, 7));
    ASSERT_TRUE(store.writeString(SettingsStore::kImageFileFolder, "/home/op/images"));
    ASSERT_TRUE(store.writeString(SettingsStore::kDownloadStatus, "AMSSFile succssfully"));

    SettingsStore again(store.path());
    EXPECT_EQ(again.readString(SettingsStore::kDownloadStatus, ""), "AMSSFile succssfully");
    EXPECT_EQ(again.readInteger(SettingsStore::kCommPort, 1), 12);
    EXPECT_EQ(again.readInteger(SettingsStore::kSerialCommPort, 1), 7);
    EXPECT_EQ(again.readString(SettingsStore::kImageFileFolder, ""), "/home/op/images");

    // An empty status is a stored value, not an absent one.
    ASSERT_TRUE(store.writeString(SettingsStore::kDownloadStatus, ""));
    EXPECT_EQ(store.readString(SettingsStore::kDownloadStatus), std::optional<std::string>(""));
}

TEST(SettingsStore, UnreadableStoreIsReportedAndLeftAlone) {
    flintcast::testing::TempDir dir;
    SettingsStore folder(dir.path());  // the path is a folder
    EXPECT_FALSE(folder.writeString(SettingsStore::kDownloadStatus, "PASS"));
    EXPECT_FALSE(folder.lastError().empty());
    EXPECT_TRUE(std::filesystem::is_directory(dir.path()));

    const auto file = dir.path() / "Flintcast_QCOMM.ini";
    std::ofstream(file) << "garbage\x01\n[Flintcast_QCOMM]\nCOMM Port=abc\n";
    SettingsStore store(file);
    EXPECT_EQ(store.readInteger(SettingsStore::kCommPort, 1), 1);
    EXPECT_TRUE(store.writeInteger(SettingsStore::kCommPort, 3));
    EXPECT_EQ(store.readInteger(SettingsStore::kCommPort, 1), 3);
}
