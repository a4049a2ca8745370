#include "controller/run_controller.h"

#include <fmt/format.h>

#include <chrono>
#include <system_error>

#include "config/dual_package.h"
#include "controller/milestones.h"
#include "controller/run_rules.h"
#include "engine/comms_thread.h"
#include "engine/device_data_ops.h"
#include "engine/reporter.h"
#include "engine/worker_folders.h"
#include "platform/folder_tree.h"
#include "platform/paths.h"
#include "platform/settings_store.h"

namespace flintcast::controller {

namespace {

constexpr int kProbeCloseAttempts = 10;
constexpr uint32_t kProbeCloseWaitMs = 500;
constexpr uint32_t kDeviceCheckEndWaitMs = 500;
constexpr uint32_t kUnattendedRestartMs = 5000;
const std::string kLogRule(98, '-');

bool AnyDownloadOption(const config::ProjectConfig& c) {
    return c.bAppsBootloader || c.bAppsImageAndBootloader || c.bPhoneImage || c.bAMSSFile || c.bBackup ||
           c.bBootloader || c.bCfgdata || c.bEFS || c.bRawAppsEFS || c.bPartOfEFS || c.pcSuite || c.bRestore;
}

RunState StateForKind(int kind) {
    switch (kind) {
        case 1: return RunState::InProgress;
        case 2: return RunState::Failed;
        case 3: return RunState::Succeeded;
        default: return RunState::Idle;
    }
}

}  // namespace

RunController::RunController(RunControllerSetup setup)
    : setup_(std::move(setup)),
      clock_(*setup_.clock),
      view_(*setup_.view),
      config_(setup_.config),
      fullConfig_(setup_.config),
      images_(setup_.images) {}

RunController::~RunController() {
    for (auto& slot : slots_) {
        if (slot.worker) {
            slot.worker->RequestStop();
            slot.worker->Join();
        }
    }
}

bool RunController::Autotest() const {
    std::error_code ec;
    return setup_.autotestFlag || std::filesystem::is_directory(setup_.autotestMarker, ec);
}

bool RunController::Running() const {
    for (const auto& slot : slots_) {
        if (slot.worker) return true;
    }
    return false;
}

void RunController::Initialize() {
    auto stored = setup_.settings->readString(platform::SettingsStore::kDownloadStatus);
    if (!stored) setup_.settings->writeString(platform::SettingsStore::kDownloadStatus, "");
    setup_.settings->writeString(platform::SettingsStore::kDefaultValue, "temp");
    resumeOffered_ = ResumeOfferVisible(stored.value_or(""));
    view_.SetResumeOffer(resumeOffered_);
    if (UsesStartReminder(config_.projectType, VersionMarked())) reminderDueTick_ = clock_.tickMs() + kStartReminderMs;
}

bool RunController::JapaneseStatus() const {
    return UsesJapaneseStatus(config_.projectType, config_.language == config::Language::Japanese);
}

void RunController::FireStartReminder() {
    reminderDueTick_.reset();
    setup_.environment->StopDeviceCheck();
    view_.ShowMessage({VariantToolTitle(config_.projectType, config_.versionMarker),
                       StartReminderText(config_.projectType, config_.versionMarker)});
    endRequested_ = true;
}

// --- lines ------------------------------------------------------------------------------------

void RunController::SetStatus(std::string_view text, RunState state) {
    statusLabel_ = std::string(text);
    view_.SetStatus(statusLabel_, state);
}

void RunController::ShowStatusLine(const std::string& text, int kind) {
    const std::tm now = LocalNow();
    runLog_.WriteLine(now, text);
    view_.ShowLine(0, kind, text);

    // A resumed run starts like any run, but its start must not hide the milestone it resumes
    // from: should it fail as well, the next resume still knows what is done.
    const bool resumedStart = resumeFromBackup_ && text == kStartMilestone;
    if (IsMilestone(text) && !resumedStart) {
        // The milestone's log line reaches the disk before the stored state moves on.
        runLog_.SyncToDisk();
        setup_.settings->writeString(platform::SettingsStore::kDownloadStatus, text);
        if (text == kBackupMilestone) backupDone_ = true;
        // Every restore succeeded: the backup folder is gone and nothing is left to resume.
        if (text == kPassMilestone) StoreBackupFolder("");
    }

    if (kind == 3) {
        resumeOffered_ = false;
        view_.SetResumeOffer(false);
        CloseRunLogAndDelete();
        SetStatus(CompleteText(JapaneseStatus()), RunState::Succeeded);
        lastRunPassed_ = true;
    } else if (kind == 2) {
        if (backupDone_ && !reupdateMode_) {
            resumeOffered_ = true;
            view_.SetResumeOffer(true);
        }
        if (runLog_.IsOpen()) {
            runLog_.WriteRaw("");
            runLog_.WriteRaw(kLogRule);
            runLog_.WriteRaw(PleaLineFor(config_.projectType, VersionMarked()));
            runLog_.WriteRaw(kReplyLine);
            runLog_.WriteRaw(kInconvenienceLine);
            runLog_.WriteRaw(kLogRule);
            runLog_.Close();
        }
        SetStatus(UpgradeFailureText(JapaneseStatus()), RunState::Failed);
        lastRunPassed_ = false;
        if (AsksReupdateAfterFailure(config_.projectType, config::IsAmssOnly(config_))) {
            MessageAnswer answer = view_.ShowMessage({"Warning", std::string(kReupdateQuestion), MessageButtons::YesNo});
            // The worker is still on its way out; the resumed run starts once its slot is free.
            if (answer == MessageAnswer::Yes) Post([this] { Reupdate1Click(); });
        }
    } else if (kind != 4) {
        // A plain line leaves the run state as it is: a failed or passed run keeps its colour.
        view_.SetRunState(StateForKind(kind));
    }
}

// --- run log ----------------------------------------------------------------------------------

void RunController::OpenRunLogIfNeeded() {
    if (runLog_.IsOpen()) return;
    const auto folder = RunLogFolderFor(config_.projectType, setup_.logRoot);
    if (!runLog_.Open(folder, config_.caption, LocalNow())) {
        view_.ShowLine(0, 4, fmt::format("Cannot create the run log in {}", folder.string()));
    }
}

void RunController::CloseRunLogAndDelete() {
    runLog_.Close();
    if (Autotest() || runLog_.filePath().empty()) return;
    std::error_code ec;
    if (DeletesLogFolderOnPass(config_.projectType)) {
        platform::RemoveFolder(RunLogFolderFor(config_.projectType, setup_.logRoot).string());
    } else {
        std::filesystem::remove(runLog_.filePath(), ec);
    }
}

// --- Start, Re_update, Stop -------------------------------------------------------------------

void RunController::CloseProbeHandle(std::string_view noneLine, std::string_view notNullLine,
                                     std::string_view closedLine, std::string_view warningLine) {
    RunEnvironment& env = *setup_.environment;
    if (!env.HasProbeHandle()) {
        ShowStatusLine(std::string(noneLine), 4);
        return;
    }
    ShowStatusLine(std::string(notNullLine), 4);
    for (int attempt = 0; attempt < kProbeCloseAttempts; ++attempt) {
        if (env.TryCloseProbeHandle()) {
            ShowStatusLine(std::string(closedLine), 4);
            return;
        }
        ShowStatusLine(std::string(warningLine), 4);
        clock_.sleepMs(kProbeCloseWaitMs);
    }
}

bool RunController::FinishStart(bool started) {
    if (started) {
        SetStatus(UpgradingText(JapaneseStatus()), RunState::InProgress);
    } else {
        SetStatus(UpgradeFailureText(JapaneseStatus()), RunState::Failed);
    }
    return started;
}

bool RunController::StartClick() {
    OpenRunLogIfNeeded();
    ShowStatusLine(std::string(kToolVersion), 4);
    config_ = fullConfig_;
    if (UsesBrandedJapanese(config_.projectType)) {
        // The branded variants confirm before they start; some end on Cancel.
        MessageAnswer answer = view_.ShowMessage({std::string(BrandedCaption(config_.projectType)),
                                                  std::string(kBrandedStartConfirmation), MessageButtons::OkCancel});
        if (answer != MessageAnswer::Ok) {
            if (config::EndsOnCancel(config_.projectType)) {
                runLog_.Close();
                endRequested_ = true;
            }
            return false;
        }
    }
    backupDone_ = false;
    reupdateMode_ = false;
    resumeFromBackup_ = false;
    resumeBackupFolder_.clear();
    lastRunEnded_ = false;
    reminderDueTick_.reset();

    RunEnvironment& env = *setup_.environment;
    env.StopDeviceCheck();
    clock_.sleepMs(kDeviceCheckEndWaitMs);
    CloseProbeHandle("com null(start)", "com not null(start)", "close com(start)", "Warning-26");
    ShowStatusLine("Check......", 4);
    boxes_ = env.RefreshPortBoxes();
    // Every Start chooses afresh from the first package, so an unattended repeat on a device of
    // the other mainboard gets its own package.
    images_ = setup_.images;
    if (config::NeedsPackageSelection(config_) && !env.SelectPackage(config_, images_)) {
        CloseRunLogAndDelete();
        endRequested_ = true;
        return FinishStart(false);
    }
    ShowStatusLine("Check......completely", 4);
    return FinishStart(StartRun(0));
}

std::string RunController::StoredBackupRoot() const {
    return setup_.storedBackupRoot.empty() ? setup_.backupRoot : setup_.storedBackupRoot;
}

void RunController::StoreBackupFolder(const std::string& folder) {
    if (!setup_.settings->writeString(kBackupFolderSetting, folder)) {
        ShowStatusLine(fmt::format("Cannot store the backup folder: {}", setup_.settings->lastError()), 4);
    }
}

bool RunController::ApplyResumePlan() {
    auto stored = setup_.settings->readString(platform::SettingsStore::kDownloadStatus).value_or("");
    const ResumePlan plan = PlanResume(stored);
    config_ = fullConfig_;
    resumeFromBackup_ = false;
    resumeBackupFolder_.clear();
    if (plan.statusWrong) {
        ShowStatusLine("Status was wrong", 2);
        return true;
    }
    // The backup files come from the folder of the earlier run; the settings file that names it
    // can be edited, so it must name a folder inside the backup root.
    const std::string folder = setup_.settings->readString(kBackupFolderSetting).value_or("");
    if (auto problem = engine::StoredBackupFolderProblem(folder, StoredBackupRoot())) {
        const std::string text = fmt::format("Cannot resume: {}", *problem);
        ShowStatusLine(text, 4);
        Refuse("Warning", text);
        return false;
    }
    resumeFromBackup_ = true;
    resumeBackupFolder_ = folder;
    if (plan.backupOff) config_.bBackup = false;
    if (plan.bootloaderOff) config_.bBootloader = config_.bdbl = config_.bfsbl = config_.bosbl = false;
    if (plan.amssOff) config_.bAMSSFile = false;
    if (plan.appsImagesOff) config_.bAppsBootloader = config_.bAppsImageAndBootloader = false;
    if (plan.pcSuiteOff) config_.pcSuite = config_.bDISK = config_.bCDROM = config_.bResImage = false;
    if (plan.efsOff) config_.bEFS = config_.bRawAppsEFS = false;
    return true;
}

bool RunController::Reupdate1Click() {
    if (Running()) return false;
    backupDone_ = true;
    reupdateMode_ = true;
    lastRunEnded_ = false;
    OpenRunLogIfNeeded();
    if (!ApplyResumePlan()) return false;
    RunEnvironment& env = *setup_.environment;
    env.SetResumeBackupFolder(resumeBackupFolder_);
    if (!env.VerifyImageSet(config_, true, images_)) return FinishStart(false);
    env.StopDeviceCheck();
    CloseProbeHandle("com null-25", "com not null-25", "close com-25", "Warning-25");
    ShowStatusLine("Check......", 4);
    boxes_ = env.RefreshPortBoxes();
    ShowStatusLine("Check......completely", 4);
    return FinishStart(StartRun(0));
}

void RunController::StopClick() {
    ShowStatusLine("Shutting down COMM...", 4);
    if (slots_[0].worker) slots_[0].worker->RequestStop();
}

void RunController::Refuse(const std::string& caption, const std::string& text) {
    const bool branded = UsesBrandedJapanese(config_.projectType);
    view_.ShowMessage({branded ? std::string(BrandedCaption(config_.projectType)) : caption, text});
    SetStatus(UpgradeFailureText(JapaneseStatus()), RunState::Failed);
}

bool RunController::CanStartRun(int slot) {
    if (slot < 0 || slot >= kSlotCount || slots_[slot].worker) return false;
    const config::ProjectConfig& c = config_;
    // A resume with only the restore left lists nv.bak and at.bak and nothing else.
    if (images_.listedFiles == 0 && !c.bBackup) {
        Refuse("Download", "No Image File Loaded!");
        return false;
    }
    // A resumed run whose unit waits in fastboot mode (a fault struck between the reset into
    // fastboot and the unit's return) shows no serial port: it goes on with the fastboot images.
    resumeInFastboot_ = reupdateMode_ && resumeFromBackup_ && c.anyFastbootImage() &&
                        (boxes_.diag.empty() || boxes_.diag.front().empty()) &&
                        setup_.environment->FastbootDeviceReady();
    if (c.fastbootOnly) {
        if (!setup_.environment->FastbootDeviceReady()) {
            Refuse("Download", "ADB Interface Invalid");
            return false;
        }
    } else if (resumeInFastboot_) {
        slots_[slot].ports = SlotPorts{};
    } else {
        if (boxes_.diag.empty() || boxes_.diag.front().empty()) {
            Refuse("Download", "Port is empty");
            return false;
        }
        if (!reupdateMode_ && (boxes_.modem.empty() || boxes_.modem.front().empty())) {
            Refuse("Download", "Serial Port was not found.");
            return false;
        }
        if (boxes_.diag.size() > 1) {
            Refuse("Warning", "Two or more devices were found");
            return false;
        }
        SlotPorts ports;
        ports.diag = boxes_.diag.front();
        if (!boxes_.terminal.empty()) ports.terminal = boxes_.terminal.front();
        // The worker opens the modem port for an end list too, so a phone with one needs it.
        const bool needsModem = !c.phoneProject || c.pcSuite || c.bBackup || c.bRestore || !c.startAtList.empty() ||
                                !c.endAtList.empty();
        // A resumed run does not need a modem port (the device may be in download mode), but
        // takes the one the device shows: a restore without images runs on the ports as they are.
        if (needsModem && !boxes_.modem.empty()) ports.modem = boxes_.modem.front();
        if (!platform::IsValidPortName(ports.diag)) {
            Refuse("Download", "Invalid port number");
            return false;
        }
        const bool claimsModem = c.pcSuite || c.bBackup || c.bRestore;
        if (claims_.DiagInUse(ports.diag) || (claimsModem && claims_.ModemInUse(ports.modem))) return false;
        slots_[slot].ports = ports;
    }
    if (!AnyDownloadOption(c) && !c.fastbootOnly) {
        Refuse("Download", "No download option selected");
        return false;
    }
    // Operations whose modules this build does not have yet: refused before anything is claimed.
    auto missing = engine::UnavailableFeatures(c, setup_.dataOps != nullptr);
    if (!missing.empty()) {
        std::string list;
        for (const auto& item : missing) list += (list.empty() ? "" : ", ") + item;
        Refuse("Download", fmt::format("Not available yet: {}. Switch these items off in Config.ini to run.", list));
        return false;
    }
    return true;
}

bool RunController::StartRun(int slot) {
    if (!CanStartRun(slot)) return false;
    Slot& s = slots_[slot];
    claims_.Claim(s.ports);
    view_.SetProgress(slot, 0, 100);
    ShowStatusLine("Syncing......", 4);

    engine::WorkerSetup setup;
    setup.slotIndex = slot;
    setup.diagPort = s.ports.diag;
    setup.modemPort = s.ports.modem;
    setup.terminalPort = s.ports.terminal;
    setup.config = config_;
    setup.images = images_;
    setup.stagingFolder = setup_.stagingFolder;
    setup.backupRoot = setup_.backupRoot;
    setup.resumeRun = reupdateMode_ && resumeFromBackup_;
    setup.resumeBackupFolder = resumeBackupFolder_;
    setup.resumeBackupRoot = StoredBackupRoot();
    setup.resumeInFastboot = resumeInFastboot_;
    setup.autotest = Autotest();

    // Hooks run on the worker's thread: they only queue, the controller's thread carries out.
    engine::WorkerHooks hooks;
    hooks.reporter.OnStatus = [this](int32_t slotIndex, int32_t, int32_t kind, const std::string& text) {
        Post([this, slotIndex, kind, text] {
            if (slotIndex < 0 || slotIndex >= kSlotCount) {
                ShowStatusLine("Internal error found:  Index value out of bounds", 2);
                return;
            }
            if (kind == 2 || kind == 3) slots_[slotIndex].sawEnd = true;
            ShowStatusLine(text, kind);
        });
    };
    hooks.reporter.OnErrorText = [this](int32_t slotIndex, const std::string& text) {
        Post([this, slotIndex, text] {
            if (slotIndex >= 0 && slotIndex < kSlotCount) slots_[slotIndex].sawEnd = true;
            ShowStatusLine(text, 2);
        });
    };
    hooks.reporter.OnProgress = [this](int32_t slotIndex, int32_t position, int32_t maximum) {
        Post([this, slotIndex, position, maximum] { view_.SetProgress(slotIndex, position, maximum); });
    };
    hooks.reporter.OnEnd = [this](int32_t slotIndex) { Post([this, slotIndex] { OnTerminate(slotIndex); }); };
    hooks.ShowMessage = [this](const std::string& caption, const std::string& text) {
        Post([this, caption, text] { view_.ShowMessage({caption, text}); });
    };
    // Queued before the "Backup succssfully" line that follows it, so the folder is stored
    // before the milestone that makes a resume possible.
    hooks.BackupMade = [this](const std::string& folder) { Post([this, folder] { StoreBackupFolder(folder); }); };

    s.sawEnd = false;
    s.worker = std::make_unique<engine::TCommsThread>(clock_, *setup_.directory, setup_.dataOps, std::move(setup),
                                                      std::move(hooks));
    s.worker->Resume();
    return true;
}

// --- worker end -------------------------------------------------------------------------------

void RunController::OnTerminate(int slot) {
    if (slot < 0 || slot >= kSlotCount || !slots_[slot].worker) return;
    Slot& s = slots_[slot];
    s.worker->Join();
    const int32_t latch = s.worker->errorCode();
    // A stop before the diagnostic port was open ends the worker without any line of its own;
    // the run still has to show as ended, not as " Upgrading..." forever.
    if (!s.sawEnd && latch == engine::kStopRequest) ShowStatusLine("COMM Closed", 2);
    s.worker.reset();
    claims_.Release(s.ports);
    s.ports = {};
    lastRunEnded_ = true;
    view_.RunEnded(slot);

    // The success status in either language (the Japanese one does not contain "Complete").
    if (!Running() && (config_.bBackup || config_.pcSuite) && lastRunPassed_ && Autotest()) {
        restartDueTick_ = clock_.tickMs() + kUnattendedRestartMs;
    }
}

// --- events -----------------------------------------------------------------------------------

void RunController::Post(std::function<void()> event) {
    {
        std::lock_guard lock(queueMutex_);
        queue_.push_back(std::move(event));
    }
    queueCv_.notify_one();
    if (eventHook_) eventHook_();
}

void RunController::DeviceChanged(bool arrival) {
    // A unit leaving the bus removes all of its ports at once: one restart serves them all.
    if (arrival || checkRestartQueued_.exchange(true)) return;
    Post([this] {
        checkRestartQueued_.store(false);
        if (!Running()) setup_.environment->RestartDeviceCheck();
    });
}

int RunController::PumpEvents(int waitMs) {
    std::deque<std::function<void()>> batch;
    {
        std::unique_lock lock(queueMutex_);
        queueCv_.wait_for(lock, std::chrono::milliseconds(waitMs), [this] { return !queue_.empty(); });
        batch.swap(queue_);
    }
    int handled = 0;
    for (auto& event : batch) {
        event();
        ++handled;
    }
    if (reminderDueTick_ && !Running() && static_cast<int32_t>(clock_.tickMs() - *reminderDueTick_) >= 0) {
        FireStartReminder();
    }
    if (restartDueTick_ && !Running() && static_cast<int32_t>(clock_.tickMs() - *restartDueTick_) >= 0) {
        restartDueTick_.reset();
        StartClick();
    }
    return handled;
}

// --- download options ------------------------------------------------------------------------

DownloadOptions DownloadOptionsOf(const config::ProjectConfig& c) {
    return {c.bEFS, c.bBackup, c.bRestore, c.bAMSSFile, c.pcSuite, c.bCDROM, c.bDISK, c.bBootloader};
}

bool RunController::ApplyDownloadOptions(const DownloadOptions& options) {
    config::ProjectConfig next = fullConfig_;
    next.bEFS = options.efs;
    next.bBackup = options.backup;
    next.bRestore = options.restore;
    next.bAMSSFile = options.amss;
    next.pcSuite = options.pcSuite;
    next.bCDROM = options.cdrom;
    next.bDISK = options.disk;
    next.bBootloader = options.bootloader;
    engine::ImageSet images;
    if (!setup_.environment->VerifyImageSet(next, false, images)) return false;
    fullConfig_ = next;
    if (!Running()) config_ = next;
    setup_.images = images;
    images_ = std::move(images);
    return true;
}

bool RunController::ChangeImageFolder(const std::string& folder) {
    setup_.environment->SetImageFolder(folder);
    setup_.imageFolder = folder;
    engine::ImageSet images;
    const bool verified = setup_.environment->VerifyImageSet(fullConfig_, false, images);
    // A refused folder leaves no usable set: Start refuses with "No Image File Loaded!".
    if (!verified) images = {};
    setup_.images = images;
    images_ = std::move(images);
    return verified;
}

// --- closing ----------------------------------------------------------------------------------

bool RunController::CloseRequest() {
    if (!Running()) return true;
    if (UsesBrandedJapanese(config_.projectType)) {
        MessageAnswer answer = view_.ShowMessage({std::string(BrandedCaption(config_.projectType)),
                                                  std::string(kBrandedCloseQuestion), MessageButtons::YesNo});
        if (answer != MessageAnswer::Yes) return false;
    } else {
        MessageAnswer answer = view_.ShowMessage(
            {"Close", "There are tasks still downloading, do you want to terminate?", MessageButtons::OkCancel});
        if (answer != MessageAnswer::Ok) return false;
    }
    if (backupDone_ && !reupdateMode_) {
        resumeOffered_ = true;
        view_.SetResumeOffer(true);
    }
    return true;
}

void RunController::Exit() {
    restartDueTick_.reset();
    for (auto& slot : slots_) {
        if (slot.worker) slot.worker->RequestStop();
    }
    // Workers report their way out; their events are carried out until every slot is free.
    while (Running()) PumpEvents(50);
    setup_.settings->writeString(platform::SettingsStore::kImageFileFolder, setup_.imageFolder);
    setup_.settings->writeString(platform::SettingsStore::kCommPort, boxes_.diag.empty() ? "1" : boxes_.diag.front());
    setup_.settings->writeString(platform::SettingsStore::kSerialCommPort,
                                 boxes_.modem.empty() ? "1" : boxes_.modem.front());
    setup_.environment->RemoveStagingFolders();
}

}  // namespace flintcast::controller
