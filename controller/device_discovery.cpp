#include "controller/device_discovery.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <fmt/format.h>
#include <set>
#include <fstream>

#include "config/project_traits.h"
#include "controller/android_interfaces.h"
#include "controller/at_query.h"
#include "controller/device_checks.h"
#include "controller/port_naming.h"
#include "platform/paths.h"
#include "platform/port_holders.h"
#include "platform/port_scanner.h"

namespace fs = std::filesystem;

namespace flintcast::controller {
namespace {

constexpr std::string_view kModeSwitchCommand = "AT+DISK=8,\"D1\"\r\n";
constexpr std::string_view kModeSwitchEcho = "AT+DISK=8,\"D1\"";
constexpr std::string_view kProbeCommand = "AT+ZRVSW\r\n";
constexpr uint32_t kFirstReadPauseMs = 100;
constexpr size_t kFirstReadBytes = 256;
constexpr int kProbeReads = 10;
constexpr uint32_t kProbeReadPauseMs = 100;
constexpr size_t kProbeReadBytes = 128;
constexpr uint32_t kSwitchFirstPauseMs = 500;
constexpr uint32_t kSwitchPollMs = 800;
constexpr uint32_t kSwitchPollLimitMs = 8000;
constexpr int kCloseAttempts = 10;
constexpr uint32_t kCloseRetryMs = 100;

// Serial settings of the probe and the switch: reads return at once with what
// is waiting; writes may take 100 ms per byte plus one second.
constexpr platform::SerialTimeouts kProbeTimeouts{platform::kMaxDword, 0, 0, 100, 1000};

bool Contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

// Appends one read of up to `max` bytes to `text`; false on a read failure.
bool ReadInto(platform::SerialPort& port, std::string& text, size_t max) {
    std::array<uint8_t, kFirstReadBytes> buffer{};
    const int64_t got = port.read(buffer.data(), std::min(max, buffer.size()));
    if (got < 0) {
        return false;
    }
    const auto end = std::find(buffer.begin(), buffer.begin() + got, uint8_t{0});
    text.append(reinterpret_cast<const char*>(buffer.data()), static_cast<size_t>(end - buffer.begin()));
    return true;
}

bool WriteText(platform::SerialPort& port, std::string_view text) {
    return port.write(reinterpret_cast<const uint8_t*>(text.data()), text.size()) ==
           static_cast<int64_t>(text.size());
}

using config::UsesInfoVersionQuery;

}  // namespace

std::string_view ReadyText(int32_t project) {
    return config::UsesBrandedJapanese(project) ? "準備完了" : "Ready";
}

std::string_view NotReadyText(int32_t project) {
    return config::UsesBrandedJapanese(project) ? "準備中" : "Not Ready";
}

DeviceDiscovery::DeviceDiscovery(const platform::Clock& clock, fs::path deviceRoot, DiscoverySettings settings,
                                 ProbeSettings probe, LogLine log)
    : clock_(clock),
      root_(std::move(deviceRoot)),
      settings_(std::move(settings)),
      probe_(std::move(probe)),
      log_(std::move(log)),
      probePort_(clock) {}

void DeviceDiscovery::log(std::string_view line) const {
    if (log_) {
        log_(line);
    }
}

bool DeviceDiscovery::EnumeratePorts(std::vector<std::string>& diagList, std::vector<std::string>& terminalList) {
    const auto ports = platform::ScanUsbSerialPorts(root_);
    if (!ports) {
        log("SetupDiGetClassDevs failed");
        return false;
    }
    unsigned scan = 0;
    {
        std::lock_guard lock(recordsMutex_);
        std::set<std::string> present;
        for (const platform::UsbSerialPort& port : *ports) {
            present.insert(ProbeDeviceKey(port));
        }
        probeRecords_.KeepOnly(present);
        scan = ++scanCount_;
    }
    for (const platform::UsbSerialPort& port : *ports) {
        std::string role = port.interfaceString;
        if (role.empty()) {
            role = settings_.RoleFor(port.vendorId, port.productId, port.interfaceNumber);
        }
        if (role.empty() && !port.product.empty()) {
            role = probedRole(port, scan);
        }
        if (role.empty() || port.product.empty()) {
            continue;  // without a friendly name or description the port is not ours
        }
        const std::string friendly = fmt::format("{} ({})", role, port.name);
        if (!modeSwitchSent() && settings_.NeedsModeSwitch(port.hardwareId())) {
            if (const auto name = PortNameFromFriendlyName(friendly)) {
                if (SendModeSwitch(*name)) {
                    modeSwitchSent_.store(1);
                }
                clock_.sleepMs(kModeSwitchSettleMs);
            }
        }
        if (IsTerminalFriendlyName(friendly)) {
            if (const auto name = PortNameFromFriendlyName(friendly)) {
                terminalList.push_back(*name);
            }
        }
        if (IsDiagFriendlyName(friendly)) {
            if (const auto name = PortNameFromFriendlyName(friendly)) {
                diagList.push_back(*name);
            }
        }
    }
    return !diagList.empty();
}

std::string DeviceDiscovery::probedRole(const platform::UsbSerialPort& port, unsigned scan) {
    const std::string key = ProbeDeviceKey(port);
    std::lock_guard lock(recordsMutex_);
    if (probeRecords_.ShouldProbe(key, port.interfaceNumber, scan, clock_.tickMs())) {
        std::lock_guard probeLock(probeMutex_);
        if (openProbe(port.name)) {
            const PortAnswer answer = ProbePortAnswer(probePort_, clock_);
            closeProbe("Warning-34");
            probeRecords_.Record(key, port.interfaceNumber, answer);
            log(fmt::format("{} {}", port.name, DescribeAnswer(answer)));
        }
    }
    const PortAnswer* answer = probeRecords_.Answer(key, port.interfaceNumber);
    return answer ? std::string(ProbedRole(*answer)) : std::string();
}

bool DeviceDiscovery::leftAlone(const platform::UsbSerialPort& port) const {
    std::lock_guard lock(recordsMutex_);
    const PortAnswer* answer = probeRecords_.Answer(ProbeDeviceKey(port), port.interfaceNumber);
    return answer && *answer == PortAnswer::Neither;
}

bool DeviceDiscovery::openProbe(const std::string& portName) {
    closeProbe("Warning-27");
    const auto path = platform::PortDevicePath(portName);
    if (!path) {
        return false;
    }
    if (!probePort_.open(path->string())) {
        noteOpenFailure(portName, errno);
        return false;
    }
    openFailureNotes_.erase(portName);
    probePort_.purge();
    platform::LineSettings line;
    line.dtr = true;
    if (!probePort_.setTimeouts(kProbeTimeouts) || !probePort_.applyLineSettings(line)) {
        closeProbe("Warning-29");
        return false;
    }
    return true;
}

void DeviceDiscovery::noteOpenFailure(const std::string& portName, int error) {
    std::string note;
    if (error == EBUSY) {
        const auto path = platform::PortDevicePath(portName);
        const std::string holders = path ? platform::DescribePortHolders(platform::FindPortHolders(*path)) : "";
        note = holders.empty() ? fmt::format("{} is held by another program", portName)
                               : fmt::format("{} is held by {}", portName, holders);
    } else if (error == EACCES || error == EPERM) {
        note = fmt::format("{} cannot be opened: permission denied (the udev rules of the package give the "
                           "operator's group access)",
                           portName);
    } else {
        return;
    }
    auto& last = openFailureNotes_[portName];
    if (last != note) {
        last = note;
        log(note);
    }
}

void DeviceDiscovery::closeProbe(std::string_view label) {
    for (int attempt = 0; attempt < kCloseAttempts && probePort_.isOpen(); ++attempt) {
        if (probePort_.close()) {
            return;
        }
        log(label);
        clock_.sleepMs(kCloseRetryMs);
    }
}

bool DeviceDiscovery::SendModeSwitch(const std::string& portName) {
    std::lock_guard lock(probeMutex_);
    if (!openProbe(portName)) {
        return false;
    }
    if (!WriteText(probePort_, kModeSwitchCommand)) {
        closeProbe("Warning-30");
        return false;
    }
    clock_.sleepMs(kSwitchFirstPauseMs);
    std::string reply;
    ReadInto(probePort_, reply, kProbeReadBytes);
    for (uint32_t waited = 0; reply.empty() && waited < kSwitchPollLimitMs; waited += kSwitchPollMs) {
        clock_.sleepMs(kSwitchPollMs);
        if (!ReadInto(probePort_, reply, kProbeReadBytes)) {
            break;
        }
    }
    const bool answered = Contains(reply, kModeSwitchEcho) || Contains(reply, "OK");
    closeProbe(answered ? "Warning-34" : "Warning-35");
    return true;
}

bool DeviceDiscovery::needsVersionQuery() const {
    return probe_.checkProjectCode || probe_.checkMainboardType || config::ChecksDeviceVersion(probe_.projectType);
}

bool DeviceDiscovery::needsFlashQuery() const {
    return probe_.memoryCheck || config::ChecksFlashSize(probe_.projectType);
}

bool DeviceDiscovery::ProbeModemPort(const std::string& portName) {
    std::lock_guard lock(probeMutex_);
    if (!openProbe(portName)) {
        return false;
    }
    if (!WriteText(probePort_, kProbeCommand)) {
        closeProbe("Warning-30");
        return false;
    }
    clock_.sleepMs(kFirstReadPauseMs);
    std::string reply;
    ReadInto(probePort_, reply, kFirstReadBytes);
    // Keep reading while the answer is incomplete: an echo may come before the result.
    for (int i = 0; i < kProbeReads && !Contains(reply, "OK") && !Contains(reply, "ERROR"); ++i) {
        clock_.sleepMs(kProbeReadPauseMs);
        if (!ReadInto(probePort_, reply, kProbeReadBytes)) {
            break;
        }
    }
    if (!Contains(reply, "OK")) {
        closeProbe("Warning-35");
        return false;
    }
    DeviceFacts found;
    if (needsVersionQuery()) {
        const auto version = AtQuery(probePort_, clock_,
                                     UsesInfoVersionQuery(probe_.projectType) ? kInfoQuery : kVersionQuery);
        if (!version) {
            {
                std::lock_guard factsLock(mutex_);
                facts_.deviceVersion.clear();
            }
            closeProbe("Warning-31");
            return false;
        }
        found.deviceVersion = *version;
    }
    if (needsFlashQuery()) {
        const auto flash = AtQuery(probePort_, clock_, kFlashInfoQuery);
        if (flash) {
            found.flashInfo = *flash;
        } else if (probe_.memoryCheck) {
            found.flashInfo = "ERROR";
        }
    }
    if (NeedsMainboardQuery(probe_.packageName)) {
        const auto pmu = AtQuery(probePort_, clock_, kPmuQuery);
        found.mainboard = MainboardFromPmuReply(probe_.packageName, pmu.value_or(""));
    }
    {
        std::lock_guard factsLock(mutex_);
        facts_ = std::move(found);
    }
    closeProbe("Warning-34");
    return true;
}

bool DeviceDiscovery::RefreshPortBoxes() {
    {
        std::lock_guard lock(mutex_);
        boxes_ = {};
    }
    log("Check for Com ports start");
    PortBoxes found;
    if (!EnumeratePorts(found.diag, found.terminal)) {
        found.diag.clear();
        found.terminal.clear();
        EnumeratePorts(found.diag, found.terminal);
    }
    {
        std::lock_guard lock(mutex_);
        boxes_.diag = found.diag;
    }
    log("Check for Com ports end");

    log("Enum AT port start");
    if (const auto ports = platform::ScanUsbSerialPorts(root_)) {
        for (const platform::UsbSerialPort& port : *ports) {
            const auto known = [&](const std::vector<std::string>& list) {
                return std::any_of(list.begin(), list.end(),
                                   [&](const std::string& n) { return SamePortName(n, port.name); });
            };
            if (known(found.diag) || known(found.terminal) || leftAlone(port)) {
                continue;
            }
            if (ProbeModemPort(port.name)) {
                found.modem.push_back(port.name);
            }
        }
    }
    log("Enum AT port end");
    {
        std::lock_guard lock(mutex_);
        boxes_ = found;
    }
    return !found.diag.empty();
}

PortBoxes DeviceDiscovery::boxes() const {
    std::lock_guard lock(mutex_);
    return boxes_;
}

DeviceFacts DeviceDiscovery::facts() const {
    std::lock_guard lock(mutex_);
    return facts_;
}

bool DeviceDiscovery::IsSameDiagPort(std::string_view portName) {
    std::vector<std::string> diag;
    for (int attempt = 0; attempt < kSameDiagPortTries; ++attempt) {
        if (attempt > 0) {
            clock_.sleepMs(kSameDiagPortPauseMs);
        }
        std::vector<std::string> terminal;
        diag.clear();
        if (EnumeratePorts(diag, terminal)) {
            break;
        }
    }
    if (diag.empty()) {
        log("Port list <= 0");
        return false;
    }
    if (diag.front().empty()) {
        log("DiaComPort empty");
        return false;
    }
    if (diag.front() == portName) {
        log("Same COM port");
        return true;
    }
    log(fmt::format("Different COM port {}", diag.front()));
    return false;
}

int32_t DeviceDiscovery::FindFastbootDevice(int index, std::string& path) {
    return FindAndroidInterface(root_, AndroidInterface::Fastboot, index, path);
}

int32_t DeviceDiscovery::FindAdbDevice(int index, std::string& name) {
    return FindAndroidInterface(root_, AndroidInterface::Adb, index, name);
}

bool DeviceDiscovery::HasProbeHandle() const {
    std::lock_guard lock(probeMutex_);
    return probePort_.isOpen();
}

bool DeviceDiscovery::TryCloseProbeHandle() {
    std::lock_guard lock(probeMutex_);
    return !probePort_.isOpen() || probePort_.close();
}

}  // namespace flintcast::controller
