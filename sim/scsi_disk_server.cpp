#include "sim/scsi_disk_server.h"

#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <system_error>

#include <fmt/format.h>

namespace flintcast::sim {
namespace {

constexpr size_t kMaxClients = 8;
// A request is at most its header, a CDB and the largest transfer to the device.
constexpr size_t kMaxPending = 12 + platform::kScsiMaxCdb + platform::kScsiMaxTransfer;

// Sends the whole answer; a client that does not take it within a few seconds is dropped.
bool SendAll(int fd, const std::vector<uint8_t>& bytes) {
    for (size_t sent = 0; sent < bytes.size();) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

ScsiDiskServer::ScsiDiskServer(std::filesystem::path node) : node_(std::move(node)) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const std::string path = node_.string();
    if (path.size() >= sizeof(addr.sun_path))
        throw std::runtime_error(fmt::format("disk node path too long ({} bytes): {}", path.size(), path));
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    std::error_code ec;
    std::filesystem::remove(node_, ec);
    fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd_ < 0) throw std::runtime_error(fmt::format("disk node socket: {}", std::strerror(errno)));
    if (::bind(fd_, reinterpret_cast<const sockaddr*>(&addr), sizeof(addr)) != 0 || ::listen(fd_, 4) != 0) {
        const int err = errno;
        ::close(fd_);
        fd_ = -1;
        throw std::runtime_error(fmt::format("disk node {}: {}", path, std::strerror(err)));
    }
}

ScsiDiskServer::~ScsiDiskServer() {
    for (const auto& c : clients_) ::close(c.fd);
    if (fd_ >= 0) ::close(fd_);
    std::error_code ec;
    std::filesystem::remove(node_, ec);
}

std::vector<int> ScsiDiskServer::fds() const {
    std::vector<int> out{fd_};
    for (const auto& c : clients_) out.push_back(c.fd);
    return out;
}

void ScsiDiskServer::Close(size_t index) {
    ::close(clients_[index].fd);
    clients_.erase(clients_.begin() + static_cast<long>(index));
}

void ScsiDiskServer::Serve(int fd, const Handler& handle) {
    if (fd == fd_) {
        const int client = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) return;
        if (clients_.size() >= kMaxClients) {
            ::close(client);
            return;
        }
        const timeval sendLimit{2, 0};
        ::setsockopt(client, SOL_SOCKET, SO_SNDTIMEO, &sendLimit, sizeof(sendLimit));
        clients_.push_back({client, {}});
        return;
    }
    size_t index = 0;
    while (index < clients_.size() && clients_[index].fd != fd) ++index;
    if (index == clients_.size()) return;
    uint8_t chunk[16 * 1024];
    const ssize_t n = ::recv(fd, chunk, sizeof(chunk), MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
    if (n <= 0) {
        Close(index);
        return;
    }
    auto& pending = clients_[index].pending;
    pending.insert(pending.end(), chunk, chunk + n);
    for (;;) {
        const auto decoded = platform::DecodeScsiRequest(pending);
        if (decoded.outcome == platform::WireDecode::NeedMore && pending.size() <= kMaxPending) return;
        if (decoded.outcome != platform::WireDecode::Complete) {
            Close(index);
            return;
        }
        pending.erase(pending.begin(), pending.begin() + static_cast<long>(decoded.used));
        auto answer = handle(decoded.value);
        if (answer.sense.size() > decoded.value.senseCapacity) answer.sense.resize(decoded.value.senseCapacity);
        if (!SendAll(fd, platform::EncodeScsiAnswer(answer))) {
            Close(index);
            return;
        }
    }
}

}  // namespace flintcast::sim
