// Whole runs of Android-based units: the flintcast program writes fastboot images to the
// simulated unit, and every partition it wrote must hold exactly its file.
#include <gtest/gtest.h>

#include <fmt/format.h>

#include "engine/nv_catalogues.h"
#include "sim/model/sha256.h"
#include "tests/run/unit_state.h"
#include "tests/run/update_run_fixture.h"
#include "tests/support/free_port.h"

namespace flintcast::testing {
namespace {

namespace fs = std::filesystem;

// A file of `size` bytes whose content depends on `seed` and the position.
void WriteImage(const fs::path& file, uint64_t size, uint8_t seed) {
    std::ofstream out(file, std::ios::binary);
    std::vector<char> block(1 << 20);
    for (uint64_t at = 0; at < size; at += block.size()) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(block.size(), size - at));
        for (size_t i = 0; i < n; ++i) block[i] = static_cast<char>(seed + (at + i) * 7 + ((at + i) >> 12));
        out.write(block.data(), static_cast<std::streamsize>(n));
    }
}

std::string FileSha256(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    sim::Sha256 sha;
    std::vector<char> block(1 << 20);
    while (in) {
        in.read(block.data(), static_cast<std::streamsize>(block.size()));
        const auto n = static_cast<size_t>(in.gcount());
        sha.Update({reinterpret_cast<const uint8_t*>(block.data()), n});
    }
    std::string hex;
    for (uint8_t b : sha.Finish()) hex += fmt::format("{:02x}", b);
    return hex;
}

class FastbootRunTest : public UpdateRunFixture {
protected:
    fs::path images = dir.path() / "images";

    void SetUp() override {
        UpdateRunFixture::SetUp();
        fs::create_directories(images);
        // Fastboot replies have short limits (512 ms for the answer to a download command):
        // at a tenth of real time they stay well above a busy machine's scheduling delays.
        scale = "0.1";
    }
    fs::path Profile(const std::string& json) {
        const fs::path file = dir.path() / "unit.json";
        std::ofstream(file) << json;
        return file;
    }
    void ExpectPartition(const std::string& name, const fs::path& file) {
        const auto partitions = DeviceState()["partitions"];
        ASSERT_TRUE(partitions.contains(name)) << partitions.dump();
        EXPECT_EQ(partitions[name]["size"].get<uint64_t>(), fs::file_size(file)) << name;
        EXPECT_EQ(partitions[name]["sha256"].get<std::string>(), FileSha256(file)) << name;
    }
};

TEST_F(FastbootRunTest, FastbootOnlyProjectWritesWholeAndChunkedImagesToPass) {
    StartSimulator({"--profile", Profile(R"({"base": "android", "fastboot": {"at_power_up": true}})").string()});
    WriteImage(images / "boot.img", 3 * 4096 + 100, 11);
    WriteImage(images / "system.img", 50'331'072 + 5000, 23);
    const auto config = ConfigWith({{"DownloadItems/bBootLoader", "0"}, {"DownloadItems/bEFS", "0"},
                                    {"DownloadItems/bBackup", "0"}, {"DownloadItems/bRestore", "0"},
                                    {"DownloadItems/bAMSSFile", "0"}, {"DownloadItems/bDSP", "0"},
                                    {"DownloadItems/bCDROM", "0"}, {"DownloadItems/bFastbootBootImage", "1"},
                                    {"DownloadItems/bFastbootSystemImage", "1"},
                                    {"DownloadItems/bFastbootSystemImageMutil", "1"}});
    platform::ChildProcess run;
    ASSERT_TRUE(StartRun(run, config, "run", {"--image-folder", images.string()}));
    EXPECT_EQ(WaitFor(run), 0) << Output();
    const std::string out = Output();
    EXPECT_NE(out.find("Download system successfully-----------"), std::string::npos) << out;
    EXPECT_NE(out.find("No recovery-----------"), std::string::npos);
    EXPECT_NE(out.find("PASS"), std::string::npos);
    ExpectPartition("boot", images / "boot.img");
    ExpectPartition("system", images / "system.img");
}

