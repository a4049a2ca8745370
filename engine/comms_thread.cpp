#include "engine/comms_thread.h"

#include <array>
#include <filesystem>
#include <system_error>

#include <fmt/format.h>
#include <fmt/ranges.h>

#include "config/project_traits.h"
#include "engine/adb_file_backup.h"
#include "engine/backup_file_check.h"
#include "engine/at_channel.h"
#include "engine/device_data_ops.h"
#include "engine/device_directory.h"
#include "engine/diag_exchange.h"
#include "engine/diag_mode.h"
#include "engine/diag_requests.h"
#include "engine/dmss_bootloader.h"
#include "engine/fastboot_stage.h"
#include "engine/image_procedures.h"
#include "engine/modemkick_runner.h"
#include "engine/reset_rediscovery.h"
#include "engine/reset_rules.h"
#include "engine/streaming_download.h"
#include "engine/unit_archive_capture.h"
#include "engine/unit_archive_check.h"
#include "engine/identity_table.h"
#include "engine/worker_folders.h"
#include "platform/local_time.h"

namespace flintcast::engine {

namespace {

constexpr std::string_view kSeparatorLine = "-------------------------------------------------";
constexpr int kPlatformAttempts = 3;

std::string StripIdentityText(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c != '\r' && c != '\n' && c != '"') out.push_back(c);
    }
    return out;
}

bool UsableIdentityPart(bool read, const std::string& value) {
    return read && value.find("0000000000") == std::string::npos;
}

AtSettings AtSettingsFor(const config::ProjectConfig& cfg) {
    AtSettings s;
    s.fastSpeed = cfg.bFastSpeedDownload;
    s.phoneProject = cfg.phoneProject;
    s.versionMarker = config::IsVersionMarked(cfg);
    s.simLockMode = cfg.simLockMode;
    s.simLockString = cfg.simLockString;
    return s;
}

// Start-of-run disk switch: D1 for the data cards with a read-only drive, D2 for those with a
// plain disk, none for the rest.
std::string_view StartOfRunDiskCommand(int32_t project) {
    switch (config::StartOfRunDisk(project)) {
        case config::StartDiskMode::D1: return "AT+DISK=8,\"D1\"\r\n\r\n";
        case config::StartDiskMode::D2: return "AT+DISK=8,\"D2\"\r\n\r\n";
        case config::StartDiskMode::None: break;
    }
    return {};
}

// NV backup variants: networks 1 and 2 and the CDMA-only cards have no RF items to keep.
bool BacksUpOnlyPlainNvItems(const config::ProjectConfig& cfg) {
    return config::IsCdmaOnly(cfg.projectType) || cfg.networkType == 1 || cfg.networkType == 2;
}

}  // namespace

TCommsThread::TCommsThread(platform::Clock& clock, DeviceDirectory& directory, DeviceDataOps* dataOps,
                           WorkerSetup setup, WorkerHooks hooks)
    : clock_(clock),
      directory_(directory),
      data_(dataOps),
      setup_(std::move(setup)),
      cfg_(setup_.config),
      hooks_(std::move(hooks)),
      reporter_(setup_.slotIndex, hooks_.reporter),
      serial_(clock_, reporter_),
      frames_(clock_, reporter_, serial_),
      ctx_{clock_, reporter_, serial_, frames_, cfg_, cfg_.projectType},
      progress_(setup_.images.totalBytes) {
    serial_.diagPortName = setup_.diagPort;
    serial_.modemPortName = setup_.modemPort;
    serial_.fastSpeed = cfg_.bFastSpeedDownload;
    serial_.blockSize = static_cast<uint32_t>(cfg_.blockSize);
    serial_.projectType = cfg_.projectType;
    reporter_.setCommErrorClearer([this] { serial_.ClearDiagCommErrors(); });
    at_ = std::make_unique<AtChannel>(ctx_, directory_, AtSettingsFor(cfg_));
    if (data_ != nullptr) {
        ownData_ = data_->ForWorker(DeviceDataBinding{ctx_, *at_, &progress_, setup_.images.partOfEfsFiles});
        if (ownData_) data_ = ownData_.get();
    }
}

TCommsThread::~TCommsThread() { Join(); }

void TCommsThread::Resume() {
    thread_ = std::thread([this] {
        Execute();
        finished_.store(true);
        reporter_.NotifyEnd();
    });
}

void TCommsThread::Join() {
    if (thread_.joinable()) thread_.join();
}

std::string TCommsThread::diagPortName() const { return serial_.diagPortName; }

// --- shorthands -------------------------------------------------------------------------------

