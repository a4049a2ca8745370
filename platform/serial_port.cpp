#include "platform/serial_port.h"
#include "platform/link_tally.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace flintcast::platform {
namespace {

// Tool milliseconds since `start` on the (wrapping) tick counter.
uint32_t Elapsed(const Clock& clock, uint32_t start) { return clock.tickMs() - start; }

bool SpeedFor(uint32_t baud, speed_t& out) {
    switch (baud) {
        case 9600: out = B9600; return true;
        case 19200: out = B19200; return true;
        case 38400: out = B38400; return true;
        case 57600: out = B57600; return true;
        case 115200: out = B115200; return true;
        case 230400: out = B230400; return true;
        case 460800: out = B460800; return true;
        case 921600: out = B921600; return true;
        default: return false;
    }
}

// Total limit of a Windows row for `count` bytes; kMaxDword when there is none.
uint32_t TotalLimit(uint32_t multiplier, uint32_t constant, size_t count) {
    if (multiplier == 0 && constant == 0) return kMaxDword;
    const uint64_t total = static_cast<uint64_t>(multiplier) * count + constant;
    return static_cast<uint32_t>(std::min<uint64_t>(total, kMaxDword - 1));
}

// A driver without modem-control lines (pseudo-terminal) refuses these ioctls.
bool IsNoModemLinesError(int err) { return err == EINVAL || err == ENOTTY; }

}  // namespace

SerialPort::SerialPort(const Clock& clock) : clock_(clock) {}

SerialPort::~SerialPort() { close(); }

bool SerialPort::open(const std::string& devicePath) {
    if (isOpen()) close();
    const int fd = ::open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    auto refuse = [fd](int err) {
        ::close(fd);
        errno = err;
        return false;
    };
    if (!::isatty(fd)) return refuse(ENOTTY);
    // TIOCEXCL alone does not stop root, and the tool often runs as root: the
    // advisory lock is what makes the open exclusive between processes.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) return refuse(errno == EWOULDBLOCK ? EBUSY : errno);
    ::ioctl(fd, TIOCEXCL);
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0) return refuse(errno);
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    // VMIN 1 with O_NONBLOCK: an empty read fails with EAGAIN, so a read of
    // 0 bytes can only mean a hang-up. Waiting is done with poll().
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    if (::tcsetattr(fd, TCSANOW, &tio) != 0) return refuse(errno);
    fd_ = fd;
    path_ = devicePath;
    noCounters_ = false;
    bool ok = false;
    readCounters(counters_, ok);
    countersKnown_ = ok;
    errno = 0;
    return true;
}

bool SerialPort::close() {
    if (fd_ < 0) {
        errno = 0;
        return true;
    }
    ::ioctl(fd_, TIOCNXCL);
    ::flock(fd_, LOCK_UN);
    const int rc = ::close(fd_);
    const int err = errno;
    fd_ = -1;
    countersKnown_ = false;
    errno = rc == 0 ? 0 : err;
    return rc == 0;
}

bool SerialPort::setQueueSizes(uint32_t, uint32_t) {
    if (fd_ < 0) {
        errno = EBADF;
        return false;
    }
    errno = 0;
    return true;
}

bool SerialPort::applyLineSettings(const LineSettings& settings) {
    if (fd_ < 0) {
        errno = EBADF;
        return false;
    }
    speed_t speed{};
    if (!SpeedFor(settings.baudRate, speed)) {
        errno = EINVAL;
        return false;
    }
    termios tio{};
    if (::tcgetattr(fd_, &tio) != 0) return false;
    // Binary 8N1: no parity, no parity checking, no software or hardware flow
    // control, no character replacement or stripping.
    cfmakeraw(&tio);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_iflag &= ~static_cast<tcflag_t>(INPCK | IXON | IXOFF | IXANY | IGNPAR | PARMRK | ISTRIP);
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    if (::cfsetispeed(&tio, speed) != 0 || ::cfsetospeed(&tio, speed) != 0) return false;
    if (::tcsetattr(fd_, TCSANOW, &tio) != 0) return false;
    if (settings.dtr && !setDtr(*settings.dtr)) return false;
    if (settings.rts && !setRts(*settings.rts)) return false;
    errno = 0;
    return true;
}

bool SerialPort::setTimeouts(const SerialTimeouts& timeouts) {
    if (fd_ < 0) {
        errno = EBADF;
        return false;
    }
    timeouts_ = timeouts;
    errno = 0;
    return true;
}

bool SerialPort::purge() {
    if (fd_ < 0) {
        errno = EBADF;
        return false;
    }
    if (::tcflush(fd_, TCIOFLUSH) != 0) return false;
    errno = 0;
    return true;
}

void SerialPort::readCounters(Counters& out, bool& ok) {
    serial_icounter_struct ic{};
    ok = fd_ >= 0 && !noCounters_ && ::ioctl(fd_, TIOCGICOUNT, &ic) == 0;
    if (fd_ >= 0 && !ok && (errno == ENOTTY || errno == EINVAL)) noCounters_ = true;
    if (!ok) return;
    out.frame = ic.frame;
    out.overrun = ic.overrun;
    out.parity = ic.parity;
    out.brk = ic.brk;
    out.bufOverrun = ic.buf_overrun;
}

