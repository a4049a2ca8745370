#pragma once
// Whole update runs: the flintcast program against flintcast-devsim at a small time scale, each
// test in its own folder (device root, simulator state, settings, logs, backups, staging).
#include <gtest/gtest.h>

#include <stdlib.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/child_process.h"
#include "platform/ini_file.h"
#include "devkit/temp_dir.h"
#include "devkit/wait_until.h"
#include "devkit/files.h"

namespace flintcast::testing {

class UpdateRunFixture : public ::testing::Test {
protected:
    static constexpr const char* kScale = "0.02";
    using Changes = std::vector<std::pair<std::string, std::string>>;

    // The time scale of the simulator and the runs; a test of long device operations (flashing
    // tens of megabytes) may choose a larger one.
    std::string scale = kScale;
    TempDir dir;
    platform::ChildProcess simulator;
    std::filesystem::path root = dir.path() / "root";

    void SetUp() override {
        std::filesystem::create_directories(root);
        std::filesystem::create_directories(dir.path() / "state");
        // Settings, logs and backups of the runs stay in the test's folder.
        ::setenv("XDG_CONFIG_HOME", (dir.path() / "config").c_str(), 1);
        ::setenv("XDG_STATE_HOME", (dir.path() / "statehome").c_str(), 1);
        ::setenv("XDG_DATA_HOME", (dir.path() / "data").c_str(), 1);
        if (const char* tmp = std::getenv("TMPDIR")) savedTmp = tmp;
        ::setenv("TMPDIR", dir.path().c_str(), 1);
        ::setenv("XDG_RUNTIME_DIR", dir.path().c_str(), 1);
    }
    void TearDown() override {
        simulator.Stop();
        if (savedTmp.empty()) ::unsetenv("TMPDIR");
        else ::setenv("TMPDIR", savedTmp.c_str(), 1);
    }
    std::string savedTmp;

    // Starts the simulator in the test's root (extra arguments such as "--profile FILE") and
    // waits for its first port.
    void StartSimulator(const std::vector<std::string>& extra = {}) {
        std::vector<std::string> args{"--root", root.string(), "--state", (dir.path() / "state").string(),
                                      "--time-scale", scale};
        args.insert(args.end(), extra.begin(), extra.end());
        ASSERT_TRUE(simulator.Start(std::filesystem::path(FLINTCAST_BIN_DIR) / "flintcast-devsim", args,
                                    dir.path() / "devsim.log"));
        WaitUntil([&] { return HasPorts(); });
        ASSERT_TRUE(HasPorts()) << "no device in " << root << ": " << ReadText(dir.path() / "devsim.log");
    }

    // `base` (default: the embedded package's Config.ini) with the given "Section/Key" values changed.
    std::filesystem::path ConfigWith(const Changes& changes, const std::filesystem::path& base = {}) {
        auto ini = platform::IniFile::Load(base.empty()
                                               ? std::filesystem::path(FLINTCAST_SOURCE_DIR) / "package/Config.ini"
                                               : base);
        EXPECT_TRUE(ini.has_value());
        if (!ini) return {};
        for (const auto& [key, value] : changes) {
            const auto slash = key.find('/');
            ini->writeString(key.substr(0, slash), key.substr(slash + 1), value);
        }
        const std::filesystem::path path = dir.path() / "Config.ini";
        EXPECT_TRUE(ini->save(path));
        return path;
    }

    bool StartRun(platform::ChildProcess& run, const std::filesystem::path& config, const std::string& command = "run",
                  const std::vector<std::string>& extra = {}) {
        std::vector<std::string> args{"--time-scale", scale, command, "--json", "--device-root", root.string(),
                                      "--config", config.string(), "--device-wait", "60"};
        args.insert(args.end(), extra.begin(), extra.end());
        return run.Start(std::filesystem::path(FLINTCAST_BIN_DIR) / "flintcast", args, dir.path() / "run.out");
    }

    // The simulator's state file once it describes a plugged-in device; it is written a moment
    // after the device entries appear, so a test that reads it straight away may find nothing.
    nlohmann::json DeviceState() {
        const std::filesystem::path statePath = dir.path() / "state/state.json";
        nlohmann::json state;
        WaitUntil([&] {
            state = nlohmann::json::parse(ReadText(statePath), nullptr, false);
            return !state.is_discarded() && state.value("status", "") == "present";
        });
        return state;
    }

    int WaitFor(platform::ChildProcess& run, int seconds = 240) {
        WaitUntil([&] { return !run.running(); }, std::chrono::seconds(seconds));
        return run.Stop(1000);
    }

    std::string Output() { return ReadText(dir.path() / "run.out"); }
    std::string Settings() { return ReadText(dir.path() / "config/flintcast/Flintcast_QCOMM.ini"); }

private:
    bool HasPorts() const {
        std::error_code ec;
        return std::filesystem::is_directory(root / "dev", ec) && !std::filesystem::is_empty(root / "dev", ec);
    }
};

}  // namespace flintcast::testing