bool TCommsThread::AmssOnly() const { return config::IsAmssOnly(cfg_); }

bool TCommsThread::VersionMarked() const { return config::IsVersionMarked(cfg_); }

bool TCommsThread::AmssOnlyWithRestore() const {
    return AmssOnly() && config::RestoresAfterAmssOnly(cfg_.projectType);
}

bool TCommsThread::ImageItems() const {
    return cfg_.bAMSSFile || cfg_.bPhoneImage || cfg_.bEFS || cfg_.bRawAppsEFS || cfg_.bBootloader ||
           cfg_.bCfgdata || cfg_.pcSuite || cfg_.bAppsBootloader || cfg_.bAppsImageAndBootloader;
}

bool TCommsThread::FastbootImages() const { return cfg_.anyFastbootImage(); }

bool TCommsThread::WritesImages() const { return ImageItems() || FastbootImages(); }

bool TCommsThread::SendResetCommand() {
    StreamingDownload streaming(ctx_, progress_, &directory_);
    const bool reset = !config::PowersOffAtEnd(cfg_.projectType, cfg_.phoneProject);
    return (reset ? streaming.Reset() : streaming.PowerOff()) == 0;
}

// After the first reset and restore the device runs its normal firmware, which does not speak
// the streaming protocol: a streaming reset would go unanswered and fail a run whose data was
// already restored. It is reset with the DIAG offline and reset requests instead.
bool TCommsThread::SendSecondResetCommand() {
    if (!firstResetDone_) return SendResetCommand();
    return SetDiagOffline(ctx_) == 0 && SetDiagReset(ctx_) == 0;
}

ResetRediscovery TCommsThread::Rediscovery() {
    ResetSettings settings;
    settings.fastSpeed = cfg_.bFastSpeedDownload;
    settings.networkType = cfg_.networkType;
    settings.versionMarkedAmssOnly = VersionMarked() && AmssOnly();
    return ResetRediscovery(ctx_, directory_, settings);
}

bool TCommsThread::HaveDataOps(std::string_view what) {
    if (data_ != nullptr) return true;
    reporter_.ShowError(fmt::format("{} is not available in this build", what), 0);
    return false;
}

// --- the run ----------------------------------------------------------------------------------

void TCommsThread::Execute() {
    try {
        Start();
        CheckFastbootImages();
        if (cfg_.fastbootOnly) {
            if (ok()) MakeFastbootStage().RunFastbootOnly();
            if (ok()) {
                reporter_.SetProgress(100, DownloadProgress::kMaximum);
                reporter_.ShowStatus(LineClass::Pass, "PASS");
            }
            return;
        }
        if (setup_.resumeRun) LoadStoredBackup();
        if (setup_.resumeInFastboot) {
            FastbootResumeStep();
        } else {
            OpeningStep();
            BackupStep();
            DeviceFileStep();
            ImageDownloadStep();
            FastbootStep();
        }
        if (!FirstResetAndRestore()) return;
        SecondResetAndRestore();
    } catch (const FolderCreationError&) {
        // Reported by CreateFolderPath; the ports are still closed below.
    }
    ClosingStep();
}

void TCommsThread::Start() {
    // The NV lists are built before the latch is cleared, as the backup needs them.
    if (cfg_.bBackup && HaveDataOps("NV backup")) data_->BuildNvLists();
    // A resumed run carries out what is left of the configuration the controller reduced,
    // reporting as a normal run does; the steps below serve both. It takes its backup files
    // from the earlier run's folder (LoadStoredBackup) in place of the backup step.
    if (ok()) reporter_.ShowStatus(LineClass::Ordinary, "Start succssfully");
    reporter_.BeginRun();
    progress_.reset();
    progress_.setTotal(setup_.images.totalBytes);
    reporter_.SetProgress(0, DownloadProgress::kMaximum);
}

void TCommsThread::OpeningStep() {
    if (!cfg_.phoneProject) {
        at_->OpenDiagService();
        serial_.CloseWithRetry(PortSlot::Modem, close_label::kAfterDiagService);
    }
    bool needModem = cfg_.bBackup || cfg_.bRestore || cfg_.pcSuite || !cfg_.startAtList.empty() ||
                     !cfg_.endAtList.empty() || AmssOnlyWithRestore() || VersionMarked();
    // A resumed run starts without a modem port when the device shows none (it may still be in
    // download mode); the ports are found again after the reset that precedes the restore.
    if (setup_.resumeRun && setup_.modemPort.empty()) needModem = false;
    if (ok() && needModem) serial_.OpenModemPort();
    if (ok()) serial_.OpenDiagPort();
    if (ok() && cfg_.platformNumber != config::kUnknownPlatform) PlatformCheck();
    // A resumed unit without a modem port (still in download or programmer mode) had its start
    // list from the failed run; the end list follows once it runs its firmware again.
    const bool modemAway = setup_.resumeRun && !needModem;
    if (ok() && !cfg_.startAtList.empty() && !modemAway) at_->RunStartATList(cfg_.startAtList);
    if (ok()) StartOfRunUsbMode();
    if (cfg_.bBackupUserData) userDataEntries_.clear();
}

