#pragma once
// adbd on a loopback TCP port: one host connection at a time (a new one replaces the old, as
// when the host's adb server restarts), the adb transport behind it, and the link faults of the
// "adb" port applied to each message the unit sends.
#include <poll.h>

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sim/faults.h"
#include "sim/net/loopback_listener.h"
#include "sim/protocols/adb_transport.h"
#include "sim/reply_writer.h"

namespace flintcast::sim {

class AdbService : public SyncLinkFaults {
public:
    struct Events {
        bool changed = false;
        bool disconnect = false;
    };

    AdbService(AndroidFiles& files, const AdbIdentity& identity, Faults& faults, ProtocolFaultHooks* requestFaults,
               ReplyWriter& writer);
    ~AdbService() override;
    AdbService(const AdbService&) = delete;
    AdbService& operator=(const AdbService&) = delete;

    std::string address() const { return listener_.address(); }
    void AddPollFds(std::vector<pollfd>& fds) const;
    Events Serve(std::span<const pollfd> fds);

    std::optional<uint64_t> DisconnectAfter() override;

private:
    AndroidFiles& files_;
    const AdbIdentity& identity_;
    Faults& faults_;
    ProtocolFaultHooks* requestFaults_;
    ReplyWriter& writer_;
    LoopbackListener listener_;
    int client_ = -1;
    std::unique_ptr<AdbTransport> transport_;

    void CloseClient();
    void ReadClient(Events& events);
};

}  // namespace flintcast::sim
