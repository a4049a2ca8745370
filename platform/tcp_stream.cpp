#include "platform/tcp_stream.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <fmt/format.h>

namespace flintcast::platform {
namespace {

int64_t RealNowMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1'000'000;
}

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
        pollfd pfd{fd_, events, 0};
        const int rc = ::poll(&pfd, 1, static_cast<int>(left));
        if (rc < 0 && errno == EINTR) continue;
        if (rc < 0) {
            error_ = fmt::format("{} failed: {}", what, std::strerror(errno));
            return false;
        }
        if (rc > 0) return true;
    }
}

bool TcpStream::Connect(const std::string& host, uint16_t port, uint32_t timeoutMs) {
    Close();
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    const int gai = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
    if (gai != 0) {
        error_ = fmt::format("cannot resolve {}: {}", host, ::gai_strerror(gai));
        return false;
    }
    const int64_t deadline = RealNowMs() + clock_.realTimeoutMs(timeoutMs);
    error_ = fmt::format("cannot connect to {}:{}", host, port);
    for (addrinfo* a = found; a != nullptr; a = a->ai_next) {
        fd_ = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (fd_ < 0) continue;
        int rc = ::connect(fd_, a->ai_addr, a->ai_addrlen);
        if (rc < 0 && errno == EINPROGRESS && WaitReady(POLLOUT, deadline, "connecting")) {
            int soError = 0;
            socklen_t len = sizeof soError;
            ::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &soError, &len);
            rc = soError == 0 ? 0 : -1;
            if (soError != 0) errno = soError;
        }
        if (rc == 0) {
            // Commands and replies are short packets: send them at once.
            int one = 1;
            ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            ::freeaddrinfo(found);
            error_.clear();
            return true;
        }
        error_ = fmt::format("cannot connect to {}:{}: {}", host, port, std::strerror(errno));
        ::close(fd_);
        fd_ = -1;
    }
    ::freeaddrinfo(found);
    return false;
}

bool TcpStream::SendAll(const uint8_t* data, size_t count, uint32_t timeoutMs, size_t& sent) {
    sent = 0;
    if (fd_ < 0) {
        error_ = "not connected";
        return false;
    }
    const int64_t deadline = RealNowMs() + clock_.realTimeoutMs(timeoutMs);
    while (sent < count) {
        const ssize_t n = ::send(fd_, data + sent, count - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!WaitReady(POLLOUT, deadline, "sending")) return false;
            continue;
        }
        error_ = fmt::format("send failed: {}", std::strerror(errno));
        return false;
    }
    return true;
}

bool TcpStream::ReceiveExact(uint8_t* data, size_t count, uint32_t timeoutMs, size_t& got) {
    got = 0;
    if (fd_ < 0) {
        error_ = "not connected";
        return false;
    }
    const int64_t deadline = RealNowMs() + clock_.realTimeoutMs(timeoutMs);
    while (got < count) {
        const ssize_t n = ::recv(fd_, data + got, count - got, 0);
        if (n > 0) {
            got += static_cast<size_t>(n);
            continue;
        }
        if (n == 0) {
            error_ = "the device closed the connection";
            errno = ECONNRESET;
            return false;
        }
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            if (!WaitReady(POLLIN, deadline, "receiving")) return false;
            continue;
        }
        error_ = fmt::format("receive failed: {}", std::strerror(errno));
        return false;
    }
    return true;
}

bool TcpStream::Close() {
    if (fd_ < 0) return true;
    ::shutdown(fd_, SHUT_RDWR);
    const int rc = ::close(fd_);
    fd_ = -1;
    return rc == 0;
}

}  // namespace flintcast::platform
