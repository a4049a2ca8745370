#pragma once
// The simulated device's entries under the device root, laid out as Linux shows a USB serial
// device: sysfs entries for the USB device, its interfaces and their ttys, and dev/<tty> links
// to the pseudo-terminals that carry the ports.
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "sim/at/usb_composition.h"
#include "sim/profile.h"

namespace flintcast::sim {

struct PortEntry {
    std::string ttyName;        // "ttyUSB0"
    int interfaceNumber = 0;
    std::string interfaceName;  // the interface string; empty writes no "interface" file
    std::string slavePath;      // /dev/pts/N
};

// A vendor-specific USB function without a tty (fastboot, adb). On a real system the client
// reaches it through the USB device node dev/bus/usb/BBB/DDD; here that node is a symlink whose
// target text is `link` ("tcp:127.0.0.1:PORT").
struct UsbFunctionEntry {
    int interfaceNumber = 0;
    std::string interfaceName;
    uint8_t protocol = 0;  // bInterfaceProtocol below class ff, subclass 42
    std::string link;
};

class DeviceTree {
public:
    explicit DeviceTree(std::filesystem::path root);

    // Removes what an earlier run that did not end cleanly left behind (only entries this
    // simulator makes: its sysfs device folder, tty class links into it, dev links to ptys).
    void RemoveStale();
    // Creates the sysfs entries first and the dev links last, so a watcher that sees a new
    // dev entry finds its sysfs entries complete. Throws std::filesystem::filesystem_error.
    // `storage`, when set, adds a mass-storage interface behind the serial ones with its block
    // device (sys/block/sr0 for a CD-ROM, sys/block/sdz for a disk).
    void Plug(const UsbLayout& layout, const std::string& serial, const std::vector<PortEntry>& ports,
              const std::optional<StorageFunction>& storage = std::nullopt);
    // Adds the USB device's bus and device numbers and, after Plug, its tty-less functions with
    // the dev/bus/usb node last. Throws std::filesystem::filesystem_error.
    void PlugFunctions(const std::vector<UsbFunctionEntry>& functions, int busnum, int devnum);
    // Removes the dev links first, then the sysfs entries. Never throws.
    void Unplug();

    const std::filesystem::path& root() const { return root_; }
    std::filesystem::path DevPath(const std::string& ttyName) const { return root_ / "dev" / ttyName; }
    // The block device of the storage function now plugged ("sdz", "sr0"), or empty.
    const std::string& blockName() const { return block_; }

private:
    std::filesystem::path root_;
    std::vector<std::string> ttys_;  // names currently linked
    std::string block_;              // block device currently linked, or empty
    std::filesystem::path usbNode_;  // dev/bus/usb/BBB/DDD currently linked, or empty

    void PlugStorage(const std::filesystem::path& device, int interfaceNumber, const StorageFunction& storage);

    std::filesystem::path DeviceDir() const;
};

}  // namespace flintcast::sim
