#pragma once
// Waits on the simulator's state file, which follows traffic within a tenth of a second.
#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include <nlohmann/json.hpp>

#include "tests/sim/sim_process.h"

namespace flintcast::simtest {

inline bool WaitForState(const SimProcess& sim, const std::function<bool(const nlohmann::json&)>& holds,
                         std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        if (holds(sim.StateFile())) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

// "127.0.0.1:PORT" of the unit's fastboot or adb service once the state shows it up.
inline std::string WaitForService(const SimProcess& sim, const char* key) {
    std::string address;
    WaitForState(sim, [&](const nlohmann::json& s) {
        if (!s.contains(key) || !s[key].is_object()) return false;
        address = s[key]["tcp"].get<std::string>();
        return true;
    });
    return address;
}

}  // namespace flintcast::simtest
