#include "controller/android_interfaces.h"

#include <algorithm>
#include <fstream>
#include <system_error>
#include <vector>

#include <fmt/format.h>

namespace flintcast::controller {
namespace fs = std::filesystem;
namespace {

constexpr int kMaxTreeDepth = 8;

std::string Attribute(const fs::path& file) {
    std::ifstream in(file);
    std::string text;
    std::getline(in, text);
    while (!text.empty() && (text.back() == '\r' || text.back() == ' ')) text.pop_back();
    return text;
}

bool IsAndroidInterface(const fs::path& dir, std::string_view protocol) {
    return Attribute(dir / "bInterfaceClass") == "ff" && Attribute(dir / "bInterfaceSubClass") == "42" &&
           Attribute(dir / "bInterfaceProtocol") == protocol;
}

// Interface folders of the given protocol. The kernel lists every USB device and interface in
// sys/bus/usb/devices; a tree without that index is searched below sys/devices.
std::vector<fs::path> InterfacesOf(const fs::path& root, std::string_view protocol) {
    std::vector<fs::path> found;
    std::error_code ec;
    const fs::path index = root / "sys" / "bus" / "usb" / "devices";
    if (fs::is_directory(index, ec)) {
        for (fs::directory_iterator it(index, ec); !ec && it != fs::directory_iterator(); it.increment(ec)) {
            if (IsAndroidInterface(it->path(), protocol)) found.push_back(fs::canonical(it->path(), ec));
        }
    } else {
        const fs::path devices = root / "sys" / "devices";
        fs::recursive_directory_iterator it(devices, fs::directory_options::skip_permission_denied, ec);
        for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
            if (it.depth() >= kMaxTreeDepth) it.disable_recursion_pending();
            if (!it->is_directory(ec) || it->is_symlink(ec)) {
                ec.clear();
                continue;
            }
            if (IsAndroidInterface(it->path(), protocol)) found.push_back(it->path());
        }
    }
    std::sort(found.begin(), found.end());
    return found;
}

// The link name of the USB device an interface folder belongs to.
std::string LinkNameOf(const fs::path& root, const fs::path& interfaceDir) {
    const fs::path device = interfaceDir.parent_path();
    const std::string bus = Attribute(device / "busnum");
    const std::string dev = Attribute(device / "devnum");
    int busNumber = 0;
    int devNumber = 0;
    try {
        busNumber = std::stoi(bus);
        devNumber = std::stoi(dev);
    } catch (const std::exception&) {
        return {};
    }
    if (busNumber <= 0 || devNumber <= 0 || busNumber > 255 || devNumber > 255) return {};
    const fs::path node = root / "dev" / "bus" / "usb" / fmt::format("{:03d}", busNumber) / fmt::format("{:03d}", devNumber);
    std::error_code ec;
    if (fs::is_symlink(node, ec)) {
        const std::string target = fs::read_symlink(node, ec).string();
        if (!ec && target.starts_with("tcp:")) return target;
    }
    return fmt::format("usb:{}:{}", busNumber, devNumber);
}

}  // namespace

int32_t FindAndroidInterface(const fs::path& root, AndroidInterface kind, int index, std::string& name) {
    const auto wanted = InterfacesOf(root, kind == AndroidInterface::Fastboot ? "03" : "01");
    if (index >= 0 && static_cast<size_t>(index) < wanted.size()) {
        name = LinkNameOf(root, wanted[static_cast<size_t>(index)]);
        if (!name.empty()) return kAndroidInterfaceReady;
    }
    if (kind == AndroidInterface::Fastboot && index >= 0 &&
        static_cast<size_t>(index) < InterfacesOf(root, "01").size()) {
        return kAndroidNotInFastbootMode;
    }
    return kAndroidInterfaceMissing;
}

}  // namespace flintcast::controller
