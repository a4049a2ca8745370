#pragma once
// Serial ports of USB devices as sysfs shows them under the device root:
// every <root>/sys/class/tty/<name> whose device is a USB interface, with the
// interface's number and string and its USB device's ids and product name.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace flintcast::platform {

struct UsbSerialPort {
    std::string name;             // tty name ("ttyUSB2")
    std::string interfaceString;  // the interface's "interface" file; may be empty
    int interfaceNumber = -1;     // bInterfaceNumber
    std::string vendorId;         // four upper-case hexadecimal digits
    std::string productId;
    std::string revision;         // bcdDevice
    std::string product;          // the USB device's product string (the description)
    std::string usbDevice;        // the USB device's sysfs folder (links resolved)
    std::string busDevice;        // "busnum-devnum", new on every enumeration; empty when not shown
    // "USB\VID_xxxx&PID_xxxx&REV_xxxx&MI_nn"
    std::string hardwareId() const;
};

// Lists the USB serial ports under `root` in name order (ttyUSB2 before
// ttyUSB10). Returns nothing when <root>/sys/class/tty cannot be read.
// Entries that are not USB, or whose files are unreadable, are skipped.
std::optional<std::vector<UsbSerialPort>> ScanUsbSerialPorts(const std::filesystem::path& root);

// Orders tty names by prefix, then by number.
bool PortNameLess(const std::string& a, const std::string& b);

}  // namespace flintcast::platform
