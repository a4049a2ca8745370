#include "sim/device_tree.h"

#include <algorithm>
#include <fstream>
#include <system_error>

#include <fmt/format.h>

namespace flintcast::sim {
namespace fs = std::filesystem;
namespace {

// Folder of the simulated USB device below <root>/sys/devices.
constexpr const char* kBusFolder = "flintcast-sim/usb1";
constexpr const char* kDeviceName = "1-1";

void WriteAttribute(const fs::path& file, const std::string& value) {
    std::ofstream out(file, std::ios::trunc);
    out << value << '\n';
    if (!out) throw fs::filesystem_error("cannot write attribute", file, std::make_error_code(std::errc::io_error));
}

}  // namespace

DeviceTree::DeviceTree(fs::path root) : root_(std::move(root)) {}

fs::path DeviceTree::DeviceDir() const { return root_ / "sys" / "devices" / kBusFolder / kDeviceName; }

void DeviceTree::RemoveStale() {
    std::error_code ec;
    for (const auto& dir : {root_ / "sys" / "class" / "tty", root_ / "sys" / "block", root_ / "dev"}) {
        for (auto it = fs::directory_iterator(dir, ec); !ec && it != fs::directory_iterator(); it.increment(ec)) {
            if (!it->is_symlink(ec)) continue;
            const auto target = fs::read_symlink(it->path(), ec).string();
            if (target.find("flintcast-sim/") != std::string::npos || target.rfind("/dev/pts/", 0) == 0)
                fs::remove(it->path(), ec);
        }
        ec.clear();
    }
    fs::remove_all(root_ / "sys" / "devices" / "flintcast-sim", ec);
    // USB device nodes that lead to a loopback function of an earlier run.
    for (auto bus = fs::directory_iterator(root_ / "dev" / "bus" / "usb", ec); !ec && bus != fs::directory_iterator();
         bus.increment(ec)) {
        std::error_code inner;
        for (auto it = fs::directory_iterator(bus->path(), inner); !inner && it != fs::directory_iterator();
             it.increment(inner)) {
            std::error_code e;
            if (it->is_symlink(e) && fs::read_symlink(it->path(), e).string().rfind("tcp:127.0.0.1:", 0) == 0)
                fs::remove(it->path(), e);
        }
    }
}

void DeviceTree::Plug(const UsbLayout& layout, const std::string& serial, const std::vector<PortEntry>& ports,
                      const std::optional<StorageFunction>& storage) {
    Unplug();
    const fs::path device = DeviceDir();
    fs::create_directories(device);
    WriteAttribute(device / "idVendor", fmt::format("{:04x}", layout.vendorId));
    WriteAttribute(device / "idProduct", fmt::format("{:04x}", layout.productId));
    WriteAttribute(device / "bcdDevice", fmt::format("{:04x}", layout.bcdDevice));
    WriteAttribute(device / "product", layout.product);
    WriteAttribute(device / "manufacturer", "Flintcast");
    WriteAttribute(device / "serial", serial);
    fs::create_directories(root_ / "sys" / "class" / "tty");
    fs::create_directories(root_ / "dev");
    const bool usbSerial = !ports.empty() && ports.front().ttyName.rfind("ttyUSB", 0) == 0;
    for (const auto& port : ports) {
        const std::string ifName = fmt::format("{}:1.{}", kDeviceName, port.interfaceNumber);
        const fs::path iface = device / ifName;
        fs::create_directories(iface);
        WriteAttribute(iface / "bInterfaceNumber", fmt::format("{:02x}", port.interfaceNumber));
        if (!port.interfaceName.empty()) WriteAttribute(iface / "interface", port.interfaceName);
        // usb-serial ttys hang below a port device of the interface; ACM ttys below the interface.
        fs::path classDir;
        if (usbSerial) {
            classDir = iface / port.ttyName / "tty" / port.ttyName;
            fs::create_directories(classDir);
            fs::create_directory_symlink(fs::path("../../..") / port.ttyName, classDir / "device");
        } else {
            classDir = iface / "tty" / port.ttyName;
            fs::create_directories(classDir);
            fs::create_directory_symlink(fs::path("../..") / ".." / ifName, classDir / "device");
        }
        WriteAttribute(classDir / "dev", "188:0");
        const fs::path relative = fs::relative(classDir, root_ / "sys" / "class" / "tty");
        fs::create_directory_symlink(relative, root_ / "sys" / "class" / "tty" / port.ttyName);
    }
    if (storage) {
        int next = 0;
        for (const auto& port : ports) next = std::max(next, port.interfaceNumber + 1);
        PlugStorage(device, next, *storage);
    }
    for (const auto& port : ports) {
        fs::create_symlink(port.slavePath, DevPath(port.ttyName));
        ttys_.push_back(port.ttyName);
    }
}

void DeviceTree::PlugStorage(const fs::path& device, int interfaceNumber, const StorageFunction& storage) {
    const bool disk = storage.kind == StorageKind::Disk;
    const std::string ifName = fmt::format("{}:1.{}", kDeviceName, interfaceNumber);
    const fs::path iface = device / ifName;
    fs::create_directories(iface);
    WriteAttribute(iface / "bInterfaceNumber", fmt::format("{:02x}", interfaceNumber));
    WriteAttribute(iface / "bInterfaceClass", "08");
    WriteAttribute(iface / "interface", "Mass Storage");
    // The SCSI device below the interface, as the usb-storage driver shows it.
    const std::string name = disk ? "sdz" : "sr0";
    const fs::path scsi = iface / "host0" / "target0:0:0" / "0:0:0:0";
    fs::create_directories(scsi / "block" / name);
    WriteAttribute(scsi / "vendor", storage.vendor.empty() ? "Flintcst" : storage.vendor);
    WriteAttribute(scsi / "model", !storage.model.empty() ? storage.model : disk ? "Virtual Disk" : "Virtual CD-ROM");
    WriteAttribute(scsi / "type", disk ? "0" : "5");
    WriteAttribute(scsi / "block" / name / "ro", storage.readOnly ? "1" : "0");
    fs::create_directory_symlink(fs::path("../.."), scsi / "block" / name / "device");
    fs::create_directories(root_ / "sys" / "block");
    const fs::path relative = fs::relative(scsi / "block" / name, root_ / "sys" / "block");
    fs::create_directory_symlink(relative, root_ / "sys" / "block" / name);
    block_ = name;
}

void DeviceTree::PlugFunctions(const std::vector<UsbFunctionEntry>& functions, int busnum, int devnum) {
    const fs::path device = DeviceDir();
    WriteAttribute(device / "busnum", std::to_string(busnum));
    WriteAttribute(device / "devnum", std::to_string(devnum));
    if (functions.empty()) return;
    for (const auto& f : functions) {
        const fs::path iface = device / fmt::format("{}:1.{}", kDeviceName, f.interfaceNumber);
        fs::create_directories(iface);
        WriteAttribute(iface / "bInterfaceNumber", fmt::format("{:02x}", f.interfaceNumber));
        WriteAttribute(iface / "bInterfaceClass", "ff");
        WriteAttribute(iface / "bInterfaceSubClass", "42");
        WriteAttribute(iface / "bInterfaceProtocol", fmt::format("{:02x}", f.protocol));
        WriteAttribute(iface / "bNumEndpoints", "02");
        if (!f.interfaceName.empty()) WriteAttribute(iface / "interface", f.interfaceName);
    }
    // One node per USB device: it leads to the function the present personality serves.
    const fs::path bus = root_ / "dev" / "bus" / "usb" / fmt::format("{:03d}", busnum);
    fs::create_directories(bus);
    usbNode_ = bus / fmt::format("{:03d}", devnum);
    std::error_code ec;
    fs::remove(usbNode_, ec);
    fs::create_symlink(functions.front().link, usbNode_);
}

void DeviceTree::Unplug() {
    std::error_code ec;
    if (!usbNode_.empty()) fs::remove(usbNode_, ec);
    usbNode_.clear();
    if (!block_.empty()) fs::remove(root_ / "sys" / "block" / block_, ec);
    block_.clear();
    for (const auto& name : ttys_) fs::remove(DevPath(name), ec);
    for (const auto& name : ttys_) fs::remove(root_ / "sys" / "class" / "tty" / name, ec);
    ttys_.clear();
    fs::remove_all(DeviceDir(), ec);
}

}  // namespace flintcast::sim
