#include "sim/net/loopback_listener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include <fmt/format.h>

namespace flintcast::sim {

LoopbackListener::LoopbackListener() {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd_ < 0) throw std::runtime_error(fmt::format("loopback socket: {}", std::strerror(errno)));
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof(addr);
    if (::bind(fd_, reinterpret_cast<const sockaddr*>(&addr), sizeof(addr)) != 0 || ::listen(fd_, 4) != 0 ||
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        const int err = errno;
        ::close(fd_);
        fd_ = -1;
        throw std::runtime_error(fmt::format("loopback listener: {}", std::strerror(err)));
    }
    port_ = ntohs(addr.sin_port);
}

LoopbackListener::~LoopbackListener() {
    if (fd_ >= 0) ::close(fd_);
}

std::string LoopbackListener::address() const { return fmt::format("127.0.0.1:{}", port_); }

int LoopbackListener::Accept() {
    const int client = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (client < 0) return -1;
    // Replies are small and answer a request: they go out at once.
    const int one = 1;
    ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
    return client;
}

}  // namespace flintcast::sim
