#pragma once
// What the mode switch program looks for and what it sends, the same on every system: the card's
// disk identification and the vendor SCSI command with its lengths, direction and time-out.
#include <cstdint>
#include <string_view>

#include "modeswitch/command_text.h"
#include "platform/scsi_wire.h"

namespace flintcast::modeswitch {

// The card's disk identification, exactly as the disk reports it.
inline constexpr std::string_view kVendorId = "USBModem";
inline constexpr std::string_view kProductId = "Disk            ";  // "Disk" and 12 blanks
inline constexpr std::string_view kFriendlyName = "USBModem Disk USB Device";
inline constexpr std::string_view kCommandText = "06 f5 04 02 52 80";

// The pass-through request: data from the device into a zero-filled area, sense area and time-out.
inline constexpr uint32_t kDataLength = 128;
inline constexpr uint8_t kSenseLength = 24;
inline constexpr uint32_t kTimeoutMs = 10000;
// The SCSI target the request names (where the system addresses the disk itself, it replaces it).
inline constexpr uint8_t kTargetId = 1;

platform::ScsiRequest ModeSwitchRequest(const CommandBytes& command);

}  // namespace flintcast::modeswitch
