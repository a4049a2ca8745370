#include "engine/adb_file_backup.h"

#include <charconv>
#include <filesystem>
#include <system_error>

#include <fmt/format.h>

#include "engine/device_directory.h"
#include "platform/atomic_file.h"
#include "platform/process.h"
#include "platform/tcp_stream.h"

namespace flintcast::engine {
namespace {

constexpr std::string_view kArm11CalibrationPath = "/system/wifi/ath6k/AR6003/hw2.0/bdata.SD31.bin";
constexpr std::string_view kNoAdbProgram =
    "The adb program was not found: install the Debian package adb (or stage adb with the package)";
constexpr uint16_t kDefaultAdbServerPort = 5037;
// After this tool starts the server it gives it the time to see the attached devices.
constexpr uint32_t kServerSettleMs = 6000;
constexpr uint32_t kProbeTimeoutMs = 1000;

std::string Joined(const std::vector<std::string>& arguments) {
    std::string out;
    for (const auto& a : arguments) out += (out.empty() ? "" : " ") + a;
    return out;
}

// The last line of an adb message, printable and short, for an error text.
std::string LastLineOf(const std::string& output) {
    std::string text;
    size_t end = output.find_last_not_of("\r\n \t");
    if (end == std::string::npos) return "no output";
    size_t begin = output.find_last_of('\n', end);
    begin = begin == std::string::npos ? 0 : begin + 1;
    for (char c : output.substr(begin, end + 1 - begin)) text.push_back(c >= 0x20 && c < 0x7F ? c : '?');
    return text.substr(0, 200);
}

std::string Outcome(const AdbResult& r) {
    if (!r.started) return "adb could not be started";
    if (r.timedOut) return "adb did not finish in time";
    return fmt::format("adb ended with status {}: {}", r.exitStatus, LastLineOf(r.output));
}

}  // namespace

std::optional<std::filesystem::path> FindAdbProgram(const std::filesystem::path& stagingFolder) {
    std::error_code ec;
    if (!stagingFolder.empty() && std::filesystem::is_regular_file(stagingFolder / "adb", ec)) {
        return stagingFolder / "adb";
    }
    return platform::FindOnPath("adb");
}

AdbRunner ProgramAdbRunner(const platform::Clock& clock, std::filesystem::path program) {
    return [&clock, program = std::move(program)](const std::vector<std::string>& arguments, uint32_t limitMs) {
        platform::LaunchOptions options;
        options.arguments = arguments;
        const platform::CapturedRun run = platform::RunCaptured(program, options, clock, limitMs);
        return AdbResult{run.started, run.timedOut, run.exitStatus, run.output};
    };
}

AdbServerProbe LocalAdbServerProbe(const platform::Clock& clock) {
    return [&clock] {
        uint16_t port = kDefaultAdbServerPort;
        if (const auto text = platform::EnvironmentValue("ANDROID_ADB_SERVER_PORT")) {
            uint16_t value = 0;
            const auto [end, ec] = std::from_chars(text->data(), text->data() + text->size(), value);
            if (ec == std::errc() && end == text->data() + text->size() && value != 0) port = value;
        }
        platform::TcpStream stream(clock);
        return stream.Connect("127.0.0.1", port, kProbeTimeoutMs);
    };
}

std::string AdbBackupSubfolder(const std::string& deviceFile) {
    return deviceFile == kArm11CalibrationPath ? "ARM11" : "WIFI";
}

AdbFileBackup::AdbFileBackup(WorkerContext& ctx, DeviceDirectory& directory, std::string deviceFile,
                             AdbRunner runner, AdbServerProbe serverRunning)
    : ctx_(ctx),
      directory_(directory),
      deviceFile_(std::move(deviceFile)),
      run_(std::move(runner)),
      serverRunning_(std::move(serverRunning)) {}

AdbResult AdbFileBackup::Run(std::vector<std::string> arguments, uint32_t limitMs) {
    return run_(arguments, limitMs);
}

std::vector<std::string> AdbFileBackup::Addressed(std::vector<std::string> arguments) const {
    if (!target_.empty()) arguments.insert(arguments.begin(), {"-s", target_});
    return arguments;
}

std::string AdbFileBackup::PcCopy(const std::string& deviceBackupFolder) const {
    return fmt::format("{}/{}/{}", deviceBackupFolder, AdbBackupSubfolder(deviceFile_), kAdbBackupFileName);
}

bool AdbFileBackup::HaveProgram() {
    if (run_) return true;
    ctx_.reporter.ShowError(kNoAdbProgram, 0);
    return false;
}

void AdbFileBackup::FindTarget() {
    target_.clear();
    std::string name;
    if (directory_.FindAdbDevice(0, name) != 0 || !name.starts_with("tcp:")) return;
    // A device on the network is joined to the server first and then named in every command.
    target_ = name.substr(4);
    const AdbResult connect = Run({"connect", target_}, kServerLimitMs);
    if (!connect.started || connect.timedOut) ctx_.reporter.ShowStatus(LineClass::Progress, Outcome(connect));
}

bool AdbFileBackup::AdbDeviceListed(AdbListing& listing) {
    listing = {};
    if (!serverOurs_ && serverRunning_ && !serverRunning_()) {
        const AdbResult start = Run({"start-server"}, kServerLimitMs);
        if (!start.started || start.timedOut || start.exitStatus != 0) {
            ctx_.reporter.ShowStatus(LineClass::Progress, Outcome(start));
            return false;
        }
        serverOurs_ = true;
        ctx_.clock.sleepMs(kServerSettleMs);
    }
    FindTarget();
    const AdbResult devices = Run({"devices"}, kServerLimitMs);
    if (!devices.started || devices.timedOut || devices.exitStatus != 0) {
        ctx_.reporter.ShowStatus(LineClass::Progress, Outcome(devices));
        return false;
    }
    listing = ReadAdbListing(devices.output, target_);
    return true;
}

void AdbFileBackup::StopServerIfOurs() {
    if (!serverOurs_) return;
    Run({"kill-server"}, kServerLimitMs);
    serverOurs_ = false;
}

void AdbFileBackup::BackupAdbFile(const std::string& deviceBackupFolder) {
    if (!ok() || !HaveProgram()) return;
    AdbListing listing;
    if (!AdbDeviceListed(listing)) {
        StopServerIfOurs();
        ctx_.reporter.ShowError("[BACKUP] Fail to open read file.", 0);
        return;
    }
    if (!listing.listed) {
        StopServerIfOurs();
        ctx_.reporter.ShowStatus(LineClass::Progress, "[BACKUP] No adb device listed");
        ctx_.reporter.ShowError(listing.offline ? std::string("[BACKUP] ADB is offline.") : listing.text, 0);
        return;
    }
    // adb writes beside the copy's name; the file is moved in place only once adb has ended
    // well and it is flushed, so the copy is never half there.
    const std::string copy = PcCopy(deviceBackupFolder);
    const std::string partial = platform::TemporaryNameBeside(copy).string();
    const std::vector<std::string> pull = {"pull", deviceFile_, partial};
    ctx_.reporter.ShowStatus(LineClass::Progress, "backup " + Joined(pull));
    std::error_code ec;
    std::filesystem::remove(partial, ec);
    const AdbResult result = Run(Addressed(pull), kCommandLimitMs);
    StopServerIfOurs();
    // Without the copy the update would destroy the only one: the run stops here.
    if (!result.started || result.timedOut || result.exitStatus != 0 ||
        !std::filesystem::is_regular_file(partial, ec) || !platform::CommitWrittenFile(partial, copy)) {
        std::filesystem::remove(partial, ec);
        ctx_.reporter.ShowError(fmt::format("[BACKUP] Fail to pull {}: {}", deviceFile_, Outcome(result)), 0);
    }
}

void AdbFileBackup::RestoreAdbFile(const std::string& deviceBackupFolder) {
    if (!ok() || !HaveProgram()) return;
    const std::string copy = PcCopy(deviceBackupFolder);
    std::error_code ec;
    if (!std::filesystem::is_regular_file(copy, ec)) {
        ctx_.reporter.ShowError(fmt::format("[RESTORE] The backup copy {} is missing", copy), 0);
        return;
    }
    for (int round = 0; round < kRestoreRounds && ok(); ++round) {
        AdbListing listing;
        if (!AdbDeviceListed(listing)) {
            StopServerIfOurs();
            ctx_.reporter.ShowError("[BACKUP] Fail to open read file.", 0);
            return;
        }
        if (listing.listed) break;
        ctx_.clock.sleepMs(kRestoreRoundPauseMs);
    }
    if (!ok()) return;
    const std::vector<std::string> push = {"push", copy, deviceFile_};
    const AdbResult result = Run(Addressed(push), kCommandLimitMs);
    ctx_.reporter.ShowStatus(LineClass::Progress, "restore " + Joined(push));
    StopServerIfOurs();
    // The backup copy stays in its folder: a failed run keeps its backup.
    if (!result.started || result.timedOut || result.exitStatus != 0) {
        ctx_.reporter.ShowError(fmt::format("[RESTORE] Fail to push {}: {}", deviceFile_, Outcome(result)), 0);
    }
}

void AdbFileBackup::CleanUp() { StopServerIfOurs(); }

}  // namespace flintcast::engine
