#pragma once
// The worker's two serial ports: the diagnostic port (HDLC-framed binary
// traffic) and the modem port (AT commands), plus an auxiliary handle that is
// only ever closed. Opens, configures, reads, writes and closes them with the
// texts, attempt counts and waits of the update tool.
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/reporter.h"
#include "platform/clock.h"
#include "config/project_traits.h"
#include "platform/serial_port.h"

namespace flintcast::engine {

// Slow diagnostic ports use blocking reads (2 s plus 1 s per byte, 1 s between bytes)
// instead of "return at once with what is waiting".
using config::UsesBlockingDiagReads;
platform::SerialTimeouts DiagTimeoutsFor(int32_t projectType);
platform::SerialTimeouts ModemTimeouts();

// Labels of the CloseWithRetry call sites, so a log shows which close failed.
namespace close_label {
inline constexpr std::string_view kAfterDiagService = "Warning-0";        // modem
inline constexpr std::string_view kFirstResetDiag = "Warning-1";          // diagnostic
inline constexpr std::string_view kFirstResetModem = "Warning-2";         // modem
inline constexpr std::string_view kFinalResetDiag = "Warning-3";          // diagnostic
inline constexpr std::string_view kFinalResetModem = "Warning-4";         // modem
inline constexpr std::string_view kEndOfRunDiag = "Warning-7";            // diagnostic
inline constexpr std::string_view kEndOfRunAux = "Warning-8";             // auxiliary
inline constexpr std::string_view kEndOfRunModem = "Warning-9";           // modem
inline constexpr std::string_view kPortChangeDiag = "Warning-16";         // diagnostic
inline constexpr std::string_view kResetAfterDownloadDiag = "Warning-39"; // diagnostic
inline constexpr std::string_view kResetAfterDownloadModem = "Warning-40";// modem
}  // namespace close_label

enum class PortSlot { Diag, Modem, Aux };

class SerialChannel {
public:
    // Size of the worker's port read area.
    static constexpr size_t kReadSlotBytes = 8192;
    // Diagnostic driver queues outside fast-speed mode.
    static constexpr uint32_t kDefaultQueueBytes = 4096;
    static constexpr int kWriteAttempts = 6;
    static constexpr uint32_t kWriteRetryWaitMs = 1000;
    static constexpr uint32_t kReadFailureWaitMs = 500;
    static constexpr int kCloseAttempts = 10;
    static constexpr uint32_t kCloseRetryWaitMs = 100;

    SerialChannel(const platform::Clock& clock, Reporter& reporter);
    ~SerialChannel();
    SerialChannel(const SerialChannel&) = delete;
    SerialChannel& operator=(const SerialChannel&) = delete;

    // Port names are tty names under the device root ("ttyUSB2"). An empty
    // modem port name means the device shows no modem port (download mode).
    // Port re-discovery rewrites them.
    std::string diagPortName;
    std::string modemPortName;
    bool fastSpeed = false;
    uint32_t blockSize = 1024;
    int32_t projectType = -1;

    // Opens the diagnostic port; posts "Port2 ready......" and configures it,
    // or latches "<port>Could not open Diagnostic port".
    void OpenDiagPort();
    // The same open after a reset or port change: silent on failure.
    bool ReopenDiagPort();
    // Queue sizes, line settings, the project's time-out row, purge.
    void ConfigureDiagPort();
    // Opens and configures the modem port (DTR on), "Port1 ready......".
    bool OpenModemPort();
    // The same without any message.
    bool ReopenModemPort();

    // Lower-level modem steps for the diagnostic-service handshake, which opens
    // the modem port itself and leaves DTR as the driver has it.
    // Opens the modem port without configuring it; false (errno kept) on failure.
    bool OpenModemHandle();
    // Purges, sets the modem time-outs and writes the modem line settings;
    // `enableDtr` false leaves DTR alone. False when the settings write failed.
    bool ConfigureModemHandle(bool enableDtr);

    // Writes to the diagnostic port with the warning and retry rules; returns
    // the number of bytes written (0 after failure).
    uint32_t WriteDiag(const uint8_t* data, uint32_t count);
    // One read of up to `count` bytes from the diagnostic port; 0 after failure.
    uint32_t ReadDiag(uint8_t* buffer, uint32_t count);

    // Closes a port with up to 10 attempts, posting `label` after each failure.
    // A port that is not open is left alone and nothing is logged.
    void CloseWithRetry(PortSlot slot, std::string_view label);

    platform::SerialPort& port(PortSlot slot);
    platform::SerialPort& diag() { return diag_; }
    platform::SerialPort& modem() { return modem_; }
    bool diagOpen() const { return diag_.isOpen(); }
    bool modemOpen() const { return modem_.isOpen(); }

    // Clears the diagnostic port's pending line errors (used by ShowError).
    void ClearDiagCommErrors();

    // The worker's port read area and the count of the last diagnostic read.
    uint8_t* readSlot() { return readSlot_; }
    int32_t lastReadCount() const { return lastReadCount_; }
    // The last ReadDiag failed (as opposed to finding nothing): the port reported an error.
    bool lastReadFailed() const { return lastReadFailed_; }
    // The error number with which every attempt of the last WriteDiag failed because the
    // device is no longer on the bus (EIO, ENXIO, ENODEV), or 0.
    int lastWriteLostDevice() const { return lastWriteLostDevice_; }

    const platform::Clock& clock() const { return clock_; }
    Reporter& reporter() { return reporter_; }

private:
    const platform::Clock& clock_;
    Reporter& reporter_;
    platform::SerialPort diag_;
    platform::SerialPort modem_;
    platform::SerialPort aux_;
    int32_t lastReadCount_ = 0;
    bool lastReadFailed_ = false;
    int lastWriteLostDevice_ = 0;
    uint8_t readSlot_[kReadSlotBytes] = {};

    bool openPort(platform::SerialPort& port, const std::string& portName);
    // After an open that failed because the port is busy, names the programs that have it
    // open. errno is kept.
    void noteHolders(const std::string& portName);
};

}  // namespace flintcast::engine
