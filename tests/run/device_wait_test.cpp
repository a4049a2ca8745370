// The command line while it waits for a unit: a refused unit replaced by a good one, Ctrl-C
// during the wait, and a configuration error that leaves the tool usable.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include <nlohmann/json.hpp>

#include "tests/run/update_run_fixture.h"

namespace flintcast {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

class DeviceWaitTest : public testing::UpdateRunFixture {
protected:
    bool WaitForOutput(platform::ChildProcess& run, const std::string& text) {
        for (int i = 0; i < 12000 && run.running(); ++i) {
            if (Output().find(text) != std::string::npos) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return Output().find(text) != std::string::npos;
    }
};

TEST_F(DeviceWaitTest, RefusedUnitReplacedByAGoodOneIsCheckedAgainAndUpdated) {
    // A unit of another model: its version does not carry the package's project code.
    const fs::path profile = dir.path() / "other.json";
    std::ofstream(profile) << json{{"at", {{"cgmr", "XR9Q0046X2.0.0"}, {"ati", "X2.0.0"}}}}.dump();
    StartSimulator({"--profile", profile.string()});
    platform::ChildProcess run;
    ASSERT_TRUE(StartRun(run, ConfigWith({{"Project/bCheckProjectCode", "1"},
                                          {"DownloadItems/bBackup", "0"},
                                          {"DownloadItems/bRestore", "0"}})));
    ASSERT_TRUE(WaitForOutput(run, "Could not update other irrelevant model device!")) << Output();

    // The operator takes the unit away and plugs in one of the package's model.
    simulator.Stop();
    StartSimulator();
    EXPECT_EQ(WaitFor(run), 0) << Output();
    EXPECT_NE(Output().find("\"text\":\"PASS\""), std::string::npos) << Output();
}

TEST_F(DeviceWaitTest, CtrlCWhileWaitingForAUnitRemovesTheStaging) {
    // No unit is attached: the tool waits.
    platform::ChildProcess run;
    ASSERT_TRUE(StartRun(run, ConfigWith({})));
    const fs::path staging = dir.path() / ("flintcast-" + std::to_string(::getuid())) / "TempFiles";
    for (int i = 0; i < 6000 && run.running() && !fs::exists(staging / "Config.ini"); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_TRUE(fs::exists(staging / "Config.ini")) << Output();
    // Interrupted once the tool says it waits for a unit.
    for (int i = 0; i < 6000 && run.running() && Output().find("\"waiting\"") == std::string::npos; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_NE(Output().find("\"waiting\""), std::string::npos) << Output();
    ::kill(run.pid(), SIGINT);
    EXPECT_EQ(WaitFor(run, 30), 5) << Output();  // stopped by the operator
    EXPECT_FALSE(fs::exists(staging)) << Output();
}

TEST_F(DeviceWaitTest, ConfigurationErrorLeavesTheToolUsable) {
    StartSimulator();
    // The mainboard check needs a version; without one the reading stops with its message.
    const fs::path config = ConfigWith({{"Project/bCheckMainboardType", "1"}, {"Project/Version", ""}});
    platform::ChildProcess devices;
    ASSERT_TRUE(devices.Start(fs::path(FLINTCAST_BIN_DIR) / "flintcast",
                              {"--time-scale", kScale, "devices", "--device-root", root.string(), "--config",
                               config.string()},
                              dir.path() / "run.out"));
    WaitFor(devices, 60);
    const std::string out = Output();
    EXPECT_NE(out.find("Could not find software version"), std::string::npos) << out;
    EXPECT_NE(out.find("diag ttyUSB0"), std::string::npos) << out;
}

}  // namespace
}  // namespace flintcast
