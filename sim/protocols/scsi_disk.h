#pragma once
// The commands the simulated unit's disk answers, as a USB disk's firmware does: TEST UNIT READY,
// INQUIRY and, in the disk personality, the vendor command that switches the unit to its modem
// personality. Anything else ends in CHECK CONDITION with ILLEGAL REQUEST sense.
#include <string>

#include "platform/scsi_wire.h"

namespace flintcast::sim {

// How the disk of the disk personality identifies itself.
inline constexpr const char* kModemDiskVendor = "USBModem";
inline constexpr const char* kModemDiskModel = "Disk            ";  // "Disk" and 12 blanks

struct DiskIdentity {
    std::string vendor;    // 8 characters
    std::string model;     // 16 characters
    std::string revision;  // 4 characters
};

struct ScsiDiskOutcome {
    platform::ScsiAnswer answer;
    bool switchToModem = false;  // the answer goes out, then the unit leaves the bus
};

inline constexpr uint8_t kScsiGood = 0x00;
inline constexpr uint8_t kScsiCheckCondition = 0x02;
inline constexpr uint8_t kSenseIllegalRequest = 0x05;
inline constexpr uint8_t kAscInvalidOpcode = 0x20;
inline constexpr uint8_t kAscInvalidFieldInCdb = 0x24;

ScsiDiskOutcome HandleScsiCommand(const platform::ScsiRequest& request, const DiskIdentity& disk,
                                  bool acceptsModeSwitch);

}  // namespace flintcast::sim
