#include "controller/attached_units.h"

#include <algorithm>
#include <filesystem>

namespace flintcast::controller {
namespace {

bool Holds(const std::vector<std::string>& box, const std::string& name) {
    return std::find(box.begin(), box.end(), name) != box.end();
}

std::string PersonalityOf(const AttachedUnit& unit) {
    if (!unit.diag.empty()) return unit.modem.empty() ? "download" : "normal";
    if (!unit.modem.empty() || !unit.terminal.empty()) return "modem";
    return "unknown";
}

}  // namespace

std::vector<AttachedUnit> GroupAttachedUnits(const std::vector<platform::UsbSerialPort>& ports,
                                             const PortBoxes& boxes) {
    std::vector<AttachedUnit> units;
    for (const auto& port : ports) {
        // A port whose USB device folder is unknown stands for a unit of its own.
        const std::string path = port.usbDevice.empty() ? port.name
                                                        : std::filesystem::path(port.usbDevice).filename().string();
        auto unit = std::find_if(units.begin(), units.end(), [&](const AttachedUnit& u) { return u.usbPath == path; });
        if (unit == units.end()) {
            units.push_back({path, port.vendorId, port.productId, port.product, "", {}, {}, {}});
            unit = units.end() - 1;
        }
        if (Holds(boxes.diag, port.name)) unit->diag.push_back(port.name);
        if (Holds(boxes.modem, port.name)) unit->modem.push_back(port.name);
        if (Holds(boxes.terminal, port.name)) unit->terminal.push_back(port.name);
    }
    for (auto& unit : units) unit.personality = PersonalityOf(unit);
    return units;
}

}  // namespace flintcast::controller
