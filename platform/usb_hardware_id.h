#pragma once
// The texts the Windows device manager shows for a USB serial port, read back into the
// fields of a UsbSerialPort: the hardware id "USB\VID_xxxx&PID_xxxx&REV_xxxx&MI_nn" and the
// port name at the end of a friendly name ("Modem Diagnostics Port (COM12)").
#include <optional>
#include <string>
#include <string_view>

namespace flintcast::platform {

struct UsbHardwareId {
    std::string vendorId;   // four upper-case hexadecimal digits
    std::string productId;
    std::string revision;   // empty when the id has no REV_ part
    int interfaceNumber = -1;  // -1 when the id has no MI_ part (a single-interface device)
};

// Parses a USB hardware id without regard to case. nullopt for anything else: another bus, a
// missing or malformed VID_ or PID_, a part that is not four (MI_: two) hexadecimal digits.
std::optional<UsbHardwareId> ParseUsbHardwareId(std::string_view id);

// The port name in a friendly name: the text between the last "(" and a ")" that ends the
// name, when it is "COM" and a number; nullopt otherwise.
std::optional<std::string> PortNameFromFriendlyName(std::string_view friendlyName);

}  // namespace flintcast::platform
