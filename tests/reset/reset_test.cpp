#include <gtest/gtest.h>

#include <fstream>
#include <sys/stat.h>

#include "engine/modemkick_runner.h"
#include "engine/reset_rediscovery.h"
#include "engine/reset_rules.h"
#include "tests/at/scripted_port.h"
#include "devkit/worker_rig.h"

using namespace flintcast;
using engine::PortKind;
using engine::ResetStage;
using flintcast::testing::ScriptedPort;
using flintcast::testing::WorkerRig;

TEST(ResetRules, ReopenWaitsPerProject) {
    EXPECT_EQ(engine::ReopenLoopFor(ResetStage::Second, PortKind::Diag, 22).waitMs, 3000u);
    EXPECT_EQ(engine::ReopenLoopFor(ResetStage::Second, PortKind::Modem, 22).waitMs, 6000u);
    EXPECT_EQ(engine::ReopenLoopFor(ResetStage::Second, PortKind::Diag, 7).waitMs, 15000u);
    EXPECT_EQ(engine::ReopenLoopFor(ResetStage::Second, PortKind::Modem, 7).waitMs, 10000u);
    EXPECT_EQ(engine::ReopenLoopFor(ResetStage::Second, PortKind::Modem, 46).waitMs, 6000u);
    EXPECT_EQ(engine::ReopenLoopFor(ResetStage::First, PortKind::Diag, 3).attempts, 21);
    EXPECT_EQ(engine::ResetCommandFor(20, false), engine::ResetCommand::PowerOff);
    EXPECT_EQ(engine::ResetCommandFor(20, true), engine::ResetCommand::Reset);
    EXPECT_EQ(engine::ResetCommandFor(46, false), engine::ResetCommand::Reset);
    EXPECT_TRUE(engine::KeepsPortsInDownloadSwitch(42));
    EXPECT_FALSE(engine::KeepsPortsInDownloadSwitch(46));
}

TEST(Rediscovery, ShiftedPortNumbersAreFoundAndReported) {
    WorkerRig rig(46, platform::Clock::Manual{});
    rig.serial.diagPortName = "ttyUSB0";
    rig.serial.modemPortName = "ttyUSB2";
    rig.directory.samePort = false;
    // The first scan finds only the new diagnostic port, the second both.
    rig.directory.diagTexts = {"", "ttyUSB3", "ttyUSB3"};
    rig.directory.modemTexts = {"", "", "ttyUSB5"};
    engine::ResetRediscovery reset(rig.ctx, rig.directory, {});
    rig.directory.NoteDeviceChange(true);
    EXPECT_TRUE(reset.WaitForDevice(ResetStage::First));
    const engine::PortTexts texts = reset.RediscoverPorts(ResetStage::First);
    EXPECT_EQ(texts.diag, "ttyUSB3");
    EXPECT_EQ(texts.modem, "ttyUSB5");
    EXPECT_EQ(rig.serial.diagPortName, "ttyUSB3");
    EXPECT_EQ(rig.serial.modemPortName, "ttyUSB5");
    EXPECT_TRUE(rig.posted("Receive device Arrival after reset"));
    EXPECT_TRUE(rig.posted("Port has changed"));
    EXPECT_TRUE(rig.posted("ttyUSB3 Diagnostic ready"));
    EXPECT_TRUE(rig.posted("ttyUSB5 Modem ready"));
}

TEST(Rediscovery, SamePortsSkipTheSearch) {
    WorkerRig rig(46, platform::Clock::Manual{});
    rig.serial.diagPortName = "ttyUSB0";
    rig.directory.diagTexts = {"ttyUSB0"};
    rig.directory.modemTexts = {"ttyUSB2"};
    engine::ResetRediscovery reset(rig.ctx, rig.directory, {});
    reset.RediscoverPorts(ResetStage::First);
    EXPECT_EQ(rig.directory.scans, 0u);
    EXPECT_FALSE(rig.posted("Port has changed"));
    // Network type 2 after the second reset always searches again.
    engine::ResetRediscovery evdo(rig.ctx, rig.directory, {false, 2, false});
    evdo.RediscoverPorts(ResetStage::Second);
    EXPECT_TRUE(rig.posted("Port has changed"));
    EXPECT_TRUE(rig.posted("ttyUSB2 Modem ready"));
}

TEST(Rediscovery, DeviceThatNeverReturnsTimesOut) {
    WorkerRig rig(46, platform::Clock::Manual{});
    rig.serial.diagPortName = "ttyUSB9";
    engine::ResetRediscovery reset(rig.ctx, rig.directory, {});
    const uint32_t start = rig.clock.tickMs();
    EXPECT_FALSE(reset.WaitForDevice(ResetStage::First));
    EXPECT_GE(rig.clock.tickMs() - start, 240000u) << "60 change polls and 60 arrival polls, 2 s apart";
    EXPECT_FALSE(reset.ReopenAfterReset(ResetStage::First, PortKind::Diag, "ttyUSB9"));
    ASSERT_EQ(rig.errors().size(), 1u);
    EXPECT_NE(rig.errors()[0].find("ComPort0 timeout"), std::string::npos);
    size_t waits = 0;
    for (const auto& l : rig.lines()) {
        if (l.text == "ttyUSB9 Initial Diagnostic0......wait") {
            ++waits;
            EXPECT_EQ(l.code, 5);
        }
    }
    EXPECT_EQ(waits, 21u);
}

