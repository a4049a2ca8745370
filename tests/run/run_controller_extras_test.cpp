// The run controller's project variants without a device: the start reminder of projects 42 and
// marked 3, the Japanese texts of the branded projects and the Japanese language, and the
// package choice at Start.
#include <gtest/gtest.h>

#include "controller/run_controller.h"
#include "controller/run_rules.h"
#include "platform/settings_store.h"
#include "tests/run/fake_presentation.h"
#include "devkit/temp_dir.h"

namespace flintcast {
namespace {

using controller::RunController;
using controller::RunControllerSetup;
namespace fs = std::filesystem;

config::ProjectConfig ImagesOnly(int32_t project) {
    config::ProjectConfig c;
    c.caption = "Arvo Flintcast";
    c.projectType = project;
    c.bAMSSFile = true;
    return c;
}

class RunControllerExtrasTest : public ::testing::Test {
protected:
    testing::TempDir dir;
    platform::Clock clock{0.001};  // the 20-second reminder is due after 20 real milliseconds
    testing::RecordingPresentation view;
    testing::FixedEnvironment env;
    platform::SettingsStore settings{dir.path() / "settings.ini"};

    std::unique_ptr<RunController> Make(config::ProjectConfig config) {
        RunControllerSetup setup;
        setup.clock = &clock;
        setup.view = &view;
        setup.settings = &settings;
        setup.environment = &env;
        setup.config = std::move(config);
        setup.images.totalBytes = 1000;
        setup.images.listedFiles = 1;
        setup.logRoot = dir.path() / "logs";
        setup.autotestMarker = dir.path() / "autotest";
        auto controller = std::make_unique<RunController>(std::move(setup));
        controller->Initialize();
        return controller;
    }

