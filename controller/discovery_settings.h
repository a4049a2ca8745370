#pragma once
// Device-model data of discovery, read from the [DeviceDiscovery] section of
// Config.ini and of the operator's own table (docs/device-discovery.md):
//   ModeSwitchID1..ModeSwitchID3  hardware ids of serial interfaces of devices
//                                 that first appear in a storage personality
//                                 and get the one-time disk switch command;
//   PortRole1..PortRole99         "VID_xxxx&PID_xxxx&MI_nn=Role" for interfaces
//                                 that carry no interface string of their own.
// Without the section, the simulated data card's ids serve as the example set.
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace flintcast::platform {
class IniFile;
}

namespace flintcast::controller {

struct DiscoverySettings {
    static constexpr size_t kModeSwitchIds = 3;
    // Upper case, "USB\VID_xxxx&PID_xxxx&REV_xxxx&MI_nn".
    std::vector<std::string> modeSwitchIds;
    // Upper-case "VID_xxxx&PID_xxxx&MI_nn" -> role shown in the friendly name.
    std::map<std::string, std::string> portRoles;

    bool NeedsModeSwitch(std::string_view hardwareId) const;
    // The role for an interface, or empty.
    std::string RoleFor(std::string_view vendorId, std::string_view productId, int interfaceNumber) const;
};

DiscoverySettings DefaultDiscoverySettings();
// The section's values; the defaults when the file has no such section.
DiscoverySettings ReadDiscoverySettings(const platform::IniFile& ini);
// Adds the operator's table (<config>/flintcast/device-discovery.ini) to the package's: its
// roles take precedence, and its mode-switch ids, when it lists any, replace the package's.
// A file without the section changes nothing.
DiscoverySettings AddOperatorTable(DiscoverySettings package, const platform::IniFile& operatorTable);

}  // namespace flintcast::controller
