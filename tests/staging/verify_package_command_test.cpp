// The verify-package command on the embedded default package and on a folder.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <string>

#include <fmt/format.h>

#include "tests/staging/staging_fixture.h"

namespace flintcast::testing {
namespace {

struct CommandRun {
    int exitCode;
    std::string output;
};

CommandRun RunCommand(const std::string& command) {
    CommandRun run{-1, {}};
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return run;
    char buffer[4096];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) run.output += buffer;
    const int status = ::pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

TEST_F(StagingTest, VerifyPackageListsTheDefaultPackageAsComplete) {
    const CommandRun run = RunCommand(fmt::format("'{}/flintcast' verify-package --staging-dir '{}'", FLINTCAST_BIN_DIR,
                                           (dir_.path() / "verify").string()));
    EXPECT_EQ(run.exitCode, 0) << run.output;
    for (const char* name : {"NPRG6260.BIN", "partition.mbn", "dbl.mbn", "fsbl.mbn", "osbl.mbn", "amss.mbn", "dsp1.mbn",
                             "dsp2.mbn", "cefs_apps.mbn", "CDROM.iso", "load address 0x00800000"}) {
        EXPECT_NE(run.output.find(name), std::string::npos) << name << "\n" << run.output;
    }
    EXPECT_FALSE(std::filesystem::exists(dir_.path() / "verify" / "TempFiles")) << "staging is removed afterwards";
    // The embedded package carries its manifest, and its staged images match it.
    EXPECT_EQ(run.output.find("cannot be checked"), std::string::npos) << run.output;
}

TEST_F(StagingTest, VerifyPackageOnAFolderReportsTheFirstMessage) {
    generate(7, "--config");
    const std::string base = fmt::format("'{}/flintcast' verify-package '{}' --config '{}' --staging-dir '{}'",
                                         FLINTCAST_BIN_DIR, images().string(), (images() / "Config.ini").string(),
                                         (dir_.path() / "verify").string());
    CommandRun run = RunCommand(base);
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("cefs.mbn"), std::string::npos) << run.output;

    std::filesystem::remove(images() / "cefs.mbn");
    run = RunCommand(base);
    EXPECT_EQ(run.exitCode, 3);  // an incomplete package
    EXPECT_NE(run.output.find("Error: File " + (images() / "cefs.mbn").string() + " does not exist!"), std::string::npos)
        << run.output;
}

// A folder without a manifest is accepted with a warning; once it has one, an image changed
// afterwards is refused by name.
TEST_F(StagingTest, VerifyPackageChecksTheFolderAgainstItsManifest) {
    generate(46, "--config");
    const std::string base = fmt::format("'{}/flintcast' verify-package '{}' --config '{}' --staging-dir '{}'",
                                         FLINTCAST_BIN_DIR, images().string(), (images() / "Config.ini").string(),
                                         (dir_.path() / "verify").string());
    CommandRun run = RunCommand(base);
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("carries no manifest.sha256: its images cannot be checked"), std::string::npos)
        << run.output;

    run = RunCommand(fmt::format("'{}/flintcast' package-manifest '{}'", FLINTCAST_BIN_DIR, images().string()));
    ASSERT_EQ(run.exitCode, 0) << run.output;
    run = RunCommand(base);
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(run.output.find("cannot be checked"), std::string::npos) << run.output;

    {
        std::fstream dsp(images() / "dsp1.mbn", std::ios::binary | std::ios::in | std::ios::out);
        dsp.seekg(100);
        const char byte = static_cast<char>(dsp.get());
        dsp.seekp(100);
        dsp.put(static_cast<char>(byte ^ 0x5A));
    }
    run = RunCommand(base);
    EXPECT_EQ(run.exitCode, 3) << run.output;
    EXPECT_NE(run.output.find("Image " + (images() / "dsp1.mbn").string() + " does not match the package manifest"),
              std::string::npos)
        << run.output;
}

}  // namespace
}  // namespace flintcast::testing
