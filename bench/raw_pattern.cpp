#include "bench/raw_pattern.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <thread>

#include "platform/pty.h"

namespace flintcast::bench {
namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr size_t kReplyBytes = 9;
// A stream-write acknowledgement as the device sends it (7E 08, address 0, check sequence, 7E).
constexpr uint8_t kReply[kReplyBytes] = {0x7E, 0x08, 0x00, 0x00, 0x00, 0x00, 0x5A, 0x2B, 0x7E};
constexpr int kStallMs = 5000;

bool WriteAll(int fd, const uint8_t* data, size_t count) {
    while (count > 0) {
        const ssize_t n = ::write(fd, data, count);
        if (n > 0) {
            data += n;
            count -= static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) return false;
        pollfd p{fd, POLLOUT, 0};
        if (::poll(&p, 1, kStallMs) <= 0) return false;
    }
    return true;
}

// Reads one reply: at least 9 bytes up to a closing flag (a stuffed address makes it longer).
bool ReadReply(int fd) {
    uint8_t buf[64];
    size_t got = 0;
    while (got < kReplyBytes || buf[got - 1] != 0x7E) {
        if (got == sizeof buf) return false;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, kStallMs) <= 0) return false;
        const size_t want = got < kReplyBytes ? kReplyBytes - got : 1;
        const ssize_t n = ::read(fd, buf + got, want);
        if (n <= 0) return false;
        got += static_cast<size_t>(n);
    }
    return true;
}

bool SendFrames(int fd, const std::vector<std::vector<uint8_t>>& frames) {
    for (const auto& frame : frames) {
        if (!WriteAll(fd, frame.data(), frame.size()) || !ReadReply(fd)) return false;
    }
    return true;
}

// The device end: reads what comes, asks `replies` how many answers the bytes complete,
// and sends that many fixed replies, until `expected` replies went out.
void Respond(int fd, size_t expected, const std::function<size_t(const uint8_t*, size_t)>& replies,
             std::vector<uint8_t>& buf) {
    size_t sent = 0;
    while (sent < expected) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, kStallMs) <= 0) return;
        const ssize_t n = ::read(fd, buf.data(), buf.size());
        if (n <= 0) return;
        for (size_t due = replies(buf.data(), static_cast<size_t>(n)); due > 0; --due, ++sent) {
            if (!WriteAll(fd, kReply, kReplyBytes)) return;
        }
    }
}

// Runs `host` against `device` over a fresh pseudo-terminal pair and times the host.
Timing Run(size_t replies, const std::function<size_t(const uint8_t*, size_t)>& device,
           const std::function<bool(int)>& host, DeviceSide side) {
    platform::PtyPair pty;
    const int fd = ::open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return {};
    // Allocated before a fork: the child only reads, scans and writes.
    std::vector<uint8_t> buf(64 * 1024);
    std::thread responder;
    pid_t child = -1;
    if (side == DeviceSide::Thread) {
        responder = std::thread([&] { Respond(pty.masterFd(), replies, device, buf); });
    } else {
        child = ::fork();
        if (child < 0) {
            ::close(fd);
            return {};
        }
        if (child == 0) {
            ::close(fd);
            Respond(pty.masterFd(), replies, device, buf);
            ::_exit(0);
        }
    }
    const double cpu0 = ThreadCpuSeconds();
    const auto t0 = SteadyClock::now();
    const bool ok = host(fd);
    Timing t{std::chrono::duration<double>(SteadyClock::now() - t0).count(), ThreadCpuSeconds() - cpu0, ok};
    ::close(fd);
    if (responder.joinable()) responder.join();
    if (child > 0) {
        int status = 0;
        rusage usage{};
        if (::wait4(child, &status, 0, &usage) == child) {
            t.deviceCpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                                 static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
        }
    }
    return t;
}

}  // namespace

double ThreadCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

Timing RawFramesCopy(const std::vector<std::vector<uint8_t>>& frames, DeviceSide side) {
    // A frame ends at a flag that follows content; the opening flag follows nothing.
    bool inFrame = false;
    auto device = [&inFrame](const uint8_t* data, size_t count) {
        size_t ends = 0;
        for (size_t i = 0; i < count;) {
            const void* flag = std::memchr(data + i, 0x7E, count - i);
            const size_t at = flag ? static_cast<size_t>(static_cast<const uint8_t*>(flag) - data) : count;
            if (at > i) inFrame = true;
            if (at == count) break;
            if (inFrame) ++ends;
            inFrame = false;
            i = at + 1;
        }
        return ends;
    };
    return Run(frames.size(), device, [&frames](int fd) { return SendFrames(fd, frames); }, side);
}

Timing RawFramesTo(int fd, const std::vector<std::vector<uint8_t>>& frames) {
    const double cpu0 = ThreadCpuSeconds();
    const auto t0 = SteadyClock::now();
    const bool ok = SendFrames(fd, frames);
    return {std::chrono::duration<double>(SteadyClock::now() - t0).count(), ThreadCpuSeconds() - cpu0, ok};
}

Timing RawBlocksCopy(std::span<const uint8_t> image, uint32_t blockSize, DeviceSide side) {
    const size_t blocks = (image.size() + blockSize - 1) / blockSize;
    size_t pending = 0;
    auto device = [&pending, blockSize](const uint8_t*, size_t count) {
        pending += count;
        const size_t done = pending / blockSize;
        pending %= blockSize;
        return done;
    };
    auto host = [&](int fd) {
        std::vector<uint8_t> block(blockSize);
        for (size_t at = 0; at < image.size(); at += blockSize) {
            const size_t take = std::min<size_t>(blockSize, image.size() - at);
            std::memcpy(block.data(), image.data() + at, take);
            std::memset(block.data() + take, 0, blockSize - take);
            if (!WriteAll(fd, block.data(), blockSize) || !ReadReply(fd)) return false;
        }
        return true;
    };
    return Run(blocks, device, host, side);
}

}  // namespace flintcast::bench
