#include "platform/port_scanner.h"

#ifdef _WIN32
#include "platform/win32/setupapi_ports.h"
#endif

#include <algorithm>
#include <cctype>
#include <charconv>
#include <fmt/format.h>
#include <fstream>

namespace fs = std::filesystem;

namespace flintcast::platform {
namespace {

// Attribute files are short; anything longer is not an attribute.
constexpr std::streamsize kMaxAttributeBytes = 256;
// How far above the tty's device the USB interface may sit (usb-serial adds a level).
constexpr int kMaxInterfaceDepth = 4;

std::optional<std::string> ReadAttribute(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::string text(static_cast<size_t>(kMaxAttributeBytes), '\0');
    in.read(text.data(), kMaxAttributeBytes);
    text.resize(static_cast<size_t>(in.gcount()));
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
        text.pop_back();
    }
    // Control characters in a sysfs text are not part of any name.
    std::erase_if(text, [](char c) { return std::iscntrl(static_cast<unsigned char>(c)) != 0; });
    return text;
}

std::optional<std::string> HexAttribute(const fs::path& file) {
    auto text = ReadAttribute(file);
    if (!text || text->size() != 4 ||
        !std::all_of(text->begin(), text->end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); })) {
        return std::nullopt;
    }
    for (char& c : *text) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return text;
}

std::optional<int> InterfaceNumber(const fs::path& dir) {
    const auto text = ReadAttribute(dir / "bInterfaceNumber");
    if (!text || text->empty()) {
        return std::nullopt;
    }
    int value = -1;
    const auto [ptr, ec] = std::from_chars(text->data(), text->data() + text->size(), value, 16);
    if (ec != std::errc() || ptr != text->data() + text->size() || value < 0 || value > 255) {
        return std::nullopt;
    }
    return value;
}

// The USB interface folder of a tty: its device folder or one of the folders above.
std::optional<fs::path> FindInterfaceDir(const fs::path& ttyEntry) {
    std::error_code ec;
    fs::path dir = fs::canonical(ttyEntry / "device", ec);
    if (ec) {
        dir = fs::canonical(ttyEntry, ec);
        if (ec) {
            return std::nullopt;
        }
    }
    for (int depth = 0; depth < kMaxInterfaceDepth && !dir.empty(); ++depth) {
        if (fs::exists(dir / "bInterfaceNumber", ec)) {
            return dir;
        }
        if (dir == dir.parent_path()) {
            break;
        }
        dir = dir.parent_path();
    }
    return std::nullopt;
}

std::optional<UsbSerialPort> ReadPort(const fs::path& ttyEntry) {
    const auto interfaceDir = FindInterfaceDir(ttyEntry);
    if (!interfaceDir) {
        return std::nullopt;
    }
    const fs::path usbDevice = interfaceDir->parent_path();
    UsbSerialPort port;
    port.name = ttyEntry.filename().string();
    const auto number = InterfaceNumber(*interfaceDir);
    const auto vid = HexAttribute(usbDevice / "idVendor");
    const auto pid = HexAttribute(usbDevice / "idProduct");
    const auto rev = HexAttribute(usbDevice / "bcdDevice");
    if (!number || !vid || !pid || !rev) {
        return std::nullopt;
    }
    port.interfaceNumber = *number;
    port.vendorId = *vid;
    port.productId = *pid;
    port.revision = *rev;
    port.interfaceString = ReadAttribute(*interfaceDir / "interface").value_or("");
    port.product = ReadAttribute(usbDevice / "product").value_or("");
    port.usbDevice = usbDevice.string();
    const auto bus = ReadAttribute(usbDevice / "busnum");
    const auto dev = ReadAttribute(usbDevice / "devnum");
    if (bus && dev && !bus->empty() && !dev->empty()) {
        port.busDevice = *bus + "-" + *dev;
    }
    return port;
}

std::pair<std::string_view, long> SplitName(const std::string& name) {
    size_t digits = name.size();
    while (digits > 0 && std::isdigit(static_cast<unsigned char>(name[digits - 1]))) {
        --digits;
    }
    long number = -1;
    std::from_chars(name.data() + digits, name.data() + name.size(), number);
    return {std::string_view(name).substr(0, digits), number};
}

}  // namespace

std::string UsbSerialPort::hardwareId() const {
    return fmt::format("USB\\VID_{}&PID_{}&REV_{}&MI_{:02X}", vendorId, productId, revision, interfaceNumber);
}

bool PortNameLess(const std::string& a, const std::string& b) {
    const auto [prefixA, numberA] = SplitName(a);
    const auto [prefixB, numberB] = SplitName(b);
    if (prefixA != prefixB) {
        return prefixA < prefixB;
    }
    if (numberA != numberB) {
        return numberA < numberB;
    }
    return a < b;
}

std::optional<std::vector<UsbSerialPort>> ScanUsbSerialPorts(const fs::path& root) {
#ifdef _WIN32
    // The machine's own ports come from SetupAPI; a simulated device tree is read as on Linux.
    if (root.empty() || root == fs::path("/")) return win32::ScanSetupApiSerialPorts();
#endif
    const fs::path classDir = root / "sys" / "class" / "tty";
    std::error_code ec;
    fs::directory_iterator it(classDir, ec);
    if (ec) {
        return std::nullopt;
    }
    std::vector<UsbSerialPort> ports;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec) {
            break;
        }
        if (auto port = ReadPort(it->path())) {
            ports.push_back(std::move(*port));
        }
    }
    std::sort(ports.begin(), ports.end(),
              [](const UsbSerialPort& a, const UsbSerialPort& b) { return PortNameLess(a.name, b.name); });
    return ports;
}

}  // namespace flintcast::platform
