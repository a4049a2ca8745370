// Dual-package releases (Packet = 2) against the simulated device: two generated packages are
// staged, paired, and the device's mainboard chooses the one that is written.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>

#include "config/dual_package.h"
#include "config/messages.h"
#include "controller/device_check.h"
#include "controller/device_discovery.h"
#include "controller/discovery_directory.h"
#include "controller/discovery_environment.h"
#include "controller/discovery_settings.h"
#include "controller/image_staging.h"
#include "controller/run_controller.h"
#include "controller/staging_table.h"
#include "platform/ini_file.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/settings_store.h"
#include "tests/run/fake_presentation.h"
#include "tests/support/sim_process.h"
#include "devkit/temp_dir.h"
#include "devkit/files.h"

using flintcast::testing::ReadBytes;

namespace flintcast {
namespace {

namespace fs = std::filesystem;
using Changes = std::vector<std::pair<std::string, std::string>>;

// A package made by the generator, with its Config.ini changed as given ("Key" in [Project], or
// "Section/Key").
void Generate(const fs::path& folder, const std::string& version, int imageKib, const Changes& changes) {
    platform::LaunchOptions options;
    options.arguments = {"--out", folder.string(), "--project", "46", "--version", version, "--image-kib",
                         std::to_string(imageKib), "--config"};
    ASSERT_EQ(platform::RunAndWait(fs::path(FLINTCAST_BIN_DIR) / "flintcast-mkpackage", options), 0);
    auto ini = platform::IniFile::Load(folder / "Config.ini");
    ASSERT_TRUE(ini.has_value());
    for (const auto& [key, value] : changes) {
        const auto slash = key.find('/');
        if (slash == std::string::npos) ini->writeString("Project", key, value);
        else ini->writeString(key.substr(0, slash), key.substr(slash + 1), value);
    }
    ASSERT_TRUE(ini->save(folder / "Config.ini"));
}

// The two packages as the program's resources: the first under the table's names, the second
// under the names with the suffix "2".
controller::MapResourceSource Resources(const fs::path& first, const fs::path& second) {
    controller::MapResourceSource resources;
    for (const auto& item : controller::StagedItems()) {
        if (fs::exists(first / item.fileName)) {
            resources.add(std::string(item.type), std::string(item.name), ReadBytes(first / item.fileName));
        }
        if (fs::exists(second / item.fileName)) {
            resources.add(std::string(item.type), std::string(item.name) + "2", ReadBytes(second / item.fileName));
        }
    }
    resources.add("DLL", "RavelinFile", ReadBytes(fs::path(FLINTCAST_BIN_DIR) / "libravelin.so"));
    resources.add("INI", "ConfigFile", ReadBytes(first / "Config.ini"));
    resources.add("INI", "ConfigFile2", ReadBytes(second / "Config.ini"));
    return resources;
}

// The second package of projects 43 to 47 carries no boot loader files, so its Config.ini
// selects none.
const std::pair<std::string, std::string> kNoBootLoader{"DownloadItems/bBootLoader", "0"};

class DualPackageRunTest : public ::testing::Test {
protected:
    testing::TempDir dir;
    // The default profile: its AT+PMU answer names the MBY2 (or MBX2) board. A time scale at
    // which the probe's short reads still see the answers on a busy machine.
    simtest::SimProcess sim{{"--time-scale", "0.05"}};
    platform::Clock clock{0.05};
    controller::StagingFolders folders{dir.path() / "TempFiles", dir.path() / "TempFiles2", dir.path() / "Backup"};
    config::RecordingMessageSink messages;
    config::ProjectConfig config;
    config::SecondPackage second;

    void SetUp() override { platform::SetDeviceRoot(sim.root()); }
    void TearDown() override { platform::ResetDeviceRoot(); }

    // Stages both packages the way start-up does; false when the pairing ends the application.
    bool Stage(const Changes& first, const Changes& secondChanges) {
        Generate(dir.path() / "first", "V1.5.0", 64, first);
        Generate(dir.path() / "second", "V2.0.0", 96, secondChanges);
        const auto resources = Resources(dir.path() / "first", dir.path() / "second");
        EXPECT_TRUE(controller::StageImages(folders, resources, config, messages, clock).configOk);
        EXPECT_EQ(config.packet, 2);
        EXPECT_TRUE(controller::StageSecondPackage(folders, resources, config, messages).ok);
        return config::CheckSecondPackage(folders.secondStaging / "Config.ini", config, second, messages) ==
               config::SecondPackageCheck::Ok;
    }

    std::string Shown() const {
        std::string all;
        for (const auto& m : messages.messages()) all += m.text + " | ";
        return all;
    }

