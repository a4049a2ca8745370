#pragma once
// The worker: one thread per device that runs the whole update from the first AT command to
// "PASS" — opening, backup, download mode, images, resets, restore, USB personality, closing.
// The run controller fills a WorkerSetup, creates the worker, starts it and from then on only
// listens to its hooks.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "config/project_config.h"
#include "engine/download_progress.h"
#include "engine/frame_layer.h"
#include "engine/image_set.h"
#include "engine/reporter.h"
#include "engine/reset_rediscovery.h"
#include "engine/serial_channel.h"
#include "engine/unit_archive.h"
#include "engine/worker_context.h"
#include "platform/clock.h"

namespace flintcast::engine {

class AdbFileBackup;
class AtChannel;
class DeviceDataOps;
class FastbootStage;
class DeviceDirectory;

// Everything a worker receives from the controller before it starts.
struct WorkerSetup {
    int32_t slotIndex = 0;
    std::string diagPort;      // "ttyUSB0"
    std::string modemPort;     // empty when not used
    std::string terminalPort;  // empty when there is none
    config::ProjectConfig config;
    ImageSet images;
    std::string stagingFolder;
    std::string backupRoot;
    bool resumeRun = false;
    // A resumed run restores from the backup folder of the earlier run, which must lie inside
    // resumeBackupRoot (the settings that name it can be edited by hand).
    std::string resumeBackupFolder;
    std::string resumeBackupRoot;
    // The resumed unit waits in fastboot mode, so it has no serial port: its streamed images
    // were written before the reset that took it there, and the run goes on from the fastboot
    // images.
    bool resumeInFastboot = false;
    // Unattended test mode: the adb clean-up at the end is left out.
    bool autotest = false;
};

// Hooks of the worker beyond the reporter's: the modal message of the platform check, and the
// device backup folder once its backup is complete (called just before "Backup succssfully"),
// which the controller keeps for a resumed run.
struct WorkerHooks {
    ReporterHooks reporter;
    std::function<void(const std::string& caption, const std::string& text)> ShowMessage;
    std::function<void(const std::string& folder)> BackupMade;
};

inline constexpr std::string_view kPlatformRequestLine = "check platform start.";
inline constexpr std::string_view kPlatformOkLine = "check platform OK.";
inline constexpr std::string_view kPlatformFailure = "Could not get platform type.";
inline constexpr std::string_view kFastbootResumeLine = "The unit is in fastboot mode already";

class TCommsThread {
public:
    // `directory` and `dataOps` (may be null: those operations are absent) outlive the worker.
    TCommsThread(platform::Clock& clock, DeviceDirectory& directory, DeviceDataOps* dataOps, WorkerSetup setup,
                 WorkerHooks hooks);
    ~TCommsThread();
    TCommsThread(const TCommsThread&) = delete;
    TCommsThread& operator=(const TCommsThread&) = delete;

    // Starts the thread; it runs Execute once and then calls the end hook.
    void Resume();
    // Waits for the thread to end (after its end hook ran).
    void Join();
    bool finished() const { return finished_.load(); }

    // The stop request (any thread): the latch becomes 210.
    void RequestStop() { reporter_.RequestStop(); }

    // The update sequence, on the calling thread.
    void Execute();

    int32_t errorCode() const { return reporter_.error(); }
    std::string statusText() const { return reporter_.statusText(); }
    const std::string& deviceBackupFolder() const { return deviceBackupFolder_; }
    float progressFactor() const { return progress_.factor(); }
    int32_t slotIndex() const { return setup_.slotIndex; }
    // Ports as the worker last knew them (re-discovery rewrites them).
    std::string diagPortName() const;

private:
    platform::Clock& clock_;
    DeviceDirectory& directory_;
    DeviceDataOps* data_;
    std::unique_ptr<DeviceDataOps> ownData_;  // the per-worker operations, when bound
    WorkerSetup setup_;
    config::ProjectConfig& cfg_;  // the worker's copy inside setup_; the first reset may switch bDISK on
    WorkerHooks hooks_;

    Reporter reporter_;
    SerialChannel serial_;
    FrameLayer frames_;
    WorkerContext ctx_;
    DownloadProgress progress_;
    std::unique_ptr<AtChannel> at_;
    std::unique_ptr<AdbFileBackup> adb_;  // made on first use

    std::string deviceBackupFolder_;
    // The folder this run made (or, resumed, restored from): the only one it may remove.
    std::string backupFolderOfThisRun_;
    // The RF NV items of the backup were written back in this run.
    bool rfRestored_ = false;
    std::vector<std::string> userDataEntries_;
    // What the unit held before images that wipe its data were written, and the items of it
    // the unit no longer holds as they were after the restore (warned about at the end).
    std::optional<archive::UnitArchive> unitArchive_;
    std::vector<std::string> archiveLosses_;

    std::thread thread_;
    std::atomic<bool> finished_{false};
    bool firstResetDone_ = false;  // the first reset brought the device back in its normal firmware

    // The shorthands of the sequence.
    bool ok() const { return reporter_.ok(); }
    bool AmssOnly() const;
    bool VersionMarked() const;
    bool AmssOnlyWithRestore() const;
    bool ImageItems() const;
    bool FastbootImages() const;
    bool SendResetCommand();
    // The reset before the second restore: the streaming command, unless the first reset
    // already brought the device back into its normal firmware.
    bool SendSecondResetCommand();
    ResetRediscovery Rediscovery();

    // Steps of the run, in order.
    void Start();
    void OpeningStep();
    void PlatformCheck();
    void StartOfRunUsbMode();
    void BackupStep();
    std::string DeviceTag() const;
    // Moves an earlier backup of this device aside; false (error latched) when it cannot.
    bool KeepEarlierBackup();
    // Resumed run: takes the backup files from the earlier run's folder before any port opens.
    void LoadStoredBackup();
    // True, with an error line, when a file of the stored backup is cut short or unreadable.
    bool BackupFileDamaged(const std::string& folder);
    // The RF NV restore with the modem offline, after the first reset; false when the offline command
    // failed, after its error line.
    bool RestoreRfNvOffline();
    // The backup this run made or resumed from holds RF NV items that were not written back yet.
    bool OwesRfRestore() const;
    // Whether the run wrote images to the device (its data may be wiped).
    bool WritesImages() const;
    void RemoveBackupOfThisRun();
    // Saves the unit archive beside the backup files; false (error latched) when it cannot.
    bool SaveUnitArchive();
    // After a restore: the restored items must read back as backed up (else the run fails),
    // and the archive's items the unit lost are noted for the end of the run.
    void CheckRestoredUnit();
    std::string UnitArchivePath() const;
    std::set<uint16_t> ConfiguredNvIds() const;
    void DeviceFileStep();
    void ImageDownloadStep();
    void FastbootStep();
    void FastbootResumeStep();
    FastbootStage MakeFastbootStage();
    // Refuses fastboot images that cannot be written, before the run touches the device.
    void CheckFastbootImages();
    AdbFileBackup& Adb();
    void AdbCleanUp();
    // False when the run ended at once (the offline command of the RF NV restore failed).
    bool FirstResetAndRestore();
    void SecondResetAndRestore();
    void RestoreOnDiagPort();
    void ClosingStep();

    // A later-issue operation this build lacks: latched as an error (the controller refuses
    // such configurations before a run, so this only guards against a missed refusal).
    bool HaveDataOps(std::string_view what);
};

}  // namespace flintcast::engine
