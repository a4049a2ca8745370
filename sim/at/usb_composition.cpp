#include "sim/at/usb_composition.h"

#include <nlohmann/json.hpp>

namespace flintcast::sim {

UsbComposition ComposeUsb(const ModemState& modem) {
    UsbComposition c;
    c.mode = modem.usbMode;
    if (modem.usbMode == "D2") {
        c.storage = StorageFunction{StorageKind::CdRom, true};
    } else if (modem.usbMode == "D3") {
        const bool disk = modem.disk0 == "HD";
        c.storage = StorageFunction{disk ? StorageKind::Disk : StorageKind::CdRom, !disk || modem.disk1 == "RO"};
    }
    return c;
}

nlohmann::json UsbCompositionJson(const UsbComposition& composition) {
    nlohmann::json j;
    j["mode"] = composition.mode;
    if (composition.storage) {
        j["storage"] = {{"kind", composition.storage->kind == StorageKind::Disk ? "disk" : "cdrom"},
                        {"read_only", composition.storage->readOnly}};
    } else {
        j["storage"] = nullptr;
    }
    return j;
}

}  // namespace flintcast::sim
