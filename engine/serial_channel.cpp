#include "engine/serial_channel.h"

#include <cerrno>

#include <fmt/format.h>

#include "platform/paths.h"
#include "platform/port_holders.h"

namespace flintcast::engine {

using platform::kMaxDword;
using platform::SerialTimeouts;

SerialTimeouts DiagTimeoutsFor(int32_t projectType) {
    if (UsesBlockingDiagReads(projectType)) return {1000, 1000, 2000, 1000, 3000};
    return {kMaxDword, kMaxDword, 1000, 1, 1000};
}

SerialTimeouts ModemTimeouts() { return {kMaxDword, 0, 0, 100, 1000}; }

SerialChannel::SerialChannel(const platform::Clock& clock, Reporter& reporter)
    : clock_(clock), reporter_(reporter), diag_(clock), modem_(clock), aux_(clock) {
    reporter_.setCommErrorClearer([this] { ClearDiagCommErrors(); });
}

SerialChannel::~SerialChannel() { reporter_.setCommErrorClearer({}); }

platform::SerialPort& SerialChannel::port(PortSlot slot) {
    switch (slot) {
        case PortSlot::Diag: return diag_;
        case PortSlot::Modem: return modem_;
        case PortSlot::Aux: return aux_;
    }
    return aux_;
}

bool SerialChannel::openPort(platform::SerialPort& port, const std::string& portName) {
    const auto path = platform::PortDevicePath(portName);
    if (!path) {
        errno = ENOENT;
        return false;
    }
    return port.open(path->string());
}

void SerialChannel::noteHolders(const std::string& portName) {
    const int err = errno;
    const auto path = platform::PortDevicePath(portName);
    if (path && err == EBUSY) {
        const std::string holders = platform::DescribePortHolders(platform::FindPortHolders(*path));
        if (!holders.empty()) {
            reporter_.ShowStatus(LineClass::Ordinary, fmt::format("{} is held by {}", portName, holders));
        }
    }
    errno = err;
}

void SerialChannel::OpenDiagPort() {
    if (!openPort(diag_, diagPortName)) {
        noteHolders(diagPortName);
        const int err = errno;
        reporter_.ShowError(diagPortName + "Could not open Diagnostic port", err);
        return;
    }
    reporter_.ShowStatus(LineClass::Ordinary, "Port2 ready......");
    ConfigureDiagPort();
}

bool SerialChannel::ReopenDiagPort() {
    if (!openPort(diag_, diagPortName)) return false;
    ConfigureDiagPort();
    reporter_.ShowStatus(LineClass::Ordinary, "Initial port successful after reset.");
    return true;
}

void SerialChannel::ConfigureDiagPort() {
    if (!diag_.isOpen()) {
        reporter_.ShowError("Could not open COMM port", errno);
        return;
    }
    reporter_.ShowStatus(LineClass::Setup, "Opened......");
    const uint32_t queue = fastSpeed ? blockSize : kDefaultQueueBytes;
    if (!diag_.setQueueSizes(queue, queue))
        reporter_.ShowStatus(LineClass::Setup, fastSpeed ? "warning:SetupComm." : "warning:SetupComm!");
    platform::LineSettings line;
    line.dtr = false;
    line.rts = false;
    if (!diag_.applyLineSettings(line)) reporter_.ShowError("Could not setup COMM port", errno);
    if (!diag_.setTimeouts(DiagTimeoutsFor(projectType))) reporter_.ShowError("Could not set COMM timeouts", errno);
    diag_.purge();
}

bool SerialChannel::OpenModemHandle() { return openPort(modem_, modemPortName); }

bool SerialChannel::ConfigureModemHandle(bool enableDtr) {
    modem_.purge();
    modem_.setTimeouts(ModemTimeouts());
    platform::LineSettings line;
    if (enableDtr) line.dtr = true;
    return modem_.applyLineSettings(line);
}

bool SerialChannel::OpenModemPort() {
    if (!OpenModemHandle()) {
        noteHolders(modemPortName);
        reporter_.ShowError("Fail to connect serial port", errno);
        return false;
    }
    if (!ConfigureModemHandle(true)) {
        reporter_.ShowError("Fail to config serial port", errno);
        return false;
    }
    reporter_.ShowStatus(LineClass::Ordinary, "Port1 ready......");
    return true;
}

bool SerialChannel::ReopenModemPort() { return OpenModemHandle() && ConfigureModemHandle(true); }

uint32_t SerialChannel::WriteDiag(const uint8_t* data, uint32_t count) {
    lastWriteLostDevice_ = 0;
    int err = 0;
    for (int attempt = 1; attempt <= kWriteAttempts; ++attempt) {
        const int64_t written = diag_.write(data, count);
        if (written >= 0) return static_cast<uint32_t>(written);
        err = errno;
        reporter_.ShowStatus(LineClass::Ordinary, fmt::format("Write to commport have a warning: {}", err));
        clock_.sleepMs(kWriteRetryWaitMs);
        if (fastSpeed) break;
    }
    if (err == EIO || err == ENXIO || err == ENODEV) lastWriteLostDevice_ = err;
    return 0;
}

uint32_t SerialChannel::ReadDiag(uint8_t* buffer, uint32_t count) {
    const int64_t got = diag_.read(buffer, count);
    lastReadFailed_ = got < 0;
    if (got < 0) {
        const int err = errno;
        lastReadCount_ = 0;
        reporter_.ShowStatus(LineClass::Ordinary, fmt::format("read from commmport have a warning: {}", err));
        clock_.sleepMs(kReadFailureWaitMs);
        return 0;
    }
    lastReadCount_ = static_cast<int32_t>(got);
    return static_cast<uint32_t>(got);
}

void SerialChannel::CloseWithRetry(PortSlot slot, std::string_view label) {
    platform::SerialPort& p = port(slot);
    // The descriptor is released even when close() reports an error, so the
    // loop ends at the first attempt that finds the port closed.
    for (int attempt = 0; attempt < kCloseAttempts && p.isOpen(); ++attempt) {
        if (p.close()) return;
        reporter_.ShowStatus(LineClass::Ordinary, label);
        clock_.sleepMs(kCloseRetryWaitMs);
    }
}

void SerialChannel::ClearDiagCommErrors() {
    if (diag_.isOpen()) diag_.takeLineErrors();
}

}  // namespace flintcast::engine
