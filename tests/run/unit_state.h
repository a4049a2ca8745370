#pragma once
// Simulated units with data of their own for whole-run tests: test data patterns, the
// simulator's live state, and its item and file lists keyed for comparison.
#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <thread>

#include <fmt/format.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

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

// The simulator's live state ("ctl state"); the state file may trail the last requests.
inline nlohmann::json LiveDeviceState(const std::filesystem::path& root, const std::filesystem::path& scratch) {
    const std::filesystem::path out = scratch / "ctl-state.out";
    platform::ChildProcess ctl;
    EXPECT_TRUE(ctl.Start(std::filesystem::path(FLINTCAST_BIN_DIR) / "flintcast-devsim", {"ctl", root.string(), "state"},
                          out));
    WaitUntil([&] { return !ctl.running(); });
    EXPECT_EQ(ctl.Stop(1000), 0);
    const std::string text = ReadText(out);
    EXPECT_EQ(text.rfind("OK ", 0), 0u) << text;
    return nlohmann::json::parse(text.size() > 3 ? text.substr(3) : "null", nullptr, false);
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
