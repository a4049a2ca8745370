#pragma once
// The units attached to the machine, one entry per USB device with its serial ports sorted into
// the roles the discovery gave them: what `flintcast devices` lists.
#include <string>
#include <vector>

#include "controller/run_environment.h"
#include "platform/port_scanner.h"

namespace flintcast::controller {

struct AttachedUnit {
    std::string usbPath;  // the USB device's name on its bus ("1-1.2")
    std::string vendorId;
    std::string productId;
    std::string product;
    // "normal" (diagnostic and modem ports), "download" (a diagnostic port alone: the download
    // or programmer mode), "modem" (no diagnostic port found), "unknown" (no port with a role).
    std::string personality;
    std::vector<std::string> diag;
    std::vector<std::string> modem;
    std::vector<std::string> terminal;
};

// Groups `ports` by their USB device, in the order the ports come, and sorts each port into the
// box of `boxes` that names it.
std::vector<AttachedUnit> GroupAttachedUnits(const std::vector<platform::UsbSerialPort>& ports, const PortBoxes& boxes);

}  // namespace flintcast::controller
