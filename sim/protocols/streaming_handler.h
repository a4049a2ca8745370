#pragma once
// The flash programmer's streaming download protocol (little-endian fields; every answer
// with a leading flag), with the fast transfer extension: announced parts of raw,
// unframed data blocks, each acknowledged, then a write-flash request confirmed later.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/protocols/protocol_handler.h"

namespace flintcast::sim {

namespace stream_cmd {
inline constexpr uint8_t kHello = 0x01;
inline constexpr uint8_t kHelloReply = 0x02;
inline constexpr uint8_t kWrite = 0x07;
inline constexpr uint8_t kWriteReply = 0x08;
inline constexpr uint8_t kReset = 0x0B;
inline constexpr uint8_t kResetReply = 0x0C;
inline constexpr uint8_t kError = 0x0D;
inline constexpr uint8_t kPowerOff = 0x11;
inline constexpr uint8_t kPowerOffReply = 0x12;
inline constexpr uint8_t kClose = 0x15;
inline constexpr uint8_t kCloseReply = 0x16;
inline constexpr uint8_t kSecurityMode = 0x17;
inline constexpr uint8_t kSecurityModeReply = 0x18;
inline constexpr uint8_t kPartitionTable = 0x19;
inline constexpr uint8_t kPartitionTableReply = 0x1A;
inline constexpr uint8_t kOpenMulti = 0x1B;
inline constexpr uint8_t kOpenMultiReply = 0x1C;
inline constexpr uint8_t kTransmitRequest = 0x20;
inline constexpr uint8_t kWriteFlash = 0x21;
inline constexpr uint8_t kWriteFlashDone = 0x22;
inline constexpr uint8_t kTransmitStatus = 0x23;
inline constexpr uint8_t kTransmitReset = 0x24;
}  // namespace stream_cmd

namespace stream_err {
inline constexpr uint32_t kInvalidAddress = 0x02;
inline constexpr uint32_t kInvalidLength = 0x03;
inline constexpr uint32_t kUnexpectedEnd = 0x04;
inline constexpr uint32_t kInvalidCommand = 0x05;
inline constexpr uint32_t kOperationFailed = 0x07;
inline constexpr uint32_t kWriteVerifyFailed = 0x0A;
inline constexpr uint32_t kOutOfSequence = 0x0F;
inline constexpr uint32_t kIncompatible = 0x11;
inline constexpr uint32_t kOutOfSpace = 0x12;
inline constexpr uint32_t kInvalidSecurityMode = 0x13;
inline constexpr uint32_t kUnknownImage = 0x14;
}  // namespace stream_err

// Status of an open answer that refuses the image.
inline constexpr uint8_t kOpenRefused = 0x01;

namespace partition_status {
inline constexpr uint8_t kAccepted = 0;
inline constexpr uint8_t kDiffers = 1;  // the device holds another table; needs the override
inline constexpr uint8_t kBadFormat = 2;
}  // namespace partition_status

inline constexpr char kHostMagic[] = "QCOM fast download protocol host";
inline constexpr char kTargetMagic[] = "QCOM fast download protocol targ";
inline constexpr size_t kMagicBytes = 32;
inline constexpr uint8_t kStreamVersion = 3;
inline constexpr uint8_t kStreamCompatibleVersion = 2;
inline constexpr size_t kMaxPartitionTableBytes = 511;

class StreamingHandler : public FramedHandler {
public:
    StreamingHandler(DeviceModel& model, ProtocolFaultHooks* faults);

    void OnIdle(EngineOutput& out) override;
    bool WantsIdle() const override;

    // Device time between a write-flash request and its confirmation for a part of `length`.
    static uint32_t WriteFlashDelayMs(uint32_t length);

protected:
    void HandleFrame(std::span<const uint8_t> payload, EngineOutput& out) override;
    void HandleBadFrame(hdlc::FrameDecoder::Status status, EngineOutput& out) override;
    size_t ConsumeRaw(std::span<const uint8_t> bytes, EngineOutput& out) override;
    bool InRawMode() const override { return phase_ != FastPhase::None && !unplugged_; }

private:
    enum class FastPhase { None, Data, AwaitWriteFlash };

    bool greeted_ = false;
    bool lastWasClose_ = false;
    bool unplugged_ = false;
    uint32_t blocksInImage_ = 0;
    // Fast transfer of the current part.
    FastPhase phase_ = FastPhase::None;
    uint64_t partOffset_ = 0;
    uint32_t partLength_ = 0;
    uint32_t partReceived_ = 0;
    bool writeFlashDue_ = false;  // the whole part arrived; a write-flash request may follow
    std::optional<uint16_t> imageCheck_;
    std::vector<uint8_t> pending_;

    static std::string KindOf(uint8_t code);
    void Error(EngineOutput& out, uint32_t code, std::string_view text);
    void Hello(std::span<const uint8_t> req, EngineOutput& out);
    void SecurityMode(std::span<const uint8_t> req, EngineOutput& out);
    void PartitionTable(std::span<const uint8_t> req, EngineOutput& out);
    void OpenImage(std::span<const uint8_t> req, EngineOutput& out);
    void StreamWrite(std::span<const uint8_t> req, EngineOutput& out);
    void CloseImage(std::span<const uint8_t> req, EngineOutput& out);
    void Restart(EngineOutput& out, DeviceEvent event, uint8_t replyCode);
    // True when the client asked to pull the plug at the next block of this image.
    bool UnplugNow(EngineOutput& out);

    // Fast transfer.
    void TransmitRequest(std::span<const uint8_t> req, EngineOutput& out);
    void TransmitReset(EngineOutput& out);
    void TransmitStatus(EngineOutput& out, uint32_t value);
    void CompleteBlock(EngineOutput& out);
    void WriteFlash(std::span<const uint8_t> command, EngineOutput& out);
    void EndFastTransfer();
};

}  // namespace flintcast::sim
