// The outside programs the controller starts: the mode switch program from the image folder, and
// the stand-ins installed beside the tool that are staged when the package does not carry them.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "controller/image_staging.h"
#include "controller/mode_switch_launch.h"
#include "devkit/temp_dir.h"
#include "devkit/files.h"
#include "devkit/wait_until.h"

namespace flintcast {
namespace {

namespace fs = std::filesystem;

void WriteScript(const fs::path& path, const std::string& body) {
    std::ofstream(path) << "#!/bin/sh\n" << body;
    ::chmod(path.c_str(), 0755);
}

std::string WaitForText(const fs::path& path) {
    std::string text;
    const bool complete = testing::WaitUntil([&] {
        text = testing::ReadText(path);
        return text.find('\n') != std::string::npos;
    });
    return complete ? text : std::string();
}

TEST(ModeSwitchLaunch, StartsTheStagedProgramWithoutArgumentsAndDoesNotWait) {
    testing::TempDir dir;
    const fs::path marker = dir.path() / "started";
    // The stand-in notes its argument count and folder, then outlives the launch by far.
    WriteScript(dir.path() / "gearswap", "echo \"$# $(pwd)\" > '" + marker.string() + "'\nsleep 1\n");
    std::vector<std::string> lines;
    controller::ModeSwitchLauncher launcher(dir.path(), [&](std::string_view l) { lines.emplace_back(l); });

    const auto before = std::chrono::steady_clock::now();
    EXPECT_TRUE(launcher.Launch());
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(2)) << "the launch must not wait";
    EXPECT_EQ(WaitForText(marker), "0 " + fs::canonical(dir.path()).string() + "\n");
    EXPECT_TRUE(lines.empty());
}

TEST(ModeSwitchLaunch, MissingProgramIsLoggedOnceAndNotFaked) {
    testing::TempDir dir;
    std::vector<std::string> lines;
    controller::ModeSwitchLauncher launcher(dir.path(), [&](std::string_view l) { lines.emplace_back(l); });
    EXPECT_FALSE(launcher.Launch());
    EXPECT_FALSE(launcher.Launch());  // every device check pass tries again
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("Mode switch program not found"), std::string::npos);
    EXPECT_NE(lines[0].find((dir.path() / "gearswap").string()), std::string::npos);

    // A folder entry of that name is no program either; one that will not start is reported.
    fs::create_directories(dir.path() / "other" / "gearswap");
    launcher.SetImageFolder(dir.path() / "other");
    EXPECT_FALSE(launcher.Launch());
    std::ofstream(dir.path() / "gearswap") << "not executable\n";
    launcher.SetImageFolder(dir.path());
    EXPECT_FALSE(launcher.Launch());
    EXPECT_NE(lines.back().find("could not be started"), std::string::npos);
}

TEST(ToolStaging, StandInsBesideTheToolFillWhatThePackageLacks) {
    testing::TempDir dir;
    const fs::path staging = dir.path() / "TempFiles";
    const fs::path tools = dir.path() / "bin";
    fs::create_directories(staging);
    fs::create_directories(tools);
    WriteScript(tools / "modemkick", "exit 0\n");
    WriteScript(tools / "drivset", "exit 0\n");

    config::ProjectConfig config;
    config.projectType = 46;
    EXPECT_TRUE(controller::StageToolsFromFolder(staging, tools, config).empty()) << "nothing selects them";

    config.executeModemkick = true;
    EXPECT_EQ(controller::StageToolsFromFolder(staging, tools, config), std::vector<std::string>{"modemkick"});
    struct stat st {};
    ASSERT_EQ(::stat((staging / "modemkick").c_str(), &st), 0);
    EXPECT_NE(st.st_mode & S_IXUSR, 0u);
    EXPECT_FALSE(fs::exists(staging / "drivset"));

    // The package's own copy stays; project 20 adds the driver installer.
    std::ofstream(staging / "modemkick", std::ios::trunc) << "from the package";
    config.projectType = 20;
    EXPECT_EQ(controller::StageToolsFromFolder(staging, tools, config), std::vector<std::string>{"drivset"});
    std::ifstream in(staging / "modemkick");
    std::string text;
    std::getline(in, text);
    EXPECT_EQ(text, "from the package");
}

}  // namespace
}  // namespace flintcast
