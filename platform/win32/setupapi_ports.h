#pragma once
// The USB serial ports of the machine as SetupAPI lists them (the Windows side of
// ScanUsbSerialPorts for the real device root).
#include <optional>
#include <vector>

#include "platform/port_scanner.h"

namespace flintcast::platform::win32 {

// Every present device of the ports class (GUID_DEVCLASS_PORTS) whose hardware id is a USB one,
// with its port name from the device's registry key ("PortName"), the friendly name's
// interface text, the device description as the product, and the ids from the hardware id.
// Ports that are not on USB (COM1, COM2) are not listed. nullopt when the device set cannot be
// opened.
std::optional<std::vector<UsbSerialPort>> ScanSetupApiSerialPorts();

}  // namespace flintcast::platform::win32
