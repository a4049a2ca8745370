// The run controller's rules without a device: status lines, the run log, the resume state and
// every refusal before a worker exists.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "controller/milestones.h"
#include "controller/run_controller.h"
#include "controller/run_log.h"
#include "platform/settings_store.h"
#include "tests/run/fake_presentation.h"
#include "devkit/temp_dir.h"
#include "devkit/files.h"

using flintcast::testing::ReadText;

namespace flintcast {
namespace {

using controller::RunController;
using controller::RunControllerSetup;
namespace fs = std::filesystem;

config::ProjectConfig ImagesOnlyConfig() {
    config::ProjectConfig c;
    c.caption = "Arvo Flintcast";
    c.projectType = 46;
    c.bAMSSFile = true;
    return c;
}

class RunControllerTest : public ::testing::Test {
protected:
    testing::TempDir dir;
    platform::Clock clock{0.001};
    testing::RecordingPresentation view;
    testing::FixedEnvironment env;
    platform::SettingsStore settings{dir.path() / "settings.ini"};

    std::unique_ptr<RunController> Make(config::ProjectConfig config, uint64_t imageBytes = 1000,
                                        bool autotest = false) {
        RunControllerSetup setup;
        setup.clock = &clock;
        setup.view = &view;
        setup.settings = &settings;
        setup.environment = &env;
        setup.config = std::move(config);
        setup.images.totalBytes = imageBytes;
        setup.images.listedFiles = imageBytes > 0 ? 1 : 0;
        setup.logRoot = dir.path() / "logs";
        setup.autotestMarker = dir.path() / "autotest";
        setup.autotestFlag = autotest;
        setup.backupRoot = (dir.path() / "Backup").string();
        auto controller = std::make_unique<RunController>(std::move(setup));
        controller->Initialize();
        return controller;
    }

