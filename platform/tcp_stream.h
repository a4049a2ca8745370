#pragma once
// A TCP client connection with a time-out on every call, read on the scaled clock. Used for
// devices that speak their protocol over the network (and for the simulator on loopback).
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/clock.h"

namespace flintcast::platform {

class TcpStream {
public:
    explicit TcpStream(const Clock& clock) : clock_(clock) {}
    ~TcpStream();
    TcpStream(const TcpStream&) = delete;
    TcpStream& operator=(const TcpStream&) = delete;

    // Connects to `host` (a name or an address) and `port` within `timeoutMs` tool ms.
    // False with error() set when it could not.
    bool Connect(const std::string& host, uint16_t port, uint32_t timeoutMs);
    bool isOpen() const { return fd_ != kNoSocket; }

    // Sends all `count` bytes; false (error() set) when the peer went away or `timeoutMs`
    // passed without progress. `sent` gets the bytes that went out.
    bool SendAll(const uint8_t* data, size_t count, uint32_t timeoutMs, size_t& sent);
    // Receives exactly `count` bytes; false when the peer closed, an error came or
    // `timeoutMs` passed in all. `got` gets the bytes received.
    bool ReceiveExact(uint8_t* data, size_t count, uint32_t timeoutMs, size_t& got);
    // Shuts the connection down and closes it; false when close itself failed.
    bool Close();

    const std::string& error() const { return error_; }

private:
    const Clock& clock_;
#ifdef _WIN32
    using Socket = uintptr_t;  // a Winsock SOCKET
    static constexpr Socket kNoSocket = ~Socket{0};
#else
    using Socket = int;
    static constexpr Socket kNoSocket = -1;
#endif
    Socket fd_ = kNoSocket;
    std::string error_;

    // Waits until the socket is ready for `events` (POLLIN or POLLOUT) or the deadline
    // (a real monotonic time in ms) passes; false with error_ set on time-out.
    bool WaitReady(short events, int64_t deadlineRealMs, const char* what);
};

}  // namespace flintcast::platform
