#include "modeswitch/disk_search.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>
#include <system_error>

namespace flintcast::modeswitch {
namespace fs = std::filesystem;
namespace {

std::optional<std::string> ReadAttribute(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return std::nullopt;
    std::stringstream s;
    s << in.rdbuf();
    std::string text = s.str();
    if (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

std::string_view TrimTrailingBlanks(std::string_view text) {
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

// A USB device's folder in sysfs is "usbN" (the bus) with the device below it.
bool BelowUsbDevice(const fs::path& sysBlockEntry) {
    std::error_code ec;
    const fs::path resolved = fs::canonical(sysBlockEntry, ec);
    if (ec) return false;
    for (const auto& part : resolved) {
        const std::string s = part.string();
        if (s.size() > 3 && s.compare(0, 3, "usb") == 0 &&
            std::all_of(s.begin() + 3, s.end(), [](unsigned char c) { return std::isdigit(c); }))
            return true;
    }
    return false;
}

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::toupper(x) == std::toupper(y);
           });
}

}  // namespace

std::vector<ScsiDiskInfo> ListDiskInterfaces(const fs::path& root) {
    std::vector<std::string> names;
    std::error_code ec;
    for (auto it = fs::directory_iterator(root / "sys" / "block", ec); !ec && it != fs::directory_iterator();
         it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() > 2 && name.compare(0, 2, "sd") == 0) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    std::vector<ScsiDiskInfo> disks;
    for (const auto& name : names) {
        const fs::path entry = root / "sys" / "block" / name;
        auto vendor = ReadAttribute(entry / "device" / "vendor");
        auto model = ReadAttribute(entry / "device" / "model");
        if (!vendor || !model) continue;
        disks.push_back({name, std::move(*vendor), std::move(*model), BelowUsbDevice(entry), root / "dev" / name});
    }
    return disks;
}

std::optional<fs::path> FindDiskByDriveLetter(const std::vector<ScsiDiskInfo>& disks, std::string_view vendor,
                                                 std::string_view model) {
    std::optional<fs::path> found;
    for (const auto& disk : disks)
        if (disk.vendor == vendor && disk.model == model) found = disk.node;
    return found;
}

std::string FriendlyName(const ScsiDiskInfo& disk) {
    std::string name(TrimTrailingBlanks(disk.vendor));
    name += ' ';
    name += TrimTrailingBlanks(disk.model);
    if (disk.onUsb) name += " USB Device";
    return name;
}

std::optional<fs::path> FindDiskByFriendlyName(const std::vector<ScsiDiskInfo>& disks, std::string_view friendlyName) {
    for (const auto& disk : disks)
        if (EqualIgnoringCase(FriendlyName(disk), friendlyName)) return disk.node;
    return std::nullopt;
}

}  // namespace flintcast::modeswitch
