#pragma once
// Everything the window stands on, built once at start-up in the same order as the command
// line's run: staging, configuration, discovery, the device check, the verified image set and
// the run controller. The window only presents; every rule lives in these parts.
#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "config/dual_package.h"
#include "config/messages.h"
#include "config/project_config.h"
#include "controller/device_check.h"
#include "controller/device_discovery.h"
#include "controller/discovery_directory.h"
#include "controller/discovery_environment.h"
#include "controller/image_staging.h"
#include "controller/mode_switch_launch.h"
#include "controller/presentation.h"
#include "controller/run_controller.h"
#include "controller/utility_conflict.h"
#include "engine/device_data_service.h"
#include "platform/instance_lock.h"
#include "platform/settings_store.h"

namespace flintcast::gui {

struct WindowOptions {
    std::string configPath;   // a Config.ini to use instead of the embedded one
    std::string imageFolder;  // images to use instead of the staged package
    std::string deviceRoot;   // device tree (a simulator's), else the environment or "/"
    bool autotest = false;
};

// What the device check reports while it polls, on its own thread; each may be empty.
struct DeviceCheckReports {
    std::function<void(const std::string& text, bool ready)> status;
    std::function<void(const std::string& text)> versionLabel;
    std::function<void(bool enabled)> startEnabled;
    std::function<void(const std::string& line)> line;
    std::function<void()> stopStartReminder;
    // The port selectors after a pass, read on the check's thread.
    std::function<void(const controller::PortBoxes& boxes)> portBoxes;
    // A device appeared (true) or went away (false), on the watcher's thread.
    std::function<void(bool arrival)> deviceChange;
};

class WindowSession {
public:
    // `view` must outlive the session; its ShowMessage answers the start-up questions.
    WindowSession(const WindowOptions& options, controller::Presentation& view, DeviceCheckReports reports);
    ~WindowSession();
    WindowSession(const WindowSession&) = delete;
    WindowSession& operator=(const WindowSession&) = delete;

    // False when start-up was refused (its message has been shown): the program ends.
    bool ok() const { return ok_; }

    controller::RunController& controller() { return *controller_; }
    const config::ProjectConfig& config() const { return config_; }
    controller::DeviceCheck& deviceCheck() { return *check_; }
    controller::DeviceDiscovery& discovery() { return *discovery_; }
    // The verified image set as the file list shows it.
    const std::vector<controller::ListedImage>& listedImages() const { return environment_->listedImages(); }
    // The operator picked another image folder: verified now, used by the next runs.
    bool ChangeImageFolder(const std::string& folder);
    const std::filesystem::path& imageFolder() const { return imageFolder_; }
    // The mode switch program, started from the image folder without waiting.
    void LaunchModeSwitch();
    // The project's wizard replaces the operator-utility check.
    bool startsWizard() const { return startsWizard_; }

    // Ends the device check and every worker, stores the settings, removes the staging folders.
    void Shutdown();

private:
    class Sink;

    std::unique_ptr<Sink> sink_;
    DeviceCheckReports reports_;
    std::unique_ptr<platform::InstanceLock> instanceLock_;
    controller::StagingFolders folders_;
    config::ProjectConfig config_;
    engine::ImageSet images_;
    std::filesystem::path imageFolder_;
    bool dualPackage_ = false;
    config::SecondPackage second_;
    controller::UtilityCheck utility_;
    std::unique_ptr<controller::DeviceDiscovery> discovery_;
    std::unique_ptr<controller::DiscoveryDirectory> directory_;
    std::unique_ptr<controller::ModeSwitchLauncher> modeSwitch_;
    std::unique_ptr<controller::DeviceCheck> check_;
    std::unique_ptr<controller::DiscoveryEnvironment> environment_;
    platform::SettingsStore settings_;
    engine::DeviceDataService dataService_;
    std::unique_ptr<controller::RunController> controller_;
    bool ok_ = false;
    bool startsWizard_ = false;
    bool shutDown_ = false;

    bool Build(const WindowOptions& options, controller::Presentation& view);
};

}  // namespace flintcast::gui