void TCommsThread::PlatformCheck() {
    reporter_.ShowStatus(LineClass::Ordinary, kPlatformRequestLine);
    int platform = -1;
    for (int attempt = 0; attempt < kPlatformAttempts && ok(); ++attempt) {
        const auto buildId = diag::ParseExtendedBuildId(DiagExchange(ctx_, diag::ExtendedBuildIdRequest()).payload());
        if (ok() && buildId) {
            platform = buildId->platform();
            break;
        }
    }
    if (platform < 0) {
        reporter_.ShowError(kPlatformFailure);
    } else if (platform == cfg_.platformNumber) {
        reporter_.ShowStatus(LineClass::Ordinary, kPlatformOkLine);
    } else {
        reporter_.ShowError(kPlatformFailure);
        if (hooks_.ShowMessage) hooks_.ShowMessage("Warning", "Plantform type is not matched");
    }
}

void TCommsThread::StartOfRunUsbMode() {
    if (!(cfg_.pcSuite || AmssOnlyWithRestore() || VersionMarked())) return;
    std::string_view command = StartOfRunDiskCommand(cfg_.projectType);
    if (command.empty()) return;
    if (!at_->SendAT(command)) reporter_.ShowError("Fail to set from modem start");
}

std::string TCommsThread::DeviceTag() const {
    const auto& id = data_->identity();
    std::string tag = "SN[" + StripIdentityText(id.serialNumber) + "]";
    const std::string imei = StripIdentityText(id.imei);
    const std::string meid = StripIdentityText(id.meid);
    if (UsableIdentityPart(id.imeiRead, imei)) tag += "IMEI[" + imei + "]";
    if (UsableIdentityPart(id.meidRead, meid)) tag += "MEID[" + meid + "]";
    return tag;
}

bool TCommsThread::KeepEarlierBackup() {
    // After a failed update the device holds wiped values, so an earlier backup of it may be
    // the only good copy: it is moved aside, never deleted.
    const MoveAsideResult moved = MoveAsideEarlierBackup(deviceBackupFolder_, BackupStamp(platform::LocalTimeNow()));
    if (!moved.ok) {
        reporter_.ShowError(moved.error, 0);
        return false;
    }
    if (!moved.movedTo.empty()) {
        reporter_.ShowStatus(LineClass::Ordinary, fmt::format("Earlier backup kept in {}", moved.movedTo));
    }
    return true;
}