    std::unique_ptr<controller::DeviceDiscovery> Discovery() {
        controller::ProbeSettings probe;
        probe.projectType = config.projectType;
        probe.packageName = config.name;
        return std::make_unique<controller::DeviceDiscovery>(clock, sim.root(), controller::DefaultDiscoverySettings(),
                                                             probe, [](std::string_view) {});
    }
};

TEST_F(DualPackageRunTest, DeviceBoardChoosesTheSecondPackageWhichIsWrittenAndCleanedUp) {
    ASSERT_TRUE(Stage({{"Name", "MBY1"}, {"Packet", "2"}, {"FlashType", "1"}},
                      {{"Name", "MBY2"}, {"FlashType", "2"}, {"Caption", "Arvo Flintcast MBY2"}, kNoBootLoader}));
    EXPECT_EQ(second.name, "MBY2");
    auto discovery = Discovery();
    controller::DeviceCheck check(*discovery, config, {});
    controller::DiscoveryEnvironment environment(*discovery, check, folders, folders.staging, messages);
    environment.SetSecondPackage(second);
    engine::ImageSet images;
    ASSERT_TRUE(environment.VerifyImageSet(config, false, images));

    controller::DiscoveryDirectory directory(*discovery);
    testing::RecordingPresentation view;
    platform::SettingsStore settings(dir.path() / "settings.ini");
    controller::RunControllerSetup setup;
    setup.clock = &clock;
    setup.view = &view;
    setup.settings = &settings;
    setup.directory = &directory;
    setup.environment = &environment;
    setup.config = config;
    setup.images = images;
    setup.logRoot = dir.path() / "logs";
    setup.autotestMarker = dir.path() / "autotest";
    setup.stagingFolder = folders.staging.string();
    setup.backupRoot = folders.backup.string();
    controller::RunController controller(std::move(setup));
    controller.Initialize();

    ASSERT_TRUE(controller.StartClick()) << Shown() << (view.messages.empty() ? "" : view.messages.back().text);
    EXPECT_EQ(discovery->facts().mainboard, "MBY2");
    EXPECT_EQ(controller.config().caption, "Arvo Flintcast MBY2");
    EXPECT_EQ(environment.imageFolder(), folders.secondStaging);
    while (controller.Running()) controller.PumpEvents(100);
    EXPECT_TRUE(controller.lastRunPassed()) << (view.lines.empty() ? "" : view.lines.back().text);

    // The AMSS image on the device is the second package's.
    const auto state = sim.StateFile();
    const auto secondAmss = fs::file_size(dir.path() / "second/amss.mbn");
    EXPECT_NE(secondAmss, fs::file_size(dir.path() / "first/amss.mbn"));
    bool written = false;
    for (const auto& [kind, image] : state["model"]["images"].items()) {
        if (image.value("size", 0u) == secondAmss && image.value("complete", false)) written = true;
    }
    EXPECT_TRUE(written) << state["model"]["images"].dump();

    controller.Exit();
    EXPECT_FALSE(fs::exists(folders.staging));
    EXPECT_FALSE(fs::exists(folders.secondStaging)) << "exit removes TempFiles2 as well";
    EXPECT_TRUE(fs::exists(folders.backup));
}

TEST_F(DualPackageRunTest, UnknownBoardAndPacketAboveTwoAreRefused) {
    ASSERT_TRUE(Stage({{"Name", "MBX1"}, {"Packet", "2"}, {"FlashType", "1"}}, {{"Name", "MBX2"}, {"FlashType", "2"}, kNoBootLoader}));
    auto discovery = Discovery();
    controller::DeviceCheck check(*discovery, config, {});
    controller::DiscoveryEnvironment environment(*discovery, check, folders, folders.staging, messages);
    environment.SetSecondPackage(second);
    engine::ImageSet images;
    messages.clear();
    // No probe has named the device's board yet: it fits neither package.
    EXPECT_FALSE(environment.SelectPackage(config, images));
    ASSERT_EQ(messages.messages().size(), 1u);
    EXPECT_EQ(messages.messages()[0].text, "Device and software version is not matched!");
    EXPECT_EQ(config.name, "MBX1");

    // The probe names it MBX2 (its AT+PMU answer has no "GMT"): the second package.
    environment.RefreshPortBoxes();
    EXPECT_EQ(discovery->facts().mainboard, "MBX2");
    EXPECT_TRUE(environment.SelectPackage(config, images)) << Shown();
    EXPECT_EQ(config.name, "MBX2");

    // Packet 3 is refused whatever the device.
    config.packet = 3;
    messages.clear();
    EXPECT_FALSE(environment.SelectPackage(config, images));
    ASSERT_EQ(messages.messages().size(), 1u);
    EXPECT_EQ(messages.messages()[0].text, "Device and software version is not matched!");
}

TEST_F(DualPackageRunTest, PackagesThatAreNoPairEndTheApplication) {
    EXPECT_FALSE(Stage({{"Name", "MBY1"}, {"Packet", "2"}, {"FlashType", "1"}}, {{"Name", "MBX2"}, {"FlashType", "2"}}));
    ASSERT_FALSE(messages.messages().empty());
    EXPECT_EQ(messages.messages().back().text, "MBX1或MBY售后方案的配置不正确");
    EXPECT_FALSE(config.bAMSSFile) << "the download items are cleared";
    EXPECT_TRUE(controller::CleanUpStaging(folders, true));
    EXPECT_FALSE(fs::exists(folders.secondStaging));
}

}  // namespace
}  // namespace flintcast
