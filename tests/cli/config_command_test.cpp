#include "cli/config_command.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "cli/single_instance.h"
#include "config/messages.h"
#include "devkit/temp_dir.h"

namespace {

struct RunResult {
    int exitCode = -1;
    std::string out;
};

// Runs the built program with `args` (already quoted for the shell); standard error is dropped.
RunResult RunFlintcast(const std::string& args) {
    const std::string command = std::string(FLINTCAST_BIN_DIR) + "/flintcast " + args + " 2>/dev/null";
    RunResult r;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return r;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) r.out.append(buf, n);
    const int status = ::pclose(pipe);
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

std::filesystem::path WriteFile(const std::filesystem::path& dir, const char* name, std::string_view text) {
    const auto path = dir / name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

}  // namespace

TEST(FlintcastProgram, ConfigJsonOfTheEmbeddedDefault) {
    const RunResult r = RunFlintcast("config --json");
    ASSERT_EQ(r.exitCode, 0) << r.out;
    const auto j = nlohmann::json::parse(r.out);
    EXPECT_EQ(j["projectType"], 46);
    EXPECT_EQ(j["platformNumber"], 255);
    EXPECT_EQ(j["networkType"], 0);
    EXPECT_EQ(j["bEFS"], true);
    EXPECT_EQ(j["pcSuite"], true);
    EXPECT_EQ(j["startAtList"].size(), 2u);
    EXPECT_TRUE(j["messages"].empty());
}

TEST(FlintcastProgram, ConfigErrorsExitWithThreeAndListTheirMessages) {
    flintcast::testing::TempDir dir;
    const auto bad = WriteFile(dir.path(), "Config.ini", "[Project]\r\nProject=PRJ46\r\n[NV_Default]\r\nNV1=abc\r\n");
    RunResult r = RunFlintcast("config --json '" + bad.string() + "'");
    EXPECT_EQ(r.exitCode, 3);
    const auto j = nlohmann::json::parse(r.out);
    ASSERT_EQ(j["messages"].size(), 1u);
    EXPECT_EQ(j["messages"][0]["caption"], "Warning");
    EXPECT_EQ(j["messages"][0]["text"], "Default NV configration is incorrect!");
    EXPECT_EQ(j["configurationError"], true);

    r = RunFlintcast("config '" + (dir.path() / "absent.ini").string() + "'");
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_NE(r.out.find("Could not read configuration file"), std::string::npos);

    EXPECT_EQ(RunFlintcast("--time-scale 0 config").exitCode, 2);
    EXPECT_EQ(RunFlintcast("--time-scale 0.01 config").exitCode, 0);
    EXPECT_EQ(RunFlintcast("").exitCode, 2);
}

TEST(ConfigCommand, DualPackageCheckAndDeviceBoardChoice) {
    flintcast::testing::TempDir dir;
    const auto first = WriteFile(dir.path(), "first.ini", "[Project]\nPacket=2\nName=MBX1\nFlashType=1\n");
    const auto second = WriteFile(dir.path(), "second.ini", "[Project]\nName=MBX2\nFlashType=2\n");
    flintcast::cli::ConfigCommandOptions options;
    options.file = first.string();
    options.json = true;
    options.secondPackage = second.string();
    options.deviceBoard = "MBX2";
    std::ostringstream out, err;
    EXPECT_EQ(flintcast::cli::RunConfigCommand(options, out, err), 0) << out.str();
    auto j = nlohmann::json::parse(out.str());
    EXPECT_EQ(j["packageChoice"], "second");
    EXPECT_EQ(j["secondPackage"]["Name"], "MBX2");

    const auto wrong = WriteFile(dir.path(), "wrong.ini", "[Project]\nName=MBY2\n");
    options.secondPackage = wrong.string();
    options.deviceBoard.reset();
    out.str("");
    EXPECT_EQ(flintcast::cli::RunConfigCommand(options, out, err), 3);
    j = nlohmann::json::parse(out.str());
    EXPECT_EQ(j["applicationEnds"], true);
    EXPECT_EQ(j["messages"][0]["text"], "MBX1或MBY售后方案的配置不正确");
}

TEST(SingleInstance, SecondHolderIsRefusedUntilTheFirstEnds) {
    flintcast::testing::TempDir dir;
    ::setenv("XDG_RUNTIME_DIR", dir.path().c_str(), 1);
    flintcast::config::RecordingMessageSink messages;
    {
        auto held = flintcast::cli::AcquireSingleInstance(messages);
        ASSERT_NE(held, nullptr);
        EXPECT_TRUE(messages.messages().empty());
        EXPECT_EQ(flintcast::cli::AcquireSingleInstance(messages), nullptr);
        ASSERT_EQ(messages.messages().size(), 1u);
        EXPECT_EQ(messages.messages()[0].text, "Upgrading procedures have been in operation!");
    }
    EXPECT_NE(flintcast::cli::AcquireSingleInstance(messages), nullptr);
    ::unsetenv("XDG_RUNTIME_DIR");
}
