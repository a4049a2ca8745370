#include "sim/android/fastboot_service.h"

#include <unistd.h>

#include <cerrno>

namespace flintcast::sim {
namespace {

constexpr const char* kLink = "fastboot";
constexpr size_t kReadChunk = 256 * 1024;
constexpr int64_t kDefaultTruncatedBytes = 2;
constexpr int64_t kDefaultOversizedBytes = 512;

}  // namespace

FastbootService::FastbootService(const FastbootSettings& settings, PartitionStore& partitions, Faults& faults,
                                 ProtocolFaultHooks* requestFaults, ReplyWriter& writer, const platform::Clock& clock)
    : settings_(settings),
      partitions_(partitions),
      faults_(faults),
      requestFaults_(requestFaults),
      writer_(writer),
      clock_(clock) {}

FastbootService::~FastbootService() { CloseClient(); }

void FastbootService::CloseClient() {
    if (client_ >= 0) ::close(client_);
    client_ = -1;
    session_.reset();
    // A download cut off with its connection is void.
    partitions_.AbandonDownload();
}

void FastbootService::AddPollFds(std::vector<pollfd>& fds) const {
    fds.push_back({listener_.fd(), POLLIN, 0});
    if (client_ >= 0) fds.push_back({client_, POLLIN, 0});
}

std::vector<FastbootOutput::Event> FastbootService::Serve(std::span<const pollfd> fds) {
    std::vector<FastbootOutput::Event> events;
    for (const auto& p : fds) {
        if (p.fd == listener_.fd() && (p.revents & POLLIN)) {
            const int fd = listener_.Accept();
            if (fd >= 0) {
                CloseClient();
                client_ = fd;
                session_ = std::make_unique<FastbootSession>(settings_, partitions_, requestFaults_, this);
            }
        } else if (client_ >= 0 && p.fd == client_ && (p.revents & (POLLIN | POLLHUP | POLLERR))) {
            ReadClient(events);
        }
    }
    return events;
}

void FastbootService::ReadClient(std::vector<FastbootOutput::Event>& events) {
    std::vector<uint8_t> buf(kReadChunk);
    const ssize_t n = ::read(client_, buf.data(), buf.size());
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
    if (n <= 0) {
        CloseClient();
        return;
    }
    writer_.PaceRead(kLink, static_cast<size_t>(n));
    FastbootOutput out;
    const bool keep = session_->Feed(std::span(buf.data(), static_cast<size_t>(n)), out);
    // The handshake is the framing's own exchange, not a reply: link faults leave it alone.
    for (const auto& raw : out.raw) WritePaced(client_, raw, 0, clock_);
    for (auto& reply : out.replies) SendReply(std::move(reply));
    if (!keep) {
        CloseClient();
        return;
    }
    for (const auto event : out.events) {
        if (event == FastbootOutput::Event::Disconnect) CloseClient();
        events.push_back(event);
    }
}

void FastbootService::SendReply(std::string payload) {
    if (const auto cut = faults_.fire(FaultKind::TruncateReply, kLink)) {
        payload.resize(std::min(payload.size(), static_cast<size_t>(*cut > 0 ? *cut : kDefaultTruncatedBytes)));
    }
    if (const auto size = faults_.fire(FaultKind::OversizeReply, kLink)) {
        payload.resize(std::max(payload.size(), static_cast<size_t>(*size > 0 ? *size : kDefaultOversizedBytes)), ' ');
    }
    writer_.Send(client_, kLink, FastbootPacket(payload), false);
}

std::optional<uint64_t> FastbootService::DisconnectAfter() {
    if (const auto at = faults_.fire(FaultKind::DisconnectAt, kLink)) return static_cast<uint64_t>(*at);
    return std::nullopt;
}

}  // namespace flintcast::sim
