#pragma once
// Simulated units with data of their own for whole-run tests: test data patterns, the
// simulator's live state, and its item and file lists keyed for comparison.
#include <chrono>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>
#include <thread>

#include <fmt/format.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "engine/nv_catalogues.h"
#include "platform/child_process.h"
#include "tests/run/update_run_fixture.h"
#include "devkit/wait_until.h"

namespace flintcast::testing {

// `size` bytes of a pattern that differs with `seed`, as hex text for a profile.
inline std::string PatternHex(size_t size, unsigned seed) {
    std::string hex;
    for (size_t i = 0; i < size; ++i) hex += fmt::format("{:02x}", (seed * 31 + i * 7 + 3) & 0xFF);
    return hex;
}

// Entries of a profile's EFS tree: a folder, and a file of `size` pattern bytes.
inline nlohmann::json EfsDir(const std::string& path) { return {{"path", path}, {"dir", true}}; }
inline nlohmann::json EfsFile(const std::string& path, size_t size, unsigned seed) {
    return {{"path", path}, {"hex", PatternHex(size, seed)}};
}

// Every `every`th item of the plain NV catalogue, each with a value of its own.
inline nlohmann::json SampledNvItems(size_t every) {
    nlohmann::json nv = nlohmann::json::array();
    const auto& plain = engine::DefaultNvCatalogue();
    for (size_t i = 0; i < plain.size(); i += every)
        nv.push_back({{"id", plain[i].id}, {"hex", PatternHex(1 + i % 128, static_cast<unsigned>(i))}});
    return nv;
}

// The first `limit` distinct items of the LTE RF NV catalogue; the nth is base + n * step bytes.
inline nlohmann::json SampledRfNvItems(size_t limit, size_t base, size_t step) {
    nlohmann::json rf = nlohmann::json::array();
    std::set<int32_t> seen;
    for (const auto& entry : engine::LteRfNvCatalogue()) {
        if (seen.size() == limit) break;
        if (seen.insert(entry.id).second)
            rf.push_back({{"id", entry.id},
                          {"hex", PatternHex(base + seen.size() * step, static_cast<unsigned>(entry.id))}});
    }
    return rf;
}

// "flintcast-devsim ctl ROOT <args>": the state as pure JSON, other answers after their "OK ".
inline std::string SimulatorCtl(const std::filesystem::path& root, const std::filesystem::path& scratch,
                                const std::vector<std::string>& args) {
    const std::filesystem::path out = scratch / "ctl.out";
    std::vector<std::string> argv{"ctl", root.string()};
    argv.insert(argv.end(), args.begin(), args.end());
    platform::ChildProcess ctl;
    EXPECT_TRUE(ctl.Start(std::filesystem::path(FLINTCAST_BIN_DIR) / "flintcast-devsim", argv, out));
    WaitUntil([&] { return !ctl.running(); });
    EXPECT_EQ(ctl.Stop(1000), 0);
    const std::string text = ReadText(out);
    if (!args.empty() && args.front() == "state") return text;
    EXPECT_EQ(text.rfind("OK", 0), 0u) << text;
    return text.size() > 3 ? text.substr(3) : "";
}

// The simulator's live state ("ctl state"); the state file may trail the last requests.
inline nlohmann::json LiveDeviceState(const std::filesystem::path& root, const std::filesystem::path& scratch) {
    const std::filesystem::path out = scratch / "ctl-state.out";
    platform::ChildProcess ctl;
    EXPECT_TRUE(ctl.Start(std::filesystem::path(FLINTCAST_BIN_DIR) / "flintcast-devsim", {"ctl", root.string(), "state"},
                          out));
    WaitUntil([&] { return !ctl.running(); });
    EXPECT_EQ(ctl.Stop(1000), 0);
    const std::string text = ReadText(out);
    return nlohmann::json::parse(text.empty() ? "null" : text, nullptr, false);
}

// NV or RF NV items of a state by id.
inline std::map<int, nlohmann::json> ById(const nlohmann::json& list) {
    std::map<int, nlohmann::json> out;
    for (const auto& e : list) out[e["id"].get<int>()] = e;
    return out;
}

// EFS entries of a state by path.
inline std::map<std::string, nlohmann::json> ByPath(const nlohmann::json& list) {
    std::map<std::string, nlohmann::json> out;
    for (const auto& e : list) out[e["path"].get<std::string>()] = e;
    return out;
}

}  // namespace flintcast::testing
