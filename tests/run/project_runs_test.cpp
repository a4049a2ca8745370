// Whole update runs for project types other than the default: a package made by
// flintcast-mkpackage for the project, a simulated device whose profile matches it, and the
// flintcast program between them. The checks look at the lines the run posts and at what the
// simulated device holds afterwards.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "tests/run/update_run_fixture.h"
#include "devkit/wait_until.h"

namespace flintcast {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using testing::ReadText;

// Large images are made this big so that each run stays short.
constexpr int kImageKiB = 64;

class ProjectRunTest : public testing::UpdateRunFixture {
protected:
    fs::path package = dir.path() / "package";

    // Writes the project's package (images, programmer and a Config.ini selecting them).
    void MakePackage(int project) {
        platform::ChildProcess maker;
        ASSERT_TRUE(maker.Start(fs::path(FLINTCAST_BIN_DIR) / "flintcast-mkpackage",
                                {"--out", package.string(), "--project", std::to_string(project), "--image-kib",
                                 std::to_string(kImageKiB), "--config"},
                                dir.path() / "mkpackage.log"));
        testing::WaitUntil([&] { return !maker.running(); });
        ASSERT_EQ(maker.Stop(1000), 0) << ReadText(dir.path() / "mkpackage.log");
    }

    // Starts a simulated device of the project: the default profile with the project's number,
    // serial and model, and the bootloader write size of every project but 46 (0x1000).
    void StartDevice(int project) {
        json profile = {{"name", fmt::format("card-{}", project)},
                        {"project", project},
                        {"usb", {{"serial", fmt::format("FC{:02}V0000001", project)}}},
                        {"at", {{"model", fmt::format("VDC{:02}", project)}}},
                        {"dmss", {{"max_write_size", 0x1000}}}};
        const fs::path file = dir.path() / "profile.json";
        std::ofstream(file) << profile.dump(2);
        StartSimulator({"--profile", file.string()});
    }

    // Runs the update with the package's configuration changed by `changes`; returns the exit code.
    int RunUpdate(const Changes& changes) {
        platform::ChildProcess run;
        const fs::path config = ConfigWith(changes, package / "Config.ini");
        if (!StartRun(run, config, "run", {"--image-folder", package.string()})) return -1;
        return WaitFor(run);
    }

    // What the device was asked, for a failed run's message.
    std::string DeviceRequests() { return DeviceState()["model"]["requests"].dump(); }

    // The texts of the run's lines, in order.
    std::vector<std::string> Lines() {
        std::vector<std::string> texts;
        std::istringstream in(Output());
        for (std::string line; std::getline(in, line);) {
            const json event = json::parse(line, nullptr, false);
            if (!event.is_discarded() && event.value("event", "") == "line") texts.push_back(event.value("text", ""));
        }
        return texts;
    }
    static std::ptrdiff_t IndexOf(const std::vector<std::string>& lines, const std::string& text) {
        for (size_t i = 0; i < lines.size(); ++i) {
            if (lines[i] == text) return static_cast<std::ptrdiff_t>(i);
        }
        return -1;
    }
    static bool Has(const std::vector<std::string>& lines, const std::string& text) { return IndexOf(lines, text) >= 0; }
    // The first line that is `text` after a port name ("ttyUSB0 Diagnostic ready").
    static std::ptrdiff_t IndexOfPortLine(const std::vector<std::string>& lines, const std::string& text) {
        for (size_t i = 0; i < lines.size(); ++i) {
            const std::string& line = lines[i];
            if (line.size() > text.size() && line.compare(line.size() - text.size(), text.size(), text) == 0 &&
                line.compare(0, 3, "tty") == 0) {
                return static_cast<std::ptrdiff_t>(i);
            }
        }
        return -1;
    }

    // The image of `kind` the device holds is complete and byte for byte the package's `file`.
    void ExpectImageWritten(const json& state, const std::string& kind, const std::string& file) {
        ASSERT_TRUE(state["model"]["images"].contains(kind)) << kind << " not written: " << state["model"]["images"];
        const json& image = state["model"]["images"][kind];
        EXPECT_TRUE(image.value("complete", false)) << kind;
        EXPECT_EQ(image.value("size", uint64_t{0}), fs::file_size(package / file)) << kind;
        EXPECT_EQ(ReadText(image.value("file", "")), ReadText(package / file)) << kind << " differs from " << file;
    }

    static uint64_t Blocks(uint64_t bytes, uint64_t blockSize) { return (bytes + blockSize - 1) / blockSize; }
    uint64_t FileBlocks(const std::string& file, uint64_t blockSize) { return Blocks(fs::file_size(package / file), blockSize); }