TEST(Rediscovery, StopRequestEndsReopenLoop) {
    WorkerRig rig(46, platform::Clock::Manual{});
    rig.serial.modemPortName = "ttyUSB9";
    rig.reporter.RequestStop();
    engine::ResetRediscovery reset(rig.ctx, rig.directory, {});
    EXPECT_FALSE(reset.ReopenAfterReset(ResetStage::Second, PortKind::Modem, "ttyUSB9"));
    EXPECT_TRUE(rig.posted("COMM Closed"));
    EXPECT_TRUE(rig.errors().empty());
}

TEST(Rediscovery, ResetAfterDownloadNeverBack) {
    WorkerRig rig(20, platform::Clock::Manual{});
    rig.serial.diagPortName = "ttyUSB0";
    engine::ResetRediscovery reset(rig.ctx, rig.directory, {});
    EXPECT_FALSE(reset.ResetAfterDownload());
    ASSERT_EQ(rig.errors().size(), 1u);
    EXPECT_NE(rig.errors()[0].find("Fail to initial port after rest"), std::string::npos);
    EXPECT_TRUE(rig.posted("Modem......empty"));
}

TEST(DownloadSwitch, AnsweredOnTheSamePort) {
    WorkerRig rig(42, 0.002);  // a project that keeps its ports
    ScriptedPort diag(rig.root.path(), "ttyUSB0", [](const std::string& in) -> std::string {
        return in.size() >= 1 && static_cast<uint8_t>(in[0]) == 0x3A ? in.substr(0, 4) : "";
    });
    rig.serial.diagPortName = "ttyUSB0";
    rig.serial.OpenDiagPort();
    engine::ResetRediscovery reset(rig.ctx, rig.directory, {});
    EXPECT_EQ(reset.EnterDownloadMode(), 0);
    EXPECT_TRUE(rig.posted("Not receive device change after switch"));
}

TEST(DownloadSwitch, SilentDeviceGivesUpAfterLimit) {
    WorkerRig rig(42, 0.0005);
    ScriptedPort diag(rig.root.path(), "ttyUSB0", [](const std::string&) { return std::string(); });
    rig.serial.diagPortName = "ttyUSB0";
    rig.serial.OpenDiagPort();
    engine::ResetRediscovery reset(rig.ctx, rig.directory, {});
    const uint32_t start = rig.clock.tickMs();
    EXPECT_EQ(reset.EnterDownloadMode(), 1);
    EXPECT_GE(rig.clock.tickMs() - start, engine::ResetRediscovery::kSwitchLimitMs);
}

namespace {
// A stand-in tool that leaves `value` in the key.
std::filesystem::path WriteTool(const std::filesystem::path& dir, const std::string& value) {
    const auto tool = dir / engine::kModemkickProgram;
    std::ofstream(tool) << "#!/bin/sh\nprintf '[Project]\\nExecuteModemkick=" << value << "\\n' > Config.ini\n";
    chmod(tool.c_str(), 0755);
    return tool;
}
}  // namespace

TEST(Modemkick, ResultCodesMapToErrors) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"0", "Could not Execute reset Modem."}, {"-1", "Could not find modem port."},
        {"-2", "Fail to execute reset modem."}, {"7", "Unknown error[ExecuteModemkick]."}};
    for (const auto& [value, text] : cases) {
        WorkerRig rig(46, 0.05);
        WriteTool(rig.root.path(), value);
        engine::ModemkickPlan plan;
        plan.stagingFolder = rig.root.path();
        EXPECT_FALSE(engine::RunModemkick(rig.ctx, plan));
        ASSERT_EQ(rig.errors().size(), 1u) << value;
        EXPECT_NE(rig.errors()[0].find(text), std::string::npos) << value;
    }
    WorkerRig rig(46, 0.05);
    WriteTool(rig.root.path(), "100");
    engine::ModemkickPlan plan;
    plan.stagingFolder = rig.root.path();
    EXPECT_TRUE(engine::RunModemkick(rig.ctx, plan));
}

TEST(Modemkick, StandInReportsMissingDevice) {
    // The real stand-in, with no simulator at the device root, reports -1
    // (a clock slow enough for a sanitized program to start within the wait).
    WorkerRig rig(46, 0.1);
    std::filesystem::copy_file(std::filesystem::path(FLINTCAST_BIN_DIR) / "modemkick",
                               rig.root.path() / "modemkick");
    std::ofstream(rig.root.path() / "Config.ini") << "[Project]\r\nVersion=V1\r\nExecuteModemkick=1\r\n";
    engine::ModemkickPlan plan;
    plan.stagingFolder = rig.root.path();
    EXPECT_FALSE(engine::RunModemkick(rig.ctx, plan));
    ASSERT_EQ(rig.errors().size(), 1u);
    EXPECT_NE(rig.errors()[0].find("Could not find modem port."), std::string::npos);
    std::ifstream in(rig.root.path() / "Config.ini");
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    EXPECT_NE(text.find("Version=V1"), std::string::npos) << "the rest of the file stays";
}
