#pragma once
// One serial port (a tty under the device root on Linux, a COM port on Windows) with the
// Windows communication semantics the engine was designed around: exclusive open, raw 115200 8N1,
// read and write time-outs given as Windows time-out rows, purge, line-error
// query and modem-control lines. Every wait reads the scaled Clock.
//
// errno: on failure an operation returns false (or -1) and leaves errno at the
// cause; on success it leaves errno at 0, so a later error line made without a
// system error shows 0 rather than a stale value.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/clock.h"

namespace flintcast::platform {

// The all-ones 32-bit value of the Windows time-out rows.
inline constexpr uint32_t kMaxDword = 0xFFFFFFFFu;

// A Windows time-out row in (tool) milliseconds.
// - interval MAXDWORD, multiplier MAXDWORD, 0 < constant < MAXDWORD: a read
//   returns at once with what is waiting, else waits up to `constant` for the
//   first byte and returns with what has come by then.
// - interval MAXDWORD, multiplier 0, constant 0: a read returns at once with
//   what is waiting, possibly nothing.
// - otherwise: a read ends after `multiplier` * count + `constant` in all
//   (0 and 0: no total limit) or when `interval` passes between two bytes
//   (0: no interval limit), or when `count` bytes have come.
// Writes end after `writeMultiplier` * count + `writeConstant` (0 and 0: no limit).
struct SerialTimeouts {
    uint32_t readInterval = 0;
    uint32_t readMultiplier = 0;
    uint32_t readConstant = 0;
    uint32_t writeMultiplier = 0;
    uint32_t writeConstant = 0;
};

// Line settings a port is given. Everything that is not listed is raw:
// binary, no flow control, no character translation or replacement.
struct LineSettings {
    uint32_t baudRate = 115200;
    // DTR/RTS: true raises the line, false drops it, nullopt leaves it as the driver has it.
    std::optional<bool> dtr;
    std::optional<bool> rts;
};

// Line-error bits of the line-error query (the Windows CE_* values).
inline constexpr uint32_t kLineErrorRxOver = 0x0001;
inline constexpr uint32_t kLineErrorOverrun = 0x0002;
inline constexpr uint32_t kLineErrorParity = 0x0004;
inline constexpr uint32_t kLineErrorFrame = 0x0008;
inline constexpr uint32_t kLineErrorBreak = 0x0010;

class SerialPort {
public:
    explicit SerialPort(const Clock& clock);
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Opens an existing tty for reading and writing, exclusively: a port that
    // another opener holds is refused (errno EBUSY). Non-tty paths are refused
    // (ENOTTY). The port starts in raw mode with its current speed.
    bool open(const std::string& devicePath);
#ifdef _WIN32
    bool isOpen() const { return handle_ != nullptr; }
#else
    bool isOpen() const { return fd_ >= 0; }
    int fd() const { return fd_; }
#endif
    const std::string& devicePath() const { return path_; }

    // Releases the port. On Linux the descriptor is gone even when close()
    // reports an error, so the port counts as closed afterwards in any case;
    // the result says whether the system reported success.
    bool close();

    // Driver queue sizes: accepted and ignored (the tty layer sizes its own).
    bool setQueueSizes(uint32_t inputBytes, uint32_t outputBytes);
    bool applyLineSettings(const LineSettings& settings);
    bool setTimeouts(const SerialTimeouts& timeouts);
    const SerialTimeouts& timeouts() const { return timeouts_; }
    // Discards both directions (pending input and unsent output).
    bool purge();
    // Line errors counted by the driver since the last query, as kLineError*
    // bits; 0 when the driver keeps no counters (pseudo-terminals).
    uint32_t takeLineErrors();
    // Modem-control lines; a driver without them (pseudo-terminal) counts as success.
    bool setDtr(bool on);
    bool setRts(bool on);

    // Reads up to `count` bytes under the time-out row. Returns the count read
    // (0 on time-out) or -1 on failure.
    int64_t read(uint8_t* buffer, size_t count);
    // Writes `count` bytes within the write time-out. Returns the count written
    // (short on time-out) or -1 on failure.
    int64_t write(const uint8_t* data, size_t count);

private:
    const Clock& clock_;
#ifdef _WIN32
    void* handle_ = nullptr;  // the port's HANDLE
    // The time-out values last handed to the driver, in real milliseconds; a read or write
    // hands new ones only when they differ.
    struct DriverTimeouts {
        uint32_t interval = 0, multiplier = 0, constant = 0, writeConstant = 0;
        bool operator==(const DriverTimeouts&) const = default;
    };
    DriverTimeouts applied_{};
    bool appliedKnown_ = false;
    bool applyDriverTimeouts(const DriverTimeouts& wanted);
#else
    int fd_ = -1;
#endif
    std::string path_;
    SerialTimeouts timeouts_{};
    struct Counters {
        int frame = 0, overrun = 0, parity = 0, brk = 0, bufOverrun = 0;
    } counters_{};
    bool countersKnown_ = false;
    // The driver refused the counter query (a pseudo-terminal): it never keeps counters, so
    // the query is not repeated before every frame.
    bool noCounters_ = false;

    // One non-blocking read of what is waiting: count, 0 for nothing, -1 on failure.
    int64_t readWaiting(uint8_t* buffer, size_t count);
    // Waits up to `toolMs` for input (kMaxDword: without limit): 1 ready, 0 time-out, -1 failure.
    int waitReadable(uint32_t toolMs);
    bool modemLine(int bit, bool on);
    void readCounters(Counters& out, bool& ok);
};

}  // namespace flintcast::platform
