// The start reminder through the flintcast program: a project-42 package with no device at the
// device root ends the tool after 20 seconds of tool time with the variant's message.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "platform/child_process.h"
#include "platform/process.h"
#include "devkit/temp_dir.h"
#include "devkit/wait_until.h"

namespace flintcast {
namespace {

namespace fs = std::filesystem;

TEST(StartReminderRun, NoDeviceEndsTheToolWithTheVariantsMessage) {
    testing::TempDir dir;
    ::setenv("XDG_CONFIG_HOME", (dir.path() / "config").c_str(), 1);
    ::setenv("XDG_STATE_HOME", (dir.path() / "statehome").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (dir.path() / "data").c_str(), 1);
    std::string savedTmp;
    if (const char* tmp = std::getenv("TMPDIR")) savedTmp = tmp;
    ::setenv("TMPDIR", dir.path().c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", dir.path().c_str(), 1);

    const fs::path package = dir.path() / "package";
    platform::LaunchOptions generate;
    generate.arguments = {"--out", package.string(), "--project", "42", "--config"};
    ASSERT_EQ(platform::RunAndWait(fs::path(FLINTCAST_BIN_DIR) / "flintcast-mkpackage", generate), 0);
    fs::create_directories(dir.path() / "root/dev");  // a machine without the device

    platform::ChildProcess run;
    const fs::path output = dir.path() / "run.out";
    // The device wait (60 s) is far longer than the reminder's 20 s.
    ASSERT_TRUE(run.Start(fs::path(FLINTCAST_BIN_DIR) / "flintcast",
                          {"--time-scale", "0.02", "run", "--json", "--device-root", (dir.path() / "root").string(),
                           "--config", (package / "Config.ini").string(), "--image-folder", package.string(),
                           "--device-wait", "60"},
                          output));
    testing::WaitUntil([&] { return !run.running(); });
    EXPECT_EQ(run.Stop(1000), 2);
    std::ifstream in(output);
    std::stringstream text;
    text << in.rdbuf();
    const std::string out = text.str();
    EXPECT_NE(out.find("\"caption\":\"JDDアップデートツール V1.0\",\"event\":\"message\",\"text\":\"JDDが見つかりません。"),
              std::string::npos)
        << out;
    EXPECT_EQ(out.find("No ready device was found."), std::string::npos) << out;
    EXPECT_FALSE(fs::exists(dir.path() / ("flintcast-" + std::to_string(::getuid())) / "TempFiles"))
        << "the staging folder is removed on the way out";

    if (savedTmp.empty()) ::unsetenv("TMPDIR");
    else ::setenv("TMPDIR", savedTmp.c_str(), 1);
}

}  // namespace
}  // namespace flintcast
