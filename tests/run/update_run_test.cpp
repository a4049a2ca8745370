// Whole update runs of the default package: the flintcast program against flintcast-devsim.
#include <gtest/gtest.h>

#include <signal.h>

#include <string>

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
    EXPECT_EQ(WaitFor(run), 1);
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
