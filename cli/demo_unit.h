#pragma once
// The demo's simulated unit: a project-46 card with personal data in every place the default
// package backs up, whose EFS image wipes that data as a real unit's does; and the comparison of
// its state before and after the update.
#include <string>

#include <nlohmann/json.hpp>

namespace flintcast::cli {

// The simulator profile of the demo's unit.
nlohmann::json DemoUnitProfile();

struct DeviceDataComparison {
    bool allRestored = false;
    std::string summary;  // "Device data after the update: identity 9/9, ..."
};

// Compares the simulator states (as "ctl state" gives them) taken before and after a run:
// every identity value, active NV item and RF NV item the unit held must be there unchanged.
DeviceDataComparison CompareDeviceData(const nlohmann::json& before, const nlohmann::json& after);

}  // namespace flintcast::cli
