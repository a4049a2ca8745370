#include "cli/run_session.h"

#include <fmt/format.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <memory>
#include <optional>

#include "cli/console_messages.h"
#include "cli/embedded_package.h"
#include "cli/exit_codes.h"
#include "cli/json_events.h"
#include "cli/single_instance.h"
#include "config/dual_package.h"
#include "config/read_config.h"
#include "config/uninstall_key.h"
#include "controller/attached_units.h"
#include "controller/device_check.h"
#include "controller/device_discovery.h"
#include "controller/discovery_directory.h"
#include "controller/discovery_environment.h"
#include "controller/discovery_settings.h"
#include "controller/image_staging.h"
#include "controller/milestones.h"
#include "controller/mode_switch_launch.h"
#include "controller/run_controller.h"
#include "controller/run_parts.h"
#include "controller/run_rules.h"
#include "controller/utility_conflict.h"
#include "platform/clock.h"
#include "platform/ini_file.h"
#include "platform/console.h"
#include "platform/native_names.h"
#include "platform/paths.h"
#include "platform/port_scanner.h"
#include "platform/process.h"
#include "platform/settings_store.h"

namespace flintcast::cli {

namespace {

constexpr uint32_t kDriverInstallerWaitMs = 3000;
constexpr uint32_t kDeviceWaitPollMs = 200;
constexpr uint32_t kModemPortGraceMs = 10000;

std::atomic<bool> gInterrupted{false};

// The folder of this program, where the stand-ins of the outside programs are installed.
std::filesystem::path ProgramFolder() {
    std::error_code ec;
    return std::filesystem::read_symlink("/proc/self/exe", ec).parent_path();
}

void OnInterrupt() { gInterrupted.store(true); }

// Messages of configuration, staging and verification, shown through the run's presentation.
class PresentationSink : public config::MessageSink {
public:
    explicit PresentationSink(controller::Presentation& view) : view_(view) {}
    config::MessageAnswer show(const config::Message& message) override {
        const auto answer = view_.ShowMessage(
            {message.caption, message.text,
             message.buttons == config::MessageButtons::OkCancel ? controller::MessageButtons::OkCancel
                                                                 : controller::MessageButtons::Ok});
        return answer == controller::MessageAnswer::Ok ? config::MessageAnswer::Ok : config::MessageAnswer::Cancel;
    }

private:
    controller::Presentation& view_;
};

// Everything a run stands on, built in order; each failure is a refusal.
struct Session {
    TerminalPresentation& view;
    PresentationSink sink;
    controller::StagingFolders folders;
    config::ProjectConfig config;
    controller::ImageSet images;
    std::filesystem::path imageFolder;
    std::unique_ptr<controller::DeviceDiscovery> discovery;
    std::unique_ptr<controller::DiscoveryDirectory> directory;
    std::unique_ptr<controller::ModeSwitchLauncher> modeSwitch;
    bool reportedMissingInstaller = false;
    std::unique_ptr<controller::DeviceCheck> check;
    std::atomic<int> checkVerdict{0};  // 0 polling, 1 ready, 2 refused
    std::string lastWarning;           // the check's refusal, for `devices`; written before checkVerdict
    // The controller device changes go to once it exists.
    std::atomic<controller::RunController*> controller{nullptr};
    bool dualPackage = false;          // Packet = 2: the second package is staged in TempFiles2
    config::SecondPackage second;