    std::string LastMessage() const { return view.messages.empty() ? "" : view.messages.back().text; }
};

TEST(MilestonesTest, OnlyTheExactTextsAreMilestones) {
    EXPECT_TRUE(controller::IsMilestone("Start succssfully"));
    EXPECT_TRUE(controller::IsMilestone("EFSFile succssfully"));
    EXPECT_TRUE(controller::IsMilestone("PASS"));
    EXPECT_FALSE(controller::IsMilestone("Start successfully"));
    EXPECT_FALSE(controller::IsMilestone("PASS "));
    EXPECT_FALSE(controller::IsMilestone(""));
}

TEST(MilestonesTest, ResumeTableTurnsOffWhatTheStoredMilestoneShowsDone) {
    auto amss = controller::PlanResume("AMSSFile succssfully");
    EXPECT_FALSE(amss.statusWrong);
    EXPECT_TRUE(amss.backupOff && amss.bootloaderOff && amss.amssOff);
    EXPECT_FALSE(amss.appsImagesOff || amss.pcSuiteOff || amss.efsOff);

    auto efs = controller::PlanResume("EFSFile succssfully");
    EXPECT_TRUE(efs.backupOff && efs.bootloaderOff && efs.amssOff && efs.appsImagesOff && efs.pcSuiteOff &&
                efs.efsOff);

    auto backup = controller::PlanResume("Backup succssfully");
    EXPECT_TRUE(backup.backupOff);
    EXPECT_FALSE(backup.bootloaderOff);

    for (const char* wrong : {"Start succssfully", "PASS", "", "garbage from a hand-edited file"}) {
        auto plan = controller::PlanResume(wrong);
        EXPECT_TRUE(plan.statusWrong) << wrong;
        EXPECT_FALSE(plan.backupOff) << wrong;
    }
    EXPECT_FALSE(controller::ResumeOfferVisible("PASS"));
    EXPECT_FALSE(controller::ResumeOfferVisible("Start succssfully"));
    EXPECT_FALSE(controller::ResumeOfferVisible(""));
    EXPECT_TRUE(controller::ResumeOfferVisible("Bootloader succssfully"));
}

TEST(RunLogTest, FileNameCannotNameAFolder) {
    std::tm t{};
    t.tm_year = 124;
    t.tm_mon = 4;
    t.tm_mday = 7;
    t.tm_hour = 13;
    t.tm_min = 5;
    t.tm_sec = 9;
    EXPECT_EQ(controller::RunLogFileName("Arvo Flintcast", t), "Arvo Flintcast(2024_05_07 13;05;09).log");
    EXPECT_EQ(controller::RunLogFileName("../../etc/x", t), ".._.._etc_x(2024_05_07 13;05;09).log");
}

TEST_F(RunControllerTest, StatusLinesGoToTheLogAndMilestonesToTheSettings) {
    auto controller = Make(ImagesOnlyConfig());
    EXPECT_EQ(settings.readString("DownloadStatus"), std::optional<std::string>(""));
    EXPECT_EQ(settings.readString("@"), std::optional<std::string>("temp"));

    env.boxes = {{"ttyUSB0", "ttyUSB3"}, {}, {"ttyUSB2"}};  // two devices: refused, but the log is open
    EXPECT_FALSE(controller->StartClick());
    controller->ShowStatusLine("Start succssfully", 1);
    controller->ShowStatusLine("Start successfully", 1);  // not a milestone
    controller->ShowStatusLine("Backup succssfully", 1);
    EXPECT_EQ(settings.readString("DownloadStatus"), std::optional<std::string>("Backup succssfully"));
    EXPECT_TRUE(controller->backupDone());

    controller->ShowStatusLine("ERROR, Fail to reset phone, Error code: 0", 2);
    EXPECT_TRUE(view.resumeOffer);  // a backup exists and this is not a resumed run
    EXPECT_EQ(controller->statusLabel(), " Upgrade failure");

    const std::string log = ReadText(controller->runLogPath());
    EXPECT_NE(log.find(" 1.3.5.8\r\n"), std::string::npos);
    EXPECT_NE(log.find(" Start successfully\r\n"), std::string::npos);
    const std::string rule(98, '-');
    const std::string closing = "ERROR, Fail to reset phone, Error code: 0\r\n\r\n" + rule +
                                "\r\nPlease try plug in USB cable to upgrade again, if it fails please contact us.\r\n"
                                "We will reply to you as soon as possible and resolve the issue.\r\n"
                                "To cause any inconvenience to your understanding.\r\n" +
                                rule + "\r\n";
    ASSERT_GE(log.size(), closing.size());
    EXPECT_EQ(log.substr(log.size() - closing.size()), closing);
    // Each logged line starts with the date and the time.
    EXPECT_EQ(log[4], '/');
    EXPECT_EQ(log[13], ':');
}

TEST_F(RunControllerTest, PleaLineFollowsTheProject) {
    auto config = ImagesOnlyConfig();
    config.projectType = 3;
    config.versionMarker = 2;
    auto controller = Make(config);
    env.boxes = {};
    controller->StartClick();
    controller->ShowStatusLine("ERROR, x, Error code: 0", 2);
    EXPECT_NE(ReadText(controller->runLogPath()).find("please contact Ostrel customer center."), std::string::npos);
}

TEST_F(RunControllerTest, PassDeletesTheLogUnlessUnattended) {
    {
        auto controller = Make(ImagesOnlyConfig());
        env.boxes = {};
        controller->StartClick();
        const fs::path log = controller->runLogPath();
        ASSERT_TRUE(fs::exists(log));
        controller->ShowStatusLine("PASS", 3);
        EXPECT_FALSE(fs::exists(log));
        EXPECT_EQ(controller->statusLabel(), " Complete");
        EXPECT_FALSE(view.resumeOffer);
    }
    {
        fs::create_directories(dir.path() / "autotest");  // the marker folder
        auto controller = Make(ImagesOnlyConfig());
        controller->StartClick();
        const fs::path log = controller->runLogPath();
        controller->ShowStatusLine("PASS", 3);
        EXPECT_TRUE(fs::exists(log));
    }
}

TEST_F(RunControllerTest, RefusalsBeforeAnyWorkerExists) {
    struct Case {
        controller::PortBoxes boxes;
        config::ProjectConfig config;
        uint64_t imageBytes;
        std::string caption;
        std::string text;
    };
    auto nothing = ImagesOnlyConfig();
    nothing.bAMSSFile = false;
    auto backup = ImagesOnlyConfig();
    backup.bBackup = backup.bRestore = true;
    const controller::PortBoxes one{{"ttyUSB0"}, {}, {"ttyUSB2"}};
    const std::vector<Case> cases = {
        {one, ImagesOnlyConfig(), 0, "Download", "No Image File Loaded!"},
        {{{}, {}, {"ttyUSB2"}}, ImagesOnlyConfig(), 1000, "Download", "Port is empty"},
        {{{"ttyUSB0"}, {}, {}}, ImagesOnlyConfig(), 1000, "Download", "Serial Port was not found."},
        {{{"ttyUSB0", "ttyUSB4"}, {}, {"ttyUSB2"}}, ImagesOnlyConfig(), 1000, "Warning",
         "Two or more devices were found"},
        {{{"../tty"}, {}, {"ttyUSB2"}}, ImagesOnlyConfig(), 1000, "Download", "Invalid port number"},
        {one, nothing, 1000, "Download", "No download option selected"},
        {one, backup, 1000, "Download",
         "Not available yet: backup and restore of device data. Switch these items off in Config.ini to run."},
    };
    for (const auto& c : cases) {
        view.messages.clear();
        env.boxes = c.boxes;
        auto controller = Make(c.config, c.imageBytes);
        EXPECT_FALSE(controller->StartClick()) << c.text;
        ASSERT_EQ(view.messages.size(), 1u) << c.text;
        EXPECT_EQ(view.messages[0].caption, c.caption);
        EXPECT_EQ(view.messages[0].text, c.text);
        EXPECT_EQ(controller->statusLabel(), " Upgrade failure");
        EXPECT_FALSE(controller->Running());
    }
}

TEST_F(RunControllerTest, ResumeFromAStoredMilestone) {
    auto config = ImagesOnlyConfig();
    config.bBootloader = config.bdbl = config.bosbl = true;
    config.bEFS = true;
    config.bBackup = config.bRestore = true;
    settings.writeString("DownloadStatus", "AMSSFile succssfully");
    fs::create_directories(dir.path() / "Backup/SN[1]");
    settings.writeString(controller::kBackupFolderSetting, (dir.path() / "Backup/SN[1]").string());
    auto controller = Make(config);
    EXPECT_TRUE(view.resumeOffer);

    env.verifyResult = false;  // stop after the plan, before any port is touched
    EXPECT_FALSE(controller->Reupdate1Click());
    EXPECT_TRUE(controller->reupdateMode());
    EXPECT_TRUE(controller->backupDone());
    const auto& resumed = controller->config();
    EXPECT_FALSE(resumed.bBackup);
    EXPECT_FALSE(resumed.bBootloader);
    EXPECT_FALSE(resumed.bAMSSFile);
    EXPECT_TRUE(resumed.bRestore);
    EXPECT_TRUE(resumed.bEFS);
}

TEST_F(RunControllerTest, ResumeAfterPassIsWrongAndKeepsTheFullConfiguration) {
    auto config = ImagesOnlyConfig();
    config.bBackup = config.bRestore = true;
    settings.writeString("DownloadStatus", "PASS");
    auto controller = Make(config);
    EXPECT_FALSE(view.resumeOffer);
    env.verifyResult = false;
    controller->Reupdate1Click();
    EXPECT_TRUE(view.HasLine("Status was wrong"));
    EXPECT_TRUE(controller->config().bBackup);
    EXPECT_TRUE(controller->config().bAMSSFile);
}

TEST_F(RunControllerTest, ProbeHandleIsClosedBeforeTheScan) {
    auto controller = Make(ImagesOnlyConfig());
    env.probeHandle = true;
    env.boxes = {};
    controller->StartClick();
    EXPECT_TRUE(view.HasLine("com not null(start)"));
    EXPECT_TRUE(view.HasLine("close com(start)"));
    EXPECT_EQ(env.deviceCheckStops, 1);
}

}  // namespace
}  // namespace flintcast
