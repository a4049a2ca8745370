#include "cli/demo_unit.h"

#include <map>
#include <set>

#include <fmt/format.h>

#include "controller/run_parts.h"

namespace flintcast::cli {
namespace {

using nlohmann::json;

std::string PatternHex(size_t size, unsigned seed) {
    std::string hex;
    for (size_t i = 0; i < size; ++i) hex += fmt::format("{:02x}", (seed * 31 + i * 7 + 3) & 0xFF);
    return hex;
}

struct Tally {
    size_t held = 0;
    size_t restored = 0;
    void Count(bool same) {
        ++held;
        if (same) ++restored;
    }
    bool complete() const { return held == restored; }
};

// Entries of a state list by their key ("id" or "path").
std::map<std::string, json> Keyed(const json& list, const char* key) {
    std::map<std::string, json> out;
    if (!list.is_array()) return out;
    for (const auto& e : list) {
        if (e.is_object() && e.contains(key)) out[e[key].dump()] = e;
    }
    return out;
}

const json& At(const json& state, const char* part, const char* name) {
    static const json kNone;
    if (!state.is_object() || !state.contains(part) || !state[part].is_object() || !state[part].contains(name)) {
        return kNone;
    }
    return state[part][name];
}

}  // namespace

json DemoUnitProfile() {
    json nv = json::array();
    for (const auto* catalogue : {&controller::DefaultNvCatalogue(), &controller::LteNvCatalogue()}) {
        for (const auto& entry : *catalogue) {
            nv.push_back({{"id", entry.id}, {"hex", PatternHex(1 + static_cast<size_t>(entry.id) % 128, entry.id)}});
        }
    }
    // Calibration items of many sizes.
    const size_t sizes[] = {2, 4, 10, 32, 64, 100, 128, 200, 512, 1000, 2048};
    json rf = json::array();
    std::set<int32_t> seen;
    for (const auto& entry : controller::LteRfNvCatalogue()) {
        if (!seen.insert(entry.id).second) continue;
        rf.push_back({{"id", entry.id}, {"hex", PatternHex(sizes[seen.size() % std::size(sizes)], entry.id)}});
    }
    return {{"name", "demo-unit"},
            {"efs_image_wipes", true},
            {"identity",
             {{"sn", "FC46DEMO0001"}, {"imei", "860046000000991"}, {"imei_1", ""}, {"esn", ""}, {"meid", ""},
              {"bluetooth", "00:1A:7D:46:09:91"}, {"sales_count", "001A7D460991"}, {"sales_info", "SALES-0046-0991"},
              {"wifi_cal", "0A0B0C0D0E91"}, {"testinf", "CAL:PASS,FT:PASS"}, {"uit87", "PASS"}, {"uit89", "PASS"}}},
            {"nv_items", nv},
            {"rf_nv_items", rf},
            {"efs", json::array({{{"path", "/nvm/num"}, {"dir", true}}})}};
}

DeviceDataComparison CompareDeviceData(const json& before, const json& after) {
    Tally identity;
    const json& was = At(before, "modem", "identity");
    const json& now = At(after, "modem", "identity");
    if (was.is_object()) {
        for (const auto& [key, value] : was.items()) {
            if (value.is_string() && value.get<std::string>().empty()) continue;
            identity.Count(now.is_object() && now.contains(key) && now[key] == value);
        }
    }
    Tally nv;
    const auto nvAfter = Keyed(At(after, "model", "nv_items"), "id");
    for (const auto& [id, item] : Keyed(At(before, "model", "nv_items"), "id")) {
        if (item.value("status", "") != "active") continue;
        const auto it = nvAfter.find(id);
        nv.Count(it != nvAfter.end() && it->second == item);
    }
    Tally rf;
    const auto rfAfter = Keyed(At(after, "model", "rf_nv_items"), "id");
    for (const auto& [id, item] : Keyed(At(before, "model", "rf_nv_items"), "id")) {
        const auto it = rfAfter.find(id);
        rf.Count(it != rfAfter.end() && it->second == item);
    }
    DeviceDataComparison result;
    result.allRestored = identity.held > 0 && identity.complete() && nv.complete() && rf.complete();
    result.summary = fmt::format("Device data after the update: identity {}/{}, NV items {}/{}, RF NV {}/{} {}",
                                 identity.restored, identity.held, nv.restored, nv.held, rf.restored, rf.held,
                                 result.allRestored ? "as before" : "NOT as before");
    return result;
}

}  // namespace flintcast::cli
