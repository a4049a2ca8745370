#pragma once
// Base of the per-personality protocol handlers behind DiagPortEngine.
#include <cstdint>
#include <span>
#include <string>

#include "codec/hdlc.h"
#include "sim/model/device_model.h"
#include "sim/protocols/diag_port_engine.h"
#include "sim/protocols/protocol_faults.h"

namespace flintcast::sim {

class ProtocolHandler {
public:
    virtual ~ProtocolHandler() = default;
    virtual void Feed(std::span<const uint8_t> bytes, EngineOutput& out) = 0;
    virtual void OnIdle(EngineOutput& out) { (void)out; }
    virtual bool WantsIdle() const { return false; }
};

// Decodes HDLC frames (leading flag optional, as devices accept them) and hands each
// request to the protocol. A protocol that switches to raw data claims bytes first.
class FramedHandler : public ProtocolHandler {
public:
    FramedHandler(DeviceModel& model, ProtocolFaultHooks* faults, size_t maxFrameBytes);
    void Feed(std::span<const uint8_t> bytes, EngineOutput& out) override;

protected:
    // A frame with a good check sequence; `payload` excludes the check sequence.
    virtual void HandleFrame(std::span<const uint8_t> payload, EngineOutput& out) = 0;
    // A frame with a bad check sequence, too short or too long.
    virtual void HandleBadFrame(hdlc::FrameDecoder::Status status, EngineOutput& out) = 0;
    // Raw-data protocols take bytes here before frame decoding; returns the count used.
    virtual size_t ConsumeRaw(std::span<const uint8_t> bytes, EngineOutput& out) {
        (void)bytes;
        (void)out;
        return 0;
    }
    virtual bool InRawMode() const { return false; }

    // Counts the request and asks the fault hooks what to do with it and with its reply.
    RequestFault Admit(const std::string& kind);
    // Queues a reply; the first reply after Admit carries that request's reply fault.
    void Reply(EngineOutput& out, std::span<const uint8_t> payload, bool leadingFlag, uint32_t delayMs = 0);

    DeviceModel& model_;
    ProtocolFaultHooks* faults_;
    hdlc::FrameDecoder decoder_;
    ReplyFault replyFault_;
};

}  // namespace flintcast::sim
