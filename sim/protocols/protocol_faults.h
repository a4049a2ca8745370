#pragma once
// What the fault framework may do to a request before the device answers it. The engine
// asks these hooks; the fault framework implements them (all default to "no fault").
#include <cstdint>
#include <optional>
#include <string_view>

namespace flintcast::sim {

enum class RequestFault {
    None,
    // Refuse the request the way the protocol refuses: DIAG bad-command reply, DMSS NAK,
    // streaming error reply. The device's state does not change.
    Refuse,
    // Swallow the request: no answer and no effect.
    Ignore,
};

// What happens to the reply of one request on its way back: lost, with a spoiled check
// sequence, or late. The request itself is carried out as usual.
struct ReplyFault {
    bool drop = false;
    bool corrupt = false;
    uint32_t delayMs = 0;
    bool any() const { return drop || corrupt || delayMs > 0; }
};

class ProtocolFaultHooks {
public:
    virtual ~ProtocolFaultHooks() = default;
    // Called once per well-formed request; `kind` is the counter name ("diag.nv_read", ...).
    virtual RequestFault OnRequest(std::string_view kind) {
        (void)kind;
        return RequestFault::None;
    }
    // Called after OnRequest for a request that is carried out; `kind` as there.
    virtual ReplyFault OnReply(std::string_view kind) {
        (void)kind;
        return {};
    }
    // A status to answer an NV or RF NV request for this item with, instead of the real one.
    virtual std::optional<uint16_t> NvStatusFor(uint16_t id) {
        (void)id;
        return std::nullopt;
    }
    // True to pull the plug while block `block` (1 for the first) of image `image` (1 for the
    // first image opened in this session) is being written.
    virtual bool UnplugDuringImage(uint32_t image, uint32_t block) {
        (void)image;
        (void)block;
        return false;
    }
};

}  // namespace flintcast::sim
