#pragma once
// The diagnostic port in normal mode: DIAG requests in, DIAG answers out (no leading flag,
// as the device sends them).
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "sim/protocols/efs_service.h"
#include "sim/protocols/protocol_handler.h"

namespace flintcast::sim {

namespace diag_cmd {
inline constexpr uint8_t kVersion = 0x00;
inline constexpr uint8_t kNvRead = 0x26;
inline constexpr uint8_t kNvWrite = 0x27;
inline constexpr uint8_t kModeControl = 0x29;
inline constexpr uint8_t kDownload = 0x3A;
inline constexpr uint8_t kServiceCode = 0x41;
inline constexpr uint8_t kSubsystem = 0x4B;
inline constexpr uint8_t kExtendedBuildId = 0x7C;
}  // namespace diag_cmd

namespace diag_subsys {
inline constexpr uint8_t kModeSwitch = 0x04;
inline constexpr uint8_t kFactoryTest = 0x0B;
inline constexpr uint8_t kEfs = 0x13;
}  // namespace diag_subsys

// Modes of the mode control request.
namespace diag_mode {
inline constexpr uint16_t kOfflineAnalog = 0;
inline constexpr uint16_t kOffline = 1;
inline constexpr uint16_t kReset = 2;
inline constexpr uint16_t kFactoryTest = 3;
inline constexpr uint16_t kOnline = 4;
inline constexpr uint16_t kLowPower = 5;
inline constexpr uint16_t kPowerOff = 6;
}  // namespace diag_mode

// The diagnostic mode switch request the tool sends before RF NV work: 4B 04 0E 00.
inline constexpr uint16_t kModeSwitchToTest = 0x000E;
inline constexpr uint16_t kFactoryTestRfNvGroup = 0x0024;

class DiagHandler : public FramedHandler {
public:
    DiagHandler(DeviceModel& model, ProtocolFaultHooks* faults);

    // The answer to one request (no framing); empty when the device stays silent.
    // Events the request causes are appended to `events`.
    std::vector<uint8_t> Answer(std::span<const uint8_t> request, std::vector<DeviceEvent>& events);

protected:
    void HandleFrame(std::span<const uint8_t> payload, EngineOutput& out) override;
    void HandleBadFrame(hdlc::FrameDecoder::Status status, EngineOutput& out) override;

private:
    EfsService efs_;

    static std::string KindOf(std::span<const uint8_t> request);
    std::vector<uint8_t> Version(std::span<const uint8_t> req) const;
    std::vector<uint8_t> ExtendedBuildId(std::span<const uint8_t> req) const;
    std::vector<uint8_t> ServiceCode(std::span<const uint8_t> req) const;
    std::vector<uint8_t> ModeControl(std::span<const uint8_t> req, std::vector<DeviceEvent>& events);
    std::vector<uint8_t> Subsystem(std::span<const uint8_t> req);
};

}  // namespace flintcast::sim
