// A whole run against a unit that powers up as a disk: the program stages the mode switch
// program from its package, the device check starts it, the unit comes back with its serial
// ports and the update ends in PASS.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "platform/child_process.h"
#include "platform/ini_file.h"
#include "tests/support/sim_process.h"
#include "devkit/temp_dir.h"

namespace flintcast {
namespace {

namespace fs = std::filesystem;
constexpr const char* kScale = "0.02";

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

fs::path DiskProfile(const testing::TempDir& dir) {
    const fs::path file = dir.path() / "disk-unit.json";
    std::ofstream(file) << R"({"usb": {"power_up": "storage"}})";
    return file;
}

TEST(ModeSwitchRun, DiskModeUnitIsSwitchedAndUpdatedToPass) {
    testing::TempDir dir;
    simtest::SimProcess sim{{"--time-scale", kScale, "--profile", DiskProfile(dir).string()}};
    ASSERT_EQ(sim.DevEntries(), std::vector<std::string>{"sdz"});
    // Settings, logs, backups and staging of the run stay in the test's folder.
    std::string savedTmp;
    if (const char* tmp = std::getenv("TMPDIR")) savedTmp = tmp;
    ::setenv("XDG_CONFIG_HOME", (dir.path() / "config").c_str(), 1);
    ::setenv("XDG_STATE_HOME", (dir.path() / "statehome").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (dir.path() / "data").c_str(), 1);
    ::setenv("TMPDIR", dir.path().c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", dir.path().c_str(), 1);

    auto ini = platform::IniFile::Load(fs::path(FLINTCAST_SOURCE_DIR) / "package/Config.ini");
    ASSERT_TRUE(ini.has_value());
    // The boot loaders only: the run stays short and still goes through every stage.
    for (const char* item : {"bBackup", "bRestore", "bEFS", "bAMSSFile", "bDSP", "bCDROM"})
        ini->writeString("DownloadItems", item, "0");
    const fs::path config = dir.path() / "plain.ini";
    ASSERT_TRUE(ini->save(config));

    platform::ChildProcess run;
    const fs::path output = dir.path() / "run.out";
    ASSERT_TRUE(run.Start(fs::path(FLINTCAST_BIN_DIR) / "flintcast",
                          {"--time-scale", kScale, "run", "--json", "--device-root", sim.root().string(), "--config",
                           config.string(), "--device-wait", "600"},
                          output));
    for (int i = 0; i < 24000 && run.running(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const int code = run.Stop(1000);
    const std::string out = ReadText(output);
    if (savedTmp.empty()) ::unsetenv("TMPDIR");
    else ::setenv("TMPDIR", savedTmp.c_str(), 1);

    EXPECT_EQ(code, 0) << out;
    EXPECT_NE(out.find("\"kind\":3,\"slot\":0,\"text\":\"PASS\""), std::string::npos) << out;
    EXPECT_EQ(out.find("Mode switch program"), std::string::npos) << out;
    // The switch came from the mode switch program, which logged what the disk answered.
    const auto log = ReadText(dir.path() / "statehome/flintcast/logs/gearswap.log");
    EXPECT_NE(log.find("dev/sdz: status 0x00"), std::string::npos) << log;
    const auto state = sim.StateFile();
    EXPECT_EQ(state.value("personality", ""), "normal");
    EXPECT_EQ(state["usb"]["storage"], nullptr);
}

}  // namespace
}  // namespace flintcast
