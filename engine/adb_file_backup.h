#pragma once
// The backup and restore of the one Android file the update overwrites (the WiFi board data)
// with the adb program: a device listing, "pull" into the device backup folder before the
// update, "push" back after it. Each adb command is waited for and its outcome checked; the
// adb server is stopped only when this tool started it.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/adb_device_list.h"
#include "engine/worker_context.h"

namespace flintcast::engine {

class DeviceDirectory;

// The outcome of one adb command.
struct AdbResult {
    bool started = false;
    bool timedOut = false;
    int exitStatus = -1;
    std::string output;
};
// Runs the adb program with the given arguments and waits for it (up to the limit).
using AdbRunner = std::function<AdbResult(const std::vector<std::string>& arguments, uint32_t limitMs)>;
// Whether an adb server answers on this machine (to tell whether this tool starts one).
using AdbServerProbe = std::function<bool()>;

// The adb program: the one staged in `stagingFolder`, else the first on PATH.
std::optional<std::filesystem::path> FindAdbProgram(const std::filesystem::path& stagingFolder);
// Runner and probe over the real program and server.
AdbRunner ProgramAdbRunner(const platform::Clock& clock, std::filesystem::path program);
AdbServerProbe LocalAdbServerProbe(const platform::Clock& clock);

// Where the PC copy of `deviceFile` lives under the device backup folder: "ARM11" for the one
// calibration path of the ath6k parts, "WIFI" for any other.
std::string AdbBackupSubfolder(const std::string& deviceFile);
inline constexpr const char* kAdbBackupFileName = "bdata.SD31.bin";

class AdbFileBackup {
public:
    static constexpr uint32_t kCommandLimitMs = 120000;  // one pull or push of a small file
    static constexpr uint32_t kServerLimitMs = 30000;    // start-server, kill-server, devices, connect
    static constexpr int kRestoreRounds = 10;
    static constexpr uint32_t kRestoreRoundPauseMs = 5000;

    // `runner` empty: no adb program was found (every operation then fails with a line that
    // names the package to install).
    AdbFileBackup(WorkerContext& ctx, DeviceDirectory& directory, std::string deviceFile, AdbRunner runner,
                  AdbServerProbe serverRunning);

    void BackupAdbFile(const std::string& deviceBackupFolder);
    void RestoreAdbFile(const std::string& deviceBackupFolder);
    // Starts the server (when none runs), finds the device and lists it. False when the
    // listing could not be made; `listing` then is empty.
    bool AdbDeviceListed(AdbListing& listing);
    // End of a passed run: the server this tool started, if it still runs, is stopped.
    void CleanUp();

    // The device the commands address ("HOST:PORT" of a network device), empty for the one on USB.
    const std::string& target() const { return target_; }

private:
    WorkerContext& ctx_;
    DeviceDirectory& directory_;
    std::string deviceFile_;
    AdbRunner run_;
    AdbServerProbe serverRunning_;
    std::string target_;
    bool serverOurs_ = false;

    bool ok() const { return ctx_.ok(); }
    AdbResult Run(std::vector<std::string> arguments, uint32_t limitMs);
    std::vector<std::string> Addressed(std::vector<std::string> arguments) const;
    void FindTarget();
    void StopServerIfOurs();
    bool HaveProgram();
    std::string PcCopy(const std::string& deviceBackupFolder) const;
};

}  // namespace flintcast::engine
