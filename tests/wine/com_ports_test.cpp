// A Windows program under Wine opens the simulated unit's port as a COM port, sets it up as the
// tool does and exchanges a DIAG version request with it; SetupAPI lists the unit's ports with
// their hardware ids; and both follow the unit when it re-enumerates under other numbers.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/sim_process.h"
#include "tests/wine/wine_rig.h"

namespace flintcast {
namespace {

// Output of a Windows console program with its line ends as Linux writes them.
std::string ReadText(const std::filesystem::path& path) {
    std::string text = testing::ReadText(path);
    std::erase(text, '\r');
    return text;
}

std::vector<uint8_t> ParseHexLine(const std::string& text) {
    std::vector<uint8_t> bytes;
    std::istringstream in(text);
    for (std::string byte; in >> byte;) bytes.push_back(static_cast<uint8_t>(std::stoul(byte, nullptr, 16)));
    return bytes;
}

// The probe's exchange on `com`: the unit's framed version answer, checked and unframed.
void ExpectVersionAnswer(const testing::WineRig& rig, const std::string& com) {
    const auto out = rig.dir.path() / (com + ".out");
    ASSERT_EQ(rig.RunWindows("com_probe.exe", {com}, out), 0) << ReadText(out);
    const auto frame = ParseHexLine(ReadText(out));
    EXPECT_EQ(frame.size(), 58u) << ReadText(out);
    const auto payload = simtest::Unframe(frame);
    ASSERT_TRUE(payload) << "the answer's check sequence is wrong: " << ReadText(out);
    ASSERT_EQ(payload->size(), 55u);
    EXPECT_EQ((*payload)[0], 0x00);
    EXPECT_EQ(std::string(payload->begin() + 1, payload->begin() + 12), "Jan 01 2012");
}

TEST(WineComPorts, AWindowsProgramTalksToTheUnitAndFollowsItAcrossReEnumeration) {
    testing::WineRig rig;
    ASSERT_TRUE(rig.ready) << "no usable Wine prefix at " << testing::WineRig::Prefix();
    // The first reset brings the ports back behind the old numbers.
    ASSERT_TRUE(rig.StartUnit({"--faults", "shift-ports"})) << rig.BridgeLog();

    const auto listing = rig.dir.path() / "ports.out";
    ASSERT_EQ(rig.RunWindows("port_list.exe", {}, listing), 0);
    std::string ports = ReadText(listing);
    EXPECT_NE(ports.find("Diag (COM10)\tUSB\\VID_F1C0&PID_0046&REV_0100&MI_00\tCOM10\n"), std::string::npos) << ports;
    EXPECT_NE(ports.find("Modem (COM12)\tUSB\\VID_F1C0&PID_0046&REV_0100&MI_02\tCOM12\n"), std::string::npos) << ports;
    ExpectVersionAnswer(rig, "COM10");

    ASSERT_EQ(rig.Ctl({"reset"}), 0);
    ASSERT_TRUE(rig.WaitForBridge("added COM15 ")) << rig.BridgeLog();
    ASSERT_TRUE(rig.WaitForBridge("removed COM10 ")) << rig.BridgeLog();
    ASSERT_EQ(rig.RunWindows("port_list.exe", {}, listing), 0);
    ports = ReadText(listing);
    EXPECT_NE(ports.find("Diag (COM13)\tUSB\\VID_F1C0&PID_0046&REV_0100&MI_00\tCOM13\n"), std::string::npos) << ports;
    EXPECT_EQ(ports.find("COM10"), std::string::npos) << ports;
    ExpectVersionAnswer(rig, "COM13");
    // The old port is gone: opening it fails as it does for an unplugged device.
    EXPECT_EQ(rig.RunWindows("com_probe.exe", {"COM10"}, rig.dir.path() / "gone.out"), 1);

    // The next reset brings the unit back under its first numbers.
    ASSERT_EQ(rig.Ctl({"reset"}), 0);
    ASSERT_TRUE(rig.WaitForBridge("removed COM13 ")) << rig.BridgeLog();
    ASSERT_TRUE(rig.WaitForBridge("added COM10 ", 2)) << rig.BridgeLog();
    ExpectVersionAnswer(rig, "COM10");
}

}  // namespace
}  // namespace flintcast
