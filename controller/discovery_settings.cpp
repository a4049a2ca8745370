#include "controller/discovery_settings.h"

#include <algorithm>
#include <cctype>
#include <fmt/format.h>

#include "platform/ini_file.h"

namespace flintcast::controller {
namespace {

constexpr std::string_view kSection = "DeviceDiscovery";
constexpr int kMaxPortRoles = 99;

std::string Upper(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return out;
}

}  // namespace

bool DiscoverySettings::NeedsModeSwitch(std::string_view hardwareId) const {
    const std::string id = Upper(hardwareId);
    return std::find(modeSwitchIds.begin(), modeSwitchIds.end(), id) != modeSwitchIds.end();
}

std::string DiscoverySettings::RoleFor(std::string_view vendorId, std::string_view productId,
                                       int interfaceNumber) const {
    const auto it = portRoles.find(Upper(fmt::format("VID_{}&PID_{}&MI_{:02X}", vendorId, productId, interfaceNumber)));
    return it == portRoles.end() ? std::string() : it->second;
}

DiscoverySettings DefaultDiscoverySettings() {
    // The simulated data card's modem interfaces in its three project profiles.
    DiscoverySettings s;
    s.modeSwitchIds = {
        "USB\\VID_F1C0&PID_0046&REV_0100&MI_02",
        "USB\\VID_F1C0&PID_0038&REV_0100&MI_02",
        "USB\\VID_F1C0&PID_0007&REV_0100&MI_00",
    };
    return s;
}

DiscoverySettings ReadDiscoverySettings(const platform::IniFile& ini) {
    if (!ini.hasSection(kSection)) {
        return DefaultDiscoverySettings();
    }
    DiscoverySettings s;
    for (size_t i = 1; i <= DiscoverySettings::kModeSwitchIds; ++i) {
        const std::string id = ini.readString(kSection, fmt::format("ModeSwitchID{}", i), "");
        if (!id.empty()) {
            s.modeSwitchIds.push_back(Upper(id));
        }
    }
    for (const std::string& entry : ini.readList(kSection, "PortRole", 1, kMaxPortRoles)) {
        const size_t eq = entry.find('=');
        if (eq == std::string::npos || eq == 0 || eq + 1 == entry.size()) {
            continue;
        }
        s.portRoles[Upper(entry.substr(0, eq))] = entry.substr(eq + 1);
    }
    return s;
}

DiscoverySettings AddOperatorTable(DiscoverySettings package, const platform::IniFile& operatorTable) {
    if (!operatorTable.hasSection(kSection)) {
        return package;
    }
    DiscoverySettings own = ReadDiscoverySettings(operatorTable);
    if (!own.modeSwitchIds.empty()) {
        package.modeSwitchIds = std::move(own.modeSwitchIds);
    }
    for (auto& [key, role] : own.portRoles) {
        package.portRoles[key] = std::move(role);
    }
    return package;
}

}  // namespace flintcast::controller
