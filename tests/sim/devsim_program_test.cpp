// The simulator program driven from outside: its device tree, ports, re-enumeration, control
// channel and faults, over its pseudo-terminals as the tool sees them.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "tests/sim/sim_process.h"
#include "devkit/wait_until.h"

namespace flintcast::simtest {
namespace {
namespace fs = std::filesystem;
using namespace std::chrono_literals;

const std::vector<std::string> kNormalPorts{"ttyUSB0", "ttyUSB1", "ttyUSB2"};

std::string ReadAttr(const fs::path& p) {
    std::ifstream in(p);
    std::string s;
    std::getline(in, s);
    return s;
}

std::vector<uint8_t> NvReadRequest(uint16_t id) {
    std::vector<uint8_t> req{0x26, static_cast<uint8_t>(id & 0xFF), static_cast<uint8_t>(id >> 8)};
    req.resize(3 + 128 + 2, 0);
    return req;
}

TEST(DevsimProgram, ComesUpWithItsTreeAndSigtermRemovesIt) {
    SimProcess sim;
    ASSERT_NE(sim.readyLine().find("ready"), std::string::npos) << sim.readyLine();
    EXPECT_EQ(sim.DevEntries(), kNormalPorts);
    // The tool finds a port's USB facts by walking up from its tty class entry.
    const fs::path tty = fs::canonical(sim.root() / "sys/class/tty/ttyUSB0");
    const fs::path iface = fs::canonical(tty / "device").parent_path();
    EXPECT_EQ(ReadAttr(iface / "bInterfaceNumber"), "00");
    EXPECT_EQ(ReadAttr(iface / "interface"), "Diag");
    EXPECT_EQ(ReadAttr(iface.parent_path() / "idVendor"), "f1c0");
    EXPECT_EQ(ReadAttr(iface.parent_path() / "idProduct"), "0046");
    EXPECT_FALSE(ReadAttr(iface.parent_path() / "serial").empty());
    EXPECT_EQ(ReadAttr(fs::canonical(sim.root() / "sys/class/tty/ttyUSB2/device").parent_path() / "interface"), "Modem");
    EXPECT_EQ(sim.StateFile()["status"], "present");

    EXPECT_EQ(sim.Terminate(), 0);
    EXPECT_TRUE(sim.DevEntries().empty());
    EXPECT_FALSE(fs::is_symlink(sim.root() / "sys/class/tty/ttyUSB0"));
    EXPECT_FALSE(fs::exists(sim.root() / "sys/devices/flintcast-sim/usb1/1-1"));
    EXPECT_FALSE(fs::exists(sim.root() / "devsim.sock"));
    EXPECT_EQ(sim.StateFile()["status"], "unplugged");
}

TEST(DevsimProgram, AnswersAtOnTheModemPortAndNvReadsOnTheDiagPort) {
    SimProcess sim;
    PortClient modem(sim.dev("ttyUSB2"));
    modem.Write("AT+ZRVSN=0,5\r\n\r\n");
    EXPECT_NE(modem.ReadUntil("OK\r\n").find("+ZRVSN:FC46V0000001\r\n\r\nOK"), std::string::npos);
    modem.Write("AT+ZRVSN=1,5,\"SN-NEW\"\r\n");
    EXPECT_NE(modem.ReadUntil("OK\r\n").find("OK"), std::string::npos);

    PortClient diag(sim.dev("ttyUSB0"));
    diag.Write(Frame(NvReadRequest(141)));
    const auto frame = diag.ReadFrame();
    ASSERT_TRUE(frame);
    const auto reply = Unframe(*frame);
    ASSERT_TRUE(reply);
    ASSERT_EQ(reply->size(), 133u);
    EXPECT_EQ((*reply)[0], 0x26);
    EXPECT_EQ((*reply)[1] | ((*reply)[2] << 8), 141);
    EXPECT_EQ((*reply)[131] | ((*reply)[132] << 8), 0);  // status: done
    EXPECT_NE(std::vector<uint8_t>(reply->begin() + 3, reply->begin() + 131), std::vector<uint8_t>(128, 0));

    // The write is in the state file, and survives a restart of the simulator on the same state.
    flintcast::testing::WaitUntil([&] {
        const auto state = sim.StateFile();
        return state.is_object() && state.contains("modem") && state["modem"].value("identity", nlohmann::json::object()).value("sn", "") == "SN-NEW";
    });
    EXPECT_EQ(sim.StateFile().at("modem").at("identity").at("sn"), "SN-NEW");
    const auto stateDir = sim.state();
    sim.Terminate();
    SimProcess again({}, stateDir);
    PortClient modem2(again.dev("ttyUSB2"));
    modem2.Write("AT+ZRVSN=0,5\r\n");
    EXPECT_NE(modem2.ReadUntil("OK\r\n").find("SN-NEW"), std::string::npos);
}

TEST(DevsimProgram, SwitchToDownloadReenumeratesAsANewTtyUnderTheSameName) {
    SimProcess sim({"--time-scale", "0.05"});
    PortClient diag(sim.dev("ttyUSB0"));
    const auto before = std::filesystem::read_symlink(sim.dev("ttyUSB0"));
    diag.Write(Frame({0x3A}));
    // The reply goes out before the device leaves the bus.
    const auto frame = diag.ReadFrame();
    ASSERT_TRUE(frame);
    EXPECT_EQ(Unframe(*frame), std::vector<uint8_t>{0x3A});
    // The ports vanish, then the download port comes back under the same number, as a new tty:
    // the old handle hears nothing more, a new one talks to the bootloader.
    ASSERT_TRUE(sim.WaitForDev({}, 2s));
    ASSERT_TRUE(sim.WaitForDev({"ttyUSB0"}, 5s));
    EXPECT_NE(std::filesystem::read_symlink(sim.dev("ttyUSB0")), before);
    try {
        diag.Write(Frame({0x06}));  // a hung-up tty may refuse the write outright
    } catch (const std::runtime_error&) {
    }
    EXPECT_FALSE(diag.ReadFrame(std::chrono::milliseconds(300)));
    PortClient download(sim.dev("ttyUSB0"));
    download.Write(Frame({0x06}));
    const auto ack = download.ReadFrame();
    ASSERT_TRUE(ack);
    // The state file follows the dev entries a moment later.
    nlohmann::json state;
    flintcast::testing::WaitUntil([&] {
        state = sim.StateFile();
        return state.is_object() && state.value("status", "") == "present";
    });
    ASSERT_TRUE(state.is_object());
    EXPECT_EQ(state.at("personality"), "download");
    ASSERT_EQ(state.at("ports").size(), 1u);
    EXPECT_EQ(state.at("ports").at(0).at("role"), "download");
    // Back to normal on a reset from the control channel.
    EXPECT_EQ(sim.Ctl("reset"), 0);
    EXPECT_TRUE(sim.WaitForDev(kNormalPorts, 5s));
}

TEST(DevsimProgram, ControlChannelUnplugsPlugsAndForcesPersonalities) {
    SimProcess sim;
    std::string out;
    EXPECT_EQ(sim.Ctl("unplug", &out), 0) << out;
    EXPECT_TRUE(sim.DevEntries().empty());
    EXPECT_EQ(sim.Ctl("reset", &out), 1) << "a device off the bus cannot be reset";
    EXPECT_EQ(sim.Ctl("plug", &out), 0) << out;
    EXPECT_EQ(sim.DevEntries(), kNormalPorts);
    EXPECT_EQ(sim.Ctl("personality programmer", &out), 0) << out;
    EXPECT_TRUE(sim.WaitForDev({"ttyUSB0"}));
    EXPECT_EQ(sim.Ctl("personality toaster", &out), 1);
    EXPECT_EQ(sim.Ctl("fault explode", &out), 1);
    EXPECT_NE(out.find("unknown fault"), std::string::npos);
    EXPECT_EQ(sim.Ctl("frobnicate", &out), 1);
    // The state is pure JSON; its status is the exit code.
    EXPECT_EQ(sim.Ctl("state", &out), 0);
    const auto state = nlohmann::json::parse(out);
    EXPECT_EQ(state.at("personality"), "programmer");
}

TEST(DevsimProgram, ResetFaultsShiftNumbersOrKeepTheDeviceAway) {
    SimProcess sim({"--faults", "shift-ports@1;no-return@2"});
    ASSERT_EQ(sim.Ctl("reset"), 0);
    EXPECT_TRUE(sim.WaitForDev({"ttyUSB3", "ttyUSB4", "ttyUSB5"}, 5s));
    // Same numbers again after the second re-enumeration? No: the second reset never returns.
    ASSERT_EQ(sim.Ctl("reset"), 0);
    EXPECT_TRUE(sim.WaitForDev({}, 2s));
    std::this_thread::sleep_for(300ms);  // ten times the scaled re-enumeration delay
    EXPECT_TRUE(sim.DevEntries().empty());
    EXPECT_EQ(sim.Ctl("plug"), 0);
    EXPECT_EQ(sim.DevEntries().size(), 3u);
}

TEST(DevsimProgram, LinkFaultsOnReplies) {
    // Real time, so the pause between the two halves of a split reply is long enough to see.
    SimProcess sim({"--time-scale", "1", "--faults", "drop-reply:diag@1;corrupt-crc:diag@2;split-reply:modem=4@1;at-error:AT+CGMR@1"});
    PortClient diag(sim.dev("ttyUSB0"));
    diag.Write(Frame(NvReadRequest(141)));
    EXPECT_FALSE(diag.ReadFrame(300ms)) << "first reply dropped";
    diag.Write(Frame(NvReadRequest(141)));
    auto frame = diag.ReadFrame();
    ASSERT_TRUE(frame);
    EXPECT_FALSE(Unframe(*frame)) << "second reply has a bad check sequence";
    diag.Write(Frame(NvReadRequest(141)));
    frame = diag.ReadFrame();
    ASSERT_TRUE(frame);
    EXPECT_TRUE(Unframe(*frame));

    PortClient modem(sim.dev("ttyUSB2"));
    modem.Write("AT\r");
    EXPECT_EQ(modem.ReadUntil("AT\r\r"), "AT\r\r");
    EXPECT_EQ(modem.ReadFor(0ms), "") << "the second part comes with the second write, after a pause";
    EXPECT_EQ(modem.ReadUntil("OK\r\n"), "\nOK\r\n");
    modem.Write("AT+CGMR\r\n");
    EXPECT_NE(modem.ReadUntil("ERROR\r\n").find("ERROR"), std::string::npos);
    modem.Write("AT+CGMR\r\n");
    EXPECT_NE(modem.ReadUntil("OK\r\n").find("SWK"), std::string::npos);
}

TEST(DevsimProgram, RefusesBadArgumentsAndProfilesWithAMessage) {
    testing::TempDir dir;
    const auto bad = dir.path() / "bad.json";
    std::ofstream(bad) << R"({"nv_items": [{"id": 1, "hex": "zz"}]})";
    const std::string rs = "--root " + dir.path().string() + "/r --state " + dir.path().string() + "/s";
    const std::vector<std::string> cases{"--root " + dir.path().string(), rs + " --profile " + bad.string(),
                                         rs + " --time-scale -1", rs + " --faults explode", rs + " --bogus"};
    for (const auto& args : cases) {
        const std::string cmd = DevsimPath().string() + " " + args + " 2>&1";
        FILE* p = ::popen(cmd.c_str(), "r");
        ASSERT_NE(p, nullptr);
        std::string out;
        char buf[256];
        while (fgets(buf, sizeof(buf), p) != nullptr) out += buf;
        const int status = ::pclose(p);
        EXPECT_NE(WEXITSTATUS(status), 0) << args;
        EXPECT_NE(out.find("flintcast-devsim:"), std::string::npos) << out;
    }
    EXPECT_FALSE(fs::exists(dir.path() / "r" / "dev" / "ttyUSB0"));
}

}  // namespace
}  // namespace flintcast::simtest
