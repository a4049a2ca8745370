#pragma once
// The run controller: turns Start, Re_update and Stop into worker runs, and the workers'
// reports into log lines, progress, the run log file and the resume state.
//
// Threads: every public operation runs on the controller's own thread (the window thread, or
// the command line's main thread). Workers report on their own threads; their hooks only queue
// events, which PumpEvents carries out on the controller's thread.
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "config/project_config.h"
#include "config/project_traits.h"
#include "controller/port_claims.h"
#include "controller/presentation.h"
#include "controller/run_environment.h"
#include "controller/run_log.h"
#include "engine/image_set.h"
#include "platform/clock.h"

namespace flintcast::platform {
class InstanceLock;
class SettingsStore;
}  // namespace flintcast::platform

namespace flintcast::engine {
class DeviceDataOps;
class DeviceDirectory;
class TCommsThread;
}  // namespace flintcast::engine

namespace flintcast::controller {

// The switches the download options dialog edits.
struct DownloadOptions {
    bool efs = false;
    bool backup = false;
    bool restore = false;
    bool amss = false;
    bool pcSuite = false;
    bool cdrom = false;
    bool disk = false;
    bool bootloader = false;
};
DownloadOptions DownloadOptionsOf(const config::ProjectConfig& config);

struct RunControllerSetup {
    platform::Clock* clock = nullptr;
    Presentation* view = nullptr;
    platform::SettingsStore* settings = nullptr;
    engine::DeviceDirectory* directory = nullptr;
    RunEnvironment* environment = nullptr;
    engine::DeviceDataOps* dataOps = nullptr;  // null: backup, restore and fastboot are absent
    config::ProjectConfig config;
    engine::ImageSet images;  // the verified image set
    std::filesystem::path logRoot;
    std::filesystem::path autotestMarker;
    bool autotestFlag = false;  // --autotest: the same mode as the marker folder
    std::string imageFolder;
    std::string stagingFolder;
    std::string backupRoot;
    // The folder every stored backup folder must lie in (a resumed run may come on another day
    // than its backup, under another dated backup folder); empty: backupRoot.
    std::string storedBackupRoot;
};


class RunController {
public:
    explicit RunController(RunControllerSetup setup);
    ~RunController();
    RunController(const RunController&) = delete;
    RunController& operator=(const RunController&) = delete;

    // Window creation: reads the resume state (writing it empty when absent) and sets the offer.
    void Initialize();

    // The user's commands.
    bool StartClick();
    bool Reupdate1Click();
    void StopClick();

    // The single entry point for every log and status line.
    void ShowStatusLine(const std::string& text, int kind);

    bool CanStartRun(int slot);
    bool StartRun(int slot);

    // A device-change notification (any thread). A removal while no worker runs restarts the
    // device check: a unit it refused may have been replaced by one it would accept.
    void DeviceChanged(bool arrival);

    // Carries out the events the workers queued, waiting up to `waitMs` real milliseconds for
    // the first; runs a due unattended restart. Returns the number of events handled.
    int PumpEvents(int waitMs);

    // The start reminder of projects 42 and marked 3: armed by Initialize, stopped when the
    // device check finds the device ready or Start is pressed. When it fires, PumpEvents ends
    // the device check, shows the reminder and requests the end of the application.
    void StopStartReminder() { reminderDueTick_.reset(); }
    bool StartReminderArmed() const { return reminderDueTick_.has_value(); }

    // Called on the worker's thread each time a worker queues an event, so a window can schedule
    // PumpEvents on its own thread at once instead of polling. Set it before the first run.
    void SetEventHook(std::function<void()> hook) { eventHook_ = std::move(hook); }

    // The download options dialog: the switches it edits take effect for the runs started
    // afterwards. The image set is verified again for them; false when that verification
    // refused the set (its message has been shown) and the switches are left as they were.
    bool ApplyDownloadOptions(const DownloadOptions& options);

    // The operator chose another image folder: it is verified for the current switches and
    // used by the runs started afterwards (and stored as the image folder at exit). False when
    // the verification refused it (its message has been shown).
    bool ChangeImageFolder(const std::string& folder);
    const std::string& imageFolder() const { return setup_.imageFolder; }

    // The close request: true when closing may go ahead (asks while a worker runs).
    bool CloseRequest();
    // Exit: stops every worker, waits for them, stores the settings and removes the staging.
    void Exit();

    bool Running() const;
    bool RestartPending() const { return restartDueTick_.has_value(); }
    bool backupDone() const { return backupDone_; }
    bool reupdateMode() const { return reupdateMode_; }
    bool resumeOffered() const { return resumeOffered_; }
    const std::string& statusLabel() const { return statusLabel_; }
    // The result of the last finished run: true after "PASS".
    bool lastRunPassed() const { return lastRunPassed_; }
    bool lastRunEnded() const { return lastRunEnded_; }
    const std::filesystem::path& runLogPath() const { return runLog_.filePath(); }
    const config::ProjectConfig& config() const { return config_; }
    bool Autotest() const;
    // The device fits no package: the application ends (its run log is closed and deleted).
    bool endRequested() const { return endRequested_; }

private:
    struct Slot {
        std::unique_ptr<engine::TCommsThread> worker;
        SlotPorts ports;
        bool sawEnd = false;  // a pass or failure line arrived for this run
    };

    RunControllerSetup setup_;
    platform::Clock& clock_;
    Presentation& view_;
    config::ProjectConfig config_;      // the configuration of the next run
    config::ProjectConfig fullConfig_;  // as read, before any resume reduced it
    engine::ImageSet images_;

    std::array<Slot, kSlotCount> slots_;
    PortClaims claims_;
    PortBoxes boxes_;
    RunLog runLog_;
    bool backupDone_ = false;
    bool reupdateMode_ = false;
    // The current run resumes from the stored backup folder (re-update mode with a usable
    // milestone); a "Status was wrong" resume runs the full configuration instead.
    bool resumeFromBackup_ = false;
    std::string resumeBackupFolder_;
    // The resumed unit waits in fastboot mode: the run starts without serial ports.
    bool resumeInFastboot_ = false;
    bool resumeOffered_ = false;
    std::string statusLabel_;
    bool lastRunPassed_ = false;
    bool lastRunEnded_ = false;
    std::optional<uint32_t> restartDueTick_;
    bool endRequested_ = false;
    std::optional<uint32_t> reminderDueTick_;

    std::atomic<bool> checkRestartQueued_{false};
    std::function<void()> eventHook_;
    std::mutex queueMutex_;
    std::condition_variable queueCv_;
    std::deque<std::function<void()>> queue_;

    void Post(std::function<void()> event);
    void OnTerminate(int slot);
    void SetStatus(std::string_view text, RunState state);
    void Refuse(const std::string& caption, const std::string& text);
    void OpenRunLogIfNeeded();
    void CloseRunLogAndDelete();
    void CloseProbeHandle(std::string_view noneLine, std::string_view notNullLine, std::string_view closedLine,
                          std::string_view warningLine);
    bool FinishStart(bool started);
    // False when the resume cannot go ahead (its reason has been shown).
    bool ApplyResumePlan();
    std::string StoredBackupRoot() const;
    void StoreBackupFolder(const std::string& folder);
    bool VersionMarked() const { return config::IsVersionMarked(config_); }
    bool JapaneseStatus() const;
    void FireStartReminder();
};

}  // namespace flintcast::controller