TEST_F(FastbootRunTest, StreamedImagesThenFastbootImagesAfterTheReset) {
    // The Android-based unit with the project of the default package, whose images it streams.
    StartSimulator({"--profile", Profile(R"({"base": "android", "project": 46})").string()});
    // The default package's images, with the fastboot system image beside them (without the
    // package's manifest, which does not list that image).
    for (const auto& entry : fs::directory_iterator(fs::path(FLINTCAST_BIN_DIR) / ".." / "package" / "default")) {
        if (entry.path().filename() != "manifest.sha256") fs::copy_file(entry.path(), images / entry.path().filename());
    }
    const fs::path system = images / "system.img";
    WriteImage(system, 2 * 1024 * 1024 + 17, 5);
    const auto config = ConfigWith({{"DownloadItems/bCDROM", "0"}, {"DownloadItems/bFastbootSystemImage", "1"}});
    platform::ChildProcess run;
    ASSERT_TRUE(StartRun(run, config, "run", {"--image-folder", images.string()}));
    EXPECT_EQ(WaitFor(run), 0) << Output();
    const std::string out = Output();
    EXPECT_NE(out.find("Download system successfully-----------"), std::string::npos) << out;
    EXPECT_NE(out.find("PASS"), std::string::npos);
    ExpectPartition("system", system);
}

class BoardFileRunTest : public FastbootRunTest {
protected:
    static constexpr const char* kBoardFile = "/system/wifi/ath6k/AR6003/hw2.0/bdata.SD31.bin";

    // Streams the default package, writes a fastboot system image and, with `backUp`, keeps
    // the board file over adb; the unit's files afterwards.
    nlohmann::json Update(bool backUp) {
        // A private adb server, so parallel tests never share or stop one.
        ::setenv("ANDROID_ADB_SERVER_PORT", std::to_string(FreeTcpPort()).c_str(), 1);
        StartSimulator({"--profile", Profile(R"({"base": "android", "project": 46})").string()});
        for (const auto& entry : fs::directory_iterator(fs::path(FLINTCAST_BIN_DIR) / ".." / "package" / "default")) {
            if (entry.path().filename() != "manifest.sha256") fs::copy_file(entry.path(), images / entry.path().filename());
        }
        WriteImage(images / "system.img", 4096 * 5, 9);
        before = DeviceState()["android_files"];
        const auto config = ConfigWith({{"DownloadItems/bCDROM", "0"}, {"DownloadItems/bFastbootSystemImage", "1"},
                                        {"DownloadItems/bBackupARM11Files", backUp ? "1" : "0"},
                                        {"ARM11Files/ARM11F0", kBoardFile}});
        platform::ChildProcess run;
        EXPECT_TRUE(StartRun(run, config, "run", {"--image-folder", images.string()}));
        exitCode = WaitFor(run);
        ::unsetenv("ANDROID_ADB_SERVER_PORT");
        return DeviceState()["android_files"];
    }
    nlohmann::json before;
    int exitCode = -1;
};

TEST_F(BoardFileRunTest, BoardFileWipedByTheUpdateIsBackAfterTheRestore) {
    const auto after = Update(true);
    EXPECT_EQ(exitCode, 0) << Output();
    ASSERT_TRUE(before.contains(kBoardFile)) << before.dump();
    ASSERT_TRUE(after.contains(kBoardFile)) << after.dump() << Output();
    EXPECT_EQ(after[kBoardFile], before[kBoardFile]);
    EXPECT_NE(Output().find("WIFI file backup"), std::string::npos);
}

TEST_F(BoardFileRunTest, WithoutTheBackupTheUpdateLeavesTheBoardFileWiped) {
    const auto after = Update(false);
    EXPECT_EQ(exitCode, 0) << Output();
    ASSERT_TRUE(before.contains(kBoardFile)) << before.dump();
    EXPECT_FALSE(after.contains(kBoardFile)) << after.dump();
}

// An Android-based project-46 unit whose streamed EFS image wipes its NV and RF NV items and
// whose fastboot flash wipes the board file: only the run's restores bring them back.
class WipedUnitRunTest : public BoardFileRunTest {
protected:
    nlohmann::json UnitProfile() {
        nlohmann::json nv = nlohmann::json::array();
        const auto& plain = engine::DefaultNvCatalogue();
        for (size_t i = 0; i < plain.size(); i += 60) nv.push_back({{"id", plain[i].id}, {"hex", PatternHex(1 + i % 128, i)}});
        nlohmann::json rf = nlohmann::json::array();
        const auto& lte = engine::LteRfNvCatalogue();
        for (size_t i = 0; i < lte.size(); i += 5) rf.push_back({{"id", lte[i].id}, {"hex", PatternHex(4 + i * 9, i)}});
        return {{"base", "android"}, {"project", 46}, {"efs_image_wipes", true}, {"nv_items", nv}, {"rf_nv_items", rf}};
    }

