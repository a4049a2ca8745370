// The outside modem reset tool at the end of a whole run: the flintcast program against
// flintcast-devsim, with the tool's stand-in staged from beside the program.
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
#include "devkit/wait_until.h"
#include "devkit/files.h"

using flintcast::testing::ReadText;

namespace flintcast {
namespace {

namespace fs = std::filesystem;
constexpr const char* kScale = "0.02";

class ModemkickRunTest : public ::testing::Test {
protected:
    testing::TempDir dir;
    simtest::SimProcess sim{{"--time-scale", kScale}};
    std::string savedTmp;

    void SetUp() override {
        // Settings, logs, backups and staging of the runs stay in the test's folder.
        ::setenv("XDG_CONFIG_HOME", (dir.path() / "config").c_str(), 1);
        ::setenv("XDG_STATE_HOME", (dir.path() / "statehome").c_str(), 1);
        ::setenv("XDG_DATA_HOME", (dir.path() / "data").c_str(), 1);
        if (const char* tmp = std::getenv("TMPDIR")) savedTmp = tmp;
        ::setenv("TMPDIR", dir.path().c_str(), 1);
        ::setenv("XDG_RUNTIME_DIR", dir.path().c_str(), 1);
    }
    void TearDown() override {
        if (savedTmp.empty()) ::unsetenv("TMPDIR");
        else ::setenv("TMPDIR", savedTmp.c_str(), 1);
    }

    // The embedded package's images only, with the reset tool on or off.
    fs::path Config(bool modemkick) {
        auto ini = platform::IniFile::Load(fs::path(FLINTCAST_SOURCE_DIR) / "package/Config.ini");
        EXPECT_TRUE(ini.has_value());
        ini->writeString("DownloadItems", "bBackup", "0");
        ini->writeString("DownloadItems", "bRestore", "0");
        ini->writeString("Project", "ExecuteModemkick", modemkick ? "1" : "0");
        const fs::path path = dir.path() / (modemkick ? "kick.ini" : "plain.ini");
        EXPECT_TRUE(ini->save(path));
        return path;
    }

    // Runs the update to its end; returns the exit code, the output in `out`.
    int Run(const fs::path& config, std::string& out) {
        platform::ChildProcess run;
        const fs::path output = dir.path() / "run.out";
        EXPECT_TRUE(run.Start(fs::path(FLINTCAST_BIN_DIR) / "flintcast",
                              {"--time-scale", kScale, "run", "--json", "--device-root", sim.root().string(),
                               "--config", config.string(), "--device-wait", "60"},
                              output));
        testing::WaitUntil([&] { return !run.running(); }, std::chrono::milliseconds(240000));
        const int code = run.Stop(1000);
        out = ReadText(output);
        return code;
    }

    int Enumerations() {
        int enumerations = -1;
        testing::WaitUntil([&] {
            const auto state = sim.StateFile();
            if (state.value("status", "") != "present") return false;
            enumerations = state.value("enumerations", -1);
            return true;
        });
        return enumerations;
    }
};

TEST_F(ModemkickRunTest, ResetToolResetsTheDeviceBeforePass) {
    std::string out;
    const int start = Enumerations();
    ASSERT_EQ(Run(Config(false), out), 0) << out;
    const int plain = Enumerations() - start;

    ASSERT_EQ(Run(Config(true), out), 0) << out;
    EXPECT_NE(out.find("\"text\":\"modemkick staged from "), std::string::npos) << out;
    EXPECT_NE(out.find("\"kind\":3,\"slot\":0,\"text\":\"PASS\""), std::string::npos) << out;
    EXPECT_EQ(out.find("ERROR"), std::string::npos) << out;
    // The tool's reset is one more re-enumeration than the same run makes without it; on a slow
    // machine the scaled 7-second wait may run out before the tool reports, and the worker
    // starts it again (three times at most).
    const int extra = Enumerations() - start - 2 * plain;
    EXPECT_GE(extra, 1);
    EXPECT_LE(extra, 3);
}

}  // namespace
}  // namespace flintcast