uint32_t SerialPort::takeLineErrors() {
    const int saved = errno;
    Counters now{};
    bool ok = false;
    readCounters(now, ok);
    uint32_t mask = 0;
    if (ok && countersKnown_) {
        if (now.bufOverrun != counters_.bufOverrun) mask |= kLineErrorRxOver;
        if (now.overrun != counters_.overrun) mask |= kLineErrorOverrun;
        if (now.parity != counters_.parity) mask |= kLineErrorParity;
        if (now.frame != counters_.frame) mask |= kLineErrorFrame;
        if (now.brk != counters_.brk) mask |= kLineErrorBreak;
    }
    if (ok) counters_ = now;
    countersKnown_ = ok;
    errno = saved;
    return mask;
}

bool SerialPort::modemLine(int bit, bool on) {
    if (fd_ < 0) {
        errno = EBADF;
        return false;
    }
    if (::ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &bit) != 0 && !IsNoModemLinesError(errno)) return false;
    errno = 0;
    return true;
}

bool SerialPort::setDtr(bool on) { return modemLine(TIOCM_DTR, on); }
bool SerialPort::setRts(bool on) { return modemLine(TIOCM_RTS, on); }

int64_t SerialPort::readWaiting(uint8_t* buffer, size_t count) {
    for (;;) {
        const ssize_t n = ::read(fd_, buffer, count);
        if (n > 0) {
            CountLinkBytes(LinkDirection::Read, n);
            return n;
        }
        if (n == 0) {
            // A hung-up tty reads as end of file; report it as a failure
            // instead of letting the caller spin on "nothing waiting".
            errno = EIO;
            return -1;
        }
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
        return -1;
    }
}

int SerialPort::waitReadable(uint32_t toolMs) {
    const uint32_t start = clock_.tickMs();
    for (;;) {
        int realMs = -1;
        if (toolMs != kMaxDword) {
            const uint32_t spent = Elapsed(clock_, start);
            if (spent >= toolMs) return 0;
            realMs = clock_.realTimeoutMs(toolMs - spent);
        }
        pollfd p{fd_, POLLIN, 0};
        const int rc = ::poll(&p, 1, realMs);
        if (rc > 0) return 1;  // readable, or an error/hang-up the read will report
        if (rc < 0 && errno != EINTR) return -1;
        if (rc == 0 && toolMs != kMaxDword && Elapsed(clock_, start) >= toolMs) return 0;
    }
}

int64_t SerialPort::read(uint8_t* buffer, size_t count) {
    const LinkTimer timer(LinkDirection::Read);
    if (fd_ < 0) {
        errno = EBADF;
        return -1;
    }
    if (count == 0) {
        errno = 0;
        return 0;
    }
    const SerialTimeouts& t = timeouts_;
    if (t.readInterval == kMaxDword && t.readMultiplier == kMaxDword && t.readConstant != 0 &&
        t.readConstant != kMaxDword) {
        // Return at once with what is waiting, else wait for the first byte. The wait comes
        // first: poll() returns at once when bytes are waiting, and right after a request was
        // sent a read would only find nothing and cost a system call per reply.
        const int w = waitReadable(t.readConstant);
        if (w < 0) return -1;
        const int64_t got = w > 0 ? readWaiting(buffer, count) : 0;
        if (got < 0) return -1;
        errno = 0;
        return got;
    }
    int64_t got = readWaiting(buffer, count);
    if (got < 0) return -1;
    if (t.readInterval == kMaxDword && t.readMultiplier == 0 && t.readConstant == 0) {
        // Return at once with what is waiting, possibly nothing.
        errno = 0;
        return got;
    }

    // General row: total limit over the whole read, interval limit between bytes.
    const uint32_t start = clock_.tickMs();
    const uint32_t total = TotalLimit(t.readMultiplier, t.readConstant, count);
    const uint32_t interval = t.readInterval == 0 ? kMaxDword : t.readInterval;
    while (static_cast<size_t>(got) < count) {
        uint32_t wait = kMaxDword;
        if (total != kMaxDword) {
            const uint32_t spent = Elapsed(clock_, start);
            if (spent >= total) break;
            wait = total - spent;
        }
        if (got > 0) wait = std::min(wait, interval);
        const int w = waitReadable(wait);
        if (w < 0) return -1;
        if (w == 0) break;
        const int64_t n = readWaiting(buffer + got, count - static_cast<size_t>(got));
        if (n < 0) return -1;
        got += n;
    }
    errno = 0;
    return got;
}

int64_t SerialPort::write(const uint8_t* data, size_t count) {
    const LinkTimer timer(LinkDirection::Write);
    if (fd_ < 0) {
        errno = EBADF;
        return -1;
    }
    const uint32_t start = clock_.tickMs();
    const uint32_t total = TotalLimit(timeouts_.writeMultiplier, timeouts_.writeConstant, count);
    size_t done = 0;
    while (done < count) {
        const ssize_t n = ::write(fd_, data + done, count - done);
        if (n > 0) {
            CountLinkBytes(LinkDirection::Write, n);
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return -1;
        int realMs = -1;
        if (total != kMaxDword) {
            const uint32_t spent = Elapsed(clock_, start);
            if (spent >= total) break;  // time-out: a short count, like the Windows write
            realMs = clock_.realTimeoutMs(total - spent);
        }
        pollfd p{fd_, POLLOUT, 0};
        const int rc = ::poll(&p, 1, realMs);
        if (rc < 0 && errno != EINTR) return -1;
        if (rc > 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0 && (p.revents & POLLOUT) == 0) {
            errno = EIO;
            return -1;
        }
    }
    errno = 0;
    return static_cast<int64_t>(done);
}

}  // namespace flintcast::platform
