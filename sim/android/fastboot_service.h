#pragma once
// The fastboot bootloader on a loopback TCP port: one client connection at a time (a new one
// replaces the old, as a bootloader that lost its host does), the network framing, and the
// link faults of the "fastboot" port applied to each reply packet.
#include <poll.h>

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sim/faults.h"
#include "sim/net/loopback_listener.h"
#include "sim/protocols/fastboot_session.h"
#include "sim/reply_writer.h"

namespace flintcast::sim {

class FastbootService : public FastbootLinkFaults {
public:
    FastbootService(const FastbootSettings& settings, PartitionStore& partitions, Faults& faults,
                    ProtocolFaultHooks* requestFaults, ReplyWriter& writer, const platform::Clock& clock);
    ~FastbootService() override;
    FastbootService(const FastbootService&) = delete;
    FastbootService& operator=(const FastbootService&) = delete;

    std::string address() const { return listener_.address(); }
    void AddPollFds(std::vector<pollfd>& fds) const;
    // Serves what poll reported on this service's descriptors (found by descriptor in `fds`).
    std::vector<FastbootOutput::Event> Serve(std::span<const pollfd> fds);

    std::optional<uint64_t> DisconnectAfter() override;

private:
    const FastbootSettings& settings_;
    PartitionStore& partitions_;
    Faults& faults_;
    ProtocolFaultHooks* requestFaults_;
    ReplyWriter& writer_;
    const platform::Clock& clock_;
    LoopbackListener listener_;
    int client_ = -1;
    std::unique_ptr<FastbootSession> session_;

    void CloseClient();
    void ReadClient(std::vector<FastbootOutput::Event>& events);
    void SendReply(std::string payload);
};

}  // namespace flintcast::sim