    explicit Session(TerminalPresentation& v) : view(v), sink(v) {}
};

bool Prepare(const RunOptions& options, Session& s) {
    auto& clock = platform::SystemClock();
    if (!options.deviceRoot.empty()) platform::SetDeviceRoot(options.deviceRoot);

    s.folders = controller::DefaultStagingFolders();
    EmbeddedPackage resources;
    const auto staged = controller::StageImages(s.folders, resources, s.config, s.sink, clock);
    if (!staged.ok || staged.mustExit) return false;
    // A configuration error has shown its message and turned its items off; the tool stays
    // usable with what was read before it, and Start refuses what cannot run.
    if (!options.configPath.empty()) {
        s.config = {};
        if (!config::ReadConfig(options.configPath, s.config, s.sink)) {
            s.view.Note("The configuration was read up to its error; the items after it stay off.");
        }
    } else if (!staged.configOk) {
        s.view.Note("The configuration was read up to its error; the items after it stay off.");
    }
    if (options.backupRestoreOff) s.config.bBackup = s.config.bRestore = false;
    if (s.config.packet == 2) {
        // Dual-package mode: the second package is staged and checked against the first.
        s.dualPackage = true;
        const auto second = controller::StageSecondPackage(s.folders, resources, s.config, s.sink);
        if (!second.ok) return false;
        if (config::CheckSecondPackage(s.folders.secondStaging / "Config.ini", s.config, s.second, s.sink) ==
            config::SecondPackageCheck::EndApplication) {
            return false;
        }
    }
    // Outside programs the package does not carry run as the stand-ins installed with the tool.
    for (const auto& tool : controller::StageToolsFromFolder(s.folders.staging, ProgramFolder(), s.config)) {
        s.view.Note(fmt::format("{} staged from {}", tool, ProgramFolder().string()));
    }
    s.imageFolder = options.imageFolder.empty() ? s.folders.staging : std::filesystem::path(options.imageFolder);

    controller::DiscoverySettings discoverySettings = controller::DefaultDiscoverySettings();
    if (auto ini = platform::IniFile::Load(s.folders.staging / "Config.ini")) {
        discoverySettings = controller::ReadDiscoverySettings(*ini);
    }
    if (auto own = platform::IniFile::Load(platform::AppConfigDir() / "device-discovery.ini")) {
        discoverySettings = controller::AddOperatorTable(std::move(discoverySettings), *own);
    }
    controller::ProbeSettings probe;
    probe.projectType = s.config.projectType;
    probe.checkProjectCode = s.config.bCheckProjectCode;
    probe.checkMainboardType = s.config.bCheckMainboardType;
    probe.memoryCheck = s.config.memoryCheck;
    probe.packageName = s.config.name;
    s.discovery = std::make_unique<controller::DeviceDiscovery>(
        clock, platform::DeviceRoot(), discoverySettings, probe,
        [&view = s.view](std::string_view line) { view.ShowLine(0, 4, std::string(line)); });
    s.directory = std::make_unique<controller::DiscoveryDirectory>(*s.discovery);
    s.directory->setVersionLabelSink([&view = s.view](std::string_view text) { view.Note(std::string(text)); });
    s.directory->WatchDevices(platform::DeviceRoot(), [&s](bool arrival, const std::string&) {
        // A unit taken away ends a refusal: the next one is checked afresh.
        if (!arrival) {
            int refused = 2;
            s.checkVerdict.compare_exchange_strong(refused, 0);
        }
        if (auto* controller = s.controller.load()) controller->DeviceChanged(arrival);
    });

    s.modeSwitch = std::make_unique<controller::ModeSwitchLauncher>(
        s.imageFolder, [&view = s.view](std::string_view line) { view.ShowLine(0, 4, std::string(line)); });
    controller::DeviceCheckHooks hooks;
    hooks.status = [&s](std::string_view text, bool ready) {
        s.view.SetStatus(std::string(text), controller::RunState::Idle);
        if (ready) s.checkVerdict.store(1);
    };
    hooks.warning = [&s](std::string_view text) {
        s.view.ShowMessage({"Warning", std::string(text)});
        s.lastWarning = std::string(text);
        s.checkVerdict.store(2);
    };
    hooks.runDriverInstaller = [&s, &clock, deviceRoot = options.deviceRoot] {
        // Drivset runs from the image folder and leaves its verdict in that folder's Config.ini.
        // A package may carry its own installer; the tool's own stand-in sits beside the program.
        auto program = s.imageFolder / FLINTCAST_NATIVE_NAME("drivset", "drivset.exe");
        std::error_code ec;
        if (!std::filesystem::exists(program, ec)) {
            program = ProgramFolder() / FLINTCAST_NATIVE_NAME("drivset", "drivset.exe");
        }
        platform::LaunchOptions launch;
        launch.arguments = {s.imageFolder.string()};
        // A device tree named on the command line (the simulator's) is the one the installer
        // checks; without it, it would look at the machine's own drivers.
        if (!deviceRoot.empty()) launch.environment = {{"FLINTCAST_DEVICE_ROOT", deviceRoot}};
        if (platform::LaunchDetached(program, launch) < 0) {
            // Without its installer the unit is never judged ready: say so once, not silently.
            if (!s.reportedMissingInstaller) {
                s.view.ShowLine(0, 4, fmt::format("Driver installer could not be started: {} ({})", program.string(),
                                                  std::strerror(errno)));
            }
            s.reportedMissingInstaller = true;
            return false;
        }
        clock.sleepMs(kDriverInstallerWaitMs);
        return config::ReadUninstallUDisk(s.imageFolder / "Config.ini") == 1;
    };
    // Before every pass the mode switch program, staged in the image folder, is started.
    hooks.runModeSwitchTool = [&s] { s.modeSwitch->Launch(); };
    hooks.markDriverUninstalled = [&s] { config::ResetUninstallUDisk(s.imageFolder / "Config.ini"); };
    s.check = std::make_unique<controller::DeviceCheck>(*s.discovery, s.config, std::move(hooks), s.second.version);
    return true;
}

// Waits until the device check found the device ready, or time ran out. A refused unit may be
// replaced within the wait: its removal restarts the check. A resume needs no ready unit, only
// one that shows a diagnostic port: it may still be in download or programmer mode, or run the
// version the check refuses; or, when the package has fastboot images, one that waits in
// fastboot mode. The controller's timers run meanwhile: the start reminder may end the wait and
// the tool.
bool FastbootUnitWaiting(Session& s) {
    std::string path;
    return s.config.anyFastbootImage() && s.discovery->FindFastbootDevice(0, path) == 0;
}

bool WaitForReadyDevice(Session& s, controller::RunController& controller, int seconds, bool resume) {
    auto& clock = platform::SystemClock();
    s.check->Start();
    const uint32_t start = clock.tickMs();
    const uint32_t limit = static_cast<uint32_t>(seconds) * 1000u;
    bool refusalNoted = false;
    bool resumable = false;
    while (s.checkVerdict.load() != 1 && !gInterrupted.load() && !controller.endRequested()) {
        const bool refused = s.checkVerdict.load() == 2;
        if (resume && (refused || !s.discovery->boxes().diag.empty() || FastbootUnitWaiting(s))) {
            resumable = true;
            break;
        }
        if (refused && !refusalNoted) {
            s.view.Note("Replace the unit to have another one checked.");
            refusalNoted = true;
        }
        const uint32_t waited = clock.tickMs() - start;
        if (waited >= limit) break;
        s.view.Waiting(limit - waited);
        controller.PumpEvents(clock.realTimeoutMs(kDeviceWaitPollMs));
    }
    s.view.Waiting(0);
    if (s.checkVerdict.load() == 1 || resumable) {
        controller.StopStartReminder();
        return true;
    }
    s.check->Stop();
    if (!gInterrupted.load() && !controller.endRequested()) {
        s.view.Error(s.checkVerdict.load() == 2 ? std::string("The unit was refused.")
                                                : fmt::format("No ready device was found in {} s.", seconds));
    }
    return false;
}

void CatchStopSignals() {
    gInterrupted.store(false);
    platform::CatchStopRequests(OnInterrupt);
}

}  // namespace

PresentationSetup PresentationFor(const RunOptions& options) {
    PresentationSetup setup;
    setup.style = ChooseOutputStyle(stdout, options.json);
    setup.answers = ChooseAnswerMode(options.yes);
    setup.verbose = options.verbose;
    setup.colour = setup.style == OutputStyle::Terminal && ColourWanted(stdout);
    setup.errColour = setup.style != OutputStyle::Json && ColourWanted(stderr);
    return setup;
}

namespace {

// The run's steps; `runLog` is set to the run log of a run that did not pass.
int UpdateSteps(const RunOptions& options, TerminalPresentation& view, std::string& failedRunLog) {
    PresentationSink lockSink(view);
    auto lock = AcquireSingleInstance(lockSink);
    if (!lock) return kExitRefused;

    platform::SettingsStore settings;
    if (options.resume) {
        // Only a run that failed after its backup can be resumed; the full update is `run`.
        const auto stored = settings.readString(platform::SettingsStore::kDownloadStatus).value_or("");
        if (controller::PlanResume(stored).statusWrong) {
            view.Error(fmt::format("Nothing to resume: no failed update is recorded{}. `flintcast run` updates the "
                                   "device from the start.",
                                   stored.empty() ? std::string() : fmt::format(" (last status: \"{}\")", stored)));
            return kExitNothingToResume;
        }
    }

    Session s(view);
    if (!Prepare(options, s)) {
        controller::CleanUpStaging(s.folders, s.dualPackage);
        return kExitConfigError;
    }
    // The operator's connection utility must not share the device: its locks are held until exit.
    const auto utility = controller::CheckOperatorUtility(s.config.projectType, s.config.versionMarker);
    if (utility.refusal) {
        s.sink.show(*utility.refusal);
        controller::CleanUpStaging(s.folders, s.dualPackage);
        return kExitRefused;
    }
    controller::DiscoveryEnvironment environment(*s.discovery, *s.check, s.folders, s.imageFolder, s.sink);
    if (s.dualPackage) environment.SetSecondPackage(s.second);
    if (!environment.VerifyImageSet(s.config, false, s.images)) {
        environment.RemoveStagingFolders();
        return kExitConfigError;
    }
    view.SetImageBytes(s.images.totalBytes);
    controller::RunControllerSetup setup;
    setup.clock = &platform::SystemClock();
    setup.view = &view;
    setup.settings = &settings;
    setup.directory = s.directory.get();
    setup.environment = &environment;
    setup.config = s.config;
    setup.images = s.images;
    setup.logRoot = platform::RunLogDir();
    setup.autotestMarker = platform::AutotestMarkerDir();
    setup.autotestFlag = options.autotest;
    setup.imageFolder = s.imageFolder.string();
    setup.stagingFolder = s.folders.staging.string();
    setup.backupRoot = s.folders.backup.string();
    // `flintcast resume` restores from the folder the failed run stored, under any date.
    setup.storedBackupRoot = platform::BackupRoot().string();
    controller::DeviceDataService dataService;
    setup.dataOps = &dataService;
    controller::RunController controller(std::move(setup));
    controller.Initialize();
    s.controller.store(&controller);
    CatchStopSignals();
    if (!WaitForReadyDevice(s, controller, options.deviceWaitSeconds, options.resume)) {
        s.directory->StopWatching();
        s.controller.store(nullptr);
        environment.RemoveStagingFolders();
        return gInterrupted.load() ? kExitStopped : kExitRefused;
    }

    const bool started = options.resume ? controller.Reupdate1Click() : controller.StartClick();
    bool stopSent = false;
    while (controller.Running() || controller.RestartPending()) {
        controller.PumpEvents(100);
        const bool readerGone = options.stopWhenOutputCloses && view.outputClosed();
        if ((gInterrupted.load() || readerGone) && !stopSent) {
            stopSent = true;
            controller.StopClick();
        }
    }
    controller.PumpEvents(0);
    const std::string runLog = controller.runLogPath().string();
    controller.Exit();
    s.directory->StopWatching();
    s.controller.store(nullptr);
    int code = kExitFailure;
    if (!started && !controller.lastRunEnded()) {
        code = kExitRefused;
    } else if (controller.lastRunPassed()) {
        code = kExitOk;
    } else if (stopSent) {
        code = kExitStopped;
    }
    view.FinishPhases(code == kExitOk       ? controller::PhaseOutcome::Ok
                      : code == kExitStopped ? controller::PhaseOutcome::Stopped
                                             : controller::PhaseOutcome::Failed);
    std::error_code ec;
    if (code != kExitOk && !runLog.empty() && std::filesystem::exists(runLog, ec)) failedRunLog = runLog;
    return code;
}

}  // namespace

int RunUpdate(const RunOptions& options, TerminalPresentation& view) {
    std::string failedRunLog;
    const int code = UpdateSteps(options, view, failedRunLog);
    if (options.reportResult) view.Result(code, failedRunLog);
    return code;
}

int ShowDevices(const RunOptions& options, TerminalPresentation& view) {
    Session s(view);
    if (!Prepare(options, s)) {
        controller::CleanUpStaging(s.folders, s.dualPackage);
        return kExitConfigError;
    }
    // One pass of the project's check on the unit the discovery picks, then every unit listed.
    s.check->RunDeviceCheck();
    const auto boxes = s.discovery->boxes();
    const auto scanned = platform::ScanUsbSerialPorts(platform::DeviceRoot());
    const auto units = controller::GroupAttachedUnits(scanned.value_or(std::vector<platform::UsbSerialPort>{}), boxes);
    const std::string checked = boxes.diag.empty() ? std::string() : boxes.diag.front();
    auto list = [](const std::vector<std::string>& ports) {
        std::string text;
        for (const auto& p : ports) text += (text.empty() ? "" : ",") + p;
        return text.empty() ? std::string("-") : text;
    };
    for (const auto& unit : units) {
        std::string verdict = "not checked";
        if (!checked.empty() && std::find(unit.diag.begin(), unit.diag.end(), checked) != unit.diag.end()) {
            verdict = s.checkVerdict.load() == 1 ? "ready" : s.lastWarning.empty() ? "not ready" : s.lastWarning;
        }
        if (options.json) {
            view.Raw(DeviceJson({{"usb_path", unit.usbPath},
                                 {"vendor_id", unit.vendorId},
                                 {"product_id", unit.productId},
                                 {"personality", unit.personality},
                                 {"diagnostic_ports", unit.diag},
                                 {"modem_ports", unit.modem},
                                 {"terminal_ports", unit.terminal},
                                 {"verdict", verdict}})
                         .dump());
        } else {
            view.Raw(fmt::format("{:<10} {}:{}  {:<9} diag {:<10} modem {:<10} {}", unit.usbPath, unit.vendorId,
                                 unit.productId, unit.personality, list(unit.diag), list(unit.modem), verdict));
        }
    }
    if (units.empty()) view.Error("No unit attached.");
    controller::CleanUpStaging(s.folders, s.dualPackage);
    return units.empty() ? kExitRefused : kExitOk;
}

int WithAttachedUnit(const RunOptions& options, TerminalPresentation& view, const UnitWork& work) {
    PresentationSink lockSink(view);
    auto lock = AcquireSingleInstance(lockSink);
    if (!lock) return kExitRefused;
    Session s(view);
    if (!Prepare(options, s)) {
        controller::CleanUpStaging(s.folders, s.dualPackage);
        return kExitConfigError;
    }
    auto& clock = platform::SystemClock();
    const uint32_t start = clock.tickMs();
    const uint32_t limit = static_cast<uint32_t>(options.deviceWaitSeconds) * 1000u;
    // A unit shows its diagnostic port first; its modem port (for the identity values) is given
    // a while longer to be found, as a probe of it may not answer at the first scan.
    std::string diag, modem;
    std::optional<uint32_t> diagSince;
    for (;;) {
        s.directory->RescanPorts();
        diag = s.directory->FoundDiagPort();
        modem = s.directory->FoundModemPort();
        if (!diag.empty() && !diagSince) diagSince = clock.tickMs();
        const uint32_t now = clock.tickMs();
        if ((!diag.empty() && !modem.empty()) || now - start >= limit ||
            (diagSince && now - *diagSince >= kModemPortGraceMs))
            break;
        clock.sleepMs(kDeviceWaitPollMs);
    }
    int code = kExitRefused;
    if (diag.empty()) {
        view.Error(fmt::format("No unit with a diagnostic port was found in {} s.", options.deviceWaitSeconds));
    } else {
        code = work(diag, modem, *s.directory, s.config);
    }
    s.directory->StopWatching();
    controller::CleanUpStaging(s.folders, s.dualPackage);
    return code;
}

}  // namespace flintcast::cli
