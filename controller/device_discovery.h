#pragma once
// Finding the device's ports: the diagnostic, terminal and modem ports among
// the USB serial interfaces under the device root, the one-time disk switch
// for devices that first appear as storage, and the AT probe that reads the
// device facts (software version, flash layout, mainboard) the checks compare.
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "controller/discovery_settings.h"
#include "controller/port_probe.h"
#include "controller/run_environment.h"
#include "platform/clock.h"
#include "platform/serial_port.h"

namespace flintcast::controller {

// What the probe needs of the configuration.
struct ProbeSettings {
    int32_t projectType = -1;
    bool checkProjectCode = false;
    bool checkMainboardType = false;
    bool memoryCheck = false;
    std::string packageName;  // [Project] Name
};

// Facts read from the device by the last successful probe.
struct DeviceFacts {
    std::string deviceVersion;
    std::string flashInfo;
    std::string mainboard;
};

class DeviceDiscovery {
public:
    static constexpr uint32_t kModeSwitchSettleMs = 5000;
    static constexpr int kSameDiagPortTries = 4;
    static constexpr uint32_t kSameDiagPortPauseMs = 500;

    using LogLine = std::function<void(std::string_view)>;

    DeviceDiscovery(const platform::Clock& clock, std::filesystem::path deviceRoot, DiscoverySettings settings,
                    ProbeSettings probe, LogLine log = {});

    // The diagnostic and terminal ports of the scan; true when a diagnostic port was found.
    bool EnumeratePorts(std::vector<std::string>& diagList, std::vector<std::string>& terminalList);
    // Writes the disk switch to `portName`; true when the write succeeded.
    bool SendModeSwitch(const std::string& portName);
    // True when the port answered the probe and the device facts were read.
    bool ProbeModemPort(const std::string& portName);
    // Scans, searches the modem ports and fills the three boxes; true when a
    // diagnostic port was found.
    bool RefreshPortBoxes();
    PortBoxes boxes() const;
    // True when the first diagnostic port of a fresh scan is `portName`.
    bool IsSameDiagPort(std::string_view portName);
    // Fastboot interface `index`: 0 ready (`path` names its link), 255 an Android unit that
    // is not in fastboot mode, another value when there is no such interface.
    int32_t FindFastbootDevice(int index, std::string& path);
    // Adb interface `index`: 0 found (`name` names its link), else not found.
    int32_t FindAdbDevice(int index, std::string& name);

    DeviceFacts facts() const;
    bool modeSwitchSent() const { return modeSwitchSent_.load() != 0; }

    // The probe handle, shared by the check thread and the window.
    bool HasProbeHandle() const;
    bool TryCloseProbeHandle();

    const platform::Clock& clock() const { return clock_; }
    const ProbeSettings& probeSettings() const { return probe_; }

private:
    const platform::Clock& clock_;
    std::filesystem::path root_;
    DiscoverySettings settings_;
    ProbeSettings probe_;
    LogLine log_;
    std::atomic<int32_t> modeSwitchSent_{0};

    mutable std::mutex mutex_;  // boxes and facts
    PortBoxes boxes_;
    DeviceFacts facts_;

    mutable std::mutex probeMutex_;  // the probe handle and the open-failure notes
    platform::SerialPort probePort_;
    // The last reason logged per port that would not open, so a busy port is named once,
    // not on every pass.
    std::map<std::string, std::string> openFailureNotes_;

    mutable std::mutex recordsMutex_;  // what unnamed ports answered; taken before probeMutex_
    ProbeRecords probeRecords_;
    unsigned scanCount_ = 0;

    void log(std::string_view line) const;
    // Opens `portName` with the probe's settings (DTR on, reads return at once).
    // A port that will not open is logged with the reason: the programs holding
    // it, or missing permission.
    bool openProbe(const std::string& portName);
    void noteOpenFailure(const std::string& portName, int error);
    // The role of a port without an interface string or a configured role, from
    // what it answers (probed at most as ProbeRecords allows); empty when none.
    std::string probedRole(const platform::UsbSerialPort& port, unsigned scan);
    // True when the port answered neither DIAG nor AT: nothing is written to it.
    bool leftAlone(const platform::UsbSerialPort& port) const;
    void closeProbe(std::string_view label);
    bool needsVersionQuery() const;
    bool needsFlashQuery() const;
};

// Status texts of the device check: "Ready" / "Not Ready", in Japanese for
// projects 27 and 28.
std::string_view ReadyText(int32_t project);
std::string_view NotReadyText(int32_t project);

}  // namespace flintcast::controller