void TCommsThread::BackupStep() {
    // A resumed run made its backup in the earlier run (LoadStoredBackup took it over).
    if (setup_.resumeRun) {
        reporter_.ShowStatus(LineClass::Ordinary, kSeparatorLine);
        return;
    }
    bool identityAndNvSaved = false;
    if ((cfg_.bBackup || cfg_.bBackupUserData) && ok() && HaveDataOps("Backup")) {
        data_->ReadIdentity();
        const auto& id = data_->identity();
        if (!id.imeiRead) reporter_.ShowError("[Dload] Fail to Read IMEI");
        if (!id.serialNumberRead) reporter_.ShowError("[Dload] Fail to Read SN");
        if (!id.testInfoRead) reporter_.ShowError("[Dload] Fail to Read Testinf");
        if (ok()) {
            // The tag comes from the device: it is made safe before it names a folder.
            deviceBackupFolder_ = setup_.backupRoot + "/" + SafeFolderName(DeviceTag());
        }
        if (ok() && KeepEarlierBackup()) {
            CreateFolderPath(reporter_, deviceBackupFolder_ + "/EFS");
            backupFolderOfThisRun_ = deviceBackupFolder_;
            clock_.sleepMs(10);
            data_->SetBackupPaths(deviceBackupFolder_, deviceBackupFolder_ + "/at.bak",
                                  deviceBackupFolder_ + "/nv.bak", deviceBackupFolder_ + "/nv1.bak");
            data_->WriteIdentityBackup();
            if (config::UsesProjectNvCatalogue(cfg_)) {
                data_->BackupProjectNvItems();
            } else if (BacksUpOnlyPlainNvItems(cfg_)) {
                data_->BackupNvItems();
            } else {
                data_->BackupNvItems();
                data_->BackupRfNvItems();
            }
            identityAndNvSaved = ok();
        }
    }
    if (cfg_.bBackupUserData && ok() && HaveDataOps("User data backup")) {
        data_->EnumDirAndMakeDir();
        data_->BackupUserDataFiles();
    }
    if (cfg_.bBackupARM11Files && ok()) {
        // Without the identity backup the file has a folder of its own under the backup root.
        if (deviceBackupFolder_.empty()) {
            deviceBackupFolder_ = setup_.backupRoot + "/" + SafeFolderName("ADB");
            if (KeepEarlierBackup()) backupFolderOfThisRun_ = deviceBackupFolder_;
        }
        if (ok()) {
            CreateFolderPath(reporter_, deviceBackupFolder_ + "/" + AdbBackupSubfolder(cfg_.arm11File));
            Adb().BackupAdbFile(deviceBackupFolder_);
            if (ok()) reporter_.ShowStatus(LineClass::Ordinary, "WIFI file backup");
        }
    }
    // Images that wipe the unit's data come next: everything it holds is archived first, also
    // what the catalogues leave out, so that no loss can hide behind a PASS.
    if (identityAndNvSaved && ok() && WritesImages() && !SaveUnitArchive()) identityAndNvSaved = false;
    // The backup is complete only with its EFS mirror and board file: a resume trusts the
    // folder from this point on, so a tool stopped while it still writes them leaves nothing
    // a resume would restore from.
    if (identityAndNvSaved && ok()) {
        if (hooks_.BackupMade) hooks_.BackupMade(deviceBackupFolder_);
        reporter_.ShowStatus(LineClass::Ordinary, "Backup succssfully");
    }
    reporter_.ShowStatus(LineClass::Ordinary, kSeparatorLine);
}

bool TCommsThread::BackupFileDamaged(const std::string& folder) {
    // Each file is checked whole before any of it is restored; a damaged one stays as it is.
    struct Check {
        std::string path;
        std::optional<std::string> (*damage)(const std::string&);
    };
    const Check checks[] = {{folder + "/at.bak", IdentityBackupDamage},
                            {folder + "/nv.bak", NvBackupDamage},
                            {folder + "/nv1.bak", RfNvBackupDamage}};
    std::error_code ec;
    for (const auto& check : checks) {
        if (!std::filesystem::exists(check.path, ec)) continue;  // a missing file has its own line
        if (const auto damage = check.damage(check.path)) {
            reporter_.ShowError(fmt::format("Cannot resume: the backup file {} is damaged ({}); it is kept as it is "
                                            "and nothing is restored from it",
                                            check.path, *damage),
                                0);
            return true;
        }
    }
    return false;
}

void TCommsThread::LoadStoredBackup() {
    if (!ok() || !HaveDataOps("Resumed run")) return;
    const std::string& folder = setup_.resumeBackupFolder;
    if (auto problem = StoredBackupFolderProblem(folder, setup_.resumeBackupRoot)) {
        reporter_.ShowError(fmt::format("Cannot resume: {}", *problem), 0);
        return;
    }
    // The device may no longer report its serial number: the folder is not named again from
    // the device, the earlier run's folder is used as it is.
    deviceBackupFolder_ = folder;
    data_->SetBackupPaths(folder, folder + "/at.bak", folder + "/nv.bak", folder + "/nv1.bak");
    if (BackupFileDamaged(folder)) return;
    if (!data_->LoadIdentityBackup()) return;
    const auto& id = data_->identity();
    // The values the backup step insisted on must be in at.bak, or it is not a backup of ours.
    if (!id.imeiRead || !id.serialNumberRead || !id.testInfoRead) {
        reporter_.ShowError(fmt::format("Cannot resume: {}/at.bak does not hold the IMEI, the serial number and "
                                        "the test information",
                                        folder),
                            0);
        return;
    }
    std::error_code ec;
    if (cfg_.bRestore && !std::filesystem::is_regular_file(folder + "/nv.bak", ec)) {
        reporter_.ShowError(fmt::format("Cannot resume: {}/nv.bak is missing", folder), 0);
        return;
    }
    if (cfg_.bBackupUserData && !data_->LoadUserDataBackup()) return;
    // The unit archive of the earlier run, when it made one, is checked against again.
    if (std::filesystem::is_regular_file(UnitArchivePath(), ec)) {
        auto stored = archive::Load(UnitArchivePath());
        if (!stored.archive) {
            reporter_.ShowError(fmt::format("Cannot resume: the unit archive {} is damaged ({}); it is kept as it is",
                                            UnitArchivePath(), stored.error),
                                0);
            return;
        }
        unitArchive_ = std::move(stored.archive);
    }
    backupFolderOfThisRun_ = folder;
    reporter_.ShowStatus(LineClass::Ordinary, fmt::format("Restoring from the backup in {}", folder));
}