    // Streams the default package, writes the fastboot system image after the reset, backs up
    // and restores identity, NV, RF NV and the board file; `pcSuite` adds the CD-ROM image.
    // The run's exit code; `was` is the unit's state before it.
    int UpdateUnit(bool pcSuite, const std::string& faults = {}) {
        ::setenv("ANDROID_ADB_SERVER_PORT", std::to_string(FreeTcpPort()).c_str(), 1);
        std::vector<std::string> args{"--profile", Profile(UnitProfile().dump()).string()};
        if (!faults.empty()) args.insert(args.end(), {"--faults", faults});
        StartSimulator(args);
        for (const auto& entry : fs::directory_iterator(fs::path(FLINTCAST_BIN_DIR) / ".." / "package" / "default")) {
            if (entry.path().filename() != "manifest.sha256") fs::copy_file(entry.path(), images / entry.path().filename());
        }
        WriteImage(images / "system.img", 3 * 1024 * 1024 + 5, 13);
        DeviceState();
        was = LiveDeviceState(root, dir.path());
        EXPECT_FALSE(was["model"]["rf_nv_items"].empty()) << was.dump();
        const auto config = ConfigWith({{"DownloadItems/bCDROM", pcSuite ? "1" : "0"},
                                        {"DownloadItems/bFastbootSystemImage", "1"},
                                        {"DownloadItems/bBackupARM11Files", "1"}, {"ARM11Files/ARM11F0", kBoardFile}});
        platform::ChildProcess run;
        EXPECT_TRUE(StartRun(run, config, "run", {"--image-folder", images.string()}));
        const int code = WaitFor(run);
        ::unsetenv("ANDROID_ADB_SERVER_PORT");
        return code;
    }

    void ExpectPassWithEverythingAsBefore() {
        EXPECT_NE(Output().find("\"text\":\"PASS\""), std::string::npos) << Output();
        const nlohmann::json after = LiveDeviceState(root, dir.path());
        EXPECT_EQ(after["model"]["factory_restores"], 1) << "the EFS image was written once and wiped the unit";
        EXPECT_EQ(ById(after["model"]["nv_items"]), ById(was["model"]["nv_items"]));
        EXPECT_EQ(ById(after["model"]["rf_nv_items"]), ById(was["model"]["rf_nv_items"])) << Output();
        ExpectPartition("system", images / "system.img");
        ASSERT_TRUE(after["android_files"].contains(kBoardFile)) << after["android_files"].dump();
        EXPECT_EQ(after["android_files"][kBoardFile], was["android_files"][kBoardFile]);
    }
    nlohmann::json was;
};

TEST_F(WipedUnitRunTest, WithoutThePcSuiteImageTheRestoreAfterTheFastbootStageBringsBackRfNv) {
    EXPECT_EQ(UpdateUnit(false), 0) << Output();
    ExpectPassWithEverythingAsBefore();
}

TEST_F(WipedUnitRunTest, PcSuiteAndFastbootImagesRestoreEverythingToPass) {
    EXPECT_EQ(UpdateUnit(true), 0) << Output();
    ExpectPassWithEverythingAsBefore();
}

TEST_F(WipedUnitRunTest, AnRfNvItemTheUnitRefusesAfterTheFastbootStageFailsTheRunAndKeepsTheBackup) {
    // Its third request is the restore's write (the first is the backup's RF NV read, the
    // second the unit archive's read of the plain NV id).
    EXPECT_EQ(UpdateUnit(false, "nv-status:20208=4@3"), 1) << Output();
    const std::string out = Output();
    EXPECT_NE(out.find("ERROR, [20208]"), std::string::npos) << out;
    EXPECT_EQ(out.find("\"text\":\"PASS\""), std::string::npos) << out;
    size_t backups = 0;
    for (const auto& e : fs::recursive_directory_iterator(dir.path() / "data")) {
        if (e.path().filename() == "nv1.bak" && fs::file_size(e.path()) > 0) ++backups;
    }
    EXPECT_EQ(backups, 1u);
}

}  // namespace
}  // namespace flintcast::testing
