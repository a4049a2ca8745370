#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "engine/adb_file_backup.h"
#include "devkit/worker_rig.h"

namespace flintcast::testing {
namespace {

using engine::AdbResult;

TEST(AdbListingTest, OnlyADeviceLineInTheDeviceStateCountsNotTheHeaderOrGarbage) {
    EXPECT_FALSE(engine::ReadAdbListing("List of devices attached\n\n\n").listed);
    EXPECT_TRUE(engine::ReadAdbListing("List of devices attached\nSN1234\tdevice\n\n").listed);
    const auto offline = engine::ReadAdbListing("List of devices attached\nSN1234\toffline\n");
    EXPECT_FALSE(offline.listed);
    EXPECT_TRUE(offline.offline);
    EXPECT_FALSE(engine::ReadAdbListing("adb: device unknown\x01\xff error: no devices/emulators found\n").listed);
    // A network device is looked for by its own name.
    const std::string two = "List of devices attached\nSN1\tdevice\n127.0.0.1:5555\tunauthorized\n";
    EXPECT_FALSE(engine::ReadAdbListing(two, "127.0.0.1:5555").listed);
    EXPECT_TRUE(engine::ReadAdbListing(two, "SN1").listed);
    EXPECT_LE(engine::ReadAdbListing(std::string(2000, 'x')).text.size(), 500u);
    EXPECT_EQ(engine::AdbBackupSubfolder("/system/wifi/ath6k/AR6003/hw2.0/bdata.SD31.bin"), "ARM11");
    EXPECT_EQ(engine::AdbBackupSubfolder("/vendor/firmware/bdata.bin"), "WIFI");
}

// An adb program played by a script: answers per command, and the file effects of pull.
class AdbScript {
public:
    std::vector<std::string> calls;
    std::string devicesOutput = "List of devices attached\nSN1\tdevice\n";
    int pullStatus = 0;
    int pushStatus = 0;
    bool pullWritesFile = true;
    bool serverAlreadyRunning = false;

    engine::AdbRunner runner() {
        return [this](const std::vector<std::string>& args, uint32_t) {
            std::string line;
            for (const auto& a : args) line += (line.empty() ? "" : " ") + a;
            calls.push_back(line);
            if (args[0] == "devices") return AdbResult{true, false, 0, devicesOutput};
            if (args[0] == "pull") {
                if (pullWritesFile) std::ofstream(args[2]) << "board data";
                return AdbResult{true, false, pullStatus, pullStatus == 0 ? "1 file pulled" : "remote object does not exist"};
            }
            if (args[0] == "push") return AdbResult{true, false, pushStatus, pushStatus == 0 ? "1 file pushed" : "Read-only file system"};
            return AdbResult{true, false, 0, ""};
        };
    }
    engine::AdbServerProbe probe() {
        return [this] { return serverAlreadyRunning; };
    }
};

class AdbFileBackupTest : public ::testing::Test {
protected:
    WorkerRig rig;
    AdbScript adb;
    std::string folder = (rig.root.path() / "SN[1]").string();
    const std::string deviceFile = "/system/etc/wifi/bdata.SD31.bin";

    void SetUp() override { std::filesystem::create_directories(folder + "/WIFI"); }
    engine::AdbFileBackup Backup(engine::AdbRunner runner) {
        return engine::AdbFileBackup(rig.ctx, rig.directory, deviceFile, std::move(runner), adb.probe());
    }
    std::string error() {
        const auto errors = rig.errors();
        return errors.empty() ? std::string() : errors.front();
    }
};

TEST_F(AdbFileBackupTest, BackupPullsIntoTheWifiFolderAndStopsOnlyTheServerItStarted) {
    Backup(adb.runner()).BackupAdbFile(folder);
    EXPECT_TRUE(rig.reporter.ok()) << error();
    EXPECT_TRUE(std::filesystem::exists(folder + "/WIFI/bdata.SD31.bin"));
    EXPECT_EQ(adb.calls, (std::vector<std::string>{"start-server", "devices",
                                                   "pull " + deviceFile + " " + folder + "/WIFI/bdata.SD31.bin.partial-" +
                                                       std::to_string(::getpid()),
                                                   "kill-server"}));
    adb.calls.clear();
    adb.serverAlreadyRunning = true;
    Backup(adb.runner()).BackupAdbFile(folder);
    EXPECT_EQ(adb.calls.front(), "devices");
    EXPECT_NE(adb.calls.back(), "kill-server");
}

TEST_F(AdbFileBackupTest, RefusedPullStopsTheRunInsteadOfGoingOnWithoutABackup) {
    adb.pullStatus = 1;
    adb.pullWritesFile = false;
    Backup(adb.runner()).BackupAdbFile(folder);
    EXPECT_EQ(error(), "ERROR, [BACKUP] Fail to pull " + deviceFile +
                           ": adb ended with status 1: remote object does not exist, Error code: 0");
}

TEST_F(AdbFileBackupTest, OfflineGarbageAndMissingProgramEachGiveTheirLine) {
    adb.devicesOutput = "List of devices attached\nSN1\toffline\n";
    Backup(adb.runner()).BackupAdbFile(folder);
    EXPECT_EQ(error(), "ERROR, [BACKUP] ADB is offline., Error code: 0");

    WorkerRig garbage;
    adb.devicesOutput = "\x7f\x01 * daemon started? device\n";
    engine::AdbFileBackup(garbage.ctx, garbage.directory, deviceFile, adb.runner(), adb.probe()).BackupAdbFile(folder);
    ASSERT_EQ(garbage.errors().size(), 1u);
    EXPECT_EQ(adb.calls.back(), "kill-server");

    WorkerRig none;
    engine::AdbFileBackup(none.ctx, none.directory, deviceFile, {}, adb.probe()).BackupAdbFile(folder);
    EXPECT_NE(none.errors().front().find("Debian package adb"), std::string::npos);
}

TEST_F(AdbFileBackupTest, RefusedPushFailsTheRestoreAndKeepsTheBackup) {
    std::ofstream(folder + "/WIFI/bdata.SD31.bin") << "board data";
    adb.pushStatus = 1;
    Backup(adb.runner()).RestoreAdbFile(folder);
    EXPECT_EQ(error(), "ERROR, [RESTORE] Fail to push " + deviceFile +
                           ": adb ended with status 1: Read-only file system, Error code: 0");
    EXPECT_TRUE(std::filesystem::exists(folder + "/WIFI/bdata.SD31.bin"));
}

TEST_F(AdbFileBackupTest, RestoreWaitsRoundsForTheDeviceAndPushesOnce) {
    std::ofstream(folder + "/WIFI/bdata.SD31.bin") << "board data";
    adb.devicesOutput = "List of devices attached\n\n";
    Backup(adb.runner()).RestoreAdbFile(folder);
    EXPECT_TRUE(rig.reporter.ok()) << error();
    EXPECT_EQ(std::count(adb.calls.begin(), adb.calls.end(), "devices"), 10);
    EXPECT_EQ(std::count_if(adb.calls.begin(), adb.calls.end(), [](const std::string& c) { return c.starts_with("push "); }), 1);
}

}  // namespace
}  // namespace flintcast::testing
