// Whole update runs of the default package: the flintcast program against flintcast-devsim.
#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "tests/run/json_event_schema.h"
#include "tests/run/update_run_fixture.h"
#include "devkit/wait_until.h"
#include "tests/support/free_port.h"

namespace flintcast {
namespace {

namespace fs = std::filesystem;
using testing::ReadText;
using testing::WaitUntil;

class UpdateRunTest : public testing::UpdateRunFixture {
protected:
    void SetUp() override {
        UpdateRunFixture::SetUp();
        StartSimulator();
    }
};

// Every event of a whole run fits the schema of docs/json-events.md, the phases come in the order
// of the update, and the progress carries the image bytes up to their total.
void ExpectEventsFitTheDocumentedSchema(const std::string& out) {
    const auto schema = testing::DocumentedEventSchema();
    ASSERT_TRUE(schema.is_object()) << "docs/json-events.md has no json-schema block";
    std::istringstream lines(out);
    std::vector<std::string> startedPhases;
    uint64_t lastBytes = 0;
    uint64_t total = 0;
    nlohmann::json last;
    for (std::string line; std::getline(lines, line);) {
        const auto event = nlohmann::json::parse(line, nullptr, false);
        ASSERT_EQ(testing::SchemaProblem(schema, event), "") << line;
        const std::string type = event["event"];
        if (type == "phase" && event["state"] == "started") startedPhases.push_back(event["phase"]);
        if (type == "phase" && event["state"] == "ended") {
            EXPECT_EQ(event["outcome"], "ok") << line;
        }
        if (type == "progress") {
            EXPECT_GE(event["bytes_done"].get<uint64_t>(), lastBytes) << line;
            lastBytes = event["bytes_done"];
            total = event["bytes_total"];
        }
        last = event;
    }
    EXPECT_EQ(last["event"], "result");
    EXPECT_EQ(last["exit_code"], 0);
    EXPECT_GT(total, 0u);
    EXPECT_EQ(lastBytes, total);
    const std::vector<std::string> order{"checks", "backup", "boot-loader", "image", "reset", "restore"};
    auto at = startedPhases.begin();
    for (const auto& phase : order) {
        at = std::find(at, startedPhases.end(), phase);
        EXPECT_NE(at, startedPhases.end()) << "no " << phase << " phase in order";
    }
}

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
    const auto full = out.find("\"percent\":100");
    ASSERT_NE(full, std::string::npos);
    EXPECT_EQ(out.find("\"percent\":100", 0), full);
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
    ExpectEventsFitTheDocumentedSchema(out);

    // After the new images the device holds the identity and NV items it had before.
    const auto after = DeviceState();
    ASSERT_FALSE(after.is_discarded());
    // The test information is kept without its UIT87/UIT89 results, which have values of their own.
    auto identity = before["modem"]["identity"];
    identity["testinf"] = "CAL:PASS,FT:PASS";
    EXPECT_EQ(after["modem"]["identity"], identity);
    EXPECT_EQ(after["model"]["nv_items"], before["model"]["nv_items"]);
}

// `flintcast devices` lists the simulated unit with its ports, personality and the check's verdict.
TEST_F(UpdateRunTest, DevicesListsTheAttachedUnit) {
    const auto schema = testing::DocumentedEventSchema();
    platform::ChildProcess devices;
    ASSERT_TRUE(devices.Start(fs::path(FLINTCAST_BIN_DIR) / "flintcast",
                              {"--time-scale", kScale, "devices", "--json", "--device-root", root.string()},
                              dir.path() / "devices.out"));
    EXPECT_EQ(WaitFor(devices, 60), 0);
    const std::string out = ReadText(dir.path() / "devices.out");
    const auto unit = nlohmann::json::parse(out, nullptr, false);
    ASSERT_TRUE(unit.is_object()) << "one JSON object per unit, nothing else: " << out;
    EXPECT_EQ(testing::SchemaProblem(schema, unit), "");
    EXPECT_EQ(unit["event"], "device");
    EXPECT_EQ(unit["usb_path"], "1-1");
    EXPECT_EQ(unit["personality"], "normal");
    EXPECT_EQ(unit["diagnostic_ports"].size(), 1u);
    EXPECT_EQ(unit["modem_ports"].size(), 1u);
    EXPECT_EQ(unit["verdict"], "ready");
}

TEST_F(UpdateRunTest, AdbBackupWithoutAListedUnitStopsTheRunBeforeAnythingIsWritten) {
    // The data card has no adb interface: the board file cannot be backed up, so nothing may
    // be written. The adb server of this test is its own.
    ::setenv("ANDROID_ADB_SERVER_PORT", std::to_string(testing::FreeTcpPort()).c_str(), 1);
    platform::ChildProcess run;
    ASSERT_TRUE(StartRun(run, ConfigWith({{"DownloadItems/bBackupARM11Files", "1"},
                                          {"ARM11Files/ARM11F0", "/data/misc/wifi/wlan.bin"}})));
    EXPECT_EQ(WaitFor(run), 1);
    ::unsetenv("ANDROID_ADB_SERVER_PORT");
    const std::string out = Output();
    EXPECT_EQ(out.find("Not available yet"), std::string::npos) << out;
    EXPECT_NE(out.find("[BACKUP] No adb device listed"), std::string::npos) << out;
    EXPECT_EQ(out.find("WIFI file backup"), std::string::npos) << out;
    EXPECT_EQ(out.find("PASS"), std::string::npos) << out;
}

TEST_F(UpdateRunTest, StopDuringTheWaitForTheDeviceEndsWithCommClosed) {
    platform::ChildProcess run;
    ASSERT_TRUE(StartRun(run, ConfigWith({{"DownloadItems/bBackup", "0"}, {"DownloadItems/bRestore", "0"}})));
    // Stop once the device has been reset and the worker waits for it to come back.
    const bool resetSeen = WaitUntil(
        [&] { return !run.running() || Output().find("Reset or power off") != std::string::npos; },
        std::chrono::seconds(240)) && Output().find("Reset or power off") != std::string::npos;
    if (resetSeen) ::kill(run.pid(), SIGINT);
    ASSERT_TRUE(resetSeen) << Output();
    EXPECT_EQ(WaitFor(run), 5);  // stopped by the operator
    const std::string out = Output();
    EXPECT_NE(out.find("Shutting down COMM..."), std::string::npos) << out;
    EXPECT_NE(out.find("\"text\":\"COMM Closed\""), std::string::npos) << out;
    EXPECT_EQ(out.find("\"text\":\"PASS\""), std::string::npos);
    // The failed run keeps its log, ending with the closing block.
    std::string log;
    for (const auto& e : fs::directory_iterator(dir.path() / "statehome/flintcast/logs")) log = ReadText(e.path());
    EXPECT_NE(log.find("Shutting down COMM..."), std::string::npos);
    EXPECT_NE(log.find("To cause any inconvenience to your understanding.\r\n"), std::string::npos);
}

}  // namespace
}  // namespace flintcast
