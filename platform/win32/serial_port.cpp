// COM ports through the Win32 communications calls. The port is opened for synchronous I/O:
// Wine's overlapped serial reads ignore the "return at once" time-out row, and every port is
// read and written by one thread at a time anyway. The time-out rows are
// handed to the driver as COMMTIMEOUTS with every limit converted to real milliseconds on the
// scaled clock; a row whose total limit depends on the byte count is converted per call.
#include "platform/serial_port.h"

#include <windows.h>

#include <algorithm>
#include <cerrno>

#include "platform/link_tally.h"
#include "platform/win32/win_text.h"

namespace flintcast::platform {
namespace {

HANDLE H(void* handle) { return static_cast<HANDLE>(handle); }

bool SupportedBaud(uint32_t baud) {
    switch (baud) {
        case 9600: case 19200: case 38400: case 57600: case 115200: case 230400: case 460800: case 921600:
            return true;
        default: return false;
    }
}

// Total limit of a Windows row for `count` bytes; kMaxDword when there is none.
uint32_t TotalLimit(uint32_t multiplier, uint32_t constant, size_t count) {
    if (multiplier == 0 && constant == 0) return kMaxDword;
    const uint64_t total = static_cast<uint64_t>(multiplier) * count + constant;
    return static_cast<uint32_t>(std::min<uint64_t>(total, kMaxDword - 1));
}

// A tool-time limit in real milliseconds for the driver: at least 1, below MAXDWORD.
uint32_t RealLimit(const Clock& clock, uint32_t toolMs) {
    const int real = clock.realTimeoutMs(toolMs);
    return static_cast<uint32_t>(std::clamp(real, 1, 0x7FFFFFFF));
}

// A driver without modem-control lines (a pseudo-terminal behind Wine's COM port) refuses
// them; that counts as success, as on Linux.
bool IsNoModemLinesError(DWORD error) {
    return error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION || error == ERROR_INVALID_PARAMETER ||
           error == ERROR_GEN_FAILURE || error == ERROR_CALL_NOT_IMPLEMENTED;
}

// One read or write, ended by the driver through the time-outs handed to it.
bool Transfer(HANDLE port, bool write, uint8_t* buffer, DWORD count, DWORD& done) {
    done = 0;
    const BOOL ok = write ? ::WriteFile(port, buffer, count, &done, nullptr) : ::ReadFile(port, buffer, count, &done, nullptr);
    return ok != FALSE || win32::FailWithLastError();
}

}  // namespace

SerialPort::SerialPort(const Clock& clock) : clock_(clock) {}

SerialPort::~SerialPort() { close(); }

bool SerialPort::open(const std::string& devicePath) {
    if (isOpen()) close();
    HANDLE port = ::CreateFileW(win32::Widen(devicePath).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (port == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        // A COM port another program holds answers "access denied".
        errno = error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ? EBUSY : win32::ErrnoFromWin32(error);
        return false;
    }
    // Raw from the start, at the port's current speed: binary, no flow control, no
    // character replacement, no abort on line errors.
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (::GetFileType(port) != FILE_TYPE_CHAR || !::GetCommState(port, &dcb)) {
        ::CloseHandle(port);
        errno = ENOTTY;
        return false;
    }
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fAbortOnError = FALSE;
    if (dcb.fRtsControl == RTS_CONTROL_HANDSHAKE || dcb.fRtsControl == RTS_CONTROL_TOGGLE)
        dcb.fRtsControl = RTS_CONTROL_ENABLE;
    if (dcb.fDtrControl == DTR_CONTROL_HANDSHAKE) dcb.fDtrControl = DTR_CONTROL_ENABLE;
    if (!::SetCommState(port, &dcb)) {
        const DWORD error = ::GetLastError();
        ::CloseHandle(port);
        errno = win32::ErrnoFromWin32(error);
        return false;
    }
    handle_ = port;
    path_ = devicePath;
    appliedKnown_ = false;
    // Line errors from before the open are not this session's.
    DWORD errors = 0;
    ::ClearCommError(port, &errors, nullptr);
    errno = 0;
    return true;
}

bool SerialPort::close() {
    if (handle_ == nullptr) {
        errno = 0;
        return true;
    }
    const BOOL ok = ::CloseHandle(H(handle_));
    const DWORD error = ::GetLastError();
    handle_ = nullptr;
    appliedKnown_ = false;
    errno = ok ? 0 : win32::ErrnoFromWin32(error);
    return ok != FALSE;
}

bool SerialPort::setQueueSizes(uint32_t inputBytes, uint32_t outputBytes) {
    if (handle_ == nullptr) {
        errno = EBADF;
        return false;
    }
    if (!::SetupComm(H(handle_), inputBytes, outputBytes)) return win32::FailWithLastError();
    errno = 0;
    return true;
}

bool SerialPort::applyLineSettings(const LineSettings& settings) {
    if (handle_ == nullptr) {
        errno = EBADF;
        return false;
    }
    if (!SupportedBaud(settings.baudRate)) {
        errno = EINVAL;
        return false;
    }
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(H(handle_), &dcb)) return win32::FailWithLastError();
    // Binary 8N1: no parity, no parity checking, no software or hardware flow control, no
    // character replacement or stripping.
    dcb.BaudRate = settings.baudRate;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fAbortOnError = FALSE;
    if (settings.dtr) dcb.fDtrControl = *settings.dtr ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
    if (settings.rts) dcb.fRtsControl = *settings.rts ? RTS_CONTROL_ENABLE : RTS_CONTROL_DISABLE;
    if (!::SetCommState(H(handle_), &dcb)) return win32::FailWithLastError();
    if (settings.dtr && !setDtr(*settings.dtr)) return false;
    if (settings.rts && !setRts(*settings.rts)) return false;
    errno = 0;
    return true;
}

bool SerialPort::setTimeouts(const SerialTimeouts& timeouts) {
    if (handle_ == nullptr) {
        errno = EBADF;
        return false;
    }
    timeouts_ = timeouts;
    errno = 0;
    return true;
}

bool SerialPort::applyDriverTimeouts(const DriverTimeouts& wanted) {
    if (appliedKnown_ && applied_ == wanted) return true;
    COMMTIMEOUTS ct{};
    ct.ReadIntervalTimeout = wanted.interval;
    ct.ReadTotalTimeoutMultiplier = wanted.multiplier;
    ct.ReadTotalTimeoutConstant = wanted.constant;
    ct.WriteTotalTimeoutMultiplier = 0;
    ct.WriteTotalTimeoutConstant = wanted.writeConstant;
    if (!::SetCommTimeouts(H(handle_), &ct)) {
        appliedKnown_ = false;
        return win32::FailWithLastError();
    }
    applied_ = wanted;
    appliedKnown_ = true;
    return true;
}

bool SerialPort::purge() {
    if (handle_ == nullptr) {
        errno = EBADF;
        return false;
    }
    if (!::PurgeComm(H(handle_), PURGE_RXABORT | PURGE_RXCLEAR | PURGE_TXABORT | PURGE_TXCLEAR))
        return win32::FailWithLastError();
    errno = 0;
    return true;
}

uint32_t SerialPort::takeLineErrors() {
    const int saved = errno;
    DWORD errors = 0;
    uint32_t mask = 0;
    if (handle_ != nullptr && ::ClearCommError(H(handle_), &errors, nullptr)) {
        // The CE_* bits are the kLineError* values.
        mask = errors & (kLineErrorRxOver | kLineErrorOverrun | kLineErrorParity | kLineErrorFrame | kLineErrorBreak);
    }
    errno = saved;
    return mask;
}

namespace {

// Raises or drops one modem control line; a port without such lines takes the request as done.
bool EscapeModemLine(void* handle, DWORD function) {
    if (handle == nullptr) {
        errno = EBADF;
        return false;
    }
    if (!::EscapeCommFunction(H(handle), function) && !IsNoModemLinesError(::GetLastError()))
        return win32::FailWithLastError();
    errno = 0;
    return true;
}

}  // namespace

bool SerialPort::setDtr(bool on) { return EscapeModemLine(handle_, on ? SETDTR : CLRDTR); }

bool SerialPort::setRts(bool on) { return EscapeModemLine(handle_, on ? SETRTS : CLRRTS); }

int64_t SerialPort::read(uint8_t* buffer, size_t count) {
    const LinkTimer timer(LinkDirection::Read);
    if (handle_ == nullptr) {
        errno = EBADF;
        return -1;
    }
    if (count == 0) {
        errno = 0;
        return 0;
    }
    const DWORD wanted = static_cast<DWORD>(std::min<size_t>(count, 0x7FFFFFFF));
    const SerialTimeouts& t = timeouts_;
    DriverTimeouts d = applied_;
    if (!appliedKnown_) d.writeConstant = 0;
    DWORD done = 0;
    if (t.readInterval == kMaxDword && t.readMultiplier == kMaxDword && t.readConstant != 0 &&
        t.readConstant != kMaxDword) {
        // At once with what is waiting, else the first byte within the constant. Windows has a
        // row for this, but Wine waits out its whole constant even when bytes have come; one
        // byte under a total limit followed by what is waiting means the same on both.
        d.interval = 0;
        d.multiplier = 0;
        d.constant = RealLimit(clock_, t.readConstant);
        if (!applyDriverTimeouts(d) || !Transfer(H(handle_), false, buffer, 1, done)) return -1;
        if (done == 1 && wanted > 1) {
            d.interval = MAXDWORD;
            d.constant = 0;
            DWORD more = 0;
            if (!applyDriverTimeouts(d) || !Transfer(H(handle_), false, buffer + 1, wanted - 1, more)) return -1;
            done += more;
        }
        CountLinkBytes(LinkDirection::Read, done);
        errno = 0;
        return done;
    }
    if (t.readInterval == kMaxDword && t.readMultiplier == 0 && t.readConstant == 0) {
        // At once with what is waiting, possibly nothing.
        d.interval = MAXDWORD;
        d.multiplier = 0;
        d.constant = 0;
    } else {
        // A total limit for this count, and an interval limit between bytes (0: none).
        const uint32_t total = TotalLimit(t.readMultiplier, t.readConstant, wanted);
        d.multiplier = 0;
        d.constant = total == kMaxDword ? 0 : RealLimit(clock_, total);
        d.interval = t.readInterval == 0 || t.readInterval == kMaxDword ? 0 : RealLimit(clock_, t.readInterval);
    }
    if (!applyDriverTimeouts(d)) return -1;
    if (!Transfer(H(handle_), false, buffer, wanted, done)) return -1;
    CountLinkBytes(LinkDirection::Read, done);
    errno = 0;
    return done;
}

int64_t SerialPort::write(const uint8_t* data, size_t count) {
    const LinkTimer timer(LinkDirection::Write);
    if (handle_ == nullptr) {
        errno = EBADF;
        return -1;
    }
    if (count == 0) {
        errno = 0;
        return 0;
    }
    const DWORD wanted = static_cast<DWORD>(std::min<size_t>(count, 0x7FFFFFFF));
    const uint32_t total = TotalLimit(timeouts_.writeMultiplier, timeouts_.writeConstant, wanted);
    DriverTimeouts d = applied_;
    if (!appliedKnown_) d = DriverTimeouts{MAXDWORD, 0, 0, 0};
    d.writeConstant = total == kMaxDword ? 0 : RealLimit(clock_, total);
    if (!applyDriverTimeouts(d)) return -1;
    DWORD done = 0;
    // The driver ends a timed-out write with the bytes it sent: a short count, as designed.
    if (!Transfer(H(handle_), true, const_cast<uint8_t*>(data), wanted, done)) return -1;
    CountLinkBytes(LinkDirection::Write, done);
    errno = 0;
    return done;
}

}  // namespace flintcast::platform