    // Pumps for a little more than the reminder's interval on the scaled clock.
    void PumpPastReminder(RunController& controller) {
        const uint32_t start = clock.tickMs();
        while (clock.tickMs() - start < controller::kStartReminderMs + 2000) controller.PumpEvents(5);
    }
};

TEST_F(RunControllerExtrasTest, StartReminderEndsTheToolWhenNoDeviceTurnsUp) {
    struct Case {
        int32_t project;
        int32_t marker;
        std::string title;
        std::string model;
    };
    for (const Case& c : {Case{42, 0, "JDDアップデートツール V1.0", "JDD"}, Case{3, 1, "JDAアップデートツール V1.0", "JDA"},
                          Case{3, 2, "JDBアップデートツール V1.0", "JDB"}, Case{3, 3, "JDGアップデートツール V1.0", "JDG"}}) {
        view.messages.clear();
        env.deviceCheckStops = 0;
        auto config = ImagesOnly(c.project);
        config.versionMarker = c.marker;
        auto controller = Make(config);
        ASSERT_TRUE(controller->StartReminderArmed()) << c.project;
        PumpPastReminder(*controller);
        EXPECT_TRUE(controller->endRequested()) << c.title;
        EXPECT_FALSE(controller->StartReminderArmed());
        EXPECT_EQ(env.deviceCheckStops, 1) << "the device check ends with the reminder";
        ASSERT_EQ(view.messages.size(), 1u) << c.title;
        EXPECT_EQ(view.messages[0].caption, c.title);
        EXPECT_EQ(view.messages[0].text.rfind(c.model + "が見つかりません。", 0), 0u) << view.messages[0].text;
    }
}

TEST_F(RunControllerExtrasTest, StartReminderStopsOnReadyDeviceOrStart) {
    {
        auto controller = Make(ImagesOnly(42));
        controller->StopStartReminder();  // the device check found the device ready
        PumpPastReminder(*controller);
        EXPECT_FALSE(controller->endRequested());
        EXPECT_TRUE(view.messages.empty());
    }
    {
        auto controller = Make(ImagesOnly(42));
        env.boxes = {};  // Start is refused, but it was pressed: the reminder is over
        EXPECT_FALSE(controller->StartClick());
        view.messages.clear();
        PumpPastReminder(*controller);
        EXPECT_FALSE(controller->endRequested());
        EXPECT_TRUE(view.messages.empty());
    }
    // Unmarked project 3 and other projects have no reminder.
    EXPECT_FALSE(Make(ImagesOnly(3))->StartReminderArmed());
    EXPECT_FALSE(Make(ImagesOnly(46))->StartReminderArmed());
}

TEST_F(RunControllerExtrasTest, BrandedProjectsConfirmInJapaneseAndProject28EndsOnCancel) {
    for (int32_t project : {27, 28}) {
        view.messages.clear();
        view.answer = controller::MessageAnswer::Cancel;
        auto controller = Make(ImagesOnly(project));
        EXPECT_FALSE(controller->StartClick());
        ASSERT_EQ(view.messages.size(), 1u);
        EXPECT_EQ(view.messages[0].caption, project == 28 ? "JDF Software Update Tool" : "Netmarrow Software Update Tool");
        EXPECT_EQ(view.messages[0].text,
                  "他のアプリケーションをすべて終了して下さい。電源アダプタを接続し、PCのサスペンド又は、シャットダウンを"
                  "絶対にしないで下さい。ソフトウェアのアップデートを開始しますか？");
        EXPECT_EQ(view.messages[0].buttons, controller::MessageButtons::OkCancel);
        EXPECT_EQ(controller->endRequested(), project == 28);
        EXPECT_EQ(env.deviceCheckStops, 0) << "Cancel ends before the device check is touched";
    }
}

TEST_F(RunControllerExtrasTest, StatusTextsInJapaneseForBrandedProjectsAndTheJapaneseLanguage) {
    auto english = Make(ImagesOnly(46));
    english->ShowStatusLine("PASS", 3);
    EXPECT_EQ(english->statusLabel(), " Complete");

    auto japanese = ImagesOnly(46);
    japanese.language = config::Language::Japanese;
    auto controller = Make(japanese);
    controller->ShowStatusLine("PASS", 3);
    EXPECT_EQ(controller->statusLabel(), "アップデートが正常に完了しました");
    controller->ShowStatusLine("ERROR, x, Error code: 0", 2);
    EXPECT_EQ(controller->statusLabel(), "アップデートに失敗しました");

    view.answer = controller::MessageAnswer::Ok;
    env.boxes = {{"ttyUSB0", "ttyUSB3"}, {}, {"ttyUSB2"}};  // refused: two devices
    auto branded = Make(ImagesOnly(27));
    EXPECT_FALSE(branded->StartClick());
    EXPECT_EQ(branded->statusLabel(), "アップデートに失敗しました");
    EXPECT_EQ(view.messages.back().caption, "Netmarrow Software Update Tool");
}

TEST_F(RunControllerExtrasTest, PackageChoiceAtStartReplacesConfigurationAndImages) {
    auto first = ImagesOnly(46);
    first.name = "MBY1";
    first.packet = 2;
    auto second = first;
    second.name = "MBY2";
    second.caption = "Second package";
    env.selectedConfig = second;
    env.selectedImages.totalBytes = 4242;
    env.selectedImages.listedFiles = 1;
    env.boxes = {};  // stop at the port check, after the choice
    auto controller = Make(first);
    EXPECT_FALSE(controller->StartClick());
    EXPECT_EQ(env.packageSelections, 1);
    EXPECT_EQ(controller->config().caption, "Second package");
    EXPECT_FALSE(controller->endRequested());
    EXPECT_EQ(view.messages.back().text, "Port is empty");

    // A package not named after a paired board makes no choice.
    env.packageSelections = 0;
    Make(ImagesOnly(46))->StartClick();
    EXPECT_EQ(env.packageSelections, 0);
}

TEST_F(RunControllerExtrasTest, DeviceThatFitsNoPackageEndsTheToolAndDeletesTheLog) {
    auto config = ImagesOnly(46);
    config.name = "MBX1";
    env.selectResult = false;
    env.boxes = {{"ttyUSB0"}, {}, {"ttyUSB2"}};
    auto controller = Make(config);
    EXPECT_FALSE(controller->StartClick());
    EXPECT_TRUE(controller->endRequested());
    EXPECT_FALSE(controller->Running());
    EXPECT_FALSE(fs::exists(controller->runLogPath()));
    EXPECT_EQ(controller->statusLabel(), " Upgrade failure");
}

}  // namespace
}  // namespace flintcast
