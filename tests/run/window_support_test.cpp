// What the run controller offers a window beyond the command line: the run state across plain
// lines, the download options and the settings summary.
#include <gtest/gtest.h>

#include "controller/run_controller.h"
#include "controller/settings_summary.h"
#include "platform/settings_store.h"
#include "tests/run/fake_presentation.h"
#include "devkit/temp_dir.h"

namespace flintcast {
namespace {

using controller::RunState;

class WindowSupportTest : public ::testing::Test {
protected:
    testing::TempDir dir;
    platform::Clock clock{0.001};
    testing::RecordingPresentation view;
    testing::FixedEnvironment env;
    platform::SettingsStore settings{dir.path() / "settings.ini"};

    std::unique_ptr<controller::RunController> Make(config::ProjectConfig config) {
        controller::RunControllerSetup setup;
        setup.clock = &clock;
        setup.view = &view;
        setup.settings = &settings;
        setup.environment = &env;
        setup.config = std::move(config);
        setup.images.totalBytes = 1000;
        setup.logRoot = dir.path() / "logs";
        setup.autotestMarker = dir.path() / "autotest";
        setup.backupRoot = (dir.path() / "Backup").string();
        auto made = std::make_unique<controller::RunController>(std::move(setup));
        made->Initialize();
        return made;
    }
};

TEST_F(WindowSupportTest, PlainLinesKeepTheRunStateOfAFinishedRun) {
    config::ProjectConfig c;
    c.bAMSSFile = true;
    auto run = Make(c);
    run->ShowStatusLine("ERROR, Open COMM failed, Error code: 3", 2);
    run->ShowStatusLine("Shutting down COMM...", 4);
    EXPECT_EQ(view.runState, RunState::Failed);
    run->ShowStatusLine("PASS", 3);
    run->ShowStatusLine("close com(start)", 4);
    EXPECT_EQ(view.runState, RunState::Succeeded);
    // Information and in-progress lines still set their states.
    run->ShowStatusLine("Syncing", 1);
    EXPECT_EQ(view.runState, RunState::InProgress);
    run->ShowStatusLine("note", 0);
    EXPECT_EQ(view.runState, RunState::Idle);
}

TEST_F(WindowSupportTest, DownloadOptionsApplyToTheNextRunOnlyWhenTheImageSetVerifies) {
    config::ProjectConfig c;
    c.bAMSSFile = true;
    c.bBootloader = true;
    c.bResImage = true;
    auto run = Make(c);
    controller::DownloadOptions options = controller::DownloadOptionsOf(run->config());
    EXPECT_TRUE(options.amss && options.bootloader && !options.efs);

    options.amss = false;
    options.restore = true;
    env.verifyResult = false;
    EXPECT_FALSE(run->ApplyDownloadOptions(options));
    EXPECT_TRUE(run->config().bAMSSFile);

    env.verifyResult = true;
    env.verifiedImages.totalBytes = 77;
    EXPECT_TRUE(run->ApplyDownloadOptions(options));
    EXPECT_FALSE(run->config().bAMSSFile);
    EXPECT_TRUE(run->config().bRestore);
    EXPECT_FALSE(run->config().bBackup);
    EXPECT_TRUE(run->config().bResImage);  // not one of the dialog's switches
    EXPECT_EQ(controller::SettingsSummary(run->config()), "Bootloader, Restore.");
}

// The environment remembers the folder it was told to verify.
class FolderEnvironment : public testing::FixedEnvironment {
public:
    void SetImageFolder(const std::string& folder) override { folder_ = folder; }
    bool VerifyImageSet(const config::ProjectConfig& c, bool reupdate, engine::ImageSet& images) override {
        verifiedFolder = folder_;
        return FixedEnvironment::VerifyImageSet(c, reupdate, images);
    }
    std::string verifiedFolder;

private:
    std::string folder_;
};

TEST_F(WindowSupportTest, AChosenImageFolderIsVerifiedAndARefusedOneLeavesNoImages) {
    FolderEnvironment folders;
    controller::RunControllerSetup setup;
    setup.clock = &clock;
    setup.view = &view;
    setup.settings = &settings;
    setup.environment = &folders;
    setup.config.bAMSSFile = true;
    setup.images.totalBytes = 1000;
    setup.logRoot = dir.path() / "logs";
    setup.autotestMarker = dir.path() / "autotest";
    setup.imageFolder = "/first";
    controller::RunController run(std::move(setup));
    run.Initialize();

    folders.verifiedImages.totalBytes = 5;
    EXPECT_TRUE(run.ChangeImageFolder("/second"));
    EXPECT_EQ(folders.verifiedFolder, "/second");
    EXPECT_EQ(run.imageFolder(), "/second");

    folders.verifyResult = false;
    EXPECT_FALSE(run.ChangeImageFolder("/broken"));
    folders.boxes = {{"ttyUSB0"}, {}, {"ttyUSB2"}};
    EXPECT_FALSE(run.StartClick());
    ASSERT_FALSE(view.messages.empty());
    EXPECT_EQ(view.messages.back().text, "No Image File Loaded!");
    run.Exit();
    EXPECT_EQ(settings.readString(platform::SettingsStore::kImageFileFolder), std::optional<std::string>("/broken"));
}

TEST(SettingsSummaryTest, ListsSelectedItemsInOrderEndingWithAFullStop) {
    config::ProjectConfig c;
    EXPECT_EQ(controller::SettingsSummary(c), "");
    c.bEFS = true;
    c.bBootloader = true;
    EXPECT_EQ(controller::SettingsSummary(c), "Bootloader, EFS.");
    c.bRestore = c.bBackup = c.bPartOfEFS = true;
    c.pcSuite = true;
    c.bCDROM = true;
    EXPECT_EQ(controller::SettingsSummary(c), "PartOfEFS, Backup, Bootloader, PC Suite, EFS, Restore.");
    c.bResImage = true;
    c.bFastbootSplashImage = true;
    EXPECT_EQ(controller::SettingsSummary(c), "PartOfEFS, Backup, Bootloader, bResImage, EFS, SplashImage, Restore.");
}

}  // namespace
}  // namespace flintcast
