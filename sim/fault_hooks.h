#pragma once
// Connects the protocol engines' fault questions to the device's fault rules.
#include <utility>

#include "sim/faults.h"
#include "sim/protocols/protocol_faults.h"

namespace flintcast::sim {

class FaultHooks : public ProtocolFaultHooks {
public:
    explicit FaultHooks(Faults& faults) : faults_(faults) {}

    RequestFault OnRequest(std::string_view kind) override;
    ReplyFault OnReply(std::string_view kind) override;
    std::optional<uint16_t> NvStatusFor(uint16_t id) override;
    bool UnplugDuringImage(uint32_t image, uint32_t block) override;

    // True once after a request that pulls the cable (unplug-on): the device then leaves the bus.
    bool TakeUnplug() { return std::exchange(unplugDue_, false); }

private:
    Faults& faults_;
    bool unplugDue_ = false;
};

}  // namespace flintcast::sim