void TCommsThread::DeviceFileStep() {
    if (!cfg_.bPartOfEFS || !ok()) return;
    if (!HaveDataOps("Part-of-EFS file operations")) return;
    data_->ApplyPartOfEfs();
    if (ok() && !cfg_.nvCommandList.empty()) data_->WriteNvCommandList();
    if (ok() && !cfg_.endAtList.empty()) at_->RunEndATList(cfg_.endAtList);
}

void TCommsThread::ImageDownloadStep() {
    if (!ImageItems() || !ok()) return;
    ResetRediscovery reset = Rediscovery();
    // A resumed unit may still be where the failed run left it: with its flash programmer
    // running (a run stopped during its images), or in download mode. It is asked in those
    // protocols first; a unit in its normal firmware answers neither and is switched.
    if (setup_.resumeRun) {
        StreamingDownload streaming(ctx_, progress_, &directory_);
        if (streaming.ProgrammerAnswers()) {
            reporter_.ShowStatus(LineClass::Ordinary, "The flash programmer is running already");
            RunStreamingStage(ctx_, setup_.images, progress_);
            return;
        }
    }
    const bool inDownloadMode = setup_.resumeRun && ok() && reset.AnswersAsBootloader();
    if (inDownloadMode) reporter_.ShowStatus(LineClass::Ordinary, "The unit is in download mode already");
    BootloaderSeams seams;
    seams.EnterDownloadMode = [&reset, inDownloadMode] { return inDownloadMode ? 0 : reset.EnterDownloadMode(); };
    seams.FindComPort = [&reset] { return reset.FindComPort(); };
    DmssBootloader bootloader(ctx_, directory_, progress_);
    const ProgrammerImage programmer{setup_.images.file(ImageSlot::Programmer).path,
                                     setup_.images.programmerLoadAddress};
    bootloader.RunBootloaderStage(programmer, seams);
    if (ok()) RunStreamingStage(ctx_, setup_.images, progress_);
}

void TCommsThread::FastbootStep() {
    if (!FastbootImages() || !ok()) return;
    ResetRediscovery reset = Rediscovery();
    StreamingDownload streaming(ctx_, progress_, &directory_);
    reset.ResetAndClose([&streaming] { return streaming.Reset(); });
    if (ok()) MakeFastbootStage().RunFastbootStage();
}

void TCommsThread::FastbootResumeStep() {
    if (!ok()) return;
    // Only the reset that ends the streaming stage takes the unit into fastboot mode, so the
    // streamed images are on it: the run writes the fastboot images, whose continue command
    // boots the unit for the restore.
    reporter_.ShowStatus(LineClass::Ordinary, kFastbootResumeLine);
    MakeFastbootStage().RunFastbootStage();
}

FastbootStage TCommsThread::MakeFastbootStage() {
    const platform::Clock& clock = clock_;
    return FastbootStage(ctx_, progress_, directory_, setup_.images, SelectionOf(cfg_),
                         [&clock](std::string_view name) { return OpenFastbootTransport(clock, name); });
}

void TCommsThread::CheckFastbootImages() {
    if (!ok() || !(FastbootImages() || cfg_.fastbootOnly)) return;
    // Refused before anything is written to the device, not halfway through the images.
    if (auto problem = FastbootImagesProblem(SelectionOf(cfg_), setup_.images)) reporter_.ShowError(*problem, 0);
}

AdbFileBackup& TCommsThread::Adb() {
    if (!adb_) {
        AdbRunner runner;
        if (auto program = FindAdbProgram(setup_.stagingFolder)) runner = ProgramAdbRunner(clock_, *program);
        adb_ = std::make_unique<AdbFileBackup>(ctx_, directory_, cfg_.arm11File, std::move(runner),
                                               LocalAdbServerProbe(clock_));
    }
    return *adb_;
}

void TCommsThread::RestoreOnDiagPort() {
    if (cfg_.bBackupUserData && HaveDataOps("User data restore")) data_->RestoreUserDataFiles();
    if (cfg_.bBackupARM11Files && ok()) Adb().RestoreAdbFile(deviceBackupFolder_);
    if (cfg_.bRestore && HaveDataOps("NV restore")) {
        if (config::UsesProjectNvCatalogue(cfg_)) data_->RestoreProjectNvItems();
        else data_->RestoreNvItems();
    }
    if (!cfg_.nvCommandList.empty() && HaveDataOps("NV command list")) data_->WriteNvCommandList();
}

