// TCP on Windows through Winsock, started once per process. Non-blocking sockets and WSAPoll
// give the same time-out handling as poll() on Linux.
#include "platform/tcp_stream.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cerrno>
#include <chrono>

#include <fmt/format.h>

#include "platform/win32/win_text.h"

namespace flintcast::platform {
namespace {

int64_t RealNowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool WinsockReady() {
    static const bool ready = [] {
        WSADATA data{};
        return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return ready;
}

std::string SocketError(int code) { return win32::Win32Message(static_cast<DWORD>(code)); }

}  // namespace

TcpStream::~TcpStream() { Close(); }

bool TcpStream::WaitReady(short events, int64_t deadlineRealMs, const char* what) {
    for (;;) {
        const int64_t left = deadlineRealMs - RealNowMs();
        if (left <= 0) {
            error_ = fmt::format("time-out while {}", what);
            errno = ETIMEDOUT;
            return false;
        }
        WSAPOLLFD pfd{static_cast<SOCKET>(fd_), events, 0};
        const int rc = ::WSAPoll(&pfd, 1, static_cast<INT>(left));
        if (rc == SOCKET_ERROR) {
            error_ = fmt::format("{} failed: {}", what, SocketError(::WSAGetLastError()));
            return false;
        }
        if (rc > 0) return true;
    }
}

bool TcpStream::Connect(const std::string& host, uint16_t port, uint32_t timeoutMs) {
    Close();
    if (!WinsockReady()) {
        error_ = "Winsock could not be started";
        return false;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    const int gai = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
    if (gai != 0) {
        error_ = fmt::format("cannot resolve {}: {}", host, SocketError(gai));
        return false;
    }
    const int64_t deadline = RealNowMs() + clock_.realTimeoutMs(timeoutMs);
    error_ = fmt::format("cannot connect to {}:{}", host, port);
    for (addrinfo* a = found; a != nullptr; a = a->ai_next) {
        const SOCKET s = ::WSASocketW(a->ai_family, a->ai_socktype, a->ai_protocol, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
        if (s == INVALID_SOCKET) continue;
        fd_ = static_cast<Socket>(s);
        u_long nonBlocking = 1;
        ::ioctlsocket(s, FIONBIO, &nonBlocking);
        int rc = ::connect(s, a->ai_addr, static_cast<int>(a->ai_addrlen));
        int code = rc == 0 ? 0 : ::WSAGetLastError();
        if (rc != 0 && code == WSAEWOULDBLOCK && WaitReady(POLLOUT, deadline, "connecting")) {
            int soError = 0;
            int len = sizeof soError;
            ::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&soError), &len);
            rc = soError == 0 ? 0 : -1;
            code = soError;
        }
        if (rc == 0) {
            // Commands and replies are short packets: send them at once.
            BOOL one = TRUE;
            ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
            ::freeaddrinfo(found);
            error_.clear();
            return true;
        }
        if (code != 0) error_ = fmt::format("cannot connect to {}:{}: {}", host, port, SocketError(code));
        ::closesocket(s);
        fd_ = kNoSocket;
    }
    ::freeaddrinfo(found);
    return false;
}

bool TcpStream::SendAll(const uint8_t* data, size_t count, uint32_t timeoutMs, size_t& sent) {
    sent = 0;
    if (fd_ == kNoSocket) {
        error_ = "not connected";
        return false;
    }
    const int64_t deadline = RealNowMs() + clock_.realTimeoutMs(timeoutMs);
    while (sent < count) {
        const int chunk = static_cast<int>(std::min<size_t>(count - sent, 1 << 30));
        const int n = ::send(static_cast<SOCKET>(fd_), reinterpret_cast<const char*>(data + sent), chunk, 0);
        if (n > 0) {
            sent += static_cast<size_t>(n);
            continue;
        }
        const int code = ::WSAGetLastError();
        if (n == SOCKET_ERROR && code == WSAEWOULDBLOCK) {
            if (!WaitReady(POLLOUT, deadline, "sending")) return false;
            continue;
        }
        error_ = fmt::format("send failed: {}", SocketError(code));
        return false;
    }
    return true;
}

bool TcpStream::ReceiveExact(uint8_t* data, size_t count, uint32_t timeoutMs, size_t& got) {
    got = 0;
    if (fd_ == kNoSocket) {
        error_ = "not connected";
        return false;
    }
    const int64_t deadline = RealNowMs() + clock_.realTimeoutMs(timeoutMs);
    while (got < count) {
        const int chunk = static_cast<int>(std::min<size_t>(count - got, 1 << 30));
        const int n = ::recv(static_cast<SOCKET>(fd_), reinterpret_cast<char*>(data + got), chunk, 0);
        if (n > 0) {
            got += static_cast<size_t>(n);
            continue;
        }
        if (n == 0) {
            error_ = "the device closed the connection";
            errno = ECONNRESET;
            return false;
        }
        const int code = ::WSAGetLastError();
        if (code == WSAEWOULDBLOCK) {
            if (!WaitReady(POLLIN, deadline, "receiving")) return false;
            continue;
        }
        error_ = fmt::format("receive failed: {}", SocketError(code));
        return false;
    }
    return true;
}

bool TcpStream::Close() {
    if (fd_ == kNoSocket) return true;
    const SOCKET s = static_cast<SOCKET>(fd_);
    ::shutdown(s, SD_BOTH);
    const int rc = ::closesocket(s);
    fd_ = kNoSocket;
    return rc == 0;
}

}  // namespace flintcast::platform
