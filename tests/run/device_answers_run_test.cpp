// Whole runs against units whose answers differ from the default simulated card: a platform
// other than 0, a unit left in download mode, a resume that has only the restore left.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "devkit/files.h"
#include "platform/ini_file.h"
#include "tests/run/update_run_fixture.h"

namespace flintcast {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

class DeviceAnswersRunTest : public testing::UpdateRunFixture {
protected:
    void StartUnit(const json& profile, const std::vector<std::string>& extra = {}) {
        const fs::path file = dir.path() / "profile.json";
        std::ofstream(file) << profile.dump();
        std::vector<std::string> args{"--profile", file.string()};
        args.insert(args.end(), extra.begin(), extra.end());
        StartSimulator(args);
    }
    int Run(const fs::path& config, const std::string& command = "run") {
        platform::ChildProcess run;
        EXPECT_TRUE(StartRun(run, config, command));
        const int code = WaitFor(run);
        out = Output();
        return code;
    }
    bool Has(const std::string& text) const { return out.find("\"text\":\"" + text + "\"") != std::string::npos; }
    // "flintcast-devsim ctl ROOT <args>"; true on "OK".
    bool Ctl(const std::vector<std::string>& args) {
        std::vector<std::string> argv{"ctl", root.string()};
        argv.insert(argv.end(), args.begin(), args.end());
        platform::ChildProcess ctl;
        if (!ctl.Start(fs::path(FLINTCAST_BIN_DIR) / "flintcast-devsim", argv, dir.path() / "ctl.out")) return false;
        for (int i = 0; i < 1000 && ctl.running(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return ctl.Stop(1000) == 0 && testing::ReadText(dir.path() / "ctl.out").rfind("OK", 0) == 0;
    }
    std::string Personality() {
        return nlohmann::json::parse(testing::ReadText(dir.path() / "state/state.json"), nullptr, false)
            .value("personality", "");
    }

    std::string out;
};

TEST_F(DeviceAnswersRunTest, PlatformIsTheMobileModelByteOfTheBuildIdAnswer) {
    StartUnit({{"diag", {{"platform", 186}}}});
    const Changes imagesOnly{{"DownloadItems/bBackup", "0"}, {"DownloadItems/bRestore", "0"}};

    Changes other = imagesOnly;
    other.push_back({"Project/Platform", "MSM6246"});
    EXPECT_EQ(Run(ConfigWith(other)), 1) << out;
    EXPECT_TRUE(Has("check platform start.")) << out;
    EXPECT_NE(out.find("Could not get platform type."), std::string::npos) << out;
    EXPECT_FALSE(Has("AMSSFile succssfully"));

    Changes same = imagesOnly;
    same.push_back({"Project/Platform", "MSM6260"});
    EXPECT_EQ(Run(ConfigWith(same)), 0) << out;
    EXPECT_TRUE(Has("check platform OK.")) << out;
    EXPECT_TRUE(Has("PASS"));
}

// A run that failed after its backup leaves the unit where it stopped: in download mode (its
// flash programmer refused), or with the programmer running (an image refused). The resume takes
// the unit as it is, without waiting for it to answer on a modem port.
TEST_F(DeviceAnswersRunTest, ResumeTakesAUnitLeftInDownloadOrProgrammerMode) {
    StartUnit(json::object());
    const fs::path config = ConfigWith({});
    const std::vector<std::pair<std::string, std::string>> stops = {{"refuse:dmss.go@*", "download"},
                                                                      {"refuse:stream.open@*", "programmer"}};
    for (const auto& [fault, personality] : stops) {
        ASSERT_TRUE(Ctl({"fault", fault}));
        EXPECT_EQ(Run(config), 1) << out;
        ASSERT_TRUE(Has("Backup succssfully")) << out;
        ASSERT_EQ(Personality(), personality) << out;
        ASSERT_TRUE(Ctl({"clear-faults"}));

        EXPECT_EQ(Run(config, "resume"), 0) << out;
        EXPECT_FALSE(Has("Backup succssfully")) << out;
        EXPECT_TRUE(Has("Restore NV......OK")) << out;
        EXPECT_TRUE(Has("PASS")) << out;
    }
}

// With nothing but the restore left, the resume lists the backup files and runs.
TEST_F(DeviceAnswersRunTest, ResumeWithOnlyTheRestoreLeftRestores) {
    StartUnit(json::object());
    const fs::path config = ConfigWith({{"DownloadItems/bBootLoader", "0"}, {"DownloadItems/bEFS", "0"},
                                        {"DownloadItems/bAMSSFile", "0"}, {"DownloadItems/bDSP", "0"},
                                        {"DownloadItems/bCDROM", "0"}});
    ASSERT_TRUE(Ctl({"fault", "refuse:diag.nv_write@*"}));
    EXPECT_EQ(Run(config), 1) << out;
    ASSERT_TRUE(Has("Backup succssfully")) << out;
    ASSERT_TRUE(Ctl({"clear-faults"}));

    EXPECT_EQ(Run(config, "resume"), 0) << out;
    EXPECT_EQ(out.find("No Image File Loaded!"), std::string::npos) << out;
    EXPECT_TRUE(Has("Restore NV......OK")) << out;
    EXPECT_TRUE(Has("PASS")) << out;
}

}  // namespace
}  // namespace flintcast