bool TCommsThread::FirstResetAndRestore() {
    const bool markedAmssOnly = VersionMarked() && AmssOnly();
    const bool due = cfg_.pcSuite || config::AlwaysResetsBeforeRestore(cfg_.projectType) || AmssOnlyWithRestore() ||
                     markedAmssOnly;
    if (!ok() || !due) return true;

    if (AmssOnlyWithRestore() || markedAmssOnly) cfg_.bDISK = true;
    ResetRediscovery reset = Rediscovery();
    // After the fastboot stage the unit was reset already: its "continue" boots the new
    // firmware, and the ports were closed before the stage. A streaming reset would go to a
    // closed port and fail a run whose restore is still owed.
    const bool resetByFastboot = FastbootImages();
    if (!resetByFastboot && !SendResetCommand()) {
        reporter_.ShowError("Fail to reset or power off phone");
    } else {
        reporter_.ShowStatus(LineClass::Ordinary, "Reset or power off......");
        firstResetDone_ = true;
        serial_.CloseWithRetry(PortSlot::Diag, close_label::kFirstResetDiag);
        serial_.CloseWithRetry(PortSlot::Modem, close_label::kFirstResetModem);
        reset.WaitForDevice(ResetStage::First);
        const PortTexts ports = reset.RediscoverPorts(ResetStage::First);
        if (!markedAmssOnly) reset.ReopenAfterReset(ResetStage::First, PortKind::Diag, ports.diag);
        if (ok()) RestoreOnDiagPort();
        if (ok()) reset.ReopenAfterReset(ResetStage::First, PortKind::Modem, ports.modem);
        if (ok() && cfg_.bRestore) {
            if (!RestoreRfNvOffline()) {
                serial_.port(PortSlot::Modem).close();
                serial_.port(PortSlot::Diag).close();
                return false;
            }
            if (data_ != nullptr) data_->RestoreIdentity();
            CheckRestoredUnit();
        }
    }
    if (config::ResetsAfterDownload(cfg_.projectType, AmssOnly())) reset.ResetAfterDownload();
    if (ok()) at_->SwitchUsbPersonality(cfg_.bDISK, cfg_.bCDROM);
    if (ok() && !cfg_.endAtList.empty()) at_->RunEndATList(cfg_.endAtList);
    return true;
}

bool TCommsThread::RestoreRfNvOffline() {
    if (!at_->SendAT("AT+CFUN=5\r\n\r\n")) {
        reporter_.ShowError("Fail to Send Command!");
        return false;
    }
    if (HaveDataOps("RF NV restore")) {
        data_->RestoreRfNvItems();
        data_->FixRfNv20208();
    }
    at_->SendAT("AT+CFUN=1\r\n\r\n");
    rfRestored_ = true;
    return true;
}

bool TCommsThread::OwesRfRestore() const {
    if (rfRestored_ || backupFolderOfThisRun_.empty()) return false;
    std::error_code ec;
    return std::filesystem::is_regular_file(backupFolderOfThisRun_ + "/nv1.bak", ec);
}

