#pragma once
// The download-mode bootloader (DMSS download protocol). Multi-byte fields are big-endian.
// Acknowledgements carry a leading flag; the parameter answer does not, unless the profile
// asks for the bootloaders that send one there too.
#include <cstdint>

#include "sim/protocols/protocol_handler.h"

namespace flintcast::sim {

namespace dmss_cmd {
inline constexpr uint8_t kAck = 0x02;
inline constexpr uint8_t kNak = 0x03;
inline constexpr uint8_t kGo = 0x05;
inline constexpr uint8_t kNop = 0x06;
inline constexpr uint8_t kParamRequest = 0x07;
inline constexpr uint8_t kParamReply = 0x08;
inline constexpr uint8_t kReset = 0x0A;
inline constexpr uint8_t kVersionRequest = 0x0C;
inline constexpr uint8_t kVersionReply = 0x0D;
inline constexpr uint8_t kPowerDown = 0x0E;
inline constexpr uint8_t kWrite = 0x0F;
inline constexpr uint8_t kDiagDownload = 0x3A;  // the DIAG switch request: refused here
}  // namespace dmss_cmd

// Reason codes of the negative acknowledgement.
namespace dmss_nak {
inline constexpr uint16_t kInvalidFcs = 0x01;
inline constexpr uint16_t kInvalidAddress = 0x02;
inline constexpr uint16_t kInvalidLength = 0x03;
inline constexpr uint16_t kUnexpectedEnd = 0x04;
inline constexpr uint16_t kDataTooLarge = 0x05;
inline constexpr uint16_t kInvalidCommand = 0x06;
inline constexpr uint16_t kOperationFailed = 0x07;
}  // namespace dmss_nak

inline constexpr char kDmssVersionText[] = "FCSIM-BOOT 1.0";

class DmssHandler : public FramedHandler {
public:
    DmssHandler(DeviceModel& model, ProtocolFaultHooks* faults);

protected:
    void HandleFrame(std::span<const uint8_t> payload, EngineOutput& out) override;
    void HandleBadFrame(hdlc::FrameDecoder::Status status, EngineOutput& out) override;

private:
    static std::string KindOf(uint8_t code);
    void Ack(EngineOutput& out);
    void Nak(EngineOutput& out, uint16_t reason);
    void Parameters(std::span<const uint8_t> req, EngineOutput& out);
    void Write(std::span<const uint8_t> req, EngineOutput& out);
    void Go(std::span<const uint8_t> req, EngineOutput& out);
};

}  // namespace flintcast::sim
