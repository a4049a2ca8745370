// The simulated Android-based unit in fastboot mode, checked with the standard fastboot tool:
// its USB function in the device tree, the tool's handshake and commands over TCP, and a flash
// whose partition digest equals the file's.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include <fmt/format.h>

#include "sim/model/sha256.h"
#include "tests/sim/sim_process.h"
#include "tests/sim/state_wait.h"
#include "tests/support/program_run.h"

namespace flintcast::simtest {
namespace {
namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string ReadAttr(const fs::path& p) {
    std::ifstream in(p);
    std::string s;
    std::getline(in, s);
    return s;
}

std::string WaitForFastboot(const SimProcess& sim) { return WaitForService(sim, "fastboot"); }

class FastbootClient : public ::testing::Test {
protected:
    void SetUp() override {
        if (!OnPath("fastboot")) GTEST_SKIP() << "fastboot is not installed (Debian package fastboot)";
    }
};

TEST_F(FastbootClient, ShowsItsFunctionAndAnswersTheStandardTool) {
    SimProcess sim({"--profile", "android"});
    EXPECT_TRUE(sim.StateFile()["fastboot"].is_null());
    ASSERT_EQ(sim.Ctl("personality fastboot"), 0);
    const auto address = WaitForFastboot(sim);
    ASSERT_FALSE(address.empty());

    // The function as a real system shows it, and the USB node that leads to it.
    const fs::path device = sim.root() / "sys/devices/flintcast-sim/usb1/1-1";
    const fs::path iface = device / "1-1:1.0";
    EXPECT_EQ(ReadAttr(iface / "bInterfaceClass"), "ff");
    EXPECT_EQ(ReadAttr(iface / "bInterfaceSubClass"), "42");
    EXPECT_EQ(ReadAttr(iface / "bInterfaceProtocol"), "03");
    const int bus = std::stoi(ReadAttr(device / "busnum"));
    const int dev = std::stoi(ReadAttr(device / "devnum"));
    const fs::path node = sim.root() / "dev/bus/usb" / fmt::format("{:03d}", bus) / fmt::format("{:03d}", dev);
    ASSERT_TRUE(fs::is_symlink(node));
    EXPECT_EQ(fs::read_symlink(node).string(), "tcp:" + address);
    EXPECT_TRUE(sim.DevEntries() == std::vector<std::string>{"bus"});  // no serial port in fastboot mode

    const std::string target = "tcp:" + address;
    auto r = RunProgram({"fastboot", "-s", target, "getvar", "product"});
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_NE(r.output.find("product: VAR35"), std::string::npos) << r.output;

    // A file of a few blocks with a remainder.
    const fs::path image = sim.state().parent_path() / "boot.img";
    std::vector<uint8_t> bytes(3 * 4096 + 123);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 31 + (i >> 8));
    std::ofstream(image, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    r = RunProgram({"fastboot", "-s", target, "flash", "boot", image.string()});
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_TRUE(WaitForState(sim, [&](const nlohmann::json& s) {
        const auto& p = s["partitions"];
        return p.contains("boot") && p["boot"]["size"] == bytes.size() && p["boot"]["sha256"] == sim::Sha256Hex(bytes);
    }));

    r = RunProgram({"fastboot", "-s", target, "flash", "modem", image.string()});
    EXPECT_NE(r.exitCode, 0);
    EXPECT_NE(r.output.find("does not exist"), std::string::npos) << r.output;

    // continue: the unit boots its system and comes back with its ports; fastboot is gone.
    r = RunProgram({"fastboot", "-s", target, "continue"});
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_TRUE(sim.WaitForDev({"bus", "ttyUSB0", "ttyUSB1", "ttyUSB2"}));
    EXPECT_TRUE(sim.StateFile()["fastboot"].is_null());
    for (const auto& entry : fs::recursive_directory_iterator(sim.root() / "dev/bus/usb"))
        if (entry.is_symlink()) {
            EXPECT_NE(fs::read_symlink(entry.path()).string(), target);
        }
}

TEST_F(FastbootClient, InjectedFaultsReachTheTool) {
    // Powers up in fastboot mode; a refused flash, then a link that drops mid-download.
    SimProcess sim({"--profile", "android", "--faults", "refuse:fastboot.flash;disconnect-at:fastboot=10000@2"});
    ASSERT_EQ(sim.Ctl("personality fastboot"), 0);
    const std::string target = "tcp:" + WaitForFastboot(sim);
    ASSERT_NE(target, "tcp:");
    const fs::path image = sim.state().parent_path() / "splash.bin";
    std::ofstream(image, std::ios::binary) << std::string(40000, 'S');

    auto r = RunProgram({"fastboot", "-s", target, "flash", "splash", image.string()});
    EXPECT_NE(r.exitCode, 0);
    EXPECT_NE(r.output.find("command refused"), std::string::npos) << r.output;
    EXPECT_FALSE(sim.StateFile()["partitions"].contains("splash"));

    // The standard tool does not notice the closed connection and is stopped after a while.
    r = RunProgram({"fastboot", "-s", target, "flash", "splash", image.string()}, {}, 3s);
    EXPECT_NE(r.exitCode, 0) << r.output;
    EXPECT_TRUE(WaitForState(sim, [](const nlohmann::json& s) { return s["status"] == "unplugged"; }));
    const auto state = sim.StateFile();
    EXPECT_TRUE(state["fastboot"].is_null());
    EXPECT_FALSE(state["partitions"].contains("splash"));
}

// A bare TCP client: the framing's bytes as they arrive.
class RawLink {
public:
    explicit RawLink(const std::string& address) {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = htons(static_cast<uint16_t>(std::stoi(address.substr(address.find(':') + 1))));
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0;
    }
    ~RawLink() { ::close(fd_); }
    bool connected() const { return connected_; }
    void Send(const std::string& bytes) { ASSERT_EQ(::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL), ssize_t(bytes.size())); }
    void SendPacket(const std::string& payload) {
        std::string header(8, '\0');
        header[7] = static_cast<char>(payload.size());
        Send(header + payload);
    }
    std::string Read(size_t n) {
        std::string out;
        while (out.size() < n) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 5000) <= 0) break;
            char buf[1024];
            const ssize_t got = ::read(fd_, buf, std::min(sizeof(buf), n - out.size()));
            if (got <= 0) break;
            out.append(buf, static_cast<size_t>(got));
        }
        return out;
    }
    // One reply packet's payload (its length as the header says).
    std::string ReadPacket() {
        const auto header = Read(8);
        if (header.size() != 8) return "<no header>";
        uint64_t length = 0;
        for (unsigned char c : header) length = (length << 8) | c;
        return Read(static_cast<size_t>(length));
    }