void TCommsThread::SecondResetAndRestore() {
    if (!ok()) return;
    // A run that wrote images restores after the unit came back from its reset; only a run
    // that writes none restores on the ports as they are.
    if (WritesImages() || !(cfg_.bRestore || cfg_.bBackupUserData)) {
        const bool anyWritten = FastbootImages() || cfg_.bAMSSFile || cfg_.bAppsBootloader ||
                                cfg_.bAppsImageAndBootloader || cfg_.bEFS || cfg_.bRawAppsEFS ||
                                cfg_.bBootloader || cfg_.bCfgdata;
        const bool somethingAfter = cfg_.bRestore || !cfg_.nvCommandList.empty() || !cfg_.endAtList.empty();
        if (!(anyWritten && !cfg_.pcSuite && somethingAfter)) return;

        // With fastboot images the device was reset before the fastboot stage.
        if (!FastbootImages() && !SendSecondResetCommand()) {
            reporter_.ShowError("Fail to reset or power off......");
            return;
        }
        reporter_.ShowStatus(LineClass::Ordinary, "Reset or power off OK");
        serial_.CloseWithRetry(PortSlot::Diag, close_label::kFinalResetDiag);
        serial_.CloseWithRetry(PortSlot::Modem, close_label::kFinalResetModem);
        ResetRediscovery reset = Rediscovery();
        reset.WaitForDevice(ResetStage::Second);
        const PortTexts ports = reset.RediscoverPorts(ResetStage::Second);
        reset.ReopenAfterReset(ResetStage::Second, PortKind::Diag, ports.diag);
        if (ok()) RestoreOnDiagPort();
        if (ok()) reset.ReopenAfterReset(ResetStage::Second, PortKind::Modem, ports.modem);
        // The images may have wiped the RF calibration as well: it is written back here when
        // no earlier restore of this run did.
        if (ok() && cfg_.bRestore && OwesRfRestore()) RestoreRfNvOffline();
        if (ok() && cfg_.bRestore && HaveDataOps("Identity restore")) {
            data_->RestoreIdentity();
            CheckRestoredUnit();
        }
        if (ok() && !cfg_.endAtList.empty()) at_->RunEndATList(cfg_.endAtList);
        return;
    }
    // Only restore switches: restore on the ports as they are.
    if (cfg_.bBackupUserData && ok() && HaveDataOps("User data restore")) data_->RestoreUserDataFiles();
    if (cfg_.bBackupARM11Files && ok()) Adb().RestoreAdbFile(deviceBackupFolder_);
    if (HaveDataOps("NV restore")) {
        if (config::UsesProjectNvCatalogue(cfg_)) data_->RestoreProjectNvItems();
        else data_->RestoreNvItems();
    }
    if (ok() && !cfg_.nvCommandList.empty() && HaveDataOps("NV command list")) data_->WriteNvCommandList();
    if (ok() && setup_.resumeRun && OwesRfRestore()) RestoreRfNvOffline();
    if (data_ != nullptr) data_->RestoreIdentity();
    CheckRestoredUnit();
    if (ok() && !cfg_.endAtList.empty()) at_->RunEndATList(cfg_.endAtList);
}

void TCommsThread::ClosingStep() {
    const bool diagWasOpen = serial_.diagOpen();
    serial_.CloseWithRetry(PortSlot::Diag, close_label::kEndOfRunDiag);
    if (reporter_.stopRequested() && diagWasOpen) reporter_.ShowStatus(LineClass::FailureNotice, "COMM Closed");
    serial_.CloseWithRetry(PortSlot::Aux, close_label::kEndOfRunAux);
    if (serial_.modemOpen()) {
        if (config::ShowsDeviceVersionAtEnd(cfg_.projectType)) at_->ShowDeviceVersion();
        serial_.CloseWithRetry(PortSlot::Modem, close_label::kEndOfRunModem);
    }
    // "PASS" removes the backup: a run that wrote images and still owes the RF calibration it
    // backed up fails instead and keeps it.
    if (ok() && cfg_.bRestore && WritesImages() && OwesRfRestore()) {
        reporter_.ShowError(
            fmt::format("The RF NV items backed up in {} were not restored; the backup is kept", backupFolderOfThisRun_), 0);
    }
    // The outside reset tool resets the modem once everything else went well; its failure
    // latches and so takes the place of "PASS".
    if (ok() && cfg_.executeModemkick) RunModemkick(ctx_, ModemkickPlanFor(setup_.stagingFolder));
    for (const auto& label : archiveLosses_)
        reporter_.ShowStatus(LineClass::Ordinary, fmt::format("Warning: not restored: {}", label));
    if (!archiveLosses_.empty()) {
        reporter_.ShowStatus(LineClass::Ordinary,
                             fmt::format("Warning: {} item(s) the unit held before the update were not restored; they "
                                         "are kept in {} (flintcast restore-archive writes them back)",
                                         archiveLosses_.size(), UnitArchivePath()));
    }
    if (!ok()) return;
    if (!setup_.autotest && cfg_.bBackupARM11Files) AdbCleanUp();
    reporter_.SetProgress(100, DownloadProgress::kMaximum);
    clock_.sleepMs(2000);
    reporter_.ShowStatus(LineClass::Pass, "PASS");
    if (cfg_.bRestore || cfg_.bBackupUserData) RemoveBackupOfThisRun();
}

std::string TCommsThread::UnitArchivePath() const { return deviceBackupFolder_ + "/" + archive::kFileName; }

std::set<uint16_t> TCommsThread::ConfiguredNvIds() const {
    // The NV command list writes its items itself, whatever the backup held.
    std::set<uint16_t> ids;
    for (const auto& entry : cfg_.nvCommandList) {
        const auto colon = entry.find(':');
        if (colon == std::string::npos || colon == 0) continue;
        try {
            ids.insert(static_cast<uint16_t>(std::stol(entry.substr(0, colon))));
        } catch (const std::exception&) {
        }
    }
    return ids;
}

