#pragma once
// The USB functions the device presents in its normal personality besides its serial ports,
// from the modem's AT+DISK settings. Like the firmware it stands in for, the device stores the
// settings and applies them when it next enumerates (reset, power off, plug-in): the tool keeps
// talking on the same ports after it has sent them.
#include <optional>
#include <string>

#include <nlohmann/json_fwd.hpp>

#include "sim/at/modem_state.h"

namespace flintcast::sim {

enum class StorageKind { CdRom, Disk };

struct StorageFunction {
    StorageKind kind = StorageKind::CdRom;
    bool readOnly = true;
    // How the SCSI device identifies itself; empty: the simulator's own virtual drive names.
    std::string vendor{};
    std::string model{};
};

struct UsbComposition {
    std::string mode;                        // the AT+DISK=8 setting in force ("" or "D1": ports only)
    std::optional<StorageFunction> storage;  // the mass-storage function, when the mode has one
};

// "D1" (or nothing set): serial ports only. "D2": ports and the CD-ROM. "D3": ports and the
// storage chosen by AT+DISK=0 ("HD" a disk, else the CD-ROM), read-only when AT+DISK=1 is "RO"
// (a CD-ROM always is).
UsbComposition ComposeUsb(const ModemState& modem);

nlohmann::json UsbCompositionJson(const UsbComposition& composition);

}  // namespace flintcast::sim