private:
    int fd_ = -1;
    bool connected_ = false;
};

TEST(AndroidUnit, FastbootRepliesCutOrPaddedOnRequest) {
    SimProcess sim({"--profile", "android", "--faults", "truncate-reply:fastboot@1;oversize-reply:fastboot=300@2"});
    ASSERT_EQ(sim.Ctl("personality fastboot"), 0);
    RawLink link(WaitForService(sim, "fastboot"));
    ASSERT_TRUE(link.connected());
    link.Send("FB01");
    EXPECT_EQ(link.Read(4), "FB01");
    link.SendPacket("getvar:product");
    EXPECT_EQ(link.ReadPacket(), "OK");
    link.SendPacket("getvar:product");
    const auto padded = link.ReadPacket();
    EXPECT_EQ(padded.size(), 300u);
    EXPECT_EQ(padded.substr(0, 9), "OKAYVAR35");
    link.SendPacket("flash:boot");
    EXPECT_EQ(link.ReadPacket(), "FAILno image downloaded");
}

// The reset that ends a streaming session starts the bootloader's fastboot mode; continue from
// there boots the system with its ports and adbd.
TEST(AndroidUnit, ResetAfterStreamingComesBackInFastbootMode) {
    SimProcess sim({"--profile", "android"});
    ASSERT_EQ(sim.Ctl("personality programmer"), 0);
    ASSERT_TRUE(sim.WaitForDev({"bus", "ttyUSB0"}));
    EXPECT_TRUE(sim.StateFile()["adb"].is_null());
    {
        PortClient port(sim.dev("ttyUSB0"));
        port.Write(Frame({0x0B}));
        const auto reply = port.ReadFrame();
        ASSERT_TRUE(reply);
        EXPECT_EQ(Unframe(*reply), std::vector<uint8_t>{0x0C});
    }
    EXPECT_FALSE(WaitForService(sim, "fastboot").empty());
    EXPECT_EQ(sim.StateFile()["personality"], "fastboot");
    ASSERT_EQ(sim.Ctl("reset"), 0);
    EXPECT_FALSE(WaitForService(sim, "adb").empty());
    EXPECT_TRUE(sim.StateFile()["fastboot"].is_null());
}

}  // namespace
}  // namespace flintcast::simtest
