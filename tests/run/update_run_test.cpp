// Whole update runs: the flintcast program against flintcast-devsim at a small time scale.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include <nlohmann/json.hpp>

#include "platform/child_process.h"
#include "platform/ini_file.h"
#include "tests/support/temp_dir.h"

namespace flintcast {
namespace {

namespace fs = std::filesystem;
constexpr const char* kScale = "0.02";

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class UpdateRunTest : public ::testing::Test {
protected:
    testing::TempDir dir;
    platform::ChildProcess simulator;
    fs::path root = dir.path() / "root";

    void SetUp() override {
        fs::create_directories(root);
        fs::create_directories(dir.path() / "state");
        // Settings, logs and backups of the runs stay in the test's folder.
        ::setenv("XDG_CONFIG_HOME", (dir.path() / "config").c_str(), 1);
        ::setenv("XDG_STATE_HOME", (dir.path() / "statehome").c_str(), 1);
        ::setenv("XDG_DATA_HOME", (dir.path() / "data").c_str(), 1);
        if (const char* tmp = std::getenv("TMPDIR")) savedTmp = tmp;
        ::setenv("TMPDIR", dir.path().c_str(), 1);
        ::setenv("XDG_RUNTIME_DIR", dir.path().c_str(), 1);
        ASSERT_TRUE(simulator.Start(fs::path(FLINTCAST_BIN_DIR) / "flintcast-devsim",
                                    {"--root", root.string(), "--state", (dir.path() / "state").string(),
                                     "--time-scale", kScale},
                                    dir.path() / "devsim.log"));
        for (int i = 0; i < 500 && !fs::exists(root / "dev/ttyUSB0"); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ASSERT_TRUE(fs::exists(root / "dev/ttyUSB0")) << ReadFile(dir.path() / "devsim.log");
    }
    void TearDown() override {
        simulator.Stop();
        if (savedTmp.empty()) ::unsetenv("TMPDIR");
        else ::setenv("TMPDIR", savedTmp.c_str(), 1);
    }
    std::string savedTmp;

    // The embedded default configuration with the given keys changed.
    fs::path ConfigWith(const std::vector<std::pair<std::string, std::string>>& changes) {
        auto ini = platform::IniFile::Load(fs::path(FLINTCAST_SOURCE_DIR) / "package/Config.ini");
        EXPECT_TRUE(ini.has_value());
        for (const auto& [key, value] : changes) {
            const auto slash = key.find('/');
            ini->writeString(key.substr(0, slash), key.substr(slash + 1), value);
        }
        const fs::path path = dir.path() / "Config.ini";
        EXPECT_TRUE(ini->save(path));
        return path;
    }

    bool StartRun(platform::ChildProcess& run, const fs::path& config, const std::string& command = "run") {
        return run.Start(fs::path(FLINTCAST_BIN_DIR) / "flintcast",
                         {"--time-scale", kScale, command, "--json", "--device-root", root.string(), "--config",
                          config.string(), "--device-wait", "60"},
                         dir.path() / "run.out");
    }

    // The simulator's state file once it describes a plugged-in device; it is written a moment
    // after the device entries appear, so a test that reads it straight away may find nothing.
    nlohmann::json DeviceState() {
        const fs::path statePath = dir.path() / "state/state.json";
        nlohmann::json state;
        for (int i = 0; i < 1000; ++i) {
            state = nlohmann::json::parse(ReadFile(statePath), nullptr, false);
            if (!state.is_discarded() && state.value("status", "") == "present") break;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return state;
    }

    int WaitFor(platform::ChildProcess& run, int seconds = 240) {
        for (int i = 0; i < seconds * 100 && run.running(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return run.Stop(1000);
    }

    std::string Output() { return ReadFile(dir.path() / "run.out"); }
    std::string Settings() { return ReadFile(dir.path() / "config/flintcast/Flintcast_QCOMM.ini"); }
};

TEST_F(UpdateRunTest, DefaultPackageImagesOnlyRunsToPass) {
    platform::ChildProcess run;
    ASSERT_TRUE(StartRun(run, ConfigWith({{"DownloadItems/bBackup", "0"}, {"DownloadItems/bRestore", "0"}})));
    EXPECT_EQ(WaitFor(run), 0) << Output();
    const std::string out = Output();
    const auto start = out.find("\"text\":\"Start succssfully\"");
    const auto pass = out.find("\"kind\":3,\"slot\":0,\"text\":\"PASS\"");
    ASSERT_NE(start, std::string::npos) << out;
    ASSERT_NE(pass, std::string::npos) << out;
    EXPECT_LT(start, pass);
    // The bar reaches 100 only with the pass, never while images are written.
    const auto full = out.find("\"position\":100");
    ASSERT_NE(full, std::string::npos);
    EXPECT_EQ(out.find("\"position\":100", 0), full);
    EXPECT_NE(out.find("\"text\":\"AMSSFile succssfully\""), std::string::npos);
    EXPECT_NE(Settings().find("DownloadStatus=PASS"), std::string::npos) << Settings();
    // A passed run deletes its log outside the unattended mode.
    EXPECT_TRUE(fs::is_empty(dir.path() / "statehome/flintcast/logs")) << out;
}

TEST_F(UpdateRunTest, DefaultPackageWithBackupAndRestoreRunsToPassAndKeepsTheDeviceData) {
    const auto before = DeviceState();
    ASSERT_FALSE(before.is_discarded());
    platform::ChildProcess run;
    ASSERT_TRUE(StartRun(run, ConfigWith({})));
    EXPECT_EQ(WaitFor(run), 0) << Output();
    const std::string out = Output();
    EXPECT_NE(out.find("\"text\":\"Backup succssfully\""), std::string::npos) << out;
    EXPECT_NE(out.find("\"text\":\"Restore NV......OK\""), std::string::npos) << out;
    EXPECT_NE(out.find("\"kind\":3,\"slot\":0,\"text\":\"PASS\""), std::string::npos) << out;
    EXPECT_EQ(out.find("ERROR"), std::string::npos) << out;

    // After the new images the device holds the identity and NV items it had before.
    const auto after = DeviceState();
    ASSERT_FALSE(after.is_discarded());
    // The test information is kept without its UIT87/UIT89 results, which have values of their own.
    auto identity = before["modem"]["identity"];
    identity["testinf"] = "CAL:PASS,FT:PASS";
    EXPECT_EQ(after["modem"]["identity"], identity);
    EXPECT_EQ(after["model"]["nv_items"], before["model"]["nv_items"]);
}

TEST_F(UpdateRunTest, AdbBackupConfigurationIsRefusedBeforeTheRun) {
    platform::ChildProcess run;
    ASSERT_TRUE(StartRun(run, ConfigWith({{"DownloadItems/bBackupARM11Files", "1"},
                                          {"ARM11Files/ARM11F0", "/data/misc/wifi/wlan.bin"}})));
    EXPECT_EQ(WaitFor(run), 2);
    const std::string out = Output();
    EXPECT_NE(out.find("Not available yet: adb file backup"), std::string::npos) << out;
    EXPECT_EQ(out.find("backup and restore of device data"), std::string::npos) << out;
    EXPECT_EQ(out.find("Start succssfully"), std::string::npos);
    // The device's ports were never opened for a run: a second run can take them.
    EXPECT_EQ(out.find("Port2 ready"), std::string::npos);
}

TEST_F(UpdateRunTest, StopDuringTheWaitForTheDeviceEndsWithCommClosed) {
    platform::ChildProcess run;
    ASSERT_TRUE(StartRun(run, ConfigWith({{"DownloadItems/bBackup", "0"}, {"DownloadItems/bRestore", "0"}})));
    // Stop once the device has been reset and the worker waits for it to come back.
    bool resetSeen = false;
    for (int i = 0; i < 24000 && run.running(); ++i) {
        if (Output().find("Reset or power off") != std::string::npos) {
            resetSeen = true;
            ::kill(run.pid(), SIGINT);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_TRUE(resetSeen) << Output();
    EXPECT_EQ(WaitFor(run), 1);
    const std::string out = Output();
    EXPECT_NE(out.find("Shutting down COMM..."), std::string::npos) << out;
    EXPECT_NE(out.find("\"text\":\"COMM Closed\""), std::string::npos) << out;
    EXPECT_EQ(out.find("\"text\":\"PASS\""), std::string::npos);
    // The failed run keeps its log, ending with the closing block.
    std::string log;
    for (const auto& e : fs::directory_iterator(dir.path() / "statehome/flintcast/logs")) log = ReadFile(e.path());
    EXPECT_NE(log.find("Shutting down COMM..."), std::string::npos);
    EXPECT_NE(log.find("To cause any inconvenience to your understanding.\r\n"), std::string::npos);
}

}  // namespace
}  // namespace flintcast
