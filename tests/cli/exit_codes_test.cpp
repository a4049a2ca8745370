// The exit code of each documented case, and the one table in --help, the manual page and the
// README.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <utility>
#include <vector>
#include <sstream>
#include <string>
#include <thread>

#include "cli/exit_codes.h"
#include "platform/child_process.h"
#include "devkit/temp_dir.h"

#include <fmt/format.h>

namespace flintcast::cli {
namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The program in a folder of its own (settings, logs, backups, staging, lock).
class ProgramRun : public ::testing::Test {
protected:
    testing::TempDir dir;

    static constexpr const char* kOwnFolders[] = {"XDG_CONFIG_HOME", "XDG_STATE_HOME", "XDG_DATA_HOME",
                                                  "XDG_RUNTIME_DIR", "TMPDIR"};
    std::vector<std::pair<std::string, std::optional<std::string>>> saved;

    void SetUp() override {
        for (const char* name : kOwnFolders) {
            const char* value = std::getenv(name);
            saved.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
            ::setenv(name, (dir.path() / name).c_str(), 1);
            fs::create_directories(dir.path() / name);
        }
        fs::create_directories(dir.path() / "root/dev");  // a machine without any unit
    }
    void TearDown() override {
        for (const auto& [name, value] : saved) {
            if (value) ::setenv(name.c_str(), value->c_str(), 1);
            else ::unsetenv(name.c_str());
        }
    }

    int Run(const std::vector<std::string>& args, std::string* output = nullptr) {
        platform::ChildProcess run;
        const fs::path out = dir.path() / "out";
        EXPECT_TRUE(run.Start(fs::path(FLINTCAST_BIN_DIR) / "flintcast", args, out));
        for (int i = 0; i < 3000 && run.running(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        const int code = run.Stop(1000);
        if (output != nullptr) *output = ReadFile(out);
        return code;
    }
};

TEST_F(ProgramRun, EachDocumentedCaseEndsWithItsCode) {
    std::string out;
    EXPECT_EQ(Run({"config"}), kExitOk);
    EXPECT_EQ(Run({"frobnicate"}, &out), kExitUsage);
    EXPECT_NE(out.find("unknown command 'frobnicate'"), std::string::npos) << out;
    EXPECT_EQ(Run({"run", "--no-such-option"}), kExitUsage);
    // Global options are taken after the command too.
    EXPECT_EQ(Run({"config", "--time-scale", "0.5"}), kExitOk);
    EXPECT_EQ(Run({"config", "--time-scale", "0"}), kExitUsage);
    EXPECT_EQ(Run({"verify-package", (dir.path() / "nowhere").string()}, &out), kExitConfigError);
    EXPECT_EQ(out, "flintcast: image folder " + (dir.path() / "nowhere").string() + " does not exist\n");
    // No unit appears within the wait: refused before any change to a device.
    EXPECT_EQ(Run({"--time-scale", "0.01", "run", "--device-root", (dir.path() / "root").string(), "--device-wait",
                   "2"},
                  &out),
              kExitRefused);
    EXPECT_NE(out.find("No ready device was found in 2 s."), std::string::npos) << out;
    EXPECT_NE(out.find("Waiting for a ready unit: 2 s left"), std::string::npos) << out;
    // `resume` without a failed update says so and updates nothing.
    EXPECT_EQ(Run({"resume", "--device-root", (dir.path() / "root").string()}, &out), kExitNothingToResume);
    EXPECT_NE(out.find("Nothing to resume"), std::string::npos) << out;
    EXPECT_EQ(out.find("Status was wrong"), std::string::npos) << out;
}

TEST_F(ProgramRun, AStopWhileWaitingForAUnitIsTheOperatorsStop) {
    platform::ChildProcess run;
    const fs::path out = dir.path() / "out";
    ASSERT_TRUE(run.Start(fs::path(FLINTCAST_BIN_DIR) / "flintcast",
                          {"run", "--json", "--device-root", (dir.path() / "root").string(), "--device-wait", "600"},
                          out));
    for (int i = 0; i < 3000 && ReadFile(out).find("\"waiting\"") == std::string::npos; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_NE(ReadFile(out).find("\"waiting\""), std::string::npos) << ReadFile(out);
    EXPECT_EQ(run.Stop(5000), kExitStopped);  // SIGTERM
}

TEST(ExitCodeTable, HelpManualPageAndReadmeShowTheSameTable) {
    const std::string help = [] {
        std::string text;
        const std::string command = fmt::format("{}/flintcast --help", FLINTCAST_BIN_DIR);
        FILE* pipe = ::popen(command.c_str(), "r");
        char buf[4096];
        for (size_t n; (n = std::fread(buf, 1, sizeof buf, pipe)) > 0;) text.append(buf, n);
        ::pclose(pipe);
        return text;
    }();
    const std::string manual = ReadFile(fs::path(FLINTCAST_SOURCE_DIR) / "docs/man/flintcast.1.scd");
    const std::string readme = ReadFile(fs::path(FLINTCAST_SOURCE_DIR) / "README.md");
    for (const auto& row : kExitCodeTable) {
        const std::string meaning(row.meaning);
        EXPECT_NE(help.find(fmt::format("  {}  {}", row.code, meaning)), std::string::npos) << meaning;
        EXPECT_NE(manual.find(fmt::format("*{}*\n\t{}", row.code, meaning)), std::string::npos) << meaning;
        EXPECT_NE(readme.find(fmt::format("| {} | {} |", row.code, meaning)), std::string::npos) << meaning;
    }
}

}  // namespace
}  // namespace flintcast::cli