bool TCommsThread::SaveUnitArchive() {
    if (data_ == nullptr) return true;
    const uint32_t start = clock_.tickMs();
    CatalogueReads known;
    // Only what a catalogue backup of this run really asked counts as read: the listed NV
    // backup skips the two UIT items on most projects, and some variants have no RF backup.
    const bool listedNv = !config::UsesProjectNvCatalogue(cfg_);
    const bool rfBackedUp = listedNv && !BacksUpOnlyPlainNvItems(cfg_);
    std::vector<int32_t> nvIds, rfIds;
    data_->CatalogueIds(nvIds, rfIds);
    if (listedNv) {
        for (int32_t id : nvIds)
            if (id != 6503 && id != 6504) known.nvAsked.insert(static_cast<uint16_t>(id));
        LoadNvBackupRecords(deviceBackupFolder_ + "/nv.bak", known.nvActive);
    }
    if (rfBackedUp) {
        for (int32_t id : rfIds) known.rfAsked.insert(static_cast<uint16_t>(id));
        LoadRfNvBackupRecords(deviceBackupFolder_ + "/nv1.bak", known.rfAnswered);
    }
    for (const auto& field : IdentityFields())
        if (auto value = data_->AnsweredIdentity(field.value)) known.identity[field.value] = *value;
    if (cfg_.bBackupUserData) known.efsMirror = deviceBackupFolder_ + "/EFS";

    reporter_.ShowStatus(LineClass::Ordinary, "Archive everything the unit holds......");
    UnitArchiveCapture capture(ctx_, *at_);
    auto unit = capture.Capture(SafeFolderName(DeviceTag()), known);
    if (!unit) {
        if (ok()) reporter_.ShowError("The unit stopped answering while it was archived; nothing was written to it", 0);
        return false;
    }
    std::string error;
    if (!archive::Save(UnitArchivePath(), *unit, error)) {
        reporter_.ShowError(error, 0);
        return false;
    }
    size_t counts[6] = {};
    for (const auto& item : unit->items) ++counts[static_cast<size_t>(item.kind)];
    reporter_.ShowStatus(
        LineClass::Ordinary,
        fmt::format("Unit archive saved: {} identity values, {} NV items, {} RF NV items, {} EFS files in {} ms",
                    counts[1], counts[2], counts[3], counts[5], clock_.tickMs() - start));
    unitArchive_ = std::move(*unit);
    return true;
}

void TCommsThread::CheckRestoredUnit() {
    if (!ok() || !unitArchive_) return;
    const uint32_t start = clock_.tickMs();
    reporter_.ShowStatus(LineClass::Ordinary, "Read back the restored items......");
    UnitArchiveCapture capture(ctx_, *at_);
    const auto now = capture.ReadBack(unitArchive_->items);
    if (!now) {
        if (ok())
            reporter_.ShowError(
                fmt::format("Could not read back the restored items; the backup is kept in {}", deviceBackupFolder_), 0);
        return;
    }
    const auto configured = ConfiguredNvIds();
    const auto wrong = ItemsNotAsExpected(RestoredItems(deviceBackupFolder_, *unitArchive_, configured), *now);
    if (!wrong.empty()) {
        reporter_.ShowError(fmt::format("Restored items do not read back as backed up: {}; the backup is kept in {}",
                                        fmt::join(wrong, ", "), deviceBackupFolder_),
                            0);
        return;
    }
    archiveLosses_.clear();
    for (const auto& item : ItemsNotAsTheyWere(*unitArchive_, *now, configured))
        archiveLosses_.push_back(archive::ItemLabel(item));
    reporter_.ShowStatus(LineClass::Ordinary,
                         fmt::format("Restored items read back OK in {} ms", clock_.tickMs() - start));
}

void TCommsThread::AdbCleanUp() {
    Adb().CleanUp();
    // An adb program staged with the package leaves with the run; the system's stays.
    std::error_code ec;
    if (!setup_.stagingFolder.empty()) std::filesystem::remove(std::filesystem::path(setup_.stagingFolder) / "adb", ec);
}

void TCommsThread::RemoveBackupOfThisRun() {
    // Every restore has succeeded by "PASS". Only the folder this run made or restored from is
    // removed, and only below its backup root; earlier backups moved aside stay.
    if (backupFolderOfThisRun_.empty()) return;
    // The unit archive still holds what the unit lost: it stays for restore-archive.
    if (!archiveLosses_.empty()) return;
    const std::string& root = setup_.resumeRun ? setup_.resumeBackupRoot : setup_.backupRoot;
    if (!IsStrictlyInside(backupFolderOfThisRun_, root)) return;
    RemoveFolder(backupFolderOfThisRun_);
}

}  // namespace flintcast::engine
