#include "gui/window_session.h"

#include <fmt/format.h>

#include "cli/embedded_package.h"
#include "cli/single_instance.h"
#include "config/read_config.h"
#include "config/uninstall_key.h"
#include "controller/discovery_settings.h"
#include "config/project_traits.h"
#include "controller/run_rules.h"
#include "platform/clock.h"
#include "platform/ini_file.h"
#include "platform/paths.h"
#include "platform/process.h"

namespace flintcast::gui {

namespace {

constexpr uint32_t kDriverInstallerWaitMs = 3000;

// The folder of this program, where the stand-ins of the outside programs are installed.
std::filesystem::path ProgramFolder() {
    std::error_code ec;
    return std::filesystem::read_symlink("/proc/self/exe", ec).parent_path();
}

}  // namespace

// Messages of configuration, staging and verification, asked through the window.
class WindowSession::Sink : public config::MessageSink {
public:
    explicit Sink(controller::Presentation& view) : view_(view) {}
    config::MessageAnswer show(const config::Message& message) override {
        const auto buttons = message.buttons == config::MessageButtons::OkCancel ? controller::MessageButtons::OkCancel
                                                                                 : controller::MessageButtons::Ok;
        const auto answer = view_.ShowMessage({message.caption, message.text, buttons});
        return answer == controller::MessageAnswer::Ok ? config::MessageAnswer::Ok : config::MessageAnswer::Cancel;
    }

private:
    controller::Presentation& view_;
};

WindowSession::WindowSession(const WindowOptions& options, controller::Presentation& view, DeviceCheckReports reports)
    : sink_(std::make_unique<Sink>(view)), reports_(std::move(reports)) {
    ok_ = Build(options, view);
    if (!ok_) controller::CleanUpStaging(folders_, dualPackage_);
}

WindowSession::~WindowSession() { Shutdown(); }

bool WindowSession::Build(const WindowOptions& options, controller::Presentation& view) {
    instanceLock_ = cli::AcquireSingleInstance(*sink_);
    if (!instanceLock_) return false;
    auto& clock = platform::SystemClock();
    if (!options.deviceRoot.empty()) platform::SetDeviceRoot(options.deviceRoot);

    folders_ = controller::DefaultStagingFolders();
    cli::EmbeddedPackage resources;
    const auto staged = controller::StageImages(folders_, resources, config_, *sink_, clock);
    if (!staged.ok || staged.mustExit) return false;
    if (!options.configPath.empty()) {
        config_ = {};
        if (!config::ReadConfig(options.configPath, config_, *sink_)) return false;
    } else if (!staged.configOk) {
        return false;
    }
    if (config_.packet == 2) {
        dualPackage_ = true;
        const auto second = controller::StageSecondPackage(folders_, resources, config_, *sink_);
        if (!second.ok) return false;
        if (config::CheckSecondPackage(folders_.secondStaging / "Config.ini", config_, second_, *sink_) ==
            config::SecondPackageCheck::EndApplication) {
            return false;
        }
    }
    for (const auto& tool : controller::StageToolsFromFolder(folders_.staging, ProgramFolder(), config_)) {
        if (reports_.line) reports_.line(fmt::format("{} staged from {}", tool, ProgramFolder().string()));
    }
    imageFolder_ = options.imageFolder.empty() ? folders_.staging : std::filesystem::path(options.imageFolder);

    controller::DiscoverySettings discoverySettings = controller::DefaultDiscoverySettings();
    if (auto ini = platform::IniFile::Load(folders_.staging / "Config.ini")) {
        discoverySettings = controller::ReadDiscoverySettings(*ini);
    }
    controller::ProbeSettings probe;
    probe.projectType = config_.projectType;
    probe.checkProjectCode = config_.bCheckProjectCode;
    probe.checkMainboardType = config_.bCheckMainboardType;
    probe.memoryCheck = config_.memoryCheck;
    probe.packageName = config_.name;
    auto logLine = [this](std::string_view line) {
        if (reports_.line) reports_.line(std::string(line));
    };
    discovery_ = std::make_unique<controller::DeviceDiscovery>(clock, platform::DeviceRoot(), discoverySettings, probe,
                                                               logLine);
    directory_ = std::make_unique<controller::DiscoveryDirectory>(*discovery_);
    directory_->setVersionLabelSink([this](std::string_view text) {
        if (reports_.versionLabel) reports_.versionLabel(std::string(text));
    });
    directory_->WatchDevices(platform::DeviceRoot(), [this](bool arrival, const std::string&) {
        if (reports_.deviceChange) reports_.deviceChange(arrival);
    });
    modeSwitch_ = std::make_unique<controller::ModeSwitchLauncher>(imageFolder_, logLine);

    controller::DeviceCheckHooks hooks;
    hooks.status = [this](std::string_view text, bool ready) {
        if (reports_.portBoxes) reports_.portBoxes(discovery_->boxes());
        if (reports_.status) reports_.status(std::string(text), ready);
    };
    hooks.versionLabel = [this](std::string_view text) {
        if (reports_.versionLabel) reports_.versionLabel(std::string(text));
    };
    hooks.startEnabled = [this](bool enabled) {
        if (reports_.startEnabled) reports_.startEnabled(enabled);
    };
    hooks.warning = [&view](std::string_view text) { view.ShowMessage({"Warning", std::string(text)}); };
    hooks.runDriverInstaller = [this, &clock, deviceRoot = options.deviceRoot] {
        auto program = imageFolder_ / "drivset";
        std::error_code ec;
        if (!std::filesystem::exists(program, ec)) program = ProgramFolder() / "drivset";
        platform::LaunchOptions launch;
        launch.arguments = {imageFolder_.string()};
        if (!deviceRoot.empty()) launch.environment = {{"FLINTCAST_DEVICE_ROOT", deviceRoot}};
        if (platform::LaunchDetached(program, launch) < 0) return false;
        clock.sleepMs(kDriverInstallerWaitMs);
        return config::ReadUninstallUDisk(imageFolder_ / "Config.ini") == 1;
    };
    hooks.stopStartReminder = [this] {
        if (reports_.stopStartReminder) reports_.stopStartReminder();
    };
    hooks.runModeSwitchTool = [this] { modeSwitch_->Launch(); };
    hooks.markDriverUninstalled = [this] { config::ResetUninstallUDisk(imageFolder_ / "Config.ini"); };
    check_ = std::make_unique<controller::DeviceCheck>(*discovery_, config_, std::move(hooks), second_.version);

    startsWizard_ = controller::StartsWizardInsteadOfUtilityCheck(config_.projectType, config::IsVersionMarked(config_));
    utility_ = controller::CheckOperatorUtility(config_.projectType, config_.versionMarker);
    if (utility_.refusal) {
        sink_->show(*utility_.refusal);
        return false;
    }
    environment_ =
        std::make_unique<controller::DiscoveryEnvironment>(*discovery_, *check_, folders_, imageFolder_, *sink_);
    if (dualPackage_) environment_->SetSecondPackage(second_);
    // An image set that does not verify leaves the window up: the operator may pick another folder.
    environment_->VerifyImageSet(config_, false, images_);

    controller::RunControllerSetup setup;
    setup.clock = &clock;
    setup.view = &view;
    setup.settings = &settings_;
    setup.directory = directory_.get();
    setup.environment = environment_.get();
    setup.dataOps = &dataService_;
    setup.config = config_;
    setup.images = images_;
    setup.logRoot = platform::RunLogDir();
    setup.autotestMarker = platform::AutotestMarkerDir();
    setup.autotestFlag = options.autotest;
    setup.imageFolder = imageFolder_.string();
    setup.stagingFolder = folders_.staging.string();
    setup.backupRoot = folders_.backup.string();
    setup.storedBackupRoot = platform::BackupRoot().string();
    controller_ = std::make_unique<controller::RunController>(std::move(setup));
    return true;
}

bool WindowSession::ChangeImageFolder(const std::string& folder) {
    imageFolder_ = folder;
    modeSwitch_->SetImageFolder(imageFolder_);
    return controller_->ChangeImageFolder(folder);
}

void WindowSession::LaunchModeSwitch() {
    if (modeSwitch_) modeSwitch_->Launch();
}

void WindowSession::Shutdown() {
    if (shutDown_) return;
    shutDown_ = true;
    if (check_) check_->Stop();
    if (controller_) {
        controller_->Exit();
    } else if (environment_) {
        environment_->RemoveStagingFolders();
    }
    if (directory_) directory_->StopWatching();
}

}  // namespace flintcast::gui