    static int64_t Requests(const json& state, const std::string& kind) {
        return state["model"]["requests"].value(kind, int64_t{0});
    }
};

// Project 38 streams its AMSS and EFS images in 512-byte blocks whatever BlockSize says, sends the
// AMSS header file with the AMSS open request, and takes a reset before its end list.
TEST_F(ProjectRunTest, Project38ImagesOnlyRunsToPassWithSmallBlocks) {
    MakePackage(38);
    StartDevice(38);
    const int code = RunUpdate({{"DownloadItems/bDSP", "0"}, {"End_AT/AT1", "AT+CFUN=1"}});
    ASSERT_EQ(code, 0) << Output() << DeviceRequests();
    const auto lines = Lines();
    EXPECT_LT(IndexOf(lines, "Start succssfully"), IndexOf(lines, "AMSSFile succssfully"));
    EXPECT_LT(IndexOf(lines, "Download file P005......"), IndexOf(lines, "Reset or power off OK"));
    EXPECT_LT(IndexOf(lines, "Reset or power off OK"), IndexOf(lines, "PASS"));
    EXPECT_EQ(lines.back(), "PASS");
    EXPECT_FALSE(Has(lines, "Reset or power off......")) << "no first reset without a PC-suite image";

    const json state = DeviceState();
    ASSERT_FALSE(state.is_discarded());
    ExpectImageWritten(state, "amss", "amss.mbn");
    ExpectImageWritten(state, "efs", "efs.mbn");
    ExpectImageWritten(state, "qcsbl", "qcsbl.mbn");
    ExpectImageWritten(state, "oemsbl", "oemsbl.mbn");
    const json& amss = state["model"]["images"]["amss"];
    EXPECT_EQ(amss.value("header_size", uint64_t{0}), fs::file_size(package / "amsshd.mbn"));

    // 512-byte blocks for AMSS and EFS, 1,024 for the boot loaders (BlockSize stays at 1,024).
    const uint64_t expected = FileBlocks("amss.mbn", 512) + FileBlocks("efs.mbn", 512) +
                              FileBlocks("qcsblhd_cfgdata.mbn", 1024) + FileBlocks("qcsbl.mbn", 1024) +
                              FileBlocks("oemsbl.mbn", 1024);
    // A slow machine may make the tool send a block again when its answer is late (the test runs
    // on a fiftieth of real time); 1,024-byte blocks would need 128 writes fewer.
    EXPECT_GE(Requests(state, "stream.write"), static_cast<int64_t>(expected));
    EXPECT_LT(Requests(state, "stream.write"), static_cast<int64_t>(expected) + 64);
    // Project 38 resets (it is not a power-off project); the device came back for the end list.
    EXPECT_EQ(Requests(state, "stream.reset"), 1);
    EXPECT_EQ(Requests(state, "stream.power_off"), 0);
    EXPECT_EQ(state.value("personality", ""), "normal");
}

// Project 7 is a phone: no diagnostic-service handshake on the modem port, and two EFS images, the
// applications EFS (cefs_apps.mbn) and the modem EFS (cefs.mbn), each with its own open request.
TEST_F(ProjectRunTest, Project7ImagesOnlyRunsToPassWithBothEfsImages) {
    MakePackage(7);
    StartDevice(7);
    const int code = RunUpdate({{"DownloadItems/bDSP", "0"}, {"End_AT/AT1", "AT+CFUN=1"}});
    ASSERT_EQ(code, 0) << Output() << DeviceRequests();
    const auto lines = Lines();
    const auto appEfs = IndexOf(lines, "[Dload] Applicaton EFS file download over");
    const auto modemEfs = IndexOf(lines, "[Dload] Modem EFS file download over");
    ASSERT_GE(appEfs, 0) << Output();
    ASSERT_GE(modemEfs, 0) << Output();
    EXPECT_LT(appEfs, modemEfs);
    EXPECT_FALSE(Has(lines, "Download file P005......"));
    // The end list needs the device back: a phone is reset (never powered off) and reopened.
    EXPECT_LT(modemEfs, IndexOf(lines, "Reset or power off OK"));
    EXPECT_LT(IndexOf(lines, "Reset or power off OK"), IndexOfPortLine(lines, " Initial......ok"));
    EXPECT_EQ(lines.back(), "PASS");

    const json state = DeviceState();
    ASSERT_FALSE(state.is_discarded());
    ExpectImageWritten(state, "app_efs", "cefs_apps.mbn");
    ExpectImageWritten(state, "efs", "cefs.mbn");
    ExpectImageWritten(state, "amss", "amss.mbn");
    EXPECT_EQ(Requests(state, "stream.reset"), 1);
    EXPECT_EQ(Requests(state, "stream.power_off"), 0);
    // A phone is never asked to open its diagnostic service over AT.
    for (const auto& line : lines) EXPECT_EQ(line.find("diagnostic service"), std::string::npos) << line;
}

// An AMSS-only run of project 20 goes through the first reset and restore: the device is powered off,
// the worker waits for it, re-discovers and reopens both ports, switches to the disk personality
// table (which has no commands for project 20) and closes the diagnostic service.
TEST_F(ProjectRunTest, Project20AmssOnlyRunGoesThroughTheFirstReset) {
    MakePackage(20);
    StartDevice(20);
    const int code = RunUpdate({{"DownloadItems/bDSP", "0"},
                                {"DownloadItems/bEFS", "0"},
                                {"DownloadItems/bBootLoader", "0"}});
    ASSERT_EQ(code, 0) << Output() << DeviceRequests();
    const auto lines = Lines();
    const auto amss = IndexOf(lines, "AMSSFile succssfully");
    const auto reset = IndexOf(lines, "Reset or power off......");
    const auto diagOpen = IndexOfPortLine(lines, " Initial Diagnostic0......ok");
    const auto modemOpen = IndexOfPortLine(lines, " Initial Modem0......ok");
    // The closing exchange's own outcome depends on the device's answer in time; that it ran is
    // what the personality step owes.
    std::ptrdiff_t serviceClosed = -1;
    for (size_t i = 0; i < lines.size() && serviceClosed < 0; ++i) {
        if (lines[i].find("lose diagnostic service") != std::string::npos) serviceClosed = static_cast<std::ptrdiff_t>(i);
    }
    ASSERT_GE(amss, 0) << Output();
    EXPECT_EQ(IndexOf(lines, "Send poweroff command"), reset - 1) << Output();
    // After the reset both ports are reopened (the port lines come only when the device came back
    // under other ports), then the personality step closes the diagnostic service, and the run passes.
    EXPECT_LT(amss, reset);
    EXPECT_LT(reset, diagOpen);
    EXPECT_LT(diagOpen, modemOpen);
    EXPECT_LT(modemOpen, serviceClosed);
    EXPECT_LT(serviceClosed, IndexOf(lines, "PASS"));
    // Nothing to restore and no end list: the second reset does not run.
    EXPECT_FALSE(Has(lines, "Reset or power off OK"));
    EXPECT_EQ(lines.back(), "PASS");

    const json state = DeviceState();
    ASSERT_FALSE(state.is_discarded());
    ExpectImageWritten(state, "amss", "amss.mbn");
    EXPECT_FALSE(state["model"]["images"].contains("efs"));
    // Project 20 powers off rather than resets.
    EXPECT_EQ(Requests(state, "stream.power_off"), 1);
    EXPECT_EQ(Requests(state, "stream.reset"), 0);
    EXPECT_EQ(state.value("personality", ""), "normal");
}

// With backup and restore on, the AMSS-only run of project 20 restores after the first reset
// and, as restore is on, resets a second time and restores again; the device keeps its data.
// The second reset reaches a device that runs its normal firmware again, so it cannot be the
// streaming command that only the flash programmer answers.
TEST_F(ProjectRunTest, Project20AmssOnlyRunWithRestoreRunsBothResets) {
    MakePackage(20);
    StartDevice(20);
    const json before = DeviceState();
    ASSERT_FALSE(before.is_discarded());
    const int code = RunUpdate({{"DownloadItems/bDSP", "0"},
                                {"DownloadItems/bEFS", "0"},
                                {"DownloadItems/bBootLoader", "0"},
                                {"DownloadItems/bBackup", "1"},
                                {"DownloadItems/bRestore", "1"}});
    ASSERT_EQ(code, 0) << Output() << DeviceRequests();
    const auto lines = Lines();
    const auto backup = IndexOf(lines, "Backup succssfully");
    const auto firstReset = IndexOf(lines, "Reset or power off......");
    const auto firstDiag = IndexOfPortLine(lines, " Initial Diagnostic0......ok");
    const auto secondReset = IndexOf(lines, "Reset or power off OK");
    const auto secondDiag = IndexOfPortLine(lines, " Initial......ok");
    ASSERT_GE(backup, 0) << Output();
    EXPECT_LT(backup, firstReset);
    EXPECT_LT(firstReset, firstDiag);
    EXPECT_LT(firstDiag, secondReset);
    EXPECT_LT(secondReset, secondDiag);
    EXPECT_LT(secondDiag, IndexOf(lines, "PASS"));
    EXPECT_EQ(lines.back(), "PASS");
    // NV items are restored after each reset.
    std::vector<std::ptrdiff_t> nvRestores;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i] == "Restore NV......OK") nvRestores.push_back(static_cast<std::ptrdiff_t>(i));
    }
    ASSERT_FALSE(nvRestores.empty()) << Output();
    EXPECT_GT(nvRestores.front(), firstDiag);
    EXPECT_LT(nvRestores.front(), secondReset);
    EXPECT_GT(nvRestores.back(), secondDiag);

    // The first reset powers the programmer off; the second goes to the device's normal firmware
    // as the DIAG offline and reset requests.
    const json after = DeviceState();
    ASSERT_FALSE(after.is_discarded());
    EXPECT_EQ(Requests(after, "stream.power_off"), 1);
    EXPECT_GE(Requests(after, "diag.mode_control"), 2);
    EXPECT_EQ(after["model"]["nv_items"], before["model"]["nv_items"]);
    EXPECT_EQ(after["model"]["rf_nv_items"], before["model"]["rf_nv_items"]);
}

}  // namespace
}  // namespace flintcast
