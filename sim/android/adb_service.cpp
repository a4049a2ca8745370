#include "sim/android/adb_service.h"

#include <unistd.h>

#include <cerrno>

namespace flintcast::sim {
namespace {

constexpr const char* kLink = "adb";
constexpr size_t kReadChunk = 256 * 1024;

}  // namespace

AdbService::AdbService(AndroidFiles& files, const AdbIdentity& identity, Faults& faults,
                       ProtocolFaultHooks* requestFaults, ReplyWriter& writer)
    : files_(files), identity_(identity), faults_(faults), requestFaults_(requestFaults), writer_(writer) {}

AdbService::~AdbService() { CloseClient(); }

void AdbService::CloseClient() {
    if (client_ >= 0) ::close(client_);
    client_ = -1;
    transport_.reset();
}

void AdbService::AddPollFds(std::vector<pollfd>& fds) const {
    fds.push_back({listener_.fd(), POLLIN, 0});
    if (client_ >= 0) fds.push_back({client_, POLLIN, 0});
}

AdbService::Events AdbService::Serve(std::span<const pollfd> fds) {
    Events events;
    for (const auto& p : fds) {
        if (p.fd == listener_.fd() && (p.revents & POLLIN)) {
            const int fd = listener_.Accept();
            if (fd >= 0) {
                CloseClient();
                client_ = fd;
                transport_ = std::make_unique<AdbTransport>(files_, identity_, requestFaults_, this);
            }
        } else if (client_ >= 0 && p.fd == client_ && (p.revents & (POLLIN | POLLHUP | POLLERR))) {
            ReadClient(events);
        }
    }
    return events;
}

void AdbService::ReadClient(Events& events) {
    std::vector<uint8_t> buf(kReadChunk);
    const ssize_t n = ::read(client_, buf.data(), buf.size());
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
    if (n <= 0) {
        CloseClient();
        return;
    }
    writer_.PaceRead(kLink, static_cast<size_t>(n));
    AdbTransport::Output out;
    const bool keep = transport_->Feed(std::span(buf.data(), static_cast<size_t>(n)), out);
    for (auto& message : out.messages) writer_.Send(client_, kLink, std::move(message), false);
    events.changed = out.changed;
    events.disconnect = out.disconnect;
    if (!keep || out.disconnect) CloseClient();
}

std::optional<uint64_t> AdbService::DisconnectAfter() {
    if (const auto at = faults_.fire(FaultKind::DisconnectAt, kLink)) return static_cast<uint64_t>(*at);
    return std::nullopt;
}

}  // namespace flintcast::sim
