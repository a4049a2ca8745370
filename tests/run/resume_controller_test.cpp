// The controller's side of a resumed run: which backup folder it may resume from, and the resume
// state it keeps while the resumed run reports.
#include <gtest/gtest.h>

#include "controller/milestones.h"
#include "controller/run_controller.h"
#include "platform/settings_store.h"
#include "tests/run/fake_presentation.h"
#include "devkit/temp_dir.h"

namespace flintcast {
namespace {

namespace fs = std::filesystem;
using platform::SettingsStore;

class ResumeControllerTest : public ::testing::Test {
protected:
    testing::TempDir dir;
    platform::Clock clock{0.001};
    testing::RecordingPresentation view;
    testing::FixedEnvironment env;
    SettingsStore settings{dir.path() / "settings.ini"};
    fs::path backupTop = dir.path() / "Backup";
    fs::path folder = backupTop / "2026_12_07/SN[FC46]IMEI[860046000000421]";

    void SetUp() override {
        fs::create_directories(folder);
        settings.writeString(SettingsStore::kDownloadStatus, "PCSuite succssfully");
        settings.writeString(controller::kBackupFolderSetting, folder.string());
        // Stop after the plan, before any port is touched.
        env.verifyResult = false;
    }

    std::unique_ptr<controller::RunController> Make() {
        config::ProjectConfig c;
        c.projectType = 46;
        c.bBootloader = c.bAMSSFile = c.bEFS = c.bCDROM = c.pcSuite = true;
        c.bBackup = c.bRestore = true;
        controller::RunControllerSetup setup;
        setup.clock = &clock;
        setup.view = &view;
        setup.settings = &settings;
        setup.environment = &env;
        setup.config = c;
        setup.images.totalBytes = 1000;
        setup.images.listedFiles = 1;
        setup.logRoot = dir.path() / "logs";
        setup.autotestMarker = dir.path() / "autotest";
        setup.backupRoot = (backupTop / "2026_12_08").string();  // today's folder: the backup is older
        setup.storedBackupRoot = backupTop.string();
        auto controller = std::make_unique<controller::RunController>(std::move(setup));
        controller->Initialize();
        return controller;
    }

    bool Refused(const std::string& words) const {
        for (const auto& m : view.messages) {
            if (m.text.rfind("Cannot resume: ", 0) == 0 && m.text.find(words) != std::string::npos) return true;
        }
        return false;
    }
};

TEST_F(ResumeControllerTest, ResumesFromAStoredFolderOfAnEarlierDay) {
    auto controller = Make();
    controller->Reupdate1Click();
    EXPECT_TRUE(view.messages.empty()) << view.messages.front().text;
    EXPECT_FALSE(controller->config().bBackup);
    EXPECT_FALSE(controller->config().pcSuite);
    EXPECT_TRUE(controller->config().bEFS);
    EXPECT_TRUE(controller->config().bRestore);
}

TEST_F(ResumeControllerTest, StoredFolderOutsideTheBackupRootOrMissingIsRefusedBeforeAnyRun) {
    fs::create_directories(dir.path() / "home/important");
    const std::vector<std::pair<std::string, std::string>> cases = {
        {(dir.path() / "home/important").string(), "is not inside"},
        {(backupTop / "2026_12_07/../../home/important").string(), "is not inside"},
        {backupTop.string(), "is not inside"},
        {(backupTop / "2026_12_07/SN[gone]").string(), "does not exist"},
        {"", "No backup folder"},
    };
    for (const auto& [stored, words] : cases) {
        settings.writeString(controller::kBackupFolderSetting, stored);
        view.messages.clear();
        auto controller = Make();
        EXPECT_FALSE(controller->Reupdate1Click()) << stored;
        EXPECT_TRUE(Refused(words)) << stored;
        EXPECT_FALSE(controller->Running());
        EXPECT_EQ(view.status, " Upgrade failure");
        EXPECT_EQ(env.deviceCheckStops, 0) << "refused before the device check was touched";
        // Nothing is lost: the resume state stays for a corrected retry.
        EXPECT_EQ(settings.readString(SettingsStore::kDownloadStatus, ""), "PCSuite succssfully");
    }
    EXPECT_TRUE(fs::is_directory(dir.path() / "home/important"));
}

TEST_F(ResumeControllerTest, ResumedRunKeepsItsMilestoneAndPassClearsTheStoredFolder) {
    auto controller = Make();
    controller->Reupdate1Click();
    // The resumed run starts like any run; should it fail, the next resume must still know
    // which images are written.
    controller->ShowStatusLine("Start succssfully", 0);
    EXPECT_EQ(settings.readString(SettingsStore::kDownloadStatus, ""), "PCSuite succssfully");
    controller->ShowStatusLine("PASS", 3);
    EXPECT_EQ(settings.readString(SettingsStore::kDownloadStatus, ""), "PASS");
    EXPECT_EQ(settings.readString(controller::kBackupFolderSetting, "x"), "");
}

TEST_F(ResumeControllerTest, ANewStartStoresItsStartMilestoneAgain) {
    auto controller = Make();
    controller->Reupdate1Click();
    env.boxes = {};  // the new run is refused at once, after its start
    controller->StartClick();
    controller->ShowStatusLine("Start succssfully", 0);
    EXPECT_EQ(settings.readString(SettingsStore::kDownloadStatus, ""), "Start succssfully");
}

}  // namespace
}  // namespace flintcast
